// The class library on either backend: message tables, and messages across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui.h"
#include "tests/support/ui_thread.h"

namespace {

using namespace ui;

constexpr UINT kButton = 10;
constexpr UINT kList = 11;
constexpr UINT kPing = WM_USER + 5;
constexpr UINT kBaseOnly = WM_USER + 6;

class BaseWindow : public CWnd {
  public:
    std::vector<std::string> calls;
    LRESULT OnBaseOnly(WPARAM, LPARAM) {
        calls.push_back("base");
        return 7;
    }
    LRESULT OnPingInBase(WPARAM, LPARAM) {
        calls.push_back("base ping");
        return 1;
    }
    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            OnMessage<&BaseWindow::OnBaseOnly>(kBaseOnly),
            OnMessage<&BaseWindow::OnPingInBase>(kPing),
        };
        static const MessageMap kMap{CWnd::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

class TableWindow : public BaseWindow {
  public:
    std::thread::id handlerThread;

    void OnClicked() { calls.push_back("clicked"); }
    void OnChanged() { calls.push_back("changed"); }
    void OnListClick(NMHDR* header, LRESULT* result) {
        calls.push_back("list click from " + std::to_string(header->idFrom));
        *result = 5;
    }
    void OnAnyCustomDraw(NMHDR* header, LRESULT* result) {
        calls.push_back("custom draw from " + std::to_string(header->idFrom));
        *result = CDRF_NOTIFYITEMDRAW;
    }
    LRESULT OnPing(WPARAM wParam, LPARAM lParam) {
        handlerThread = std::this_thread::get_id();
        calls.push_back("ping");
        return static_cast<LRESULT>(wParam) + lParam;
    }
    LRESULT OnPingAgain(WPARAM, LPARAM) {
        calls.push_back("second ping entry");
        return -1;
    }

    const MessageMap* GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            OnCommand<&TableWindow::OnClicked>(kButton),
            OnCommand<&TableWindow::OnChanged>(kButton, EN_CHANGE),
            OnNotify<&TableWindow::OnListClick>(kList, NM_CLICK),
            OnNotify<&TableWindow::OnAnyCustomDraw>(kAnyId, NM_CUSTOMDRAW),
            OnMessage<&TableWindow::OnPing>(kPing),
            OnMessage<&TableWindow::OnPingAgain>(kPing),
        };
        static const MessageMap kMap{BaseWindow::GetMessageMap(), kEntries, std::size(kEntries)};
        return &kMap;
    }
};

class MessageTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui.Run([&] {
            window = std::make_unique<TableWindow>();
            ASSERT_TRUE(window->Create(u"Static", u"table", WS_POPUP, {0, 0, 50, 50}, nullptr, 0));
        });
    }
    void TearDown() override {
        ui.Run([&] { window.reset(); });
    }
    NMHDR Header(UINT_PTR id, int code) const {
        return NMHDR{window->m_hWnd, id, static_cast<UINT>(code)};
    }
    LRESULT Notify(NMHDR header) {
        return ui::SendMessage(window->m_hWnd, WM_NOTIFY, header.idFrom,
                               reinterpret_cast<LPARAM>(&header));
    }

    uitest::UiThread ui;
    std::unique_ptr<TableWindow> window;
};

TEST_F(MessageTableTest, RoutesCommandsByControlIdAndNotificationCode) {
    const HWND w = window->m_hWnd;
    ui::SendMessage(w, WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED), 0);
    ui::SendMessage(w, WM_COMMAND, MAKEWPARAM(kButton, EN_CHANGE), 0);
    ui::SendMessage(w, WM_COMMAND, MAKEWPARAM(kButton + 1, BN_CLICKED), 0);  // no entry
    ui::SendMessage(w, WM_COMMAND, MAKEWPARAM(kButton, CBN_SELCHANGE), 0);   // no entry
    EXPECT_EQ(window->calls, (std::vector<std::string>{"clicked", "changed"}));
}

TEST_F(MessageTableTest, RoutesNotificationsByControlIdAndCode) {
    EXPECT_EQ(Notify(Header(kList, NM_CLICK)), 5);
    EXPECT_EQ(Notify(Header(kButton, NM_CLICK)), 0);  // another control: no entry
    EXPECT_EQ(Notify(Header(kList, NM_CUSTOMDRAW)), CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(Notify(Header(kButton, NM_CUSTOMDRAW)), CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"list click from 11", "custom draw from 11",
                                                       "custom draw from 10"}));
}

TEST_F(MessageTableTest, FirstMatchWinsThenTheBaseTable) {
    EXPECT_EQ(ui::SendMessage(window->m_hWnd, kPing, 2, 3), 5);
    EXPECT_EQ(ui::SendMessage(window->m_hWnd, kBaseOnly), 7);
    EXPECT_EQ(window->calls, (std::vector<std::string>{"ping", "base"}));
}

TEST_F(MessageTableTest, ASendFromAWorkerRunsOnTheWindowsThreadWhileTheWorkerWaits) {
    LRESULT result = 0;
    std::thread worker([&] { result = ui::SendMessage(window->m_hWnd, kPing, 40, 2); });
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(window->handlerThread, ui.id());
}

TEST_F(MessageTableTest, PostedMessagesArriveInOrder) {
    for (WPARAM i = 0; i < 5; ++i)
        ASSERT_TRUE(ui::PostMessage(window->m_hWnd, kPing, i, 0));
    ASSERT_TRUE(uitest::WaitFor([&] {
        std::size_t n = 0;
        ui.Run([&] { n = window->calls.size(); });
        return n == 5;
    }));
}

TEST_F(MessageTableTest, ASendToAWindowThatIsGoneReturnsAtOnce) {
    HWND gone = window->m_hWnd;
    ui.Run([&] { window->DestroyWindow(); });
    EXPECT_FALSE(ui::IsWindow(gone));
    EXPECT_EQ(ui::SendMessage(gone, kPing, 1, 1), 0);
    EXPECT_FALSE(ui::PostMessage(gone, kPing, 1, 1));
}

TEST(ThreadTest, AWorkerStartsAtOnceAndAnotherWaitsForTheCriticalSection) {
    static CCriticalSection lock;
    static std::atomic<int> inside{0};
    static std::atomic<int> maxInside{0};
    static std::atomic<int> finished{0};
    // From zero on every run of the test (--gtest_repeat).
    inside = 0;
    maxInside = 0;
    finished = 0;
    auto proc = [](void*) -> UINT {
        {
            const CCriticalSectionLock outer(lock);
            const CCriticalSectionLock inner(lock);  // recursive, like the platform's
            const int now = ++inside;
            int seen = maxInside.load();
            while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            --inside;
        }
        ++finished;
        return 0;
    };
    for (int i = 0; i < 4; ++i)
        ASSERT_NE(AfxBeginThread(proc, nullptr), nullptr);
    ASSERT_TRUE(uitest::WaitFor([] { return finished == 4; }));
    EXPECT_EQ(maxInside, 1);
}

}  // namespace
