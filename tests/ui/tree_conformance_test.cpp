// The tree view as the platform's control behaves, the same on either backend: structure,
// expansion and selection, item rectangles, hit tests of an item's parts, check states and the
// order of a click on a check box. The windows live on the test's own thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_testing.h"
#include "tests/support/message_sequence.h"
#include "tests/support/tree_click.h"

namespace {

using namespace ui;
using uitest::Msg;
using uitest::Notify;

constexpr int kIndent = 19;  // the default indent

// A: a0, a2, a1 (a0 put first, a2 after it); B without children.
struct TreeWindow {
    uitest::NotifyHost host;
    CTreeCtrl tree;
    HTREEITEM a, b, a0, a1, a2;

    explicit TreeWindow(DWORD style = TVS_CHECKBOXES | TVS_HASBUTTONS | TVS_LINESATROOT) {
        EXPECT_TRUE(host.Create({0, 0, 300, 300}));
        EXPECT_TRUE(tree.Create(u"SysTreeView32", u"", WS_CHILD | WS_VISIBLE | style,
                                {0, 0, 200, 200}, &host, 200));
        host.from = tree.m_hWnd;
        // The check boxes' images come with the first paint, which clears every tick.
        tree.UpdateWindow();
        a = tree.InsertItem(u"A", TviRoot(), TviLast());
        b = tree.InsertItem(u"B", TviRoot(), TviLast());
        a1 = tree.InsertItem(u"a1", a, TviLast());
        a0 = tree.InsertItem(u"a0", a, TviFirst());
        a2 = tree.InsertItem(u"a2", a, a0);
        host.sequence.Clear();
    }
    ~TreeWindow() {
        host.answer = nullptr;
        tree.DestroyWindow();
        host.DestroyWindow();
    }
    RECT Label(HTREEITEM item) {
        RECT r{};
        EXPECT_TRUE(ui::testing::GetItemRect(tree, item, &r, true));
        return r;
    }
};

TEST(TreeViewTest, ItemsNavigateExpandAndSelect) {
    TreeWindow w;
    CTreeCtrl& tree = w.tree;
    EXPECT_EQ(tree.GetRootItem(), w.a);
    EXPECT_EQ(tree.GetNextSiblingItem(w.a), w.b);
    EXPECT_EQ(tree.GetNextSiblingItem(w.b), nullptr);
    EXPECT_EQ(tree.GetChildItem(w.a), w.a0);
    EXPECT_EQ(tree.GetNextSiblingItem(w.a0), w.a2);
    EXPECT_EQ(tree.GetNextSiblingItem(w.a2), w.a1);
    EXPECT_EQ(tree.GetParentItem(w.a1), w.a);
    EXPECT_EQ(tree.GetParentItem(w.a), nullptr);
    EXPECT_TRUE(ui::testing::ItemHasChildren(tree, w.a));
    EXPECT_FALSE(ui::testing::ItemHasChildren(tree, w.b));
    EXPECT_EQ(tree.GetItemText(w.a2), u"a2");
    EXPECT_EQ(tree.GetItemText(tree.InsertItem(std::u16string(300, u'x'), w.b, TviLast())),
              std::u16string(300, u'x'))
        << "a text longer than the first buffer";
    EXPECT_TRUE(tree.SetItemData(w.b, 42));
    EXPECT_EQ(tree.GetItemData(w.b), 42u);

    RECT r;
    EXPECT_FALSE(ui::testing::GetItemRect(tree, w.a0, &r, false))
        << "hidden under a collapsed parent";
    EXPECT_TRUE(tree.Expand(w.a, TVE_EXPAND));
    EXPECT_TRUE(ui::testing::IsExpanded(tree, w.a));
    RECT rowA, rowA0;
    ASSERT_TRUE(ui::testing::GetItemRect(tree, w.a, &rowA, false));
    ASSERT_TRUE(ui::testing::GetItemRect(tree, w.a0, &rowA0, false));
    EXPECT_EQ(rowA, (RECT{0, 0, 200, Height(rowA)})) << "the whole line";
    EXPECT_EQ(rowA0, (RECT{0, rowA.bottom + 1, 200, rowA.bottom + 1 + Height(rowA)}))
        << "without the line's last pixel row";
    const RECT labelA = w.Label(w.a), labelA0 = w.Label(w.a0);
    EXPECT_EQ(labelA0.left - labelA.left, kIndent) << "a level deeper";
    EXPECT_EQ(labelA0.top, rowA0.top);
    EXPECT_EQ(labelA0.bottom, rowA0.bottom);
    EXPECT_GT(labelA0.right, labelA0.left);

    EXPECT_TRUE(tree.SelectItem(w.a2));
    EXPECT_EQ(ui::testing::GetSelectedItem(tree), w.a2);
    EXPECT_TRUE(tree.Expand(w.a, TVE_COLLAPSE));
    EXPECT_FALSE(ui::testing::IsExpanded(tree, w.a));
    EXPECT_EQ(ui::testing::GetSelectedItem(tree), w.a) << "a collapsed parent takes the selection";
    EXPECT_TRUE(tree.SelectItem(w.a1));
    EXPECT_TRUE(ui::testing::IsExpanded(tree, w.a)) << "the selection is shown";
}

TEST(TreeViewTest, HitTestsFindTheItemsParts) {
    TreeWindow w;
    w.tree.Expand(w.a, TVE_EXPAND);  // rows: A, a0, a2, a1, B
    const RECT a = w.Label(w.a), a0 = w.Label(w.a0), b = w.Label(w.b);
    const int ya = (a.top + a.bottom) / 2, ya0 = (a0.top + a0.bottom) / 2,
              yb = (b.top + b.bottom) / 2;
    struct Case {
        const char* name;
        POINT point;
        HTREEITEM item;
        UINT flags;
    };
    const Case cases[] = {
        {"label", {a.left + 2, ya}, w.a, TVHT_ONITEMLABEL},
        {"check box", {a.left - 3, ya}, w.a, TVHT_ONITEMSTATEICON},
        {"button", {3, ya}, w.a, TVHT_ONITEMBUTTON},
        {"right of the label", {a.right + 5, ya}, w.a, TVHT_ONITEMRIGHT},
        {"a child's check box", {a0.left - 3, ya0}, w.a0, TVHT_ONITEMSTATEICON},
        {"a child's indent", {2, ya0}, w.a0, TVHT_ONITEMINDENT},
        {"a child's button column", {kIndent + 3, ya0}, w.a0, TVHT_ONITEMBUTTON},
        {"B's button column, without children", {3, yb}, w.b, TVHT_ONITEMBUTTON},
        {"below the items", {10, b.bottom + 40}, nullptr, TVHT_NOWHERE},
    };
    for (const auto& c : cases) {
        UINT flags = 0;
        EXPECT_EQ(w.tree.HitTest(c.point, &flags), c.item) << c.name;
        EXPECT_EQ(flags, c.flags) << c.name;
    }
}

TEST(TreeViewTest, CheckBoxesComeWithTheFirstPaintAndStartClear) {
    uitest::NotifyHost host;
    ASSERT_TRUE(host.Create({0, 0, 300, 300}));
    CTreeCtrl tree;
    ASSERT_TRUE(
        tree.Create(u"SysTreeView32", u"",
                    WS_CHILD | WS_VISIBLE | TVS_CHECKBOXES | TVS_HASBUTTONS | TVS_LINESATROOT,
                    {0, 0, 200, 200}, &host, 200));
    const HTREEITEM item = tree.InsertItem(u"A", TviRoot(), TviLast());
    EXPECT_FALSE(tree.GetCheck(item));
    RECT before{}, after{};
    ASSERT_TRUE(ui::testing::GetItemRect(tree, item, &before, true));
    EXPECT_EQ(before.left, kIndent) << "no state image part yet";
    EXPECT_TRUE(tree.SetCheck(item, true));
    EXPECT_TRUE(tree.GetCheck(item));
    tree.UpdateWindow();
    EXPECT_FALSE(tree.GetCheck(item)) << "the check boxes are made clear";
    ASSERT_TRUE(ui::testing::GetItemRect(tree, item, &after, true));
    EXPECT_GT(after.left, before.left);
    UINT flags = 0;
    EXPECT_EQ(tree.HitTest({kIndent + 2, (after.top + after.bottom) / 2}, &flags), item);
    EXPECT_EQ(flags, TVHT_ONITEMSTATEICON);
    tree.DestroyWindow();
    host.DestroyWindow();
}

// Taking the style away and giving it back makes the check boxes at once: ticks given before the
// first paint then stay.
TEST(TreeViewTest, CheckBoxesMadeByAStyleChangeKeepTheirTicks) {
    uitest::NotifyHost host;
    ASSERT_TRUE(host.Create({0, 0, 300, 300}));
    CTreeCtrl tree;
    ASSERT_TRUE(
        tree.Create(u"SysTreeView32", u"",
                    WS_CHILD | WS_VISIBLE | TVS_CHECKBOXES | TVS_HASBUTTONS | TVS_LINESATROOT,
                    {0, 0, 200, 200}, &host, 200));
    const HTREEITEM before = tree.InsertItem(u"A", TviRoot(), TviLast());
    EXPECT_TRUE(tree.SetCheck(before, true));
    EXPECT_TRUE(tree.ModifyStyle(TVS_CHECKBOXES, 0));
    EXPECT_TRUE(tree.ModifyStyle(0, TVS_CHECKBOXES));
    EXPECT_FALSE(tree.GetCheck(before)) << "the new boxes start clear";
    RECT label{};
    ASSERT_TRUE(ui::testing::GetItemRect(tree, before, &label, true));
    EXPECT_GT(label.left, kIndent) << "the state image part is there before any paint";
    const HTREEITEM after = tree.InsertItem(u"B", TviRoot(), TviLast());
    EXPECT_FALSE(tree.GetCheck(after));
    EXPECT_TRUE(tree.SetCheck(after, true));
    EXPECT_TRUE(tree.SetCheck(before, true));
    tree.UpdateWindow();
    EXPECT_TRUE(tree.GetCheck(after)) << "the first paint keeps the ticks";
    EXPECT_TRUE(tree.GetCheck(before));
    tree.DestroyWindow();
    host.DestroyWindow();
}

TEST(TreeViewTest, CheckStatesAreStateImages) {
    TreeWindow w;
    CTreeCtrl& tree = w.tree;
    EXPECT_EQ(
        tree.SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(w.a0), TVIS_STATEIMAGEMASK),
        static_cast<LRESULT>(StateImageMask(1)))
        << "new items start clear";
    EXPECT_FALSE(tree.GetCheck(w.a0));
    EXPECT_TRUE(tree.SetCheck(w.a0, true));
    EXPECT_TRUE(tree.GetCheck(w.a0));
    EXPECT_EQ(
        tree.SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(w.a0), TVIS_STATEIMAGEMASK),
        static_cast<LRESULT>(StateImageMask(2)));
    EXPECT_FALSE(tree.GetCheck(w.a2));
    EXPECT_TRUE(tree.SetCheck(w.a0, false));
    EXPECT_FALSE(tree.GetCheck(w.a0));
}

TEST(TreeViewTest, ACheckBoxClickNotifiesTheParentBeforeItToggles) {
    TreeWindow w;
    CTreeCtrl& tree = w.tree;
    w.host.codes = {NM_CLICK};
    bool checkedAtClick = true;
    HTREEITEM hit = nullptr;
    UINT flags = 0;
    LRESULT reply = 0;
    w.host.answer = [&](NMHDR* h) -> LRESULT {
        if (h->code != static_cast<UINT>(NM_CLICK))
            return 0;
        // What a parent does: where is the cursor, and what does the box say now.
        POINT p;
        GetCursorPos(&p);
        tree.ScreenToClient(&p);
        hit = tree.HitTest(p, &flags);
        checkedAtClick = tree.GetCheck(hit);
        return reply;
    };
    uitest::ClickTreeItem(tree, w.b);
    EXPECT_EQ(hit, w.b);
    EXPECT_EQ(flags, TVHT_ONITEMSTATEICON);
    EXPECT_FALSE(checkedAtClick);
    EXPECT_TRUE(tree.GetCheck(w.b));
    EXPECT_SEQUENCE(w.host.sequence, (std::vector<Msg>{Notify(NM_CLICK)}), "one click");

    reply = 1;  // a parent answering NM_CLICK keeps the box as it is
    uitest::ClickTreeItem(tree, w.b);
    EXPECT_TRUE(tree.GetCheck(w.b));
    reply = 0;
    uitest::ClickTreeItem(tree, w.a, uitest::TreePart::kLabel);
    EXPECT_EQ(ui::testing::GetSelectedItem(tree), w.a) << "a label click selects";
    EXPECT_FALSE(tree.GetCheck(w.a));
}

}  // namespace
