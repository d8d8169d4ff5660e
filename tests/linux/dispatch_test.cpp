// One program with both backends: every platform call answers from the one chosen when it starts.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/device_io.h"
#include "platform/device_watch.h"
#include "platform/dispatch.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"
#include "tests/linux/sysfs_tree.h"

namespace {

using platform::Backend;

std::u16string DriveStrings() {
    char16_t buffer[64] = {};
    return std::u16string(buffer, platform::LogicalDriveStrings(64, buffer));
}

// The machine: a system disk whose first volume is mounted. The station: disk 1 with volume E:,
// one controller of two empty ports.
class BothBackends : public ::testing::Test {
  protected:
    void SetUp() override {
        tree.Disk(tree.ScsiBlock("/sys/devices/pci0000:00/0000:00:1f.2/ata1", 0), "sdd", 1, false);
        tree.Mount("/dev/sdd1", "/", "ext4");
        platform::linux_os::SetSystemRoot(tree.Root());
        sim::Station& station = sim::Station::Get();
        station.Reset();
        sim::UsbMachine machine;
        machine.controllers.push_back(sim::Controller(2));
        station.Usb().SetMachine(machine);
        station.AddDisk(1);
        station.AddVolume(u'E', 1, 4096);
    }
    void TearDown() override {
        platform::UseBackend(Backend::Machine);
        platform::linux_os::SetSystemRoot("");
        sim::Station::Get().Reset();
    }

    linux_test::SysfsTree tree;
    const std::u16string machineDrives{*platform::linux_os::VolumeLetter("sdd1"), u':', u'\\',
                                       u'\0'};
};

TEST_F(BothBackends, TheMachineAnswersUntilTheStationIsChosen) {
    EXPECT_EQ(platform::ChosenBackend(), Backend::Machine);
    EXPECT_EQ(DriveStrings(), machineDrives);
    EXPECT_EQ(platform::OpenDeviceFile(u"\\\\.\\E:"), platform::kInvalidHandle);
    EXPECT_EQ(sim::Station::Get().OpenedPaths().size(), 0u);

    platform::UseBackend(Backend::Station);
    EXPECT_EQ(DriveStrings(), std::u16string(u"C:\\\0E:\\\0", 8));  // its system disk, and E:
    const platform::Handle disk = platform::OpenDeviceFile(u"\\\\.\\E:");
    ASSERT_NE(disk, platform::kInvalidHandle);
    EXPECT_EQ(sim::Station::Get().OpenHandleCount(), 1u);
    std::uint64_t free = 0;
    EXPECT_TRUE(platform::DiskFreeBytesAvailable(u"E:\\", &free));
    EXPECT_EQ(free, 4096u);
    EXPECT_TRUE(platform::CloseDevice(disk));
    EXPECT_EQ(sim::Station::Get().OpenHandleCount(), 0u);
    // A reason the system found is kept by the chosen backend, for its LastDeviceError.
    platform::SetLastDeviceError({0, u"nothing transferred"});
    EXPECT_EQ(platform::LastDeviceError().text, u"nothing transferred");

    platform::UseBackend(Backend::Machine);
    EXPECT_EQ(DriveStrings(), machineDrives);
    EXPECT_NE(platform::LastDeviceError().text, u"nothing transferred");
}

TEST_F(BothBackends, AWatchIsTheChosenBackendsOwn) {
    platform::UseBackend(Backend::Station);
    platform::DeviceWatch watch;
    ASSERT_TRUE(watch.listening());
    EXPECT_EQ(watch.Wait(0), platform::DeviceWatch::Wake::TimedOut);
    ASSERT_TRUE(sim::Station::Get().Usb().Plug({0, {1}}, sim::FlashDisk(2, u'F')));
    EXPECT_EQ(watch.Wait(20000), platform::DeviceWatch::Wake::Changed);
    watch.Stop();
    EXPECT_EQ(watch.Wait(platform::DeviceWatch::kForever), platform::DeviceWatch::Wake::Stopped);
}

}  // namespace
