// The result list: one row per accepted disk, in station mode (fixed rows, one per station
// port) or free mode (a row per disk). Rows, their states and check bars, the checking of a
// row against the expected values, and the list's drawing. Everything here runs on the window's
// thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/controller.h"
#include "platform/ui.h"
#include "qc/check_model.h"
#include "qc/check_setup.h"
#include "qc/result_log.h"
#include "qc/row_state.h"
#include "usb/enum_usb.h"
#include "usb/port_map.h"

namespace qc {

class ResultList {
  public:
    static constexpr int kStationRows = usb::kStationPorts;
    static constexpr ui::COLORREF kMarkColor = ui::RGB(222, 184, 135);
    static constexpr char16_t kPass[] = u"PASS";
    static constexpr char16_t kFail[] = u"FAIL";

    explicit ResultList(ui::CListCtrl& list) : list_(list) {}
    ~ResultList() = default;
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    // -1 until the columns are built; 0 free mode, 1 station mode. Also the "Vol" column.
    // Read by scans on their own threads too.
    int portMode() const { return portMode_.load(); }

    // ---- Rows
    // Rebuilds the columns (and the station rows) when `mode` differs from portMode. The
    // rows' states go first.
    void SetPortMode(int mode, const ItemColumns& columns);
    // Deletes the item columns and appends one per shown item. The rows' cells and marks follow
    // these flags until the next rebuild.
    void RebuildItemColumns(const ItemColumns& columns);
    // Places a supported disk: the row used, or -1 when it was not placed. `entry` must have a
    // first volume; it is copied. Decoded with the setup's lists, checked when it says so.
    int AddDeviceRow(const usb::UsbDeviceEntry& entry, const CheckSetup& setup);
    void FillRowValues(int row);
    void ClearRow(int row);
    // Clears the row only while its "Vol" cell starts with `letter` (0: empty), as a scan read
    // it: the rows may have been rebuilt since.
    void ClearRowShowing(int row, char16_t letter);
    void ClearAllRows();
    RowState* StateOf(int row) const;
    bool IsDriveListed(char16_t letter) const;

    // ---- Checking
    void CheckRow(int row, const CheckSetup& setup);
    void SetCellMatch(int row, int column, std::size_t slot, bool match);
    // Logs the verdict, judged against the setup's check file, then shows it on the row's bar.
    // No verdict: the disk's block could not be read (FAIL, "(not read)").
    void SetRowVerdict(int row, const std::optional<Verdict>& verdict, const CheckSetup& setup);

    // Every verdict is logged here first, when the log has a path.
    ResultLog log;

    // ---- Drawing and selection (list_drawing.cpp)
    ui::LRESULT OnCustomDraw(ui::NMLVCUSTOMDRAW& draw);
    void PlaceCheckBar(int row, int column);
    void HideOffscreenBars();
    void OnItemChanged(const ui::NMLISTVIEW& change);
    // The list gained (true) or lost the keyboard focus.
    void OnFocusChanged(bool focused);
    // A check bar was clicked: select and focus the row under the cursor.
    void SelectRowUnderCursor();

  private:
    bool ListHasFocus() const;

    ui::CListCtrl& list_;
    EnabledFlags shown_{};  // the flags the item columns were made for
    std::atomic<int> portMode_{-1};
};

}  // namespace qc
