#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "../support/ui_thread.h"
#include "enum_fixture.h"
#include "platform/ui.h"

namespace tavrin_test {
namespace {

TEST_F(EnumTest, EnumerationsAndWalksOnManyThreadsNeverSeeAListInTheMaking) {
    // A disk stays on root port 1 while another comes and goes on port 3.
    sim::UsbController controller = sim::Controller(4);
    controller.rootHub.ports[0] = sim::UsbPort::With(sim::FlashDisk(1, u'E'));
    SetController(controller);

    std::atomic<bool> stop = false;
    std::thread plugger([&] {
        for (int i = 0; !stop; ++i) {
            if (i % 2 == 0)
                usbSide().Plug({0, {3}}, sim::FlashDisk(2, u'F'));
            else
                usbSide().Unplug({0, {3}});
        }
    });

    std::atomic<int> bad = 0;
    std::vector<std::thread> walkers;
    for (int t = 0; t < 3; ++t) {
        walkers.emplace_back([&, t] {
            usb::CEnumUSB enumerator;
            for (int round = 0; round < 15; ++round) {
                usb::CEnumUSB::ListLock lock;
                enumerator.Enumerate(t % 2);
                int count = 0;
                for (usb::DevicePosition p = usb::CEnumUSB::GetFirstDevice(); p != nullptr;) {
                    usb::UsbDeviceEntry copy;
                    usb::CEnumUSB::GetNextDevice(&copy, &p);
                    // The machine may change between the tree and the binding: a disk
                    // that left by then has no volume, but never another disk's.
                    const int expected = count == 0 ? 1 : 3;
                    if (copy.portOrdinal != expected ||
                        (count == 0 && copy.firstVolume == nullptr) ||
                        (copy.firstVolume != nullptr && copy.firstVolume->diskNumber != count + 1))
                        ++bad;
                    ++count;
                }
                if (count < 1 || count > 2)
                    ++bad;
            }
        });
    }
    for (std::thread& walker : walkers)
        walker.join();
    stop = true;
    plugger.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(ListedDeviceCount(), 0);  // every enumerator gone, and the list with them
}

TEST_F(EnumTest, AWindowThreadWaitingForTheListServesTheHolderThatSendsToIt) {
    uitest::UiThread ui;
    std::atomic<bool> held = false;
    std::atomic<bool> uiWaiting = false;
    std::atomic<bool> served = false;
    std::atomic<bool> acquired = false;

    std::thread worker([&] {
        usb::CEnumUSB::ListLock lock;
        held = true;
        while (!uiWaiting)
            std::this_thread::yield();
        // Blocks until the window's thread handles it, while that thread waits for the list.
        ui.Run([&] { served = true; });
    });
    ui.Post([&] {
        while (!held)
            std::this_thread::yield();
        uiWaiting = true;
        const usb::CEnumUSB::ListLock lock(ui::WaitServingSentMessages);
        acquired = true;
    });
    ASSERT_TRUE(uitest::WaitFor([&] { return acquired.load(); }));
    EXPECT_TRUE(served);
    worker.join();
}

}  // namespace
}  // namespace tavrin_test
