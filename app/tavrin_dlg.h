// The main window: the whole user interface of the station. Its member functions are grouped by
// subsystem: set-up, settings and closing (tavrin_dlg.cpp), check files (check_file.cpp), the
// result list (qc/result_list.cpp) and the device scan (qc/device_scan.cpp).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "device/selection_lists.h"
#include "platform/ui.h"
#include "qc/device_record.h"

namespace app {

// What a scan worker uses besides the window's messages. Shared with the workers, so that a
// window that closes while a scan is still running frees nothing the scan still needs; the
// scan sees `closing` and ends after its current step.
struct ScanShared {
    ui::CCriticalSection scanLock;
    std::atomic<bool> closing{false};
    std::atomic<int> running{0};
    ui::HWND window = nullptr;
};

class CTavrinDlg : public ui::CDialog {
  public:
    explicit CTavrinDlg(ui::CWnd* parent = nullptr);
    ~CTavrinDlg() override;

    // ---- Members
    std::int32_t portMode = -1;  // -1 until the columns are built; 0 free, 1 station mode
    ui::HICON icon = nullptr;
    ui::CListCtrl resultList;
    ui::CImageList rowHeight;  // 1 x 15, no images: sets the rows' height
    std::u16string portFilePath;
    std::u16string checkFilePath;
    std::int32_t infoCheck = 0;
    std::int32_t topmost = 0;
    std::int32_t autoCheck = 0;
    std::u16string settingsPath;
    std::shared_ptr<ScanShared> scan = std::make_shared<ScanShared>();

    // ---- Check items and check file
    void LoadCheckFile();
    void CollectCheckValues();
    void SaveCheckFile();
    void UpdateWindowTitle();
    // The program directory: the executable's path cut before its last backslash.
    static std::u16string ProgramDirectory();

    // ---- Result list
    // Rebuilds the columns (and the 16 station rows) when `mode` differs from portMode.
    void SetPortMode(int mode);
    void FillRowValues(int row);
    void ClearRow(int row);
    void ClearAllRows();
    // Deletes the item columns and appends one per shown item, captions in the UI language.
    void RebuildItemColumns();
    qc::DeviceRecord* RecordOf(int row);
    const qc::DeviceRecord* RecordOf(int row) const;
    // The drop-down lists' entries in the window's language, as the decoder reads indexes.
    device::SelectionLists SelectionListsFromControls() const;

    // ---- Device scan
    void StartScan();

    // ---- Dialog
    ui::BOOL OnInitDialog() override;
    void DoDataExchange(ui::CDataExchange* dx) override;
    const ui::MessageMap* GetMessageMap() const override;

  private:
    void OnTopmost();
    void OnLoad();
    void OnSave();
    void OnCheckSelect();
    void OnRefresh();
    ui::LRESULT OnSysCommand(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnPaint(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnQueryDragIcon(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnDestroy(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnCollectCheckValues(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnClearRowMessage(ui::WPARAM wParam, ui::LPARAM lParam);
    void OnHeaderBeginTrack(ui::NMHDR* header, ui::LRESULT* result);
    void OnHeaderEndTrack(ui::NMHDR* header, ui::LRESULT* result);
    void ApplyTopmost();
    void EnableItemControls();
};

}  // namespace app
