// The system's USB walk over sysfs and mount trees built here, through the Linux backend.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "device/drive.h"
#include "platform/bytes.h"
#include "platform/device_io.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/text.h"
#include "platform/usb_io.h"
#include "platform/usb_requests.h"
#include "tests/linux/sysfs_tree.h"
#include "usb/enum_usb.h"

namespace {

using linux_test::SysfsTree;
using linux_test::UsbAttributes;
using platform::linux_os::VolumeLetter;

// ---- Letters and the mount table --------------------------------------------------------------

TEST(LinuxVolumeLetters, EachVolumeNameHasItsOwnLetterAndBack) {
    struct Case {
        const char* name;
        std::optional<char16_t> letter;
    };
    const Case cases[] = {
        {"sda", 0xE000},   {"sda1", 0xE001}, {"sda15", 0xE00F}, {"sdb", 0xE010},
        {"sdb2", 0xE012},  {"sdz", 0xE190},  {"sdaa1", 0xE1A1}, {"sr0", 0xF800},
        {"sr255", 0xF8FF}, {"sda16", {}},    {"sr256", {}},     {"sdb0", {}},
        {"sr01", {}},      {"hda1", {}},     {"nvme0n1p1", {}}, {"sd", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VolumeLetter(c.name), c.letter);
        if (c.letter) {
            EXPECT_EQ(platform::linux_os::VolumeOfLetter(*c.letter), c.name);
        }
    }
    // Drive letters of the Windows kind are no volume here.
    EXPECT_EQ(platform::linux_os::VolumeOfLetter(u'E'), std::nullopt);
    EXPECT_EQ(platform::linux_os::WholeDiskOf("sdab12"), "sdab");
    EXPECT_EQ(platform::linux_os::WholeDiskOf("sr1"), "sr1");
    EXPECT_EQ(platform::linux_os::WholeDiskOf("loop0"), std::nullopt);
}

TEST(LinuxMountTable, FieldsAreReadWithTheirEscapesUndone) {
    const auto mounts = platform::linux_os::ParseMountInfo(
        "36 25 8:17 / /media/usb\\040disk rw,relatime shared:1 master:2 - vfat /dev/sdb1 rw\n"
        "22 1 0:21 / /proc rw - proc proc rw\n"
        "\n"
        "41 25 8:33 / /mnt/x rw vfat /dev/sdc1 rw\n"
        "40 25 8:32 /sub /mnt/a\\134b rw - ext4 /dev/sd\\040c rw");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].device, "8:17");
    EXPECT_EQ(mounts[0].source, "/dev/sdb1");
    EXPECT_EQ(mounts[0].point, "/media/usb disk");
    EXPECT_EQ(mounts[1].point, "/proc");
    EXPECT_EQ(mounts[2].device, "8:32");
    EXPECT_EQ(mounts[2].source, "/dev/sd c");
    EXPECT_EQ(mounts[2].point, "/mnt/a\\b");
}

// ---- The walk ---------------------------------------------------------------------------------

// Records every callback as a line: "hc <desc>", "hub <desc> <parent>", "port <n> <connected>
// <desc> <parent>"; handles are the line numbers, from 1.
class RecordingWalk : public usb::CEnumUSB {
  public:
    std::vector<std::string> lines;

    usb::NodeHandle OnHostController(const char16_t* description) override {
        return Add("hc " + platform::ToUtf8(description));
    }
    usb::NodeHandle OnHub(const char16_t* description, usb::NodeHandle parent) override {
        return Add("hub " + platform::ToUtf8(description) + " " + std::to_string(parent));
    }
    usb::NodeHandle OnPort(int port, int connected, const char16_t* description,
                           usb::NodeHandle parent) override {
        return Add("port " + std::to_string(port) + " " + std::to_string(connected) + " " +
                   (description ? platform::ToUtf8(description) : std::string("-")) + " " +
                   std::to_string(parent));
    }

  private:
    usb::NodeHandle Add(std::string line) {
        lines.push_back(std::move(line));
        return lines.size();
    }
};

struct Device {
    usb::UsbDeviceEntry entry;
    std::vector<usb::VolumeEntry> volumes;
};

std::vector<Device> Devices() {
    std::vector<Device> devices;
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    while (position != nullptr) {
        Device& d = devices.emplace_back();
        usb::CEnumUSB::GetNextDevice(&d.entry, &position);
        for (usb::VolumePosition v = d.entry.firstVolume; v != nullptr;)
            usb::CEnumUSB::GetNextVolume(&d.volumes.emplace_back(), &v);
    }
    return devices;
}

std::string PortPath(const usb::UsbDeviceEntry& e) {
    std::string path;
    for (std::uint8_t b : e.portPath) {
        if (b == 0xFF)
            break;
        path += (path.empty() ? "" : ".") + std::to_string(b);
    }
    return path;
}

std::string Text(const char16_t* field) {
    return platform::ToUtf8(field);
}

// Three controllers in PCI slots 01, 02 and 0a with buses 1, 2 and 10 (not in the order of
// their names). On bus 1: port 1 empty; port 2 a flash disk with two mounted partitions; port 3
// a hub whose port 1 holds a hub holding a hub (three deep) with an unmounted, unpartitioned
// disk on its port 2, port 2 a keyboard, port 4 a CD-ROM drive with its disc mounted; port 4
// empty. Bus 2: one empty port. Bus 10: a disk mounted whole, not removable. A SATA disk with
// the root file system beside.
class LinuxWalk : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(tree.Root().empty());
        const std::string usb1 = tree.Controller(1, 4, "xHCI Host Controller");
        const std::string usb10 = tree.Controller(10, 1, "EHCI Host Controller");
        tree.Controller(2, 1, "OHCI Host Controller");

        UsbAttributes disk;
        disk.manufacturerText = "Generic";
        disk.productText = "Flash Disk";
        disk.serialText = "0123456789AB";
        disk.interfaceDriver = "usb-storage";
        flash = tree.Device(usb1 + "/1-2", disk);
        sdb = tree.Disk(tree.ScsiBlock(flash + "/1-2:1.0", 2), "sdb", 2, true);

        UsbAttributes hub;
        hub.vendor = "05e3";
        hub.product = "0608";
        hub.deviceClass = "09";
        hub.productText = "USB2.0 Hub";
        hub.interfaceDriver = "hub";
        hub.ports = 4;
        const std::string hub1 = tree.Device(usb1 + "/1-3", hub);
        hub.ports = 2;
        const std::string hub2 = tree.Device(hub1 + "/1-3.1", hub);
        const std::string hub3 = tree.Device(hub2 + "/1-3.1.1", hub);
        UsbAttributes deep = disk;
        deep.vendor = "0781";
        deep.serialText = "DEEP";
        const std::string deepDisk = tree.Device(hub3 + "/1-3.1.1.2", deep);
        sdc = tree.Disk(tree.ScsiBlock(deepDisk + "/1-3.1.1.2:1.0", 3), "sdc", 0, true);

        UsbAttributes keyboard;
        keyboard.vendor = "046d";
        keyboard.product = "c31c";
        keyboard.productText = "USB Keyboard";
        keyboard.interfaceDriver = "usbhid";
        tree.Device(hub1 + "/1-3.2", keyboard);

        UsbAttributes cd = disk;
        cd.vendor = "0e8d";
        const std::string cdrom = tree.Device(hub1 + "/1-3.4", cd);
        tree.Cdrom(tree.ScsiBlock(cdrom + "/1-3.4:1.0", 4), "sr0");

        const std::string whole = tree.Device(usb10 + "/10-1", disk);
        tree.Disk(tree.ScsiBlock(whole + "/10-1:1.0", 5), "sda", 0, false);

        tree.Disk(tree.ScsiBlock("/sys/devices/pci0000:00/0000:00:1f.2/ata1", 0), "sdd", 1, false);

        tree.Mount("/dev/sdd1", "/", "ext4");
        tree.Mount("proc", "/proc", "proc");
        tree.Mount("/dev/sdb1", "/media/a", "vfat");
        tree.Mount("/dev/sdb2", "/media/a2", "vfat");
        tree.Mount("/dev/sr0", "/media/cd", "iso9660");
        tree.Mount("/dev/sda", "/media/b", "vfat");
        platform::linux_os::SetSystemRoot(tree.Root());
    }
    void TearDown() override { platform::linux_os::SetSystemRoot(""); }

    SysfsTree tree;
    std::string flash;  // the flash disk's USB device
    std::string sdb;    // its disk
    std::string sdc;    // the disk three hubs deep
};

TEST_F(LinuxWalk, ControllersInDeviceOrderPortsAscendingHubsDepthFirstEveryNonHubPortCounted) {
    RecordingWalk walk;
    walk.Enumerate(1);
    const std::vector<std::string> expected = {
        "hc xHCI Host Controller",  // 1
        "hub USB Root Hub 1",       // 2
        "port 1 0 - 2",             // ordinal 1
        "port 2 1 usb-storage 2",   // 2
        "hub USB2.0 Hub 2",         // 5
        "hub USB2.0 Hub 5",         // 6
        "hub USB2.0 Hub 6",         // 7
        "port 1 0 - 7",             // 3
        "port 2 1 usb-storage 7",   // 4
        "port 2 0 - 6",             // 5
        "port 2 1 usbhid 5",        // 6
        "port 3 0 - 5",             // 7
        "port 4 1 usb-storage 5",   // 8
        "port 4 0 - 2",             // 9
        "hc OHCI Host Controller",  // bus 2
        "hub USB Root Hub 15",      //
        "port 1 0 - 16",            // 10
        "hc EHCI Host Controller",  // bus 10
        "hub USB Root Hub 18",      //
        "port 1 1 usb-storage 19",  // 11
    };
    EXPECT_EQ(walk.lines, expected);

    const std::vector<Device> devices = Devices();
    ASSERT_EQ(devices.size(), 5u);
    struct Row {
        int ordinal;
        const char* path;
        const char* key;
        std::uint16_t vendor;
        int hubPort;
        const char* hubPath;
    };
    const Row rows[] = {
        {2, "1.2", "1-2", 0x1F75, 2, "\\\\.\\usb1"},
        {4, "1.3.1.1.2", "1-3.1.1.2", 0x0781, 2, "\\\\.\\1-3.1.1"},
        {6, "1.3.2", "1-3.2", 0x046D, 2, "\\\\.\\1-3"},
        {8, "1.3.4", "1-3.4", 0x0E8D, 4, "\\\\.\\1-3"},
        {11, "3.1", "10-1", 0x1F75, 1, "\\\\.\\usb10"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].key);
        const usb::UsbDeviceEntry& e = devices[i].entry;
        EXPECT_EQ(e.portOrdinal, rows[i].ordinal);
        EXPECT_EQ(PortPath(e), rows[i].path);
        EXPECT_EQ(Text(e.driverKey), rows[i].key);
        EXPECT_EQ(e.vendorId, rows[i].vendor);
        EXPECT_EQ(e.hubPort, rows[i].hubPort);
        EXPECT_EQ(Text(e.hubPath), rows[i].hubPath);
    }
    // The kernel's texts as string descriptors, cut to the fields.
    EXPECT_EQ(Text(devices[0].entry.product), "Flash Disk");
    EXPECT_EQ(Text(devices[0].entry.serialNumber), "0123456789AB");
    EXPECT_EQ(std::u16string(devices[0].entry.manufacturer, 7), u"Generic");
    EXPECT_EQ(Text(devices[2].entry.product), "USB Keyboard");
    EXPECT_EQ(Text(devices[2].entry.serialNumber), "");
}

TEST_F(LinuxWalk, DisksBindThroughTheirAncestryAndVolumesThroughTheirDiskNumbers) {
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    const std::vector<Device> devices = Devices();
    ASSERT_EQ(devices.size(), 5u);
    const auto disks = [](const usb::UsbDeviceEntry& e) {
        return std::vector<int>(std::begin(e.diskNumbers), std::end(e.diskNumbers));
    };
    const auto letter = [](const char* name) { return *VolumeLetter(name); };

    // The flash disk: sdb, and both partitions with letters of their own.
    const Device& flash = devices[0];
    EXPECT_EQ(disks(flash.entry), (std::vector<int>{1, -1, -1, -1}));
    EXPECT_NE(Text(flash.entry.diskInterfacePath).find("/1-2/1-2:1.0/host2/"), std::string::npos);
    EXPECT_TRUE(Text(flash.entry.diskInterfacePath).ends_with("/block/sdb"));
    ASSERT_EQ(flash.volumes.size(), 2u);
    EXPECT_EQ(flash.volumes[0].driveLetter, letter("sdb1"));
    EXPECT_EQ(flash.volumes[1].driveLetter, letter("sdb2"));
    for (const usb::VolumeEntry& v : flash.volumes) {
        EXPECT_EQ(v.driveType, platform::kDriveRemovable);
        EXPECT_EQ(v.diskNumber, 1);
    }
    EXPECT_TRUE(Text(flash.volumes[1].volumePath).ends_with("/block/sdb/sdb2"));

    // Three hubs deep, unpartitioned and unmounted: the disk itself is its volume, with no letter.
    const Device& deep = devices[1];
    EXPECT_EQ(disks(deep.entry), (std::vector<int>{2, -1, -1, -1}));
    ASSERT_EQ(deep.volumes.size(), 1u);
    EXPECT_EQ(deep.volumes[0].driveLetter, 0);
    EXPECT_EQ(deep.volumes[0].diskNumber, 2);

    // The keyboard: listed, nothing bound.
    EXPECT_EQ(disks(devices[2].entry), (std::vector<int>{-1, -1, -1, -1}));
    EXPECT_TRUE(devices[2].volumes.empty());

    // The CD-ROM: no disk; its volume bound by ancestry.
    const Device& cd = devices[3];
    EXPECT_EQ(disks(cd.entry), (std::vector<int>{-1, -1, -1, -1}));
    ASSERT_EQ(cd.volumes.size(), 1u);
    EXPECT_EQ(cd.volumes[0].driveLetter, letter("sr0"));
    EXPECT_EQ(cd.volumes[0].driveType, platform::kDriveCdrom);
    EXPECT_EQ(cd.volumes[0].diskNumber, -1);

    // Mounted whole, fixed.
    const Device& whole = devices[4];
    EXPECT_EQ(disks(whole.entry), (std::vector<int>{0, -1, -1, -1}));
    ASSERT_EQ(whole.volumes.size(), 1u);
    EXPECT_EQ(whole.volumes[0].driveLetter, letter("sda"));
    EXPECT_EQ(whole.volumes[0].driveType, platform::kDriveFixed);

    // The SATA disk (number 3) is bound nowhere.
    for (const Device& d : devices) {
        for (const usb::VolumeEntry& v : d.volumes)
            EXPECT_NE(v.diskNumber, 3);
    }
}

TEST_F(LinuxWalk, PullingADeviceEmptiesItsPortAndMovesNoOrdinal) {
    {
        usb::CEnumUSB walk;
        walk.Enumerate(0);
    }
    tree.Remove("/sys/devices/pci0000:00/0000:00:01.0/usb1/1-3/1-3.1/1-3.1.1/1-3.1.1.2");
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    std::vector<int> ordinals;
    for (const Device& d : Devices())
        ordinals.push_back(d.entry.portOrdinal);
    EXPECT_EQ(ordinals, (std::vector<int>{2, 6, 8, 11}));
}

// A disk with a SCSI generic node is opened there, as the last walk over the disks found it:
// opening the disk's own node would have the kernel test the unit first.
TEST_F(LinuxWalk, ADiskOpensTheGenericNodeTheLastWalkFound) {
    const std::string scsi =
        "/sys/devices/pci0000:00/0000:00:01.0/usb1/1-2/1-2:1.0/host2/target2:0:0/2:0:0:0";
    tree.Link(scsi + "/block/sdb/device", scsi);
    tree.Dir(scsi + "/scsi_generic/sg1");
    tree.Dir("/dev");
    tree.Write("/dev/sdb", "");
    tree.Write("/dev/sg1", "");
    const auto opened = [this](const char* node) {
        const platform::Handle handle = device::OpenVolume(*VolumeLetter("sdb1"));
        struct stat got {};
        struct stat wanted {};
        const bool same =
            handle != platform::kInvalidHandle && fstat(static_cast<int>(handle - 1), &got) == 0 &&
            stat((tree.Root() + node).c_str(), &wanted) == 0 && got.st_ino == wanted.st_ino;
        device::CloseDrive(handle);
        return same;
    };
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    EXPECT_TRUE(opened("/dev/sg1"));
    tree.Remove(scsi + "/scsi_generic");
    walk.Enumerate(0);
    EXPECT_TRUE(opened("/dev/sdb"));
}

TEST_F(LinuxWalk, LettersOpenTheWholeDiskAndAnswerTheMountPointsFreeSpace) {
    const char16_t sdb2 = *VolumeLetter("sdb2");
    tree.Dir("/dev");
    tree.Write("/dev/sdb", "");
    // A letter opens its volume's whole disk, while the volume is mounted.
    const platform::Handle opened = device::OpenVolume(sdb2);
    EXPECT_NE(opened, platform::kInvalidHandle);
    device::CloseDrive(opened);
    EXPECT_EQ(device::OpenVolume(*VolumeLetter("sdc")), platform::kInvalidHandle);
    EXPECT_EQ(device::OpenVolume(u'E'), platform::kInvalidHandle);
    EXPECT_EQ(platform::linux_os::VolumeDevice(sdb2), "/dev/sdb2");
    EXPECT_EQ(platform::linux_os::VolumeMountPoints(sdb2), std::vector<std::string>{"/media/a2"});

    // The free bytes available to the caller on the mount point's file system.
    struct statvfs before {};
    struct statvfs after {};
    ASSERT_EQ(statvfs((tree.Root() + "/media/a2").c_str(), &before), 0);
    const std::optional<std::uint64_t> free = device::VolumeFreeBytes(sdb2);
    ASSERT_EQ(statvfs((tree.Root() + "/media/a2").c_str(), &after), 0);
    ASSERT_TRUE(free.has_value());
    const std::uint64_t a = std::uint64_t{before.f_bavail} * before.f_frsize;
    const std::uint64_t b = std::uint64_t{after.f_bavail} * after.f_frsize;
    EXPECT_GE(*free, std::min(a, b));
    EXPECT_LE(*free, std::max(a, b));
    EXPECT_EQ(device::VolumeFreeBytes(*VolumeLetter("sdc")), std::nullopt);
    // It is that mount point that is asked: without it there is no answer, while another's stays.
    tree.Remove("/media/a2");
    EXPECT_EQ(device::VolumeFreeBytes(sdb2), std::nullopt);
    EXPECT_TRUE(device::VolumeFreeBytes(*VolumeLetter("sdb1")).has_value());

    // Every mounted volume's root, ascending, each terminated, then an empty one.
    std::u16string expected;
    for (const char* name : {"sda", "sdb1", "sdb2", "sdd1", "sr0"})
        expected += std::u16string{*VolumeLetter(name), u':', u'\\', u'\0'};
    char16_t buffer[200] = {};
    ASSERT_EQ(platform::LogicalDriveStrings(200, buffer), expected.size());
    EXPECT_EQ(std::u16string(buffer, expected.size() + 1), expected + u'\0');
    EXPECT_EQ(platform::LogicalDriveStrings(3, buffer), expected.size() + 1);
}

// The kernel's answers come back by Windows' rules for a short buffer, as the virtual station's
// do: a descriptor cut to the length asked keeps its own length, a value too long for its buffer
// still says how long it is, and an interface's data is the platform's structure.
TEST_F(LinuxWalk, ShortBuffersAreAnsweredByThePlatformsRules) {
    const platform::Handle hub = platform::OpenDeviceWith(u"\\\\.\\usb1", 0, 0);
    ASSERT_NE(hub, platform::kInvalidHandle);
    std::vector<std::uint8_t> request(64, 0xAA);
    platform::ByteWriter(request)
        .U32Le(2)  // the flash disk's port
        .U8(0x80)
        .U8(6)  // GET_DESCRIPTOR
        .U16Le(0x0302)
        .U16Le(0x0409)
        .U16Le(6);
    std::uint32_t returned = 0;
    ASSERT_TRUE(platform::DeviceControl(hub, platform::kIoctlUsbGetDescriptorFromNodeConnection,
                                        request.data(), 64, request.data(), 64, &returned));
    EXPECT_EQ(returned, platform::kUsbDescriptorDataOffset + 6);
    platform::ByteReader reply(request);
    EXPECT_EQ(reply.At(platform::kUsbSetupWValueOffset).U16Le(), 0x0302);
    EXPECT_EQ(reply.At(platform::kUsbDescriptorDataOffset).U8(), 2 + 10 * 2);  // "Flash Disk"
    EXPECT_EQ(reply.U8(), platform::kUsbStringDescriptorType);
    EXPECT_EQ(reply.Utf16Le(2), u"Fl");
    EXPECT_EQ(reply.U8(), 0xAA);  // nothing past what was asked
    EXPECT_TRUE(platform::CloseDevice(hub));

    platform::RegKey key = 0;
    ASSERT_TRUE(platform::OpenMachineKey(u"SYSTEM\\CurrentControlSet\\Control\\Class\\1-2", &key));
    std::uint8_t small[4] = {};
    std::uint32_t length = 0;
    EXPECT_FALSE(platform::QueryRegistryValue(key, u"DriverDesc", small, &length));
    EXPECT_EQ(length, std::size("usb-storage") * 2);
    platform::CloseRegistryKey(key);

    const platform::DeviceInfoSet set = platform::GetClassDevices(platform::kGuidDisk);
    platform::DeviceInterfaceData data{};
    ASSERT_TRUE(platform::EnumDeviceInterface(set, platform::kGuidDisk, 1, &data));
    platform::ByteReader fields(data.bytes);
    EXPECT_EQ(fields.U32Le(), sizeof data.bytes);  // cbSize
    EXPECT_EQ(fields.U32Le(), platform::kGuidDisk.data1);
    std::uint32_t size = 0;
    ASSERT_TRUE(platform::GetDeviceInterfaceDetailSize(set, &data, &size));
    std::vector<char16_t> path(size / 2);
    ASSERT_TRUE(platform::GetDeviceInterfaceDetail(set, &data, size, path, nullptr));
    EXPECT_TRUE(platform::ToUtf8(path.data()).ends_with("/block/sdb"));
    platform::DestroyDeviceInfoList(set);
}

// Port maps must mean the same ports after a reboot, where the bus numbers follow the order the
// drivers loaded in.
TEST(LinuxControllers, OrdinalsFollowTheControllersDevicesNotTheirBusNumbers) {
    const auto ordinals = [](int busOfFirst, int busOfSecond) {
        SysfsTree tree;
        tree.Controller(busOfFirst, 2, "xHCI Host Controller", 0x14);
        const std::string second = tree.Controller(busOfSecond, 2, "EHCI Host Controller", 0x1d);
        UsbAttributes disk;
        disk.interfaceDriver = "usb-storage";
        tree.Device(second + "/" + std::to_string(busOfSecond) + "-2", disk);
        platform::linux_os::SetSystemRoot(tree.Root());
        usb::CEnumUSB walk;
        walk.Enumerate(0);
        std::vector<int> found;
        for (const Device& d : Devices())
            found.push_back(d.entry.portOrdinal);
        platform::linux_os::SetSystemRoot("");
        return found;
    };
    EXPECT_EQ(ordinals(1, 2), std::vector<int>{4});
    EXPECT_EQ(ordinals(2, 1), std::vector<int>{4});
}

// A walk's reading of sysfs is the machine the tree holds, described as the engine answers it: a
// device's kernel name its key, its texts its strings, a mounted volume its letter and its mount.
TEST(LinuxSysfsReader, DescribesTheControllersDevicesDisksAndVolumesOfTheTree) {
    namespace model = platform::usb_model;
    SysfsTree tree;
    const std::string usb1 = tree.Controller(1, 2, "xHCI Host Controller");
    UsbAttributes attributes;
    attributes.productText = "Flash Disk";
    attributes.serialText = "AB12";
    attributes.interfaceDriver = "usb-storage";
    const std::string flash = tree.Device(usb1 + "/1-2", attributes);
    const std::string sdb = tree.Disk(tree.ScsiBlock(flash + "/1-2:1.0", 2), "sdb", 1, true);
    const std::string sda =
        tree.Disk(tree.ScsiBlock("/sys/devices/pci0000:00/0000:00:1f.2/ata1", 0), "sda", 0, false);
    const auto read = platform::linux_os::ReadSysfsMachine(tree.Root(), {{"8:1", "/media/a"}});

    const auto wide = [](const std::string& text) { return platform::FromUtf8(text); };
    model::UsbMachine expected;
    model::UsbController& c = expected.controllers.emplace_back();
    c.interfacePath = wide(usb1);
    c.driverKey = c.rootHub.symbolicName = c.rootHub.driverKey = u"usb1";
    c.driverDesc = u"xHCI Host Controller";
    c.rootHub.deviceDesc = u"USB Root Hub";
    c.rootHub.vendorId = 0x1D6B;
    c.rootHub.productId = 0x0002;
    c.rootHub.ports.resize(2);
    model::UsbDevice device;
    device.bcdUsb = 0;
    device.numberOfOpenPipes = 0;
    device.address = 2;
    device.iManufacturer = 0;
    device.strings = {{2, model::UsbStringDescriptor::Text(u"Flash Disk")},
                      {3, model::UsbStringDescriptor::Text(u"AB12")}};
    device.driverKey = u"1-2";
    device.driverDesc = u"usb-storage";
    model::UsbDisk& disk = device.disks.emplace_back();
    disk.number = 1;
    disk.interfacePath = wide(sdb);
    disk.nodeDriverReadable = false;
    model::UsbVolume& volume = disk.volumes.emplace_back();
    volume.interfacePath = wide(sdb + "/sdb1");
    volume.volumeName = u"\\\\?\\Volume{sdb1}\\";
    volume.mountPaths = {{*VolumeLetter("sdb1"), u':', u'\\'}, u"/media/a/"};
    volume.nodeDriverReadable = false;
    c.rootHub.ports[1] = model::UsbPort::With(device);
    model::UsbDisk& other = expected.otherDisks.emplace_back();
    other.interfacePath = wide(sda);
    other.nodeDriverReadable = false;
    model::UsbVolume& whole = other.volumes.emplace_back();
    whole.interfacePath = wide(sda);
    whole.volumeName = u"\\\\?\\Volume{sda}\\";
    whole.driveType = platform::kDriveFixed;
    whole.partition = 0;
    whole.nodeDriverReadable = false;
    EXPECT_EQ(read.machine, expected);

    std::vector<std::string> names;
    for (const auto& blocks : {read.disks, read.volumes}) {
        for (const platform::linux_os::SysfsBlock& block : blocks)
            names.push_back(block.name + " " + block.dev);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"sda 8:16", "sdb 8:0", "sda 8:16", "sdb1 8:1"}));
}

// Free space comes from the volume's own live mount: not one hidden under a later mount, not
// one left behind by a disk that had the name before.
TEST_F(LinuxWalk, OnlyALiveUncoveredMountOfTheVolumesOwnDeviceCounts) {
    const char16_t sdb1 = *VolumeLetter("sdb1");
    const char16_t sdc = *VolumeLetter("sdc");
    tree.MountDevice("0:60", "tmpfs", "/media/a", "tmpfs");  // on sdb1's mount point
    tree.Mount("/dev/sdb1", "/srv/usb/b1", "vfat");
    tree.MountDevice("0:62", "tmpfs", "/srv/usb/b", "tmpfs");     // beside it, not above
    tree.MountDevice("8:250", "/dev/sdc", "/media/old", "vfat");  // a pulled disk's, once sdc
    EXPECT_EQ(platform::linux_os::VolumeMountPoints(sdb1), std::vector<std::string>{"/srv/usb/b1"});
    EXPECT_EQ(platform::linux_os::LetterMountPoint(std::u16string{sdb1, u':', u'\\'}),
              tree.Root() + "/srv/usb/b1");
    EXPECT_TRUE(platform::linux_os::VolumeMountPoints(sdc).empty());
    EXPECT_EQ(device::VolumeFreeBytes(sdc), std::nullopt);

    // Covered from above as well: sdb1 has no usable mount left, so no letter.
    tree.MountDevice("0:61", "tmpfs", "/srv", "tmpfs");
    EXPECT_EQ(device::VolumeFreeBytes(sdb1), std::nullopt);
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    std::vector<char16_t> letters;
    for (const Device& d : Devices()) {
        for (const usb::VolumeEntry& v : d.volumes)
            letters.push_back(v.driveLetter);
    }
    const std::vector<char16_t> expected = {*VolumeLetter("sdb2"), 0, 0, *VolumeLetter("sr0"),
                                            *VolumeLetter("sda")};
    EXPECT_EQ(letters, expected);
    char16_t drives[200] = {};
    const std::uint32_t length = platform::LogicalDriveStrings(200, drives);
    EXPECT_EQ(std::u16string(drives, length).find(sdb1), std::u16string::npos);
    EXPECT_EQ(std::u16string(drives, length).find(sdc), std::u16string::npos);
}

// The system offers a disk by its first volume: a disk whose second partition alone is mounted
// must still be offered.
TEST_F(LinuxWalk, ADisksMountedVolumesComeBeforeItsUnmountedOnes) {
    tree.Write("/proc/self/mountinfo", "");
    tree.Mount("/dev/sdd1", "/", "ext4");
    tree.Mount("/dev/sdb2", "/media/a2", "vfat");
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    const std::vector<Device> devices = Devices();
    ASSERT_EQ(devices[0].volumes.size(), 2u);
    EXPECT_EQ(devices[0].volumes[0].driveLetter, *VolumeLetter("sdb2"));
    EXPECT_TRUE(Text(devices[0].volumes[0].volumePath).ends_with("/sdb2"));
    EXPECT_EQ(devices[0].volumes[1].driveLetter, 0);
    EXPECT_TRUE(Text(devices[0].volumes[1].volumePath).ends_with("/sdb1"));
}

// A node opened for a disk of the walk must still be that disk: the kernel hands a pulled disk's
// names (sdb, sg1) to the next disk at once.
TEST_F(LinuxWalk, AnOpenedNodeIsTheWalksDiskOnlyWhileNothingChanged) {
    using platform::linux_os::DiskIdentity;
    using platform::linux_os::StillWalkDisk;
    tree.Generic(sdb, "sg1", 1);
    tree.Generic(sdc, "sg2", 2);
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    const std::string node = tree.Root() + "/dev/sdb";
    const auto identity = DiskIdentity(*VolumeLetter("sdb2"));
    ASSERT_TRUE(identity.has_value());
    EXPECT_EQ(DiskIdentity(*VolumeLetter("sdb1")), identity);
    EXPECT_NE(DiskIdentity(*VolumeLetter("sda")), identity);
    EXPECT_EQ(DiskIdentity(*VolumeLetter("sdz1")), std::nullopt);  // no such disk in the walk
    EXPECT_EQ(DiskIdentity(u'E'), std::nullopt);

    EXPECT_TRUE(StillWalkDisk(node, false, 8, 0));
    EXPECT_TRUE(StillWalkDisk(node, true, 21, 1));
    EXPECT_FALSE(StillWalkDisk(node, false, 8, 16)) << "sdc, on another port";
    EXPECT_FALSE(StillWalkDisk(node, true, 21, 2));
    EXPECT_FALSE(StillWalkDisk(node, false, 8, 1)) << "a partition is not the disk";
    EXPECT_FALSE(StillWalkDisk(node, false, 8, 240)) << "no such device";
    EXPECT_TRUE(StillWalkDisk(tree.Root() + "/dev/sdz", false, 8, 240)) << "not the walk's";

    // Another disk on the same port has a new diskseq, and its USB device a new address.
    tree.Write(sdb + "/diskseq", "40\n");
    EXPECT_FALSE(StillWalkDisk(node, false, 8, 0));
    EXPECT_FALSE(StillWalkDisk(node, true, 21, 1));
    walk.Enumerate(0);
    EXPECT_TRUE(StillWalkDisk(node, true, 21, 1));
    const auto second = DiskIdentity(*VolumeLetter("sdb2"));
    EXPECT_NE(second, identity);
    // A kernel without diskseq: the USB device's address, new at every plug, tells them apart.
    tree.Remove(sdb + "/diskseq");
    walk.Enumerate(0);
    EXPECT_TRUE(StillWalkDisk(node, false, 8, 0));
    tree.Write(flash + "/devnum", "70\n");
    EXPECT_FALSE(StillWalkDisk(node, false, 8, 0));
    walk.Enumerate(0);
    EXPECT_TRUE(StillWalkDisk(node, false, 8, 0));
    EXPECT_NE(DiskIdentity(*VolumeLetter("sdb2")), second);
}

// A disk's second open asks sysfs nothing: the same node of the same device (its inode, which
// /dev makes anew for each device the kernel adds) is the disk found before, until the next walk.
TEST_F(LinuxWalk, ANodeFoundToBeTheWalksDiskIsTrustedUntilTheNextWalk) {
    using platform::linux_os::OpenedNode;
    using platform::linux_os::StillWalkDiskNode;
    tree.Generic(sdb, "sg1", 1);
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    const std::string node = tree.Root() + "/dev/sdb";
    const OpenedNode first{true, 21, 1, 5, 100};
    EXPECT_TRUE(StillWalkDiskNode(node, first));
    tree.Write(sdb + "/diskseq", "41\n");  // another disk now, as sysfs would tell
    EXPECT_TRUE(StillWalkDiskNode(node, first)) << "the node found before";
    OpenedNode other = first;
    other.inode = 101;
    EXPECT_FALSE(StillWalkDiskNode(node, other)) << "a node made anew";
    EXPECT_FALSE(StillWalkDiskNode(node, {false, 8, 16, 5, 100})) << "another device";
    walk.Enumerate(0);
    EXPECT_TRUE(StillWalkDiskNode(node, other)) << "the next walk's disk";
}

// The check on a real device node: the machine's null device stands in for the disk's generic
// node, as sysfs does or does not know it.
TEST_F(LinuxWalk, OpeningANodeThatIsNotTheWalksDiskFailsWithTheReason) {
    const std::string sg1 = tree.Generic(sdb, "sg1", 1);
    tree.Remove("/dev/sg1");
    std::filesystem::create_symlink("/dev/null", tree.Root() + "/dev/sg1");
    usb::CEnumUSB walk;
    walk.Enumerate(0);
    for (const platform::Handle handle :
         {device::OpenVolume(*VolumeLetter("sdb1")), device::OpenPhysicalDrive(1)}) {
        EXPECT_EQ(handle, platform::kInvalidHandle);
        const platform::DeviceError error = platform::LastDeviceError();
        EXPECT_EQ(error.code, ESTALE);
        EXPECT_EQ(error.text, u"the disk changed during the run");
        device::CloseDrive(handle);
    }
    tree.Link("/sys/dev/char/1:3", sg1);
    for (const platform::Handle handle :
         {device::OpenVolume(*VolumeLetter("sdb1")), device::OpenPhysicalDrive(1)}) {
        EXPECT_NE(handle, platform::kInvalidHandle);
        device::CloseDrive(handle);
    }
}

}  // namespace
