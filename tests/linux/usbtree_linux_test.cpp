// tavrin-usbtree over a built sysfs tree through the Linux backend: volumes by the kernel's
// names, and a walk that finds no host controller.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/linux/usb_sysfs.h"
#include "tests/linux/sysfs_tree.h"
#include "tools/linux_disks.h"
#include "tools/usbtree.h"

namespace {

using linux_test::SysfsTree;
using linux_test::UsbAttributes;

class LinuxUsbTree : public testing::Test {
  protected:
    void TearDown() override { platform::linux_os::SetSystemRoot(""); }

    int Run() {
        platform::linux_os::SetSystemRoot(tree.Root());
        tools::UsbTreeSystem system;
        tools::UseLinuxTree(system);
        std::ostringstream o;
        std::ostringstream e;
        const int status = tools::RunUsbTree({}, system, o, e);
        out = o.str();
        err = e.str();
        return status;
    }

    SysfsTree tree;
    std::string out;
    std::string err;
};

TEST_F(LinuxUsbTree, VolumesAreNamedByTheirDevices) {
    const std::string usb1 = tree.Controller(1, 2, "xHCI Host Controller");
    UsbAttributes disk;
    disk.interfaceDriver = "usb-storage";
    const std::string flash = tree.Device(usb1 + "/1-2", disk);
    tree.Disk(tree.ScsiBlock(flash + "/1-2:1.0", 2), "sdb", 2, true);
    tree.Mount("/dev/sdb2", "/media/b2", "vfat");
    tree.Mount("/dev/sdb1", "/media/b1", "vfat");
    const std::string cd = tree.Device(usb1 + "/1-1", disk);
    tree.Cdrom(tree.ScsiBlock(cd + "/1-1:1.0", 3), "sr0");
    tree.Mount("/dev/sr0", "/media/cd", "iso9660");

    ASSERT_EQ(Run(), 0) << err;
    EXPECT_NE(out.find("xHCI Host Controller\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" disks=1 volumes=/dev/sdb1:2:1,/dev/sdb2:2:1\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" disks=- volumes=/dev/sr0:5:-1\n"), std::string::npos) << out;
    // No private-use character (UTF-8 EE..EF lead bytes) of the backend's letters is printed.
    EXPECT_EQ(out.find('\xEE'), std::string::npos) << out;
    EXPECT_EQ(out.find('\xEF'), std::string::npos) << out;
    EXPECT_TRUE(err.empty()) << err;
}

TEST_F(LinuxUsbTree, NoReadableBusOrNoRootHubFailsWithWhatSysfsSays) {
    // Host controllers without a device: an ordinary tree.
    tree.Controller(1, 2, "xHCI Host Controller");
    ASSERT_EQ(Run(), 0) << err;
    EXPECT_EQ(out,
              "xHCI Host Controller\n  USB Root Hub\n    [Port1]NoDeviceConnected #1\n"
              "    [Port2]NoDeviceConnected #2\n\n");

    tree.Remove("/sys/bus/usb/devices/usb1");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(err,
              "tavrin-usbtree: no USB host controller found (/sys/bus/usb/devices lists no root "
              "hub)\n");
    EXPECT_TRUE(out.empty()) << out;

    tree.Remove("/sys/bus");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(err,
              "tavrin-usbtree: no USB host controller found (/sys/bus/usb/devices: No such file "
              "or directory)\n");
    EXPECT_TRUE(out.empty()) << out;
}

}  // namespace
