// Disks coming and going, for a program that has no window to be told through: it waits, wakes
// when something may have changed and rescans. A wake says nothing about what changed; one change
// may wake it when nothing it cares about did (a hub, a keyboard), and several changes may wake
// it once.
// Win32: platform/win32/device_watch.cpp (the device-change broadcasts to a hidden top-level
// window). Linux: platform/linux/device_watch.cpp (the kernel's uevents and the mount table).
// Elsewhere: the virtual station's port changes, platform/sim/device_watch.cpp.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/backend.h"

namespace platform {

TAVRIN_BACKEND_BEGIN

// Tells a program without windows that disks may have come or gone.
class DeviceWatch {
  public:
    enum class Wake { Changed, TimedOut, Stopped, Failed };
    static constexpr std::uint32_t kForever = 0xFFFFFFFF;
    DeviceWatch();  // listening from here on; changes before Wait are not lost
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;
    bool listening() const;  // false when the system refused (Wait then answers Failed)
    // Waits for a change since the last Wait, at most timeoutMs. Several changes in a row may
    // wake it once; a program rescans after each wake.
    Wake Wait(std::uint32_t timeoutMs);
    // Safe from a signal handler (Linux/native: a self-pipe or eventfd write) and from a
    // console control handler's thread (Windows): the current or next Wait answers Stopped,
    // and so does every Wait after it.
    void Stop();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

TAVRIN_BACKEND_END

}  // namespace platform
