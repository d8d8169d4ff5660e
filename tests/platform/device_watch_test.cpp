// The device watch on the virtual station: disks plugged and pulled wake it, a wake is not lost
// for coming before the Wait, Stop ends every Wait, and watches come and go independently of
// each other and of the station's other hooks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/device_watch.h"
#include "platform/sim/station.h"
#include "tests/device/station_fixture.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

namespace {

using platform::DeviceWatch;
using Wake = DeviceWatch::Wake;
using tavrin_test::StationTest;

// Long enough never to run out on a loaded machine; a wake that does not come fails the test.
constexpr std::uint32_t kPatience = 20000;

// One controller, root hub of 2 empty ports.
class DeviceWatchTest : public StationTest {
  protected:
    void SetUp() override {
        StationTest::SetUp();
        sim::UsbMachine m;
        m.controllers.push_back(sim::Controller(2));
        station().Usb().SetMachine(m);
    }
    static bool Plug(int port, int disk) {
        return station().Usb().Plug({0, {port}},
                                    sim::FlashDisk(disk, static_cast<char16_t>(u'D' + disk)));
    }
    static bool Unplug(int port) { return station().Usb().Unplug({0, {port}}); }
};

TEST_F(DeviceWatchTest, PluggingAndPullingADiskWakeIt) {
    DeviceWatch watch;
    ASSERT_TRUE(watch.listening());
    EXPECT_EQ(watch.Wait(0), Wake::TimedOut);  // SetMachine before it was no change to it

    // Changes made before the Wait are kept for it; several wake it once.
    ASSERT_TRUE(Plug(1, 1));
    ASSERT_TRUE(Plug(2, 2));
    EXPECT_EQ(watch.Wait(kPatience), Wake::Changed);
    EXPECT_EQ(watch.Wait(10), Wake::TimedOut);

    // A change while it waits, from another thread.
    std::thread pull([] { EXPECT_TRUE(Unplug(1)); });
    EXPECT_EQ(watch.Wait(kPatience), Wake::Changed);
    pull.join();

    // A plug refused (the port is taken) changes nothing.
    EXPECT_FALSE(Plug(2, 3));
    EXPECT_EQ(watch.Wait(10), Wake::TimedOut);
}

TEST_F(DeviceWatchTest, StopEndsTheCurrentWaitAndEveryOneAfter) {
    DeviceWatch watch;
    std::atomic<bool> waiting{false};
    std::thread stopper([&] {
        while (!waiting)
            std::this_thread::yield();
        watch.Stop();
    });
    waiting = true;
    EXPECT_EQ(watch.Wait(DeviceWatch::kForever), Wake::Stopped);
    stopper.join();
    // A change after the stop does not undo it.
    ASSERT_TRUE(Plug(1, 1));
    EXPECT_EQ(watch.Wait(kPatience), Wake::Stopped);
    EXPECT_EQ(watch.Wait(0), Wake::Stopped);
}

#ifndef _WIN32
DeviceWatch* g_signalled = nullptr;

// Ctrl+C on a native tool: the handler interrupts the very wait it stops.
TEST_F(DeviceWatchTest, StopFromASignalHandlerEndsTheWait) {
    DeviceWatch watch;
    g_signalled = &watch;
    struct sigaction action {};
    action.sa_handler = [](int) { g_signalled->Stop(); };
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &before), 0);
    const pthread_t waiter = pthread_self();
    std::thread interrupter([waiter] {
        // Likely in the Wait by then; a stop that comes before it ends the Wait as well.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pthread_kill(waiter, SIGUSR1);
    });
    EXPECT_EQ(watch.Wait(DeviceWatch::kForever), Wake::Stopped);
    interrupter.join();
    sigaction(SIGUSR1, &before, nullptr);
    g_signalled = nullptr;
}
#endif

TEST_F(DeviceWatchTest, WatchesAndTheStationsHookAreToldApart) {
    std::atomic<int> hookCalls{0};
    station().Usb().SetDeviceChangeHook(
        [&](sim::UsbChange, const sim::UsbPortAddress&) { ++hookCalls; });
    DeviceWatch kept;
    {
        DeviceWatch gone;
        ASSERT_TRUE(Plug(1, 1));
        EXPECT_EQ(gone.Wait(kPatience), Wake::Changed);
        gone.Stop();  // stopping one stops no other
    }
    EXPECT_EQ(kept.Wait(kPatience), Wake::Changed);
    ASSERT_TRUE(Unplug(1));
    EXPECT_EQ(kept.Wait(kPatience), Wake::Changed);
    DeviceWatch later;
    ASSERT_TRUE(Plug(2, 2));
    EXPECT_EQ(later.Wait(kPatience), Wake::Changed);
    EXPECT_EQ(kept.Wait(kPatience), Wake::Changed);
    EXPECT_EQ(hookCalls, 3);
}

// The station calls its hooks outside its lock, so a watch's hook may run after the watch is
// gone: it must not reach what the watch freed. The station's own hook, called first, holds
// the change until the watch is destroyed.
TEST_F(DeviceWatchTest, AWatchDestroyedWhileAChangeIsToldIsNotReached) {
    auto gone = std::make_unique<DeviceWatch>();
    DeviceWatch kept;
    std::atomic<int> stage{0};
    station().Usb().SetDeviceChangeHook([&](sim::UsbChange, const sim::UsbPortAddress&) {
        stage = 1;
        while (stage != 2)
            std::this_thread::yield();
    });
    std::thread plug([] { EXPECT_TRUE(Plug(1, 1)); });
    while (stage != 1)
        std::this_thread::yield();
    gone.reset();
    stage = 2;
    plug.join();
    EXPECT_EQ(kept.Wait(kPatience), Wake::Changed);
}

}  // namespace
