// The main window: the whole user interface of the station. Set-up, settings and closing
// (tavrin_dlg.cpp), check files (check_file.cpp), the QC run's buttons and messages (qc_run.cpp);
// the result list and the device scan are classes of qc/ that the window hosts and forwards to.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/selection_lists.h"
#include "platform/ui.h"
#include "qc/device_scan.h"
#include "qc/result_list.h"
#include "qc/window_sink.h"

namespace app {

class CTavrinDlg : public ui::CDialog {
  public:
    explicit CTavrinDlg(ui::CWnd* parent = nullptr);
    ~CTavrinDlg() override;

    // ---- What the program's parts and its tests reach: the list and the scan, the files in
    // use, and what the result list goes by.
    ui::HICON icon = nullptr;
    ui::CListCtrl resultList;
    std::u16string portFilePath;
    std::u16string checkFilePath;
    std::int32_t autoCheck = 0;
    std::u16string settingsPath;
    qc::ResultList results{resultList};
    // Made when the window is set up; shared with the scans, which outlive the window.
    std::unique_ptr<qc::WindowScanSink> scanSink;
    std::shared_ptr<qc::ScanShared> scan;

    // The check configuration now: the expected values of the last collection, the Efs
    // selection and the drop-down lists as the controls hold them, the port map, Auto Check.
    qc::CheckSetup CheckSetupNow() const;
    // The same, built once after each change of what it holds (a collection, a check file, the
    // check selection, the port map, the tick boxes), so that a scan builds it once; the Efs
    // selection is read again at every check. A copy: a message served meanwhile may change it.
    qc::CheckSetup SetupForCheck();
    // The item columns by the flags now, captions in the language in use.
    qc::ItemColumns ItemColumnsNow() const;
    // The drop-down lists' entries in the window's language, as the decoder reads indexes.
    device::SelectionLists SelectionListsFromControls() const;

    const ui::MessageMap* GetMessageMap() const override;

  private:
    ui::CImageList rowHeight;  // 1 x 15, no images: sets the rows' height
    std::int32_t infoCheck = 0;
    std::int32_t topmost = 0;
    std::optional<qc::CheckSetup> setup_;  // SetupForCheck's; none after a change

    // ---- Check items and check file
    void LoadCheckFile();
    void CollectCheckValues();
    void SaveCheckFile();
    void UpdateWindowTitle();

    void StartScan();

    // ---- Dialog
    ui::BOOL OnInitDialog() override;
    void DoDataExchange(ui::CDataExchange* dx) override;

    void OnTopmost();
    void OnLoad();
    void OnSave();
    void OnCheckSelect();
    void OnRefresh();
    void OnRun();
    void OnPortSelect();
    void RebuildRowsFromDeviceList();
    bool Closing() const;
    ui::LRESULT OnDeviceChange(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnAddDeviceRow(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnIsDriveListed(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnBarClicked(ui::WPARAM wParam, ui::LPARAM lParam);
    void OnListCustomDraw(ui::NMHDR* header, ui::LRESULT* result);
    void OnListItemChanged(ui::NMHDR* header, ui::LRESULT* result);
    void OnListSetFocus(ui::NMHDR* header, ui::LRESULT* result);
    void OnListKillFocus(ui::NMHDR* header, ui::LRESULT* result);
    ui::LRESULT OnSysCommand(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnPaint(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnQueryDragIcon(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnDestroy(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnCollectCheckValues(ui::WPARAM wParam, ui::LPARAM lParam);
    ui::LRESULT OnClearRowMessage(ui::WPARAM wParam, ui::LPARAM lParam);
    void OnHeaderBeginTrack(ui::NMHDR* header, ui::LRESULT* result);
    void OnHeaderEndTrack(ui::NMHDR* header, ui::LRESULT* result);
    void ApplyTopmost();
    int EfsSelectionNow() const;
    void EnableItemControls();
};

}  // namespace app
