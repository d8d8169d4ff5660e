// The Win32 device watch by a name of its own: the Win32 backend of platform/device_watch.h
// forwards to it, and the Windows test executable, whose platform::DeviceWatch is the virtual
// station's, runs its cases against it too.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/device_watch.h"

namespace win32api {

// platform::DeviceWatch on the system's device-change broadcasts: a hidden top-level window of
// its own class, on a thread of its own, hears WM_DEVICECHANGE as the system sends it to every
// top-level window (a message-only window hears no broadcasts).
class DeviceChangeWatch {
  public:
    using Wake = platform::DeviceWatch::Wake;
    DeviceChangeWatch();
    ~DeviceChangeWatch();
    DeviceChangeWatch(const DeviceChangeWatch&) = delete;
    DeviceChangeWatch& operator=(const DeviceChangeWatch&) = delete;
    bool listening() const;
    Wake Wait(std::uint32_t timeoutMs);
    void Stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace win32api
