// Threads and messages on the headless window system: sends across threads, loops, posting
// order, painting as the last message, destruction.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "tests/platform/headless_fixture.h"
#include "tests/platform/res/test_resource.h"

namespace {

using namespace ui;
using headless_test::HeadlessTest;
using headless_test::Recorder;

constexpr UINT kAsk = WM_APP + 1;
constexpr UINT kBack = WM_APP + 2;
constexpr unsigned kHang = 10000;  // guards against hangs only

TEST_F(HeadlessTest, ACrossThreadSendRunsOnTheOwnerWhileTheSenderWaits) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop());
    std::thread::id ranOn;
    bool handled = false;
    host.answer = [&](UINT m, WPARAM w, LPARAM, LRESULT* r) {
        if (m != kAsk)
            return false;
        ranOn = std::this_thread::get_id();
        handled = true;
        *r = static_cast<LRESULT>(w) * 2;
        return true;
    };
    std::atomic<bool> done{false};
    LRESULT result = 0;
    bool handledWhenReturned = false;
    const HWND target = host.m_hWnd;
    std::thread worker([&] {
        result = ui::SendMessage(target, kAsk, 21);
        handledWhenReturned = handled;
        done = true;
    });
    EXPECT_TRUE(WaitServingSentMessages([&] { return done.load(); }, kHang));
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(handledWhenReturned);
    EXPECT_FALSE(WaitServingSentMessages([] { return false; }, 5));
}

TEST_F(HeadlessTest, TwoThreadsSendingToEachOtherServeEachOther) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop());
    std::atomic<HWND> workerWindow{nullptr};
    // The owner answers by sending to the worker, which is itself blocked in its send.
    host.answer = [&](UINT m, WPARAM w, LPARAM, LRESULT* r) {
        if (m != kAsk)
            return false;
        *r = ui::SendMessage(workerWindow.load(), kBack, w) + 1;
        return true;
    };
    std::atomic<bool> done{false};
    LRESULT answer = 0;
    const HWND target = host.m_hWnd;
    std::thread worker([&] {
        Recorder own;
        own.answer = [](UINT m, WPARAM w, LPARAM, LRESULT* r) {
            *r = static_cast<LRESULT>(w) * 10;
            return m == kBack;
        };
        own.CreateTop();
        workerWindow = own.m_hWnd;
        answer = ui::SendMessage(target, kAsk, 4);
        done = true;
    });
    EXPECT_TRUE(WaitServingSentMessages([&] { return done.load(); }, kHang));
    worker.join();
    EXPECT_EQ(answer, 41);
}

TEST_F(HeadlessTest, AWorkerSendIsServedWhileAModalDialogRuns) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop());
    std::thread::id ranOn;
    host.answer = [&](UINT m, WPARAM, LPARAM, LRESULT* r) {
        if (m != kAsk)
            return false;
        ranOn = std::this_thread::get_id();
        *r = 5;
        return true;
    };
    const HWND target = host.m_hWnd;
    LRESULT answer = 0;
    bool ownerDisabled = false;
    std::thread worker([&] {
        HWND dialog = nullptr;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHang);
        while ((dialog = ui::testing::FindTopLevelWindow(u"Test Dialog")) == nullptr &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        answer = ui::SendMessage(target, kAsk);
        ownerDisabled = (headless::Describe(target).style & WS_DISABLED) != 0;
        ui::PostMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    CDialog dialog(IDD_TEST, &host);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    worker.join();
    EXPECT_EQ(answer, 5);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(ui::testing::IsWindowEnabled(host));
}

TEST_F(HeadlessTest, LoopsDispatchPostedMessagesInOrderPaintWhenIdleAndQuitBeforePainting) {
    Recorder host;
    ASSERT_TRUE(host.CreateTop());
    host.UpdateWindow();
    ASSERT_FALSE(headless::HasUpdateRegion(host.m_hWnd));

    auto order = [&] {
        std::u16string s;
        for (const auto& seen : host.seen) {
            if (seen.message == kAsk)
                s += static_cast<char16_t>(u'0' + seen.wParam);
            else if (seen.message == WM_PAINT)
                s += u'P';
        }
        host.seen.clear();
        return s;
    };
    host.seen.clear();
    ui::PostMessage(host.m_hWnd, kAsk, 1);
    host.Invalidate();
    ui::PostMessage(host.m_hWnd, kAsk, 2);
    ui::PostMessage(host.m_hWnd, kAsk, 3);
    ui::WhenIdle([] { PostQuitMessage(7); });
    EXPECT_EQ(RunMessageLoop(), 7);
    EXPECT_EQ(order(), u"123P");

    // WM_QUIT comes once the posted messages are gone, before any painting.
    ui::PostMessage(host.m_hWnd, kAsk, 4);
    host.Invalidate();
    PostQuitMessage(3);
    EXPECT_EQ(RunMessageLoop(), 3);
    EXPECT_EQ(order(), u"4");
    EXPECT_TRUE(headless::HasUpdateRegion(host.m_hWnd));
}

std::vector<std::string> g_log;

class Logged : public CWnd {
  public:
    explicit Logged(std::string name) : name_(std::move(name)) {}
    LRESULT WindowProc(UINT m, WPARAM w, LPARAM l) override {
        if (m == WM_DESTROY)
            g_log.push_back(name_ + " destroy");
        if (m == WM_NCDESTROY)
            g_log.push_back(name_ + " ncdestroy " + (IsWindow(m_hWnd) ? "valid" : "gone"));
        return CWnd::WindowProc(m, w, l);
    }
    void PostNcDestroy() override { g_log.push_back(name_ + " after"); }

  private:
    std::string name_;
};

TEST_F(HeadlessTest, DestroyingGoesParentFirstThenChildrenFirstAndInvalidatesHandles) {
    g_log.clear();
    Logged parent("parent"), child("child");
    ASSERT_TRUE(parent.Create(u"HeadlessTestWindow", u"", WS_POPUP, {0, 0, 100, 100}, nullptr, 0));
    ASSERT_TRUE(child.Create(u"Static", u"", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, &parent, 5));
    const HWND childHandle = child.m_hWnd;
    EXPECT_EQ(parent.GetDlgItem(5), childHandle);
    EXPECT_EQ(CWnd::FromHandle(childHandle), &child);
    EXPECT_TRUE(parent.DestroyWindow());
    EXPECT_EQ(g_log,
              (std::vector<std::string>{"parent destroy", "child destroy", "child ncdestroy valid",
                                        "child after", "parent ncdestroy valid", "parent after"}));
    EXPECT_FALSE(IsWindow(childHandle));
    EXPECT_EQ(child.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandle(childHandle), nullptr);
    EXPECT_FALSE(parent.DestroyWindow());
}

TEST_F(HeadlessTest, MessagesToAGoneWindowAnswerZeroEvenToAWaitingSender) {
    Recorder gone;
    ASSERT_TRUE(gone.CreateTop());
    const HWND handle = gone.m_hWnd;
    gone.DestroyWindow();
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(ui::SendMessage(handle, WM_GETTEXTLENGTH), 0);
    EXPECT_FALSE(ui::PostMessage(handle, kAsk));

    Recorder target;
    ASSERT_TRUE(target.CreateTop());
    bool handled = false;
    target.answer = [&](UINT m, WPARAM, LPARAM, LRESULT* r) {
        handled = handled || m == kAsk;
        *r = 9;
        return m == kAsk;
    };
    const HWND window = target.m_hWnd;
    std::atomic<bool> sending{false};
    LRESULT result = -1;
    std::thread worker([&] {
        sending = true;
        result = ui::SendMessage(window, kAsk);
    });
    while (!sending)
        std::this_thread::yield();
    // Likely waiting by now; a send not yet begun meets a destroyed window and gets 0 as well.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    target.DestroyWindow();
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(handled);
}

}  // namespace
