// Tests only: the messages that the calling thread's windows are given, each with how it came,
// so that a test can compare them with an expected sequence. Implemented by both backends.
#pragma once

#include <functional>

#include "platform/ui.h"

namespace ui::testing {

struct Delivery {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool posted = false;           // taken from the queue; else sent
    bool fromOtherThread = false;  // sent by another thread
};

// While it lives, `watch` runs on the calling thread before each message that one of the
// thread's windows is given: sent ones, and posted ones as the loop takes them (paint included).
// One watch per thread at a time.
class MessageWatch {
  public:
    explicit MessageWatch(std::function<void(const Delivery&)> watch);
    ~MessageWatch();
    MessageWatch(const MessageWatch&) = delete;
    MessageWatch& operator=(const MessageWatch&) = delete;

  private:
    std::function<void(const Delivery&)> watch_;
    // The Win32 backend's thread hooks; the headless one needs none.
    [[maybe_unused]] void* hooks_[2] = {};
};

}  // namespace ui::testing
