// The Win32 backend of ui_message_watch.h: the thread's hooks on sent messages (before the
// window procedure) and on posted ones (as GetMessage or PeekMessage removes them).
#include "platform/ui_message_watch.h"

#include "platform/win32/win.h"

namespace {

// A plain pointer: mingw's thread-local objects with destructors crash the thread at its end.
thread_local std::function<void(const ui::testing::Delivery&)>* t_watch = nullptr;

void Report(const MSG& m, bool posted, bool fromOtherThread) {
    if (t_watch != nullptr && m.hwnd != nullptr)
        (*t_watch)({win32::Ui(m.hwnd), m.message, m.wParam, m.lParam, posted, fromOtherThread});
}

LRESULT CALLBACK SentHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& c = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        MSG m{};
        m.hwnd = c.hwnd;
        m.message = c.message;
        m.wParam = c.wParam;
        m.lParam = c.lParam;
        Report(m, false, wParam == 0);  // nonzero: sent by this thread
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK PostedHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && (wParam & PM_REMOVE))
        Report(*reinterpret_cast<const MSG*>(lParam), true, false);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

namespace ui::testing {

MessageWatch::MessageWatch(std::function<void(const Delivery&)> watch) : watch_(std::move(watch)) {
    t_watch = &watch_;
    hooks_[0] = SetWindowsHookExW(WH_CALLWNDPROC, SentHook, nullptr, GetCurrentThreadId());
    hooks_[1] = SetWindowsHookExW(WH_GETMESSAGE, PostedHook, nullptr, GetCurrentThreadId());
}

MessageWatch::~MessageWatch() {
    for (void* hook : hooks_) {
        if (hook != nullptr)
            UnhookWindowsHookEx(static_cast<HHOOK>(hook));
    }
    t_watch = nullptr;
}

}  // namespace ui::testing
