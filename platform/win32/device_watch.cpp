// The Win32 backend of platform/device_watch.h: the device-change window of
// platform/win32/device_watch_api.h.
#include "platform/device_watch.h"

#include "platform/win32/device_watch_api.h"

namespace platform {

struct DeviceWatch::State {
    win32api::DeviceChangeWatch watch;
};

DeviceWatch::DeviceWatch() : state_(std::make_unique<State>()) {}

DeviceWatch::~DeviceWatch() = default;

bool DeviceWatch::listening() const {
    return state_->watch.listening();
}

DeviceWatch::Wake DeviceWatch::Wait(std::uint32_t timeoutMs) {
    return state_->watch.Wait(timeoutMs);
}

void DeviceWatch::Stop() {
    state_->watch.Stop();
}

}  // namespace platform
