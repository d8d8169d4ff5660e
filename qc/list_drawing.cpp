// The result list's drawing: failed cells marked, each row's check bar kept over its "Check"
// cell, and the bars' selection look following the list's selection and focus.
#include "qc/result_list.h"

#include <algorithm>

namespace qc {

using namespace ui;

namespace {

// Lays the row's bar over the cell (its left edge 1 pixel in, its bottom 1 pixel up) and shows
// it; hides it while the cell is out of the list's view, under the header or scrolled sideways.
void CoverCell(CListCtrl& list, RowState* state, int row, int column) {
    if (state == nullptr || state->bar == nullptr || state->bar->m_hWnd == nullptr)
        return;
    RECT cell{};
    if (!list.GetSubItemRect(row, column, LVIR_BOUNDS, cell))
        return;
    cell.left += 1;
    cell.bottom -= 1;
    // A row scrolled partly under the header: the bar stops at the header's lower edge.
    if (const HWND header = list.GetHeaderCtrl(); header != nullptr) {
        CBorrowed<> headerWindow(header);
        RECT headerRect{};
        if (headerWindow.IsWindowVisible()) {
            headerWindow.GetClientRect(&headerRect);
            if (cell.top < headerRect.bottom)
                cell.top = headerRect.bottom;
        }
    }
    RECT client{};
    list.GetClientRect(&client);
    if (cell.bottom <= cell.top || cell.right <= client.left || cell.left >= client.right ||
        cell.top >= client.bottom) {
        if (state->barShown != 0) {
            state->bar->ShowWindow(SW_HIDE);
            state->barShown = 0;
        }
        return;
    }
    // Moved only when its place changed: a move repaints the list under it, and the list's
    // painting is what places the bars.
    RECT now{};
    state->bar->GetWindowRect(&now);
    POINT topLeft{now.left, now.top};
    list.ScreenToClient(&topLeft);
    if (topLeft.x != cell.left || topLeft.y != cell.top || Width(now) != Width(cell) ||
        Height(now) != Height(cell)) {
        state->bar->MoveWindow(cell, true);
    }
    if (state->barShown == 0) {
        state->bar->ShowWindow(SW_SHOW);
        state->barShown = 1;
    }
}

}  // namespace

bool ResultList::ListHasFocus() const {
    return list_.m_hWnd != nullptr && ui::GetFocus() == list_.m_hWnd;
}

LRESULT ResultList::OnCustomDraw(NMLVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            // Scrolling sideways moves the list's picture but not the bars, and repaints only
            // what it uncovers, which need not hold a "Check" cell: every row on the page has its
            // bar follow its cell before anything is drawn.
            if (const int mode = portMode_; mode >= 0) {
                const int top = list_.GetTopIndex();
                const int end = std::min(list_.GetItemCount(), top + list_.GetCountPerPage());
                for (int row = top; row < end; ++row)
                    CoverCell(list_, StateOf(row), row, mode + 1);
            }
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
            return CDRF_NOTIFYPOSTPAINT;
        case CDDS_ITEMPOSTPAINT | CDDS_SUBITEM:
            break;
        default:
            return CDRF_DODEFAULT;
    }
    const int row = static_cast<int>(draw.nmcd.dwItemSpec);
    const int column = draw.iSubItem;
    const int mode = portMode_;
    if (column == mode + 1) {
        PlaceCheckBar(row, column);
        return CDRF_SKIPDEFAULT;
    }
    if (column < mode + 2)
        return CDRF_DODEFAULT;
    // A selected row keeps the list's highlight while the list has the focus.
    if ((list_.GetItemState(row, LVIS_SELECTED) & LVIS_SELECTED) != 0 && ListHasFocus())
        return CDRF_DODEFAULT;
    const RowState* state = StateOf(row);
    if (state == nullptr)
        return CDRF_DODEFAULT;
    const EnabledFlags& enabled = shown_;
    const std::vector<std::size_t> shown = ShownItems(enabled);
    const auto k = static_cast<std::size_t>(column - mode - 2);
    if (k >= shown.size())
        return CDRF_DODEFAULT;
    if (!ColumnMarked(enabled, shown[k], state->matches))
        return CDRF_DODEFAULT;
    RECT cell{};
    if (!list_.GetSubItemRect(row, column, LVIR_BOUNDS, cell))
        return CDRF_DODEFAULT;
    CDC dc(draw.nmcd.hdc);
    dc.FillSolidRect(cell, kMarkColor);
    dc.DrawText(list_.GetItemText(row, column), cell, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return CDRF_SKIPDEFAULT;
}

void ResultList::PlaceCheckBar(int row, int column) {
    HideOffscreenBars();
    CoverCell(list_, StateOf(row), row, column);
}

void ResultList::HideOffscreenBars() {
    // Whether or not the list has the focus: a bar left where its row was before scrolling
    // would stand over another row's cells or over the header.
    const int top = list_.GetTopIndex();
    const int end = top + list_.GetCountPerPage();
    const int rows = list_.GetItemCount();
    for (int row = 0; row < rows; ++row) {
        if (row >= top && row < end)
            continue;
        RowState* state = StateOf(row);
        if (state != nullptr && state->barShown != 0 && state->bar != nullptr) {
            state->bar->ShowWindow(SW_HIDE);
            state->barShown = 0;
        }
    }
}

void ResultList::OnItemChanged(const NMLISTVIEW& change) {
    const RowState* state = change.iItem < 0 ? nullptr : StateOf(change.iItem);
    if (state == nullptr || state->barWindow == nullptr)
        return;
    const bool now = (change.uNewState & LVIS_SELECTED) != 0;
    const bool before = (change.uOldState & LVIS_SELECTED) != 0;
    if (now && !before && ListHasFocus())
        ui::PostMessage(state->barWindow, PBM_SETRANGE32, 1, 0);
    else if (before && !now)
        ui::PostMessage(state->barWindow, PBM_SETRANGE32, 0, 0);
}

void ResultList::OnFocusChanged(bool focused) {
    // Each search starts after the last row found, so the walk ends whatever the list answers.
    for (int row = list_.GetNextItem(-1, LVNI_SELECTED), last = -1; row > last;
         last = row, row = list_.GetNextItem(row, LVNI_SELECTED)) {
        const RowState* state = StateOf(row);
        if (state != nullptr && state->barWindow != nullptr)
            ui::PostMessage(state->barWindow, PBM_SETRANGE32, focused ? 1 : 0, 0);
    }
}

void ResultList::SelectRowUnderCursor() {
    POINT point{};
    if (!ui::GetCursorPos(&point))
        return;
    list_.ScreenToClient(&point);
    const int row = list_.HitTest(point);
    list_.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row >= 0)
        list_.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list_.SetFocus();
}

}  // namespace qc
