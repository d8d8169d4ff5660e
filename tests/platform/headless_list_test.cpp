// The headless list view: columns and rows, the item-change notifications, geometry, the
// custom-draw sequence, the header, and calls from a worker thread.
#include <atomic>
#include <string>
#include <thread>

#include "tests/platform/headless_fixture.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;
using headless_test::Recorder;

constexpr int kHeader = 13 + 8;  // default font: 13-pixel lines
constexpr int kRow = 13 + 1;

std::string Name(UINT code) {
    switch (static_cast<int>(code)) {
        case LVN_ITEMCHANGING:
            return "changing";
        case LVN_ITEMCHANGED:
            return "changed";
        case -103:
            return "deleteitem";
        case NM_SETFOCUS:
            return "setfocus";
        case NM_KILLFOCUS:
            return "killfocus";
        case HDN_BEGINTRACKW:
            return "begintrack";
        case HDN_ENDTRACKW:
            return "endtrack";
        default:
            return "";
    }
}

// A list of three columns (50, 60, 70 wide) and rows r0..r2 in a visible window.
struct ListWindow {
    // Declared first: the windows notify them while they go.
    std::vector<std::string> notes;
    std::function<LRESULT(NMHDR*)> reply;
    Recorder host;
    CListCtrl list;

    explicit ListWindow(DWORD style = 0, int rows = 3) {
        host.CreateTop({0, 0, 400, 300});
        host.answer = [this](UINT m, WPARAM, LPARAM l, LRESULT* r) {
            if (m != WM_NOTIFY)
                return false;
            auto* h = reinterpret_cast<NMHDR*>(l);
            std::string note = Name(h->code);
            if (h->code == static_cast<UINT>(LVN_ITEMCHANGING) ||
                h->code == static_cast<UINT>(LVN_ITEMCHANGED)) {
                const auto* nm = reinterpret_cast<NMLISTVIEW*>(l);
                note += " " + std::to_string(nm->iItem) + " " + std::to_string(nm->uNewState) +
                        "/" + std::to_string(nm->uOldState) +
                        (nm->uChanged == LVIF_STATE ? " state"
                         : nm->uChanged == 1        ? " text"
                                                    : " param");
            } else if (h->code == static_cast<UINT>(-103)) {
                note += " " + std::to_string(reinterpret_cast<NMLISTVIEW*>(l)->iItem);
            } else if (h->code == static_cast<UINT>(HDN_BEGINTRACKW) ||
                       h->code == static_cast<UINT>(HDN_ENDTRACKW)) {
                note += " " + std::to_string(reinterpret_cast<NMHEADER*>(l)->iItem) + " from " +
                        std::to_string(h->idFrom);
            }
            if (!note.empty())
                notes.push_back(note);
            *r = reply ? reply(h) : 0;
            return true;
        };
        list.Create(u"SysListView32", u"", WS_CHILD | WS_VISIBLE | LVS_REPORT | style,
                    {0, 0, 300, 200}, &host, 100);
        list.InsertColumn(0, u"A", LVCFMT_LEFT, 50);
        list.InsertColumn(1, u"B", LVCFMT_LEFT, 60);
        list.InsertColumn(2, u"C", LVCFMT_LEFT, 70);
        for (int i = 0; i < rows; ++i)
            list.InsertItem(i, u"r" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)));
        notes.clear();
    }
};

TEST_F(HeadlessTest, ListColumnsAndRowsShiftAsThePlatformsDo) {
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
    EXPECT_EQ(list.GetColumnHeading(2), u"C");
    EXPECT_EQ(list.GetColumnWidth(1), 40);
    EXPECT_TRUE(list.DeleteColumn(0));
    EXPECT_EQ(list.GetItemText(1, 0), u"first") << "column 0 goes, the texts stay";
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

TEST_F(HeadlessTest, ListItemChangesAreNotifiedAsThePlatformsAre) {
    struct Case {
        const char* name;
        DWORD style;
        std::function<void(CListCtrl&)> setup;
        std::function<bool(CListCtrl&)> act;
        bool refuse;
        bool result;
        std::vector<std::string> notes;
    };
    auto select = [](int row) {
        return [row](CListCtrl& l) { return l.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED); };
    };
    auto focus = [](int row) {
        return [row](CListCtrl& l) { return l.SetItemState(row, LVIS_FOCUSED, LVIS_FOCUSED); };
    };
    const Case cases[] = {
        {"select",
         0,
         nullptr,
         select(1),
         false,
         true,
         {"changing 1 2/0 state", "changed 1 2/0 state"}},
        {"select again",
         0,
         [&](CListCtrl& l) { select(1)(l); },
         select(1),
         false,
         true,
         {"changing 1 2/2 state"}},
        {"refused", 0, nullptr, select(1), true, false, {"changing 1 2/0 state"}},
        {"single selection",
         LVS_SINGLESEL,
         [&](CListCtrl& l) { select(0)(l); },
         select(2),
         false,
         true,
         {"changing 2 2/0 state", "changing 0 0/2 state", "changed 0 0/2 state",
          "changed 2 2/0 state"}},
        {"focus moves",
         0,
         [&](CListCtrl& l) { focus(0)(l); },
         focus(1),
         false,
         true,
         {"changing 1 1/0 state", "changing 0 0/1 state", "changed 0 0/1 state",
          "changed 1 1/0 state"}},
        {"clear nothing",
         0,
         nullptr,
         [](CListCtrl& l) { return l.SetItemState(-1, 0, LVIS_SELECTED); },
         false,
         true,
         {}},
        {"clear all",
         0,
         [&](CListCtrl& l) {
             select(0)(l);
             select(2)(l);
         },
         [](CListCtrl& l) { return l.SetItemState(-1, 0, LVIS_SELECTED); },
         false,
         true,
         {"changing 0 0/2 state", "changed 0 0/2 state", "changing 1 0/0 state",
          "changing 2 0/2 state", "changed 2 0/2 state"}},
        {"focus all",
         0,
         nullptr,
         [](CListCtrl& l) { return l.SetItemState(-1, LVIS_FOCUSED, LVIS_FOCUSED); },
         false,
         false,
         {}},
        {"item text",
         0,
         nullptr,
         [](CListCtrl& l) { return l.SetItemText(0, 1, u"sub") && l.SetItemText(0, 0, u"new"); },
         false,
         true,
         {"changing 0 0/0 text", "changed 0 0/0 text"}},
        {"item data",
         0,
         nullptr,
         [](CListCtrl& l) { return l.SetItemData(2, 77); },
         false,
         true,
         {"changing 2 0/0 param", "changed 2 0/0 param"}},
        {"delete a selected item",
         0,
         [&](CListCtrl& l) { select(1)(l); },
         [](CListCtrl& l) { return l.DeleteItem(1); },
         false,
         true,
         {"changing 1 0/2 state", "changed 1 0/2 state", "deleteitem 1"}},
    };
    for (const auto& c : cases) {
        ListWindow w(c.style);
        if (c.setup)
            c.setup(w.list);
        w.notes.clear();
        if (c.refuse)
            w.reply = [](NMHDR* h) {
                return h->code == static_cast<UINT>(LVN_ITEMCHANGING) ? 1 : 0;
            };
        EXPECT_EQ(c.act(w.list), c.result) << c.name;
        EXPECT_EQ(w.notes, c.notes) << c.name;
    }
}

TEST_F(HeadlessTest, ListGeometryFollowsTheRowHeightAndTheFocus) {
    ListWindow w(0, 30);
    CListCtrl& list = w.list;
    EXPECT_EQ(list.GetCountPerPage(), (200 - kHeader) / kRow);
    RECT r;
    ASSERT_TRUE(list.GetSubItemRect(1, 0, LVIR_BOUNDS, r));
    EXPECT_EQ(r, (RECT{0, kHeader + kRow, 180, kHeader + 2 * kRow})) << "column 0: the whole row";
    ASSERT_TRUE(list.GetSubItemRect(1, 2, LVIR_BOUNDS, r));
    EXPECT_EQ(r, (RECT{110, kHeader + kRow, 180, kHeader + 2 * kRow}));
    EXPECT_FALSE(list.GetSubItemRect(40, 0, LVIR_BOUNDS, r));

    EXPECT_EQ(list.HitTest({10, kHeader + kRow + 1}), 1);
    EXPECT_EQ(list.HitTest({60, kHeader + kRow + 1}), -1)
        << "only the item itself without full-row select";
    EXPECT_EQ(list.HitTest({10, 5}), -1) << "the header";
    EXPECT_EQ(list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES), 0u);
    EXPECT_EQ(list.GetExtendedStyle(), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    EXPECT_EQ(list.HitTest({60, kHeader + kRow + 1}), 1);
    EXPECT_EQ(list.HitTest({190, kHeader + kRow + 1}), -1);

    // Focusing an item scrolls it into view.
    EXPECT_EQ(list.GetTopIndex(), 0);
    list.SetItemState(20, LVIS_FOCUSED, LVIS_FOCUSED);
    const int perPage = list.GetCountPerPage();
    EXPECT_EQ(list.GetTopIndex(), 20 - perPage + 1);
    EXPECT_EQ(list.GetNextItem(-1, 1 /* LVNI_FOCUSED */), 20);
    ASSERT_TRUE(list.GetSubItemRect(20, 1, LVIR_BOUNDS, r));
    EXPECT_EQ(r.top, kHeader + (perPage - 1) * kRow);

    // A small image list sets the row height.
    CImageList images;
    ASSERT_TRUE(images.Create(1, 20, ILC_COLOR, 1, 1));
    list.SetImageList(&images, LVSIL_SMALL);
    EXPECT_EQ(list.GetCountPerPage(), (200 - kHeader) / 21);
    ASSERT_TRUE(list.GetSubItemRect(list.GetTopIndex(), 1, LVIR_BOUNDS, r));
    EXPECT_EQ(r, (RECT{50, kHeader, 110, kHeader + 21}));

    list.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(5, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 3);
    EXPECT_EQ(list.GetNextItem(3, LVNI_SELECTED), 5);
    EXPECT_EQ(list.GetNextItem(5, LVNI_SELECTED), -1);
    EXPECT_EQ(list.GetNextItem(28, LVNI_ALL), 29);
    EXPECT_EQ(list.GetItemState(5, LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED);
}

TEST_F(HeadlessTest, TheListPaintsThroughTheCustomDrawSequence) {
    ListWindow w;
    CListCtrl& list = w.list;
    list.SetItemText(0, 1, u"b0");
    list.SetItemText(0, 2, u"c0");
    list.SetItemText(1, 2, u"c1");
    list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.SetFocus();
    ASSERT_EQ(w.notes, std::vector<std::string>(
                           {"changing 0 3/0 state", "changed 0 3/0 state", "setfocus"}));

    std::vector<std::string> stages;
    std::vector<HDC> dcs;
    std::vector<RECT> cells;
    std::vector<UINT> itemStates;
    w.reply = [&](NMHDR* h) -> LRESULT {
        if (h->code != static_cast<UINT>(NM_CUSTOMDRAW))
            return 0;
        auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(h);
        const std::string item = std::to_string(cd->nmcd.dwItemSpec);
        const std::string sub = std::to_string(cd->iSubItem);
        dcs.push_back(cd->nmcd.hdc);
        switch (cd->nmcd.dwDrawStage) {
            case CDDS_PREPAINT:
                stages.push_back("pre");
                return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
            case CDDS_ITEMPREPAINT:
                stages.push_back("item " + item);
                itemStates.push_back(cd->nmcd.uItemState);
                return CDRF_NOTIFYSUBITEMDRAW | CDRF_NOTIFYPOSTPAINT;
            case CDDS_SUBITEM | CDDS_ITEMPREPAINT:
                stages.push_back("cell " + item + " " + sub);
                if (cd->nmcd.dwItemSpec == 0)
                    cells.push_back(cd->nmcd.rc);
                if (cd->iSubItem == 1)
                    return CDRF_SKIPDEFAULT;
                if (cd->iSubItem == 2)
                    cd->clrText = RGB(255, 0, 0);
                return cd->iSubItem == 0 ? CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
            case CDDS_SUBITEM | CDDS_ITEMPOSTPAINT:
                stages.push_back("cellpost " + item + " " + sub);
                return 0;
            case CDDS_ITEMPOSTPAINT:
                stages.push_back("itempost " + item);
                return 0;
            case CDDS_POSTPAINT:
                stages.push_back("post");
                return 0;
            default:
                stages.push_back("?");
                return 0;
        }
    };
    list.UpdateWindow();
    std::vector<std::string> expected{"pre"};
    for (int i = 0; i < 3; ++i) {
        const std::string r = std::to_string(i);
        expected.insert(expected.end(), {"item " + r, "cell " + r + " 0", "cellpost " + r + " 0",
                                         "cell " + r + " 1", "cell " + r + " 2", "itempost " + r});
    }
    expected.push_back("post");
    EXPECT_EQ(stages, expected);
    ASSERT_FALSE(dcs.empty());
    EXPECT_NE(dcs.front(), nullptr);
    EXPECT_EQ(std::count(dcs.begin(), dcs.end(), dcs.front()), static_cast<long>(dcs.size()));
    EXPECT_EQ(itemStates, (std::vector<UINT>{CDIS_SELECTED | CDIS_FOCUS, 0, 0}));
    EXPECT_EQ(cells, (std::vector<RECT>{{0, kHeader, 180, kHeader + kRow},
                                        {50, kHeader, 110, kHeader + kRow},
                                        {110, kHeader, 180, kHeader + kRow}}));

    auto find = [&](std::u16string_view text) -> const headless::TextRecord* {
        static std::vector<headless::TextRecord> texts;
        texts = headless::Texts(list.m_hWnd);
        for (const auto& t : texts) {
            if (t.text == text)
                return &t;
        }
        return nullptr;
    };
    EXPECT_EQ(find(u"b0"), nullptr) << "skipped by the parent";
    ASSERT_NE(find(u"r0"), nullptr);
    EXPECT_EQ(find(u"r0")->color, GetSysColor(COLOR_HIGHLIGHTTEXT))
        << "a selected item keeps its colours";
    EXPECT_EQ(find(u"c0")->color, GetSysColor(COLOR_HIGHLIGHTTEXT));
    ASSERT_NE(find(u"c1"), nullptr);
    EXPECT_EQ(find(u"c1")->color, RGB(255, 0, 0));
    EXPECT_EQ(find(u"c1")->rect, (RECT{115, kHeader + kRow, 180, kHeader + 2 * kRow}));
    EXPECT_EQ(headless::Pixel(list.m_hWnd, 20, kHeader + 3), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(headless::Pixel(list.m_hWnd, 20, kHeader + kRow + 3), GetSysColor(COLOR_WINDOW));
}

TEST_F(HeadlessTest, TheHeaderIsAChildWithIdZeroWhoseTrackingTheParentMayRefuse) {
    ListWindow w;
    const HWND header = w.list.GetHeaderCtrl();
    const headless::WindowInfo info = headless::Describe(header);
    EXPECT_EQ(info.className, u"SysHeader32");
    EXPECT_EQ(info.id, 0);
    EXPECT_EQ(info.parent, w.list.m_hWnd);
    ui::SendMessage(header, WM_PAINT);
    std::vector<std::u16string> headings;
    for (const auto& t : headless::Texts(header))
        headings.push_back(t.text);
    EXPECT_EQ(headings, (std::vector<std::u16string>{u"A", u"B", u"C"}));

    w.reply = [](NMHDR* h) -> LRESULT {
        return h->code == static_cast<UINT>(HDN_BEGINTRACKW) &&
               reinterpret_cast<NMHEADER*>(h)->iItem == 0;
    };
    EXPECT_FALSE(ui::testing::TrackColumn(w.list.m_hWnd, 0, 99));
    EXPECT_TRUE(ui::testing::TrackColumn(w.list.m_hWnd, 1, 99));
    EXPECT_EQ(w.list.GetColumnWidth(0), 50);
    EXPECT_EQ(w.list.GetColumnWidth(1), 99);
    EXPECT_EQ(w.notes, (std::vector<std::string>{"begintrack 0 from 0", "begintrack 1 from 0",
                                                 "endtrack 1 from 0"}));

    w.notes.clear();
    CWnd edit;
    ASSERT_TRUE(edit.Create(u"Edit", u"", WS_CHILD | WS_VISIBLE, {0, 250, 50, 270}, &w.host, 7));
    w.list.SetFocus();
    edit.SetFocus();
    EXPECT_EQ(w.notes, (std::vector<std::string>{"setfocus", "killfocus"}));
}

class ListSpy : public CListCtrl {
  public:
    std::vector<std::thread::id> threads;
    LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
        if (m >= 0x1000 && m < 0x1100)
            threads.push_back(std::this_thread::get_id());
        return CListCtrl::WindowProc(m, w, l);
    }
};

TEST_F(HeadlessTest, ListCallsFromAWorkerRunOnTheListsThread) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop());
    ListSpy list;
    ASSERT_TRUE(list.Create(u"SysListView32", u"", WS_CHILD | WS_VISIBLE | LVS_REPORT,
                            {0, 0, 200, 200}, &host, 1));
    list.InsertColumn(0, u"A", LVCFMT_LEFT, 50);
    list.InsertColumn(1, u"B", LVCFMT_LEFT, 50);
    list.threads.clear();
    std::atomic<bool> done{false};
    int count = 0;
    std::u16string text;
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i) {
            list.InsertItem(i, u"row");
            list.SetItemText(i, 1, u"value");
        }
        count = list.GetItemCount();
        text = list.GetItemText(19, 1);
        done = true;
    });
    EXPECT_TRUE(WaitServingSentMessages([&] { return done.load(); }, 10000));
    worker.join();
    EXPECT_EQ(count, 20);
    EXPECT_EQ(text, u"value");
    ASSERT_EQ(list.threads.size(), 42u);
    EXPECT_EQ(std::count(list.threads.begin(), list.threads.end(), std::this_thread::get_id()), 42);
}

}  // namespace
