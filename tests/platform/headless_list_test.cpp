// What only the headless list view has: its recorded painting, the header's tracking by the
// test, image-list ownership that a test can see, and calls from a worker thread. How the list
// behaves as the platform's is in tests/ui/list_conformance_test.cpp.
#include <atomic>
#include <string>
#include <thread>

#include "tests/platform/headless_fixture.h"
#include "tests/support/message_sequence.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;
using headless_test::Recorder;

constexpr int kHeader = 13 + 8;  // default font: 13-pixel lines
constexpr int kRow = 13 + 1;

// A list of three columns (50, 60, 70 wide) and rows r0..r2 in a visible window.
struct ListWindow {
    uitest::NotifyHost host;
    CListCtrl list;

    explicit ListWindow(DWORD style = 0) {
        host.Create();
        list.Create(u"SysListView32", u"", WS_CHILD | WS_VISIBLE | LVS_REPORT | style,
                    {0, 0, 300, 200}, &host, 100);
        list.InsertColumn(0, u"A", LVCFMT_LEFT, 50);
        list.InsertColumn(1, u"B", LVCFMT_LEFT, 60);
        list.InsertColumn(2, u"C", LVCFMT_LEFT, 70);
        for (const char16_t* row : {u"r0", u"r1", u"r2"})
            list.InsertItem(list.GetItemCount(), row);
        host.sequence.Clear();
    }
};

TEST_F(HeadlessTest, TheListPaintsWhatTheParentLeavesItInTheColoursItGives) {
    ListWindow w;
    CListCtrl& list = w.list;
    list.SetItemText(0, 1, u"b0");
    list.SetItemText(0, 2, u"c0");
    list.SetItemText(1, 2, u"c1");
    list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.SetFocus();
    w.host.answer = [&](NMHDR* h) -> LRESULT {
        if (h->code != static_cast<UINT>(NM_CUSTOMDRAW))
            return 0;
        auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(h);
        switch (cd->nmcd.dwDrawStage) {
            case CDDS_PREPAINT:
                return CDRF_NOTIFYITEMDRAW;
            case CDDS_ITEMPREPAINT:
                return CDRF_NOTIFYSUBITEMDRAW;
            case CDDS_SUBITEM | CDDS_ITEMPREPAINT:
                if (cd->iSubItem == 1)
                    return CDRF_SKIPDEFAULT;
                if (cd->iSubItem == 2)
                    cd->clrText = RGB(255, 0, 0);
                return CDRF_DODEFAULT;
            default:
                return CDRF_DODEFAULT;
        }
    };
    list.UpdateWindow();

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

TEST_F(HeadlessTest, AListWithoutSharedImageListsDestroysThemWithItself) {
    for (const DWORD style : {DWORD{0}, LVS_SHAREIMAGELISTS}) {
        CImageList images;
        ASSERT_TRUE(images.Create(1, 20, ILC_COLOR, 1, 1));
        HIMAGELIST handle = images.m_hImageList;
        {
            ListWindow w(style);
            w.list.SetImageList(&images, LVSIL_SMALL);
        }
        EXPECT_EQ(headless::ImageListExists(handle), style != 0) << style;
        if (style == 0)
            images.m_hImageList = nullptr;  // the list destroyed it: ours to forget
    }
}

TEST_F(HeadlessTest, TheHeaderIsAChildWithIdZeroWhoseTrackingTheParentMayRefuse) {
    ListWindow w;
    w.host.codes = {HDN_BEGINTRACKW, HDN_ENDTRACKW};
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

    w.host.answer = [](NMHDR* h) -> LRESULT {
        return h->code == static_cast<UINT>(HDN_BEGINTRACKW) &&
               reinterpret_cast<NMHEADER*>(h)->iItem == 0;
    };
    EXPECT_FALSE(ui::testing::TrackColumn(w.list.m_hWnd, 0, 99));
    EXPECT_TRUE(ui::testing::TrackColumn(w.list.m_hWnd, 1, 99));
    EXPECT_EQ(ui::testing::GetColumnWidth(w.list, 0), 50);
    EXPECT_EQ(ui::testing::GetColumnWidth(w.list, 1), 99);
    EXPECT_SEQUENCE(w.host.sequence,
                    (std::vector<uitest::Msg>{uitest::Notify(HDN_BEGINTRACKW).Item(0),
                                              uitest::Notify(HDN_BEGINTRACKW).Item(1),
                                              uitest::Notify(HDN_ENDTRACKW).Item(1)}),
                    "the first drag refused");
}

using ListSpy = headless_test::ThreadSpy<CListCtrl, 0x1000, 0x1100>;

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
