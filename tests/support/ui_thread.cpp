#include "ui_thread.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace uitest {
namespace {

constexpr ui::UINT kRunTask = ui::WM_APP + 1;
constexpr ui::UINT kPostedTask = ui::WM_APP + 2;

class TaskWindow : public ui::CWnd {
  public:
    ui::LRESULT WindowProc(ui::UINT message, ui::WPARAM wParam, ui::LPARAM lParam) override {
        if (message == kRunTask) {
            (*reinterpret_cast<std::function<void()>*>(lParam))();
            return 0;
        }
        if (message == kPostedTask) {
            std::unique_ptr<std::function<void()>> task(
                reinterpret_cast<std::function<void()>*>(lParam));
            (*task)();
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

}  // namespace

UiThread::UiThread() {
    std::mutex mutex;
    std::condition_variable ready;
    bool started = false;
    thread_ = std::thread([&] {
        TaskWindow window;
        window.Create(u"Static", u"", ui::WS_POPUP, {0, 0, 0, 0}, nullptr, 0);
        {
            // Notified under the lock: the constructor's locals live until it is released.
            std::lock_guard lock(mutex);
            window_ = window.m_hWnd;
            id_ = std::this_thread::get_id();
            started = true;
            ready.notify_one();
        }
        ui::RunMessageLoop();
        window.DestroyWindow();
    });
    std::unique_lock lock(mutex);
    ready.wait(lock, [&] { return started; });
}

UiThread::~UiThread() {
    Run([] { ui::PostQuitMessage(0); });
    thread_.join();
}

void UiThread::Run(std::function<void()> task) {
    ui::SendMessage(window_, kRunTask, 0, reinterpret_cast<ui::LPARAM>(&task));
}

void UiThread::Post(std::function<void()> task) {
    auto* heap = new std::function<void()>(std::move(task));
    if (!ui::PostMessage(window_, kPostedTask, 0, reinterpret_cast<ui::LPARAM>(heap))) {
        delete heap;
    }
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace uitest
