// The port selection dialog: the machine's whole USB tree with a check box on every node, filled
// by a worker thread while the dialog is open; the checked ports, in tree order, become station
// ports 1, 2, 3, ... of a port map file.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/ui.h"
#include "usb/enum_usb.h"

namespace usb {

class CUsbPort : public ui::CDialog, public CEnumUSB {
  public:
    explicit CUsbPort(ui::CWnd* parent = nullptr);
    // Waits for the worker first: it uses this object to its end.
    ~CUsbPort() override;

    // ---- Members
    ui::CTreeCtrl tree;
    std::int32_t portCounter = 0;  // advanced by each OnPort: the port items' data
    std::u16string settingsPath;
    std::u16string portFilePath;  // absolute, or empty
    std::int32_t enablePort = 0;

    // Runs the dialog, then lets the worker's enumeration end (serving what it sends, and
    // painting the owner) before returning: the owner reads the device list as that enumeration
    // left it.
    ui::INT_PTR DoModal() override;

    void DoDataExchange(ui::CDataExchange* dx) override;
    ui::BOOL OnInitDialog() override;
    void OnOK() override;
    const ui::MessageMap* GetMessageMap() const override;

    // The walk's callbacks, on the worker thread; node handles are tree items.
    NodeHandle OnHostController(const char16_t* description) override;
    NodeHandle OnHub(const char16_t* description, NodeHandle parent) override;
    NodeHandle OnPort(int port, int connected, const char16_t* description,
                      NodeHandle parent) override;

    // True from the dialog window's destruction on: the worker sends nothing more to the tree.
    bool IsClosing() const { return closing_.load(std::memory_order_acquire); }
    // True while the worker runs.
    bool IsWorkerRunning() const { return workerRunning_.load(std::memory_order_acquire); }
    // True once the worker has loaded the map's ticks into the whole tree: from then on OK and
    // Save, which write the tree's ticks over the map, are enabled, and Load, whose ticks the
    // worker's would otherwise mix with.
    bool ChecksLoaded() const { return checksLoaded_; }

  protected:
    // The station port that `file` gives the tree's port `portOrdinal` (0: none), read for each
    // tick the tree loads, on the worker's thread or this one.
    virtual int StationPortIn(const std::u16string& file, long long portOrdinal);

  private:
    void OnTreeClick(ui::NMHDR* header, ui::LRESULT* result);
    void OnLoad();
    void OnSave();
    ui::LRESULT OnDestroy(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnChecksLoaded(ui::WPARAM wParam, ui::LPARAM lParam);
    void EnableFileButtons(bool enable);
    // False when the worker ended without loading them (the dialog closing).
    bool WaitForChecks();

    enum class Saved { kCancelled, kWritten, kFailed };
    // Save's steps, the map with the switch or without; the operator is told of a map it could
    // not write.
    Saved SaveAs(bool withSwitch);
    // The tree's map (and the switch, when asked) written to a file beside the port file, which
    // then replaces it in one step: the port file holds the whole new map, or its old bytes.
    enum class Written { kWhole, kNotMade, kNotWritten, kNotReplaced };
    Written WriteWholeMap(bool withSwitch);
    void TellNotSaved(Written why);
    void SetPortFilePath(std::u16string path);
    void UpdateTitle();
    // Checks of `item` and its following siblings from the port map file; 1 when all are checked.
    int LoadChecks(ui::CTreeCtrl& on, ui::HTREEITEM item, const std::u16string& file);
    // False at the first key that could not be written.
    bool WritePortMap(ui::HTREEITEM item, const std::u16string& file, int& station);
    void ExpandAll(ui::CTreeCtrl& on, ui::HTREEITEM item);
    ui::HTREEITEM Insert(std::u16string_view text, NodeHandle parent);

    static ui::UINT Worker(void* parameter);
    void WaitForWorker();

    // The tree's window as the worker knows it: set before the worker starts, never changed,
    // so the worker never reads the wrapper that this thread clears.
    ui::HWND treeWindow_ = nullptr;
    ui::HWND dialogWindow_ = nullptr;  // likewise
    bool checksLoaded_ = false;        // the dialog's thread only
    std::atomic<bool> closing_{false};
    std::atomic<bool> workerRunning_{false};
    std::mutex pathMutex_;  // portFilePath: written here, read by the worker
};

}  // namespace usb
