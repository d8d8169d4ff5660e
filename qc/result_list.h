// The result list: one row per accepted disk, in station mode (16 fixed rows, one per station
// port) or free mode (a row per disk). Rows, their records and check bars, the checking of a
// row against the expected values, and the list's drawing. Everything here runs on the window's
// thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/controller.h"
#include "platform/ui.h"
#include "qc/check_model.h"
#include "qc/device_record.h"
#include "qc/result_log.h"
#include "usb/enum_usb.h"

namespace qc {

// What the list needs of the window that hosts it: the check configuration as the window holds
// it, and the window's settings.
class ResultHost {
  public:
    virtual EnabledFlags Enabled() const = 0;
    // The expected value of an item, as the last collection of the controls left it.
    virtual std::u16string Expected(std::size_t item) const = 0;
    virtual std::u16string Caption(std::size_t item) const = 0;
    virtual int ColumnWidth(std::size_t item) const = 0;
    // The Efs drop-down as it is at this moment: its selection (-1: none) and its entry count.
    virtual int EfsSelection() const = 0;
    virtual int EfsEntryCount() const = 0;
    // The drop-down lists' entries, against which a block's indexes are decoded.
    virtual device::SelectionLists SelectionLists() const = 0;
    virtual std::u16string PortFilePath() const = 0;
    virtual bool AutoCheck() const = 0;

  protected:
    ~ResultHost() = default;
};

class ResultList {
  public:
    static constexpr int kStationRows = 16;
    static constexpr ui::COLORREF kMarkColor = ui::RGB(222, 184, 135);
    static constexpr char16_t kPass[] = u"PASS";
    static constexpr char16_t kFail[] = u"FAIL";

    ResultList(ui::CListCtrl& list, const ResultHost& host) : list_(list), host_(host) {}
    ~ResultList() = default;
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    // -1 until the columns are built; 0 free mode, 1 station mode. Also the "Vol" column.
    // Read by scans on their own threads too.
    int portMode() const { return portMode_.load(); }

    // ---- Rows
    // Rebuilds the columns (and the 16 station rows) when `mode` differs from portMode. The
    // rows' records go first.
    void SetPortMode(int mode);
    // Deletes the item columns and appends one per shown item.
    void RebuildItemColumns();
    // Places a supported disk: the row used, or -1 when it was not placed. `entry` must have a
    // first volume; it is copied.
    int AddDeviceRow(const usb::UsbDeviceEntry& entry);
    void FillRowValues(int row);
    void ClearRow(int row);
    // Clears the row only while its "Vol" cell starts with `letter` (0: empty), as a scan read
    // it: the rows may have been rebuilt since.
    void ClearRowShowing(int row, char16_t letter);
    void ClearAllRows();
    DeviceRecord* RecordOf(int row) const;
    bool IsDriveListed(char16_t letter) const;

    // ---- Checking
    void CheckRow(int row);
    void SetCellMatch(int row, int column, std::size_t slot, bool match);
    void SetRowVerdict(int row, bool pass);

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
    const ResultHost& host_;
    std::atomic<int> portMode_{-1};
};

}  // namespace qc
