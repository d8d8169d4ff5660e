// The result list's rows and their states, and the checking of a row.
#include "qc/result_list.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "platform/text.h"
#include "qc/device_scan.h"
#include "usb/port_map.h"

namespace qc {

using namespace ui;

namespace {

// Deletes the columns from `first` on. A list that refuses a deletion keeps the rest: each
// column is tried once, so the loop ends whatever the list does.
void DeleteColumnsFrom(CListCtrl& list, int first) {
    for (int left = list.GetColumnCount() - first; left > 0 && list.DeleteColumn(first); --left) {
    }
}

}  // namespace

RowState* ResultList::StateOf(int row) const {
    return reinterpret_cast<RowState*>(list_.GetItemData(row));
}

void ResultList::RebuildItemColumns(const ItemColumns& columns) {
    shown_ = columns.enabled;
    DeleteColumnsFrom(list_, portMode_ + 2);
    for (std::size_t item : ShownItems(shown_)) {
        list_.InsertColumn(list_.GetColumnCount(), columns.captions[item], LVCFMT_CENTER,
                           columns.widths[item]);
    }
}

void ResultList::SetPortMode(int mode, const ItemColumns& columns) {
    if (mode == portMode_)
        return;
    // Callers clear the rows first; a state left behind still goes with its bar.
    for (int row = 0; row < list_.GetItemCount(); ++row) {
        delete StateOf(row);
        list_.SetItemData(row, 0);
    }
    list_.DeleteAllItems();
    DeleteColumnsFrom(list_, 0);
    int column = 0;
    if (mode == 1)
        list_.InsertColumn(column++, u"Port", LVCFMT_CENTER, 40);
    list_.InsertColumn(column++, u"Vol", LVCFMT_CENTER, 40);
    list_.InsertColumn(column++, u"Check", LVCFMT_CENTER, 80);
    portMode_ = mode;
    RebuildItemColumns(columns);
    if (mode == 1) {
        for (int row = 0; row < kStationRows; ++row)
            list_.InsertItem(row, platform::DecimalText(row + 1));
    }
}

bool ResultList::IsDriveListed(char16_t letter) const {
    const int rows = list_.GetItemCount();
    for (int row = 0; row < rows; ++row) {
        const std::u16string cell = list_.GetItemText(row, portMode_, kVolCellBuffer);
        if (!cell.empty() && cell[0] == letter)
            return true;
    }
    return false;
}

int ResultList::AddDeviceRow(const usb::UsbDeviceEntry& entry, const CheckSetup& setup) {
    if (entry.firstVolume == nullptr || portMode_ < 0)
        return -1;
    int row = 0;
    if (portMode_ == 1) {
        row = usb::StationPortOf(setup.portFile, entry.portOrdinal) - 1;
        if (row < 0 || row >= kStationRows || row >= list_.GetItemCount())
            return -1;
    } else {
        row = list_.InsertItem(list_.GetItemCount(), u"");
        if (row < 0)
            return -1;
    }

    DiskPlace place = MakeDiskPlace(entry, portMode_ == 1 ? row + 1 : 0);
    list_.SetItemText(row, portMode_, place.vol);
    list_.SetItemText(row, portMode_ + 1, u"-");

    delete StateOf(row);  // a station row that held a disk: its bar goes too
    list_.SetItemData(row, 0);

    auto* state = new RowState;
    std::memcpy(static_cast<void*>(&state->deviceData), static_cast<const void*>(&entry),
                usb::kDeviceDataPartSize);
    usb::VolumePosition first = entry.firstVolume;
    usb::CEnumUSB::GetNextVolume(&state->volumeData, &first);
    // The entry's volumes belong to whoever sent it; the state keeps its own.
    state->deviceData.firstVolume = &state->volumeData;
    state->place = std::move(place);

    state->bar = std::make_unique<CProgressX>();
    if (state->bar->Create(WS_CHILD | PBS_VERTICAL, RECT{0, 0, 0, 0}, &list_,
                           static_cast<UINT>(entry.portOrdinal)))
        state->barWindow = state->bar->m_hWnd;
    list_.SetItemData(row, reinterpret_cast<DWORD_PTR>(state));

    const device::InfoRead got =
        device::DecodeControllerInfo(state->deviceData.diskNumbers[0],
                                     state->volumeData.driveLetter, state->values, setup.lists);
    state->opened = got != device::InfoRead::NotOpened;
    state->read = got == device::InfoRead::Done;
    FillRowValues(row);
    if (setup.autoCheck)
        CheckRow(row, setup);
    return row;
}

void ResultList::FillRowValues(int row) {
    const RowState* state = StateOf(row);
    if (state == nullptr)
        return;
    int column = portMode_ + 2;
    for (std::size_t item : ShownItems(shown_))
        list_.SetItemText(row, column++, state->values[item]);
}

void ResultList::ClearRow(int row) {
    if (row < 0 || row >= list_.GetItemCount())
        return;
    delete StateOf(row);  // destroys the row's check bar first
    list_.SetItemData(row, 0);
    if (portMode_ == 0) {
        list_.DeleteItem(row);
        return;
    }
    for (int column = 1; column < list_.GetColumnCount(); ++column)
        list_.SetItemText(row, column, u"");
}

void ResultList::ClearRowShowing(int row, char16_t letter) {
    if (row < 0 || row >= list_.GetItemCount())
        return;
    const std::u16string cell = list_.GetItemText(row, portMode_, kVolCellBuffer);
    if ((cell.empty() ? u'\0' : cell[0]) == letter)
        ClearRow(row);
}

void ResultList::ClearAllRows() {
    // In free mode each clear deletes the row and the next one moves up; a row the list keeps
    // is passed over. Each row is cleared once, so the loop ends whatever the list does.
    const int rows = list_.GetItemCount();
    for (int cleared = 0, row = 0; cleared < rows; ++cleared) {
        const int before = list_.GetItemCount();
        ClearRow(row);
        if (portMode_ != 0 || list_.GetItemCount() == before)
            ++row;
    }
}

void ResultList::CheckRow(int row, const CheckSetup& setup) {
    const RowState* state = StateOf(row);
    // A disk never read is never judged: a FAIL it did not earn would count against the line.
    if (state == nullptr || !state->opened || list_.GetItemText(row, portMode_ + 1).empty())
        return;
    // The cells show the state's values; the verdict is judged from those, the cells are marked.
    const Verdict verdict = Judge(setup, state->values);
    const int first = portMode_ + 2;
    for (const CheckedItem& checked : CheckedItems(setup.enabled)) {
        const bool failed = std::find(verdict.failed.begin(), verdict.failed.end(), checked.item) !=
                            verdict.failed.end();
        SetCellMatch(row, first + static_cast<int>(checked.column), checked.item, !failed);
    }
    // A block not read leaves empty values, marked where they fail; they say nothing of the
    // disk, which is FAIL whatever the items enabled.
    SetRowVerdict(row, state->read ? std::optional<Verdict>(verdict) : std::nullopt, setup);
}

void ResultList::SetCellMatch(int row, int column, std::size_t slot, bool match) {
    RowState* state = StateOf(row);
    if (state == nullptr || slot >= state->matches.size())
        return;
    state->matches[slot] = match ? 1 : 0;
    RECT cell{};
    if (list_.GetSubItemRect(row, column, LVIR_BOUNDS, cell))
        list_.InvalidateRect(&cell, true);
}

void ResultList::SetRowVerdict(int row, const std::optional<Verdict>& verdict,
                               const CheckSetup& setup) {
    const RowState* state = StateOf(row);
    if (state == nullptr)
        return;
    const bool pass = verdict && verdict->pass;
    // On disk before it shows; a log that cannot be written now gets the line with the next.
    log.Append(LogLineOf(platform::CurrentLocalTime(), state->place, setup.checkFile, verdict,
                         state->values));
    if (state->barWindow == nullptr)
        return;
    ui::PostMessage(state->barWindow, PBM_DELTAPOS, pass ? CProgressX::kPass : CProgressX::kFail,
                    reinterpret_cast<LPARAM>(pass ? kPass : kFail));
}

}  // namespace qc
