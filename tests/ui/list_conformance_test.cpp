// The list view as the platform's control behaves, the same on either backend: columns and rows,
// the item-change notifications with their old and new states, focus notifications, custom-draw
// stages and their results, row heights, cell rectangles and hit tests. The windows live on the
// test's own thread.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_testing.h"
#include "tests/support/message_sequence.h"

namespace {

using namespace ui;
using uitest::CustomDraw;
using uitest::Msg;
using uitest::Notify;

constexpr UINT kListId = 100;

// A list of three columns (50, 60, 70 wide) and rows r0, r1, ... in a visible window.
struct ListWindow {
    uitest::NotifyHost host;
    CListCtrl list;

    explicit ListWindow(DWORD style = 0, int rows = 3) {
        EXPECT_TRUE(host.Create());
        EXPECT_TRUE(list.Create(u"SysListView32", u"", WS_CHILD | WS_VISIBLE | LVS_REPORT | style,
                                {0, 0, 300, 200}, &host, kListId));
        host.from = list.m_hWnd;
        list.InsertColumn(0, u"A", LVCFMT_LEFT, 50);
        list.InsertColumn(1, u"B", LVCFMT_LEFT, 60);
        list.InsertColumn(2, u"C", LVCFMT_LEFT, 70);
        for (int i = 0; i < rows; ++i)
            list.InsertItem(i, u"r" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)));
        host.sequence.Clear();
    }
    ~ListWindow() {
        host.answer = nullptr;
        list.DestroyWindow();
        host.DestroyWindow();
    }
    int RowHeight() {
        RECT first, second;
        EXPECT_TRUE(list.GetSubItemRect(list.GetTopIndex(), 0, LVIR_BOUNDS, first));
        EXPECT_TRUE(list.GetSubItemRect(list.GetTopIndex() + 1, 0, LVIR_BOUNDS, second));
        EXPECT_EQ(second.top, first.bottom) << "rows follow each other";
        return Height(first);
    }
};

TEST(ListViewTest, ColumnsAndRowsShiftAsThePlatformsDo) {
    ListWindow w(0, 0);
    CListCtrl& list = w.list;
    EXPECT_EQ(list.InsertItem(0, u"first"), 0);
    EXPECT_EQ(list.InsertItem(0, u"second"), 0);
    EXPECT_EQ(list.InsertItem(99, u"last"), 2);
    EXPECT_EQ(list.InsertItem(-1, u"none"), -1);
    EXPECT_EQ(list.GetItemText(1, 0), u"first");
    EXPECT_TRUE(list.SetItemText(1, 1, u"b"));
    EXPECT_TRUE(list.SetItemText(1, 2, u"c"));
    EXPECT_FALSE(list.SetItemText(1, 3, u"no column")) << "a sub-item needs its column";
    EXPECT_FALSE(list.SetItemText(7, 0, u"no row"));

    EXPECT_EQ(list.InsertColumn(1, u"X", LVCFMT_CENTER, 40), 1);
    EXPECT_EQ(list.InsertColumn(9, u"Z", LVCFMT_LEFT, 10), 4);
    EXPECT_EQ(list.GetColumnCount(), 5);
    EXPECT_EQ(list.GetItemText(1, 1), u"");
    EXPECT_EQ(list.GetItemText(1, 2), u"b");
    EXPECT_EQ(list.GetItemText(1, 3), u"c");
    EXPECT_TRUE(list.DeleteColumn(2));
    EXPECT_EQ(list.GetItemText(1, 2), u"c");
    EXPECT_EQ(ui::testing::GetColumnHeading(list, 2), u"C");
    EXPECT_EQ(ui::testing::GetColumnWidth(list, 1), 40);
    EXPECT_FALSE(list.DeleteColumn(7));

    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_FALSE(list.DeleteItem(5));
    EXPECT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(0, 0), u"first");
    EXPECT_EQ(list.GetItemText(0, 0, 4), u"fir") << "at most size - 1 characters";
    EXPECT_EQ(list.GetItemText(0, 0, 1), u"");
    EXPECT_EQ(list.GetItemText(9, 0), u"");
    EXPECT_TRUE(list.SetItemData(1, 77));
    EXPECT_EQ(list.GetItemData(1), 77u);
    EXPECT_EQ(list.GetItemData(5), 0u);
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
}

TEST(ListViewTest, ItemChangesAreNotifiedWithTheirOldAndNewStates) {
    // Runs `act` on a fresh list whose rows `selected` are selected and `focused` is focused.
    auto check = [](const char* name, DWORD style, std::vector<int> selected, int focused,
                    const std::function<bool(CListCtrl&)>& act, bool result,
                    const std::vector<Msg>& expected, bool refuse = false) {
        ListWindow w(style);
        for (int row : selected)
            w.list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        if (focused >= 0)
            w.list.SetItemState(focused, LVIS_FOCUSED, LVIS_FOCUSED);
        w.host.codes = {LVN_ITEMCHANGING, LVN_ITEMCHANGED, LVN_DELETEITEM};
        w.host.sequence.Clear();
        if (refuse) {
            w.host.answer = [](NMHDR* h) -> LRESULT {
                return h->code == static_cast<UINT>(LVN_ITEMCHANGING) ? 1 : 0;
            };
        }
        EXPECT_EQ(act(w.list), result) << name;
        EXPECT_SEQUENCE(w.host.sequence, expected, name);
    };
    auto select = [](int row) {
        return [row](CListCtrl& l) { return l.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED); };
    };
    auto focus = [](int row) {
        return [row](CListCtrl& l) { return l.SetItemState(row, LVIS_FOCUSED, LVIS_FOCUSED); };
    };
    auto clearAll = [](CListCtrl& l) { return l.SetItemState(-1, 0, LVIS_SELECTED); };
    const Msg changing = Notify(LVN_ITEMCHANGING), changed = Notify(LVN_ITEMCHANGED);
    const UINT sel = LVIS_SELECTED, foc = LVIS_FOCUSED;

    check("select", 0, {}, -1, select(1), true,
          {changing.Item(1).States(sel, 0), changed.Item(1).States(sel, 0)});
    // The platform asks even when nothing would change.
    check("select again", 0, {1}, -1, select(1), true, {changing.Item(1).States(sel, sel)});
    check("refused", 0, {}, -1, select(1), false, {changing.Item(1).States(sel, 0)}, true);
    check("single selection", LVS_SINGLESEL, {0}, -1, select(2), true,
          {changing.Item(2).States(sel, 0), changing.Item(0).States(0, sel),
           changed.Item(0).States(0, sel), changed.Item(2).States(sel, 0)});
    check("focus moves", 0, {}, 0, focus(1), true,
          {changing.Item(1).States(foc, 0), changing.Item(0).States(0, foc),
           changed.Item(0).States(0, foc), changed.Item(1).States(foc, 0)});
    check("clear nothing", 0, {}, -1, clearAll, true, {});
    check("clear all: every item is asked", 0, {0, 2}, -1, clearAll, true,
          {changing.Item(0).States(0, sel), changed.Item(0).States(0, sel),
           changing.Item(1).States(0, 0), changing.Item(2).States(0, sel),
           changed.Item(2).States(0, sel)});
    check("focus all", 0, {}, -1,
          [](CListCtrl& l) { return l.SetItemState(-1, LVIS_FOCUSED, LVIS_FOCUSED); }, false, {});
    check("sub-item text, then item text", 0, {}, -1,
          [](CListCtrl& l) { return l.SetItemText(0, 1, u"sub") && l.SetItemText(0, 0, u"new"); },
          true, {changing.Item(0).SubItem(0), changed.Item(0).SubItem(0)});
    check("item data", 0, {}, -1, [](CListCtrl& l) { return l.SetItemData(2, 77); }, true,
          {changing.Item(2), changed.Item(2)});
    check("delete a selected item", 0, {1}, -1, [](CListCtrl& l) { return l.DeleteItem(1); }, true,
          {changing.Item(1).States(0, sel).Optional(), changed.Item(1).States(0, sel).Optional(),
           Notify(LVN_DELETEITEM).Item(1)});
}

TEST(ListViewTest, FocusComesAndGoesWithNotifications) {
    ListWindow w;
    w.host.codes = {NM_SETFOCUS, NM_KILLFOCUS};
    CWnd edit;
    ASSERT_TRUE(edit.Create(u"Edit", u"", WS_CHILD | WS_VISIBLE, {0, 250, 50, 270}, &w.host, 7));
    w.list.SetFocus();
    edit.SetFocus();
    EXPECT_SEQUENCE(w.host.sequence, (std::vector<Msg>{Notify(NM_SETFOCUS), Notify(NM_KILLFOCUS)}),
                    "focus in, then out");
    edit.DestroyWindow();
}

TEST(ListViewTest, CellRectanglesFollowTheColumnsAndTheRowHeight) {
    ListWindow w(0, 30);
    CListCtrl& list = w.list;
    const int row = w.RowHeight();
    RECT headerRect;
    CWnd header;
    ASSERT_TRUE(header.Attach(list.GetHeaderCtrl()));
    header.GetWindowRect(&headerRect);
    header.Detach();
    RECT client;
    list.GetClientRect(&client);
    EXPECT_EQ(list.GetCountPerPage(), (Height(client) - Height(headerRect)) / row);

    RECT first, r;
    ASSERT_TRUE(list.GetSubItemRect(0, 0, LVIR_BOUNDS, first));
    EXPECT_EQ(first.top, Height(headerRect)) << "the first row starts below the header";
    ASSERT_TRUE(list.GetSubItemRect(1, 0, LVIR_BOUNDS, r));
    EXPECT_EQ(r, (RECT{0, first.top + row, 180, first.top + 2 * row})) << "column 0: the row";
    ASSERT_TRUE(list.GetSubItemRect(1, 0, LVIR_LABEL, r));
    EXPECT_EQ(r.right, 50) << "column 0's label ends with the column";
    ASSERT_TRUE(list.GetSubItemRect(1, 2, LVIR_BOUNDS, r));
    EXPECT_EQ(r, (RECT{110, first.top + row, 180, first.top + 2 * row}));
    EXPECT_FALSE(list.GetSubItemRect(40, 0, LVIR_BOUNDS, r));

    // Focusing an item scrolls it into view.
    EXPECT_EQ(list.GetTopIndex(), 0);
    list.SetItemState(20, LVIS_FOCUSED, LVIS_FOCUSED);
    const int perPage = list.GetCountPerPage();
    EXPECT_EQ(list.GetTopIndex(), 20 - perPage + 1);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 20);
    ASSERT_TRUE(list.GetSubItemRect(20, 1, LVIR_BOUNDS, r));
    EXPECT_EQ(r.top, first.top + (perPage - 1) * row);

    list.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(5, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 3);
    EXPECT_EQ(list.GetNextItem(3, LVNI_SELECTED), 5);
    EXPECT_EQ(list.GetNextItem(5, LVNI_SELECTED), -1);
    EXPECT_EQ(list.GetNextItem(28, LVNI_ALL), 29);
    EXPECT_EQ(list.GetItemState(5, LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED);
}

TEST(ListViewTest, TheSmallImageListSetsTheRowHeight) {
    ListWindow w;
    CListCtrl& list = w.list;
    const int text = w.RowHeight();
    list.SetExtendedStyle(LVS_EX_GRIDLINES);
    EXPECT_EQ(w.RowHeight(), text) << "grid lines leave the rows as they are";
    list.SetExtendedStyle(0);

    CImageList tall;
    ASSERT_TRUE(tall.Create(1, 40, ILC_COLOR, 0, 0));
    EXPECT_EQ(list.SetImageList(&tall, LVSIL_SMALL), nullptr);
    EXPECT_EQ(ui::testing::GetImageList(list, LVSIL_SMALL), tall.m_hImageList);
    EXPECT_EQ(w.RowHeight(), 40 + 1);

    // Given back: the list no longer holds it, so it does not destroy it.
    EXPECT_EQ(list.SetImageList(nullptr, LVSIL_SMALL), tall.m_hImageList);
    EXPECT_EQ(w.RowHeight(), text);
}

TEST(ListViewTest, HitTestsFindTheItemOrTheFullRow) {
    ListWindow w;
    CListCtrl& list = w.list;
    RECT row1;
    ASSERT_TRUE(list.GetSubItemRect(1, 0, LVIR_BOUNDS, row1));
    const int y = (row1.top + row1.bottom) / 2;
    struct Case {
        POINT point;
        int row;
        UINT flags;  // 0: not compared
    };
    const Case plain[] = {
        {{10, y}, 1, LVHT_ONITEMLABEL},
        {{45, y}, 1, LVHT_ONITEMLABEL},  // past the text, still the item's column
        {{60, y}, -1, 0},                // only the item itself without full-row select
        {{10, row1.top - 100}, -1, 0},   // the header and above
        {{10, row1.bottom + 100}, -1, LVHT_NOWHERE},
    };
    for (const auto& c : plain) {
        UINT flags = 0;
        EXPECT_EQ(list.HitTest(c.point, &flags), c.row) << c.point.x << "," << c.point.y;
        if (c.flags != 0) {
            EXPECT_EQ(flags, c.flags) << c.point.x << "," << c.point.y;
        }
    }
    EXPECT_EQ(list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES), 0u);
    EXPECT_EQ(list.GetExtendedStyle(), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    ASSERT_TRUE(list.GetSubItemRect(1, 0, LVIR_BOUNDS, row1));
    const int y2 = (row1.top + row1.bottom) / 2;
    EXPECT_EQ(list.HitTest({60, y2}), 1);
    EXPECT_EQ(list.HitTest({170, y2}), 1);
    EXPECT_EQ(list.HitTest({190, y2}), -1) << "past the last column";
}

TEST(ListViewTest, CustomDrawGoesThroughItsStagesAndHonoursTheAnswers) {
    ListWindow w;
    CListCtrl& list = w.list;
    list.SetItemText(0, 1, u"b0");
    list.SetItemText(0, 2, u"c0");
    list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.SetFocus();

    std::vector<HDC> dcs;
    std::vector<RECT> cells;
    std::vector<UINT> itemStates;
    w.host.codes = {NM_CUSTOMDRAW};
    w.host.answer = [&](NMHDR* h) -> LRESULT {
        if (h->code != static_cast<UINT>(NM_CUSTOMDRAW) || h->hwndFrom != list.m_hWnd)
            return 0;
        auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(h);
        dcs.push_back(cd->nmcd.hdc);
        switch (cd->nmcd.dwDrawStage) {
            case CDDS_PREPAINT:
                return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
            case CDDS_ITEMPREPAINT:
                itemStates.push_back(cd->nmcd.uItemState);
                return CDRF_NOTIFYSUBITEMDRAW | CDRF_NOTIFYPOSTPAINT;
            case CDDS_SUBITEM | CDDS_ITEMPREPAINT:
                if (cd->nmcd.dwItemSpec == 0)
                    cells.push_back(cd->nmcd.rc);
                if (cd->iSubItem == 1)
                    return CDRF_SKIPDEFAULT;
                return cd->iSubItem == 0 ? CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
            default:
                return CDRF_DODEFAULT;
        }
    };
    w.host.sequence.Clear();
    list.Invalidate();
    list.UpdateWindow();

    std::vector<Msg> expected{CustomDraw(CDDS_PREPAINT)};
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(),
                        {CustomDraw(CDDS_ITEMPREPAINT).Item(i),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPREPAINT).Item(i).SubItem(0),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPOSTPAINT).Item(i).SubItem(0),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPREPAINT).Item(i).SubItem(1),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPREPAINT).Item(i).SubItem(2),
                         CustomDraw(CDDS_ITEMPOSTPAINT).Item(i)});
    }
    expected.push_back(CustomDraw(CDDS_POSTPAINT));
    EXPECT_SEQUENCE(w.host.sequence, expected, "one paint of three rows");

    ASSERT_FALSE(dcs.empty());
    EXPECT_NE(dcs.front(), nullptr);
    EXPECT_EQ(std::count(dcs.begin(), dcs.end(), dcs.front()), static_cast<long>(dcs.size()))
        << "one context for the whole paint";
    EXPECT_EQ(itemStates, (std::vector<UINT>{CDIS_SELECTED | CDIS_FOCUS, 0, 0}));
    RECT row0;
    ASSERT_TRUE(list.GetSubItemRect(0, 0, LVIR_BOUNDS, row0));
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[0].top, row0.top);
    EXPECT_EQ(cells[0].bottom, row0.bottom);
    EXPECT_EQ(cells[1], (RECT{50, row0.top, 110, row0.bottom}));
    EXPECT_EQ(cells[2], (RECT{110, row0.top, 180, row0.bottom}));
}

TEST(ListViewTest, WithoutItemDrawOnlyTheWholeListStagesCome) {
    ListWindow w;
    w.host.codes = {NM_CUSTOMDRAW};
    w.host.answer = [&](NMHDR* h) -> LRESULT {
        return h->hwndFrom == w.list.m_hWnd ? CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
    };
    w.list.Invalidate();
    w.list.UpdateWindow();
    EXPECT_SEQUENCE(w.host.sequence,
                    (std::vector<Msg>{CustomDraw(CDDS_PREPAINT), CustomDraw(CDDS_POSTPAINT)}),
                    "no item stages without CDRF_NOTIFYITEMDRAW");
}

TEST(ListViewTest, ScrollingSidewaysMovesTheCellsAndTheHeaderAndPaintsWhatItUncovers) {
    ListWindow w(WS_CLIPCHILDREN);
    CListCtrl& list = w.list;
    list.InsertColumn(3, u"D", LVCFMT_LEFT, 200);  // 380 wide in 300
    list.UpdateWindow();
    w.host.codes = {NM_CUSTOMDRAW};
    w.host.answer = [&](NMHDR* h) -> LRESULT {
        if (h->hwndFrom != list.m_hWnd)
            return CDRF_DODEFAULT;
        auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(h);
        return cd->nmcd.dwDrawStage == CDDS_PREPAINT       ? CDRF_NOTIFYITEMDRAW
               : cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT ? CDRF_NOTIFYSUBITEMDRAW
                                                           : CDRF_DODEFAULT;
    };
    w.host.sequence.Clear();
    EXPECT_TRUE(list.SendMessage(0x1014 /* LVM_SCROLL */, 30, 0));
    list.UpdateWindow();
    std::vector<Msg> expected{CustomDraw(CDDS_PREPAINT)};
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(),
                        {CustomDraw(CDDS_ITEMPREPAINT).Item(i),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPREPAINT).Item(i).SubItem(3)});
    }
    EXPECT_SEQUENCE(w.host.sequence, expected, "only the uncovered strip is painted");
    RECT cell, headerRect;
    ASSERT_TRUE(list.GetSubItemRect(0, 1, LVIR_BOUNDS, cell));
    EXPECT_EQ(cell.left, 50 - 30);
    CWnd header;
    ASSERT_TRUE(header.Attach(list.GetHeaderCtrl()));
    header.GetWindowRect(&headerRect);
    header.Detach();
    POINT origin{headerRect.left, headerRect.top};
    list.ScreenToClient(&origin);
    EXPECT_EQ(origin.x, -30) << "the header moves with the columns";

    // A child window over the rows stays where it is; what the list showed under it is painted
    // again where it has moved to: columns B and C, with D uncovered.
    CWnd child;
    ASSERT_TRUE(child.Create(u"Static", u"", WS_CHILD | WS_VISIBLE,
                             {60, cell.top, 100, cell.top + 3 * w.RowHeight()}, &list, 1));
    list.UpdateWindow();
    w.host.sequence.Clear();
    EXPECT_TRUE(list.SendMessage(0x1014 /* LVM_SCROLL */, 30, 0));
    list.UpdateWindow();
    expected = {CustomDraw(CDDS_PREPAINT)};
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(),
                        {CustomDraw(CDDS_ITEMPREPAINT).Item(i),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPREPAINT).Item(i).SubItem(1),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPREPAINT).Item(i).SubItem(2),
                         CustomDraw(CDDS_SUBITEM | CDDS_ITEMPREPAINT).Item(i).SubItem(3)});
    }
    EXPECT_SEQUENCE(w.host.sequence, expected, "the strip and what came from under the child");
    RECT childRect;
    child.GetWindowRect(&childRect);
    POINT childOrigin{childRect.left, childRect.top};
    list.ScreenToClient(&childOrigin);
    EXPECT_EQ(childOrigin.x, 60);
    child.DestroyWindow();
}

}  // namespace
