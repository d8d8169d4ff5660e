// The headless tree view: structure, expansion, hit testing, the check-box click order and calls
// from a worker thread.
#include <atomic>
#include <thread>

#include "tests/platform/headless_fixture.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;
using headless_test::Recorder;

constexpr int kRow = 13 + 3;
constexpr UINT kOnItemIndent = 0x08, kOnItemButton = 0x10, kOnItemRight = 0x20;
constexpr UINT kCollapse = 0x1;

HTREEITEM First() {
    return reinterpret_cast<HTREEITEM>(-static_cast<std::intptr_t>(0xFFFF));
}

class TreeSpy : public CTreeCtrl {
  public:
    std::vector<std::thread::id> threads;
    LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
        if (m >= 0x1100 && m < 0x1200)
            threads.push_back(std::this_thread::get_id());
        return CTreeCtrl::WindowProc(m, w, l);
    }
};

// A: a0, a2, a1 (a0 put first, a2 after it); B without children.
struct TreeWindow {
    // Declared first: the windows notify them while they go.
    std::vector<std::string> notes;
    std::function<LRESULT(NMHDR*)> reply;
    Recorder host;
    TreeSpy tree;
    HTREEITEM a, b, a0, a1, a2;

    TreeWindow() {
        host.CreateTop({0, 0, 300, 300});
        host.answer = [this](UINT m, WPARAM, LPARAM l, LRESULT* r) {
            if (m != WM_NOTIFY)
                return false;
            auto* h = reinterpret_cast<NMHDR*>(l);
            const int code = static_cast<int>(h->code);
            notes.push_back(code == NM_CLICK      ? "click"
                            : code == NM_SETFOCUS ? "setfocus"
                                                  : std::to_string(code));
            *r = reply ? reply(h) : 0;
            return true;
        };
        tree.Create(u"SysTreeView32", u"",
                    WS_CHILD | WS_VISIBLE | TVS_CHECKBOXES | TVS_HASBUTTONS | TVS_LINESATROOT,
                    {0, 0, 200, 200}, &host, 200);
        a = tree.InsertItem(u"A", TviRoot(), TviLast());
        b = tree.InsertItem(u"B", TviRoot(), TviLast());
        a1 = tree.InsertItem(u"a1", a, TviLast());
        a0 = tree.InsertItem(u"a0", a, First());
        a2 = tree.InsertItem(u"a2", a, a0);
    }
};

TEST_F(HeadlessTest, TreeItemsNavigateExpandAndSelect) {
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
    EXPECT_TRUE(tree.ItemHasChildren(w.a));
    EXPECT_FALSE(tree.ItemHasChildren(w.b));
    EXPECT_EQ(tree.GetItemText(w.a2), u"a2");
    EXPECT_TRUE(tree.SetItemData(w.b, 42));
    EXPECT_EQ(tree.GetItemData(w.b), 42u);

    RECT r;
    EXPECT_FALSE(tree.GetItemRect(w.a0, &r, false)) << "hidden under a collapsed parent";
    EXPECT_FALSE(tree.Expand(w.b, TVE_EXPAND)) << "nothing to expand";
    EXPECT_TRUE(tree.Expand(w.a, TVE_EXPAND));
    EXPECT_TRUE(tree.IsExpanded(w.a));
    ASSERT_TRUE(tree.GetItemRect(w.a0, &r, false));
    EXPECT_EQ(r, (RECT{0, kRow, 200, 2 * kRow})) << "the whole line";
    ASSERT_TRUE(tree.GetItemRect(w.a0, &r, true));
    EXPECT_EQ(r, (RECT{2 * 19 + 16, kRow, 2 * 19 + 16 + 2 * 6 + 4, 2 * kRow}));

    EXPECT_TRUE(tree.SelectItem(w.a2));
    EXPECT_EQ(tree.GetSelectedItem(), w.a2);
    EXPECT_TRUE(tree.Expand(w.a, kCollapse));
    EXPECT_EQ(tree.GetSelectedItem(), w.a) << "a collapsed parent takes the selection";
    EXPECT_TRUE(tree.SelectItem(w.a1));
    EXPECT_TRUE(tree.IsExpanded(w.a)) << "the selection is shown";
}

TEST_F(HeadlessTest, TreeHitTestsFindTheItemsParts) {
    TreeWindow w;
    w.tree.Expand(w.a, TVE_EXPAND);  // rows: A, a0, a2, a1, B
    struct Case {
        POINT point;
        HTREEITEM item;
        UINT flags;
    };
    const Case cases[] = {
        {{25, 5}, w.a, TVHT_ONITEMSTATEICON},
        {{40, 5}, w.a, TVHT_ONITEMLABEL},
        {{5, 5}, w.a, kOnItemButton},
        {{120, 5}, w.a, kOnItemRight},
        {{5, 4 * kRow + 2}, w.b, kOnItemIndent},
        {{45, kRow + 3}, w.a0, TVHT_ONITEMSTATEICON},
        {{10, 150}, nullptr, TVHT_NOWHERE},
    };
    for (const auto& c : cases) {
        UINT flags = 0;
        EXPECT_EQ(w.tree.HitTest(c.point, &flags), c.item) << c.point.x << "," << c.point.y;
        EXPECT_EQ(flags, c.flags) << c.point.x << "," << c.point.y;
    }
}

TEST_F(HeadlessTest, ACheckBoxClickNotifiesTheParentBeforeItToggles) {
    TreeWindow w;
    CTreeCtrl& tree = w.tree;
    bool checkedAtClick = true;
    HTREEITEM hit = nullptr;
    UINT flags = 0;
    w.reply = [&](NMHDR* h) -> LRESULT {
        if (h->code != static_cast<UINT>(NM_CLICK))
            return 0;
        // What a parent does: where is the cursor, and what does the box say now.
        POINT p;
        GetCursorPos(&p);
        tree.ScreenToClient(&p);
        hit = tree.HitTest(p, &flags);
        checkedAtClick = tree.GetCheck(hit);
        return 0;
    };
    headless::Click(tree.m_hWnd, {25, kRow + 4});
    EXPECT_EQ(hit, w.b);
    EXPECT_EQ(flags, TVHT_ONITEMSTATEICON);
    EXPECT_FALSE(checkedAtClick);
    EXPECT_TRUE(tree.GetCheck(w.b));
    EXPECT_EQ(w.notes, (std::vector<std::string>{"click", "setfocus"}));

    // A parent answering NM_CLICK keeps the box as it is.
    w.reply = [](NMHDR* h) -> LRESULT { return h->code == static_cast<UINT>(NM_CLICK); };
    headless::Click(tree.m_hWnd, {25, kRow + 4});
    EXPECT_TRUE(tree.GetCheck(w.b));
    w.reply = nullptr;
    headless::Click(tree.m_hWnd, {40, 4});
    EXPECT_EQ(tree.GetSelectedItem(), w.a) << "a label click selects";
    EXPECT_FALSE(tree.GetCheck(w.a));
    EXPECT_TRUE(tree.SetCheck(w.a, true));
    EXPECT_TRUE(tree.GetCheck(w.a));
}

TEST_F(HeadlessTest, AWorkerFillsTheTreeOnTheTreesThread) {
    TreeWindow w;
    w.tree.threads.clear();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 10; ++i) {
            const HTREEITEM hub = w.tree.InsertItem(u"hub", TviRoot(), TviLast());
            w.tree.SetCheck(w.tree.InsertItem(u"port", hub, TviLast()), true);
        }
        done = true;
    });
    EXPECT_TRUE(WaitServingSentMessages([&] { return done.load(); }, 10000));
    worker.join();
    ASSERT_EQ(w.tree.threads.size(), 30u);
    EXPECT_EQ(std::count(w.tree.threads.begin(), w.tree.threads.end(), std::this_thread::get_id()),
              30);
    int roots = 0, checked = 0;
    for (HTREEITEM i = w.tree.GetRootItem(); i != nullptr; i = w.tree.GetNextSiblingItem(i)) {
        ++roots;
        if (HTREEITEM child = w.tree.GetChildItem(i))
            checked += w.tree.GetCheck(child);
    }
    EXPECT_EQ(roots, 12);
    EXPECT_EQ(checked, 10);
}

}  // namespace
