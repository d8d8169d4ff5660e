// Message queues, sent and posted messages and message loops.
//
// Each thread gets a queue the first time it touches the window system. A message sent to a
// window of another thread is put in that thread's queue of sent messages; the sender waits,
// serving messages sent to its own thread meanwhile (two threads sending to each other do not
// deadlock). A thread serves sent messages only when it retrieves messages: in a loop, while
// waiting in WaitServingSentMessages, or while its own send waits.
#include <algorithm>
#include <chrono>

#include "platform/headless/core.h"
#include "platform/headless/message_watch.h"

namespace headless::detail {

namespace {

void Complete(const std::shared_ptr<SentMessage>& message, LRESULT result) {
    ThreadQueue& sender = *message->sender;
    {
        std::lock_guard lock(sender.mutex);
        message->result = result;
        message->done = true;
        ++sender.wakes;
    }
    sender.wake.notify_all();
}

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
    QueueHolder() = default;
    QueueHolder(const QueueHolder&) = delete;
    QueueHolder& operator=(const QueueHolder&) = delete;
    // A thread that ends answers 0 to whoever still waits on it.
    ~QueueHolder() {
        std::deque<std::shared_ptr<SentMessage>> pending;
        {
            std::lock_guard lock(queue->mutex);
            queue->alive = false;
            pending.swap(queue->sent);
        }
        for (const auto& message : pending)
            Complete(message, 0);
    }
};

thread_local QueueHolder t_queue;

std::shared_ptr<SentMessage> PopSent(ThreadQueue& queue) {
    std::lock_guard lock(queue.mutex);
    if (queue.sent.empty())
        return nullptr;
    auto message = queue.sent.front();
    queue.sent.pop_front();
    return message;
}

}  // namespace

std::shared_ptr<ThreadQueue> CurrentQueue() {
    return t_queue.queue;
}

void Wake(ThreadQueue& queue) {
    {
        std::lock_guard lock(queue.mutex);
        ++queue.wakes;
    }
    queue.wake.notify_all();
}

void ServeSent(const std::shared_ptr<SentMessage>& message) {
    Watched(message->window, message->message, message->wParam, message->lParam, false, true);
    const LRESULT result =
        CallProc(message->window, message->message, message->wParam, message->lParam);
    Complete(message, result);
}

// Called by the window's own thread once the window is gone.
void AnswerPendingSends(ThreadQueue& queue, HWND window) {
    std::deque<std::shared_ptr<SentMessage>> gone;
    {
        std::lock_guard lock(queue.mutex);
        for (auto it = queue.sent.begin(); it != queue.sent.end();) {
            if ((*it)->window == window) {
                gone.push_back(*it);
                it = queue.sent.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& message : gone)
        Complete(message, 0);
}

HWND WindowToPaint(const ThreadQueue& queue);

bool TakePosted(HWND window, UINT first, UINT last) {
    const auto queue = CurrentQueue();
    std::lock_guard lock(queue->mutex);
    const auto it = std::find_if(queue->posted.begin(), queue->posted.end(), [&](const auto& m) {
        return m.window == window && m.message >= first && m.message <= last;
    });
    if (it == queue->posted.end())
        return false;
    queue->posted.erase(it);
    return true;
}

Got NextMessage(PostedMessage* out, const std::function<bool()>& stop) {
    const auto queue = CurrentQueue();
    for (;;) {
        if (auto sent = PopSent(*queue)) {
            ServeSent(sent);
            continue;
        }
        std::uint64_t seen;
        {
            std::lock_guard lock(queue->mutex);
            seen = queue->wakes;
        }
        if (stop && stop())
            return Got::Stopped;
        {
            std::lock_guard lock(queue->mutex);
            if (!queue->sent.empty())
                continue;
            if (!queue->posted.empty()) {
                *out = queue->posted.front();
                queue->posted.pop_front();
                return Got::Message;
            }
            // Like the platform: WM_QUIT once no posted message is left, before painting.
            if (queue->quit) {
                queue->quit = false;
                *out = {nullptr, WM_QUIT, static_cast<WPARAM>(queue->quitCode), 0};
                return Got::Quit;
            }
        }
        if (HWND window = WindowToPaint(*queue)) {
            *out = {window, WM_PAINT, 0, 0};
            return Got::Message;
        }
        if (!queue->idleTasks.empty()) {
            auto task = std::move(queue->idleTasks.front());
            queue->idleTasks.pop_front();
            try {
                task();
            } catch (...) {
            }
            // As the platform's loops do: a task that ended the loop ends it before any message.
            if (stop && stop())
                return Got::Stopped;
            continue;
        }
        std::unique_lock lock(queue->mutex);
        queue->wake.wait(lock, [&] { return queue->wakes != seen; });
    }
}

void DispatchInternal(const PostedMessage& message) {
    if (message.window == nullptr)
        return;
    Watched(message.window, message.message, message.wParam, message.lParam, true, false);
    CallProc(message.window, message.message, message.wParam, message.lParam);
}

}  // namespace headless::detail

namespace ui {

using namespace headless::detail;

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> target;
    {
        auto lock = Lock();
        const Window* w = FindLocked(window);
        if (w == nullptr)
            return 0;
        target = w->queue;
    }
    const auto self = CurrentQueue();
    if (target == self) {
        Watched(window, message, wParam, lParam, false, false);
        return CallProc(window, message, wParam, lParam);
    }

    auto sent = std::make_shared<SentMessage>();
    *sent = SentMessage{window, message, wParam, lParam, 0, false, self};
    {
        std::lock_guard lock(target->mutex);
        if (!target->alive)
            return 0;
        target->sent.push_back(sent);
        ++target->wakes;
    }
    target->wake.notify_all();

    std::unique_lock lock(self->mutex);
    while (!sent->done) {
        if (!self->sent.empty()) {
            auto next = self->sent.front();
            self->sent.pop_front();
            lock.unlock();
            ServeSent(next);
            lock.lock();
            continue;
        }
        self->wake.wait(lock);
    }
    return sent->result;
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> target;
    if (window == nullptr) {
        target = CurrentQueue();  // a thread message
    } else {
        auto lock = Lock();
        const Window* w = FindLocked(window);
        if (w == nullptr)
            return false;
        target = w->queue;
    }
    {
        std::lock_guard lock(target->mutex);
        if (!target->alive)
            return false;
        target->posted.push_back({window, message, wParam, lParam});
        ++target->wakes;
    }
    target->wake.notify_all();
    return true;
}

namespace {

bool WaitServing(const std::function<bool()>& done, unsigned timeoutMs, bool paint) {
    using Clock = std::chrono::steady_clock;
    const auto queue = CurrentQueue();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (auto sent = PopSent(*queue))
            ServeSent(sent);
        // One window a round: one that never validates cannot keep `done` from being seen.
        const HWND window = paint ? WindowToPaint(*queue) : nullptr;
        if (window != nullptr)
            DispatchInternal({window, WM_PAINT, 0, 0});
        if (done())
            return true;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        if (window != nullptr)
            continue;
        // `done` may turn on without anyone waking us: look again every few milliseconds.
        std::unique_lock lock(queue->mutex);
        if (queue->sent.empty())
            queue->wake.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(2)));
    }
}

}  // namespace

bool WaitServingSentMessages(const std::function<bool()>& done, unsigned timeoutMs) {
    return WaitServing(done, timeoutMs, false);
}

bool WaitServingSentMessagesAndPaint(const std::function<bool()>& done, unsigned timeoutMs) {
    return WaitServing(done, timeoutMs, true);
}

int RunMessageLoop() {
    PostedMessage message{};
    for (;;) {
        if (NextMessage(&message, nullptr) == Got::Quit)
            return static_cast<int>(message.wParam);
        DispatchInternal(message);
    }
}

void PostQuitMessage(int exitCode) {
    const auto queue = CurrentQueue();
    {
        std::lock_guard lock(queue->mutex);
        queue->quit = true;
        queue->quitCode = exitCode;
        ++queue->wakes;
    }
    queue->wake.notify_all();
}

bool InitCommonControls(DWORD) {
    return true;
}

}  // namespace ui
