// The Win32 device watch (Windows builds only; under wine here): the device-change broadcasts
// that every top-level window gets wake it when a volume comes or goes or device nodes change,
// and Stop ends its waits.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <memory>
#include <thread>

#include "platform/win32/device_watch_api.h"

namespace {

using win32api::DeviceChangeWatch;
using Wake = DeviceChangeWatch::Wake;

// Long enough never to run out on a loaded machine; a wake that does not come fails the test.
constexpr std::uint32_t kPatience = 20000;

// As the system sends it to every top-level window; answered once every window has handled it.
void Broadcast(WPARAM event, const void* data) {
    DWORD_PTR result = 0;
    ASSERT_NE(
        SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(data),
                            SMTO_ABORTIFHUNG, kPatience, &result),
        0);
}

DEV_BROADCAST_VOLUME Volume(char letter) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << (letter - 'A');
    return volume;
}

TEST(Win32DeviceWatch, VolumesComingAndGoingAndDeviceNodesChangingWakeIt) {
    DeviceChangeWatch watch;
    ASSERT_TRUE(watch.listening());
    EXPECT_EQ(watch.Wait(0), Wake::TimedOut);

    // A port is no disk.
    DEV_BROADCAST_PORT_W port{};
    port.dbcp_size = sizeof port;
    port.dbcp_devicetype = DBT_DEVTYP_PORT;
    Broadcast(DBT_DEVICEARRIVAL, &port);
    EXPECT_EQ(watch.Wait(0), Wake::TimedOut);

    // Heard before the Wait, and once for two.
    const DEV_BROADCAST_VOLUME e = Volume('E');
    Broadcast(DBT_DEVICEARRIVAL, &e);
    Broadcast(DBT_DEVICEARRIVAL, &e);
    EXPECT_EQ(watch.Wait(kPatience), Wake::Changed);
    EXPECT_EQ(watch.Wait(0), Wake::TimedOut);

    Broadcast(DBT_DEVICEREMOVECOMPLETE, &e);
    EXPECT_EQ(watch.Wait(kPatience), Wake::Changed);
    Broadcast(DBT_DEVNODES_CHANGED, nullptr);
    EXPECT_EQ(watch.Wait(kPatience), Wake::Changed);
    // Asked whether a volume may go, nothing has gone yet.
    Broadcast(DBT_DEVICEQUERYREMOVE, &e);
    EXPECT_EQ(watch.Wait(0), Wake::TimedOut);
}

TEST(Win32DeviceWatch, StopFromAnotherThreadEndsTheWaitAndEveryOneAfter) {
    DeviceChangeWatch watch;
    ASSERT_TRUE(watch.listening());
    std::thread stopper([&] { watch.Stop(); });
    EXPECT_EQ(watch.Wait(platform::DeviceWatch::kForever), Wake::Stopped);
    stopper.join();
    const DEV_BROADCAST_VOLUME f = Volume('F');
    Broadcast(DBT_DEVICEARRIVAL, &f);
    EXPECT_EQ(watch.Wait(kPatience), Wake::Stopped);
}

TEST(Win32DeviceWatch, AWatchGoneLeavesTheOtherListening) {
    DeviceChangeWatch kept;
    {
        DeviceChangeWatch gone;
        ASSERT_TRUE(gone.listening());
    }
    DeviceChangeWatch later;
    const DEV_BROADCAST_VOLUME g = Volume('G');
    Broadcast(DBT_DEVICEARRIVAL, &g);
    EXPECT_EQ(kept.Wait(kPatience), Wake::Changed);
    EXPECT_EQ(later.Wait(kPatience), Wake::Changed);
}

}  // namespace

#endif  // _WIN32
