// The main window's result list: columns in station or free mode, rows and their records.
#include <string>

#include "app/check_items.h"
#include "app/tavrin_dlg.h"
#include "platform/text.h"
#include "qc/check_model.h"

namespace app {

using namespace ui;

namespace {

constexpr int kStationRows = 16;

qc::EnabledFlags EnabledFlags() {
    qc::EnabledFlags flags{};
    for (std::size_t i = 0; i < kItemCount; ++i)
        flags[i] = checkItems[i].enabled;
    return flags;
}

// Deletes the columns from `first` on. A list that refuses a deletion keeps the rest: each
// column is tried once, so the loop ends whatever the list does.
void DeleteColumnsFrom(CListCtrl& list, int first) {
    for (int left = list.GetColumnCount() - first; left > 0 && list.DeleteColumn(first); --left) {
    }
}

}  // namespace

qc::DeviceRecord* CTavrinDlg::RecordOf(int row) {
    return reinterpret_cast<qc::DeviceRecord*>(resultList.GetItemData(row));
}

const qc::DeviceRecord* CTavrinDlg::RecordOf(int row) const {
    return reinterpret_cast<const qc::DeviceRecord*>(resultList.GetItemData(row));
}

void CTavrinDlg::RebuildItemColumns() {
    DeleteColumnsFrom(resultList, portMode + 2);
    for (std::size_t item : qc::ShownItems(EnabledFlags())) {
        resultList.InsertColumn(resultList.GetColumnCount(), LoadString(checkItems[item].captionId),
                                LVCFMT_CENTER, checkItems[item].columnWidth);
    }
}

void CTavrinDlg::SetPortMode(int mode) {
    if (mode == portMode)
        return;
    // The rows go with their records and check bars.
    for (int row = 0; row < resultList.GetItemCount(); ++row) {
        delete RecordOf(row);
        resultList.SetItemData(row, 0);
    }
    resultList.DeleteAllItems();
    DeleteColumnsFrom(resultList, 0);
    int column = 0;
    if (mode == 1)
        resultList.InsertColumn(column++, u"Port", LVCFMT_CENTER, 40);
    resultList.InsertColumn(column++, u"Vol", LVCFMT_CENTER, 40);
    resultList.InsertColumn(column++, u"Check", LVCFMT_CENTER, 80);
    portMode = mode;
    RebuildItemColumns();
    if (mode == 1) {
        for (int row = 0; row < kStationRows; ++row)
            resultList.InsertItem(row, platform::DecimalText(row + 1));
    }
}

void CTavrinDlg::FillRowValues(int row) {
    const qc::DeviceRecord* record = RecordOf(row);
    if (record == nullptr)
        return;
    int column = portMode + 2;
    for (std::size_t item : qc::ShownItems(EnabledFlags())) {
        resultList.SetItemText(row, column++, record->values[item]);
    }
}

void CTavrinDlg::ClearRow(int row) {
    if (row < 0 || row >= resultList.GetItemCount())
        return;
    delete RecordOf(row);  // destroys the row's check bar first
    resultList.SetItemData(row, 0);
    if (portMode == 0) {
        resultList.DeleteItem(row);
        return;
    }
    for (int column = 1; column < resultList.GetColumnCount(); ++column) {
        resultList.SetItemText(row, column, u"");
    }
}

void CTavrinDlg::ClearAllRows() {
    // In free mode each clear deletes the row and the next one moves up; a row the list keeps
    // is passed over. Each row is cleared once, so the loop ends whatever the list does.
    const int rows = resultList.GetItemCount();
    for (int cleared = 0, row = 0; cleared < rows; ++cleared) {
        const int before = resultList.GetItemCount();
        ClearRow(row);
        if (portMode != 0 || resultList.GetItemCount() == before)
            ++row;
    }
}

}  // namespace app
