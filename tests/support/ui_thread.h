// A thread with a message loop, as the program's main thread has, for tests that drive windows
// from outside the way an operator would: clicks and keys are posted, state is read by messages.
// Portable: runs on every backend of the class library.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "platform/ui.h"

namespace uitest {

class UiThread {
  public:
    UiThread();
    ~UiThread();  // ends the loop and joins
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // Runs `task` on the UI thread and returns when it has run (a synchronous send).
    void Run(std::function<void()> task);
    // Queues `task` and returns at once: for tasks that open modal dialogs.
    void Post(std::function<void()> task);
    std::thread::id id() const { return id_; }
    ui::HWND window() const { return window_; }

  private:
    std::thread thread_;
    std::thread::id id_;
    ui::HWND window_ = nullptr;
};

// Polls `condition` until it holds; false after `timeout`. Guards against hangs only.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace uitest
