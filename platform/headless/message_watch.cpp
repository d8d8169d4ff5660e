// The headless backend of ui_message_watch.h: the queue calls Watched on every delivery.
#include "platform/headless/message_watch.h"

#include "platform/ui_message_watch.h"

namespace {

// A plain pointer, as the Win32 backend keeps its own.
thread_local std::function<void(const ui::testing::Delivery&)>* t_watch = nullptr;

}  // namespace

namespace headless::detail {

void Watched(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool posted,
             bool fromOtherThread) {
    if (t_watch != nullptr && window != nullptr)
        (*t_watch)({window, message, wParam, lParam, posted, fromOtherThread});
}

}  // namespace headless::detail

namespace ui::testing {

MessageWatch::MessageWatch(std::function<void(const Delivery&)> watch) : watch_(std::move(watch)) {
    t_watch = &watch_;
}

MessageWatch::~MessageWatch() {
    t_watch = nullptr;
}

}  // namespace ui::testing
