// The device-change window: created, served and destroyed on its own thread, so that the
// broadcasts are handled whatever the waiting thread does. The handler and Stop only set events,
// which a console control handler's thread may do too.
#include "platform/win32/device_watch_api.h"

#include <windows.h>

#include <dbt.h>

#include <atomic>
#include <thread>

namespace win32api {
namespace {

constexpr wchar_t kClass[] = L"TavrinDeviceWatch";
constexpr UINT kClose = WM_APP + 1;  // from the watch only: WM_CLOSE may come from anyone

// Whether a device-change event may have brought or taken a disk: a volume arriving or gone,
// or any device node added or removed (the system sends no volume events to some programs).
bool MayChangeDisks(WPARAM event, LPARAM data) {
    if (event == DBT_DEVNODES_CHANGED)
        return true;
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || data == 0)
        return false;
    return reinterpret_cast<const DEV_BROADCAST_HDR*>(data)->dbch_devicetype == DBT_DEVTYP_VOLUME;
}

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_DEVICECHANGE:
            if (MayChangeDisks(wParam, lParam))
                SetEvent(reinterpret_cast<HANDLE>(GetWindowLongPtrW(window, GWLP_USERDATA)));
            return TRUE;
        case WM_CLOSE:
            return 0;
        case kClose:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWatchClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WatchProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClass;
        return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

}  // namespace

struct DeviceChangeWatch::State {
    HANDLE changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: one per Wait
    HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> stopRequested{false};
    HWND window = nullptr;
    std::thread thread;

    ~State() {
        for (HANDLE event : {changed, stopped}) {
            if (event != nullptr)
                CloseHandle(event);
        }
    }
};

DeviceChangeWatch::DeviceChangeWatch() : state_(std::make_unique<State>()) {
    State& s = *state_;
    if (s.changed == nullptr || s.stopped == nullptr || !RegisterWatchClass())
        return;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr)
        return;
    s.thread = std::thread([&s, ready] {
        // Top-level (no parent, not HWND_MESSAGE) and never shown.
        s.window = CreateWindowExW(0, kClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), s.changed);
        SetEvent(ready);
        if (s.window == nullptr)
            return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
    });
    // Listening once the window exists: a change after the constructor is not lost.
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

DeviceChangeWatch::~DeviceChangeWatch() {
    State& s = *state_;
    if (s.window != nullptr)
        PostMessageW(s.window, kClose, 0, 0);
    if (s.thread.joinable())
        s.thread.join();
}

bool DeviceChangeWatch::listening() const {
    return state_->window != nullptr;
}

DeviceChangeWatch::Wake DeviceChangeWatch::Wait(std::uint32_t timeoutMs) {
    State& s = *state_;
    if (s.stopRequested)
        return Wake::Stopped;
    if (!listening())
        return Wake::Failed;
    // The stop first: of both set, WaitForMultipleObjects answers the lower index.
    const HANDLE events[2] = {s.stopped, s.changed};
    switch (WaitForMultipleObjects(2, events, FALSE, timeoutMs)) {
        case WAIT_OBJECT_0:
            return Wake::Stopped;
        case WAIT_OBJECT_0 + 1:
            return Wake::Changed;
        case WAIT_TIMEOUT:
            return Wake::TimedOut;
        default:
            return Wake::Failed;
    }
}

void DeviceChangeWatch::Stop() {
    state_->stopRequested = true;
    if (state_->stopped != nullptr)
        SetEvent(state_->stopped);
}

}  // namespace win32api
