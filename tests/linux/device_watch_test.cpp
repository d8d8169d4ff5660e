// The device watch on Linux: which uevents may bring or take a disk, and the watch on the real
// kernel, woken by a change of the mount table and by Stop.
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/device_watch.h"
#include "platform/linux/uevent.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace std::string_view_literals;
using platform::DeviceWatch;
using platform::linux_os::MayChangeDisks;
using platform::linux_os::ParseUevent;
using Wake = DeviceWatch::Wake;

// ---- Uevents ----------------------------------------------------------------------------------

constexpr auto kDisk =
    "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host0/target0:0:0/"
    "0:0:0:0/block/sdb"sv;

struct UeventCase {
    std::string_view name;
    std::string_view message;
    bool parsed;
    bool wakes;
};

const UeventCase kUevents[] = {
    {"a disk added",
     "add@/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb\0"
     "ACTION=add\0DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host0/target0:0:0/"
     "0:0:0:0/block/sdb\0SUBSYSTEM=block\0MAJOR=8\0MINOR=16\0DEVNAME=sdb\0DEVTYPE=disk\0"
     "DISKSEQ=9\0SEQNUM=4121\0"sv,
     true, true},
    {"a partition removed",
     "remove@/devices/virtual/block/sdb/sdb1\0ACTION=remove\0DEVPATH=/devices/virtual/block/sdb/"
     "sdb1\0SUBSYSTEM=block\0DEVTYPE=partition\0SEQNUM=4200\0"sv,
     true, true},
    {"a medium changed",
     "change@/devices/virtual/block/sdc\0ACTION=change\0DEVPATH=/devices/virtual/block/sdc\0"
     "SUBSYSTEM=block\0DISK_MEDIA_CHANGE=1\0SEQNUM=4201\0"sv,
     true, true},
    {"a USB device added",
     "add@/devices/pci0000:00/0000:00:14.0/usb1/1-1\0ACTION=add\0DEVPATH=/devices/pci0000:00/"
     "0000:00:14.0/usb1/1-1\0SUBSYSTEM=usb\0DEVTYPE=usb_device\0PRODUCT=1f75/917/100\0"
     "SEQNUM=4100\0"sv,
     true, true},
    {"a USB device removed",
     "remove@/devices/pci0000:00/0000:00:14.0/usb1/1-1\0ACTION=remove\0DEVPATH=/devices/"
     "pci0000:00/0000:00:14.0/usb1/1-1\0SUBSYSTEM=usb\0SEQNUM=4300\0"sv,
     true, true},
    {"a USB driver bound",
     "bind@/devices/pci0000:00/0000:00:14.0/usb1/1-1\0ACTION=bind\0DEVPATH=/devices/pci0000:00/"
     "0000:00:14.0/usb1/1-1\0SUBSYSTEM=usb\0DRIVER=usb\0SEQNUM=4101\0"sv,
     true, false},
    {"a SCSI disk added",
     "add@/devices/virtual/scsi_disk/0:0:0:0\0ACTION=add\0DEVPATH=/devices/virtual/scsi_disk/"
     "0:0:0:0\0SUBSYSTEM=scsi_disk\0SEQNUM=4119\0"sv,
     true, false},
    {"a keyboard's input added",
     "add@/devices/virtual/input/input7\0ACTION=add\0DEVPATH=/devices/virtual/input/input7\0"
     "SUBSYSTEM=input\0SEQNUM=4102\0"sv,
     true, false},
    // udev's own messages: a header with a magic number and a packed property buffer.
    {"udev's message",
     "libudev\0\xfe\xed\xca\xfe\x28\0\0\0ACTION=add\0DEVPATH=/devices/virtual/block/sdb\0"
     "SUBSYSTEM=block\0"sv,
     false, false},
    {"cut in a field", "add@/devices/virtual/block/sdb\0ACTION=add\0DEVPATH=/devices/vir"sv, false,
     false},
    {"cut before the subsystem",
     "add@/devices/virtual/block/sdb\0ACTION=add\0DEVPATH=/devices/virtual/block/sdb\0"sv, false,
     false},
    {"no header", "ACTION=add\0DEVPATH=/devices/virtual/block/sdb\0SUBSYSTEM=block\0"sv, false,
     false},
    {"no action",
     "@/devices/virtual/block/sdb\0ACTION=\0DEVPATH=/devices/virtual/block/sdb\0"
     "SUBSYSTEM=block\0"sv,
     false, false},
    {"a relative path",
     "add@devices/virtual/block/sdb\0ACTION=add\0DEVPATH=devices/virtual/block/sdb\0"
     "SUBSYSTEM=block\0"sv,
     false, false},
    {"the action disagrees",
     "add@/devices/virtual/block/sdb\0ACTION=remove\0DEVPATH=/devices/virtual/block/sdb\0"
     "SUBSYSTEM=block\0"sv,
     false, false},
    {"the path disagrees",
     "add@/devices/virtual/block/sdb\0ACTION=add\0DEVPATH=/devices/virtual/block/sdc\0"
     "SUBSYSTEM=block\0"sv,
     false, false},
    {"a field without a value",
     "add@/devices/virtual/block/sdb\0ACTION=add\0DEVPATH=/devices/virtual/block/sdb\0"
     "SUBSYSTEM=block\0garbage\0"sv,
     false, false},
    {"an empty field",
     "add@/devices/virtual/block/sdb\0\0ACTION=add\0DEVPATH=/devices/virtual/block/sdb\0"
     "SUBSYSTEM=block\0"sv,
     false, false},
    {"empty", ""sv, false, false},
};

TEST(LinuxUevents, BlockAndUsbDevicesComingGoingOrChangingWakeTheWatch) {
    for (const UeventCase& c : kUevents) {
        SCOPED_TRACE(c.name);
        const auto event = ParseUevent(c.message);
        ASSERT_EQ(event.has_value(), c.parsed);
        EXPECT_EQ(event && MayChangeDisks(*event), c.wakes);
    }
    const auto disk = ParseUevent(kUevents[0].message);
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->action, "add");
    EXPECT_EQ(disk->devpath, kDisk);
    EXPECT_EQ(disk->subsystem, "block");
}

// ---- The watch on this machine's kernel -------------------------------------------------------

TEST(LinuxDeviceWatch, StopFromAnotherThreadEndsTheWaitAndEveryOneAfter) {
    DeviceWatch watch;
    ASSERT_TRUE(watch.listening());
    std::thread stopper([&] { watch.Stop(); });
    EXPECT_EQ(watch.Wait(DeviceWatch::kForever), Wake::Stopped);
    stopper.join();
    EXPECT_EQ(watch.Wait(0), Wake::Stopped);
}

// A volume mounted after the watch began, before its Wait: done in a child of its own user and
// mount namespaces, so that an unprivileged test may mount and nothing outside sees it.
TEST(LinuxDeviceWatch, AMountMadeBeforeTheWaitWakesIt) {
    const testsupport::TempFolder folder("mount");
    constexpr int kNoNamespaces = 77;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(kNoNamespaces);
        DeviceWatch watch;
        if (!watch.listening())
            ::_exit(2);
        if (::mount("tavrin", folder.path().c_str(), "tmpfs", 0, nullptr) != 0)
            ::_exit(kNoNamespaces);
        ::_exit(watch.Wait(20000) == Wake::Changed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoNamespaces)
        GTEST_SKIP() << "no user and mount namespaces here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the watch did not wake for the mount";
}

}  // namespace
