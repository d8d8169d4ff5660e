// The system's device notices on the virtual station: while on, every change of what sits on
// a port reaches the process's top-level windows as WM_DEVICECHANGE, as Windows sends it to
// windows that registered for nothing: DBT_DEVNODES_CHANGED for any change, and
// DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE with a volume broadcast (the unit mask of the
// drive letters that came or went) when letters came or went.
//
// The notices are sent from the thread that changed the port, and the sender waits for each
// window's handler; a window's thread that waits for such a thread must serve sent messages
// meanwhile (ui::WaitServingSentMessages).
#pragma once

#include <cstdint>

namespace sim {

// Laid out as the platform's DEV_BROADCAST_VOLUME.
struct DeviceBroadcastVolume {
    std::uint32_t size = sizeof(DeviceBroadcastVolume);
    std::uint32_t deviceType = 2;  // DBT_DEVTYP_VOLUME
    std::uint32_t reserved = 0;
    std::uint32_t unitMask = 0;  // bit 0: A:, bit 1: B:, ...
    std::uint16_t flags = 0;
};

inline constexpr unsigned kDevNodesChanged = 0x0007;  // DBT_DEVNODES_CHANGED

// Installs (or removes) the station's device-change hook. Starting takes the letters present
// now as known, so only later changes are announced.
void SendDeviceNotices(bool on);

}  // namespace sim
