// The virtual station's USB side, called through the platform functions: the byte answers and
// failures that a walk of the tree relies on.
#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "platform/sim/station.h"
#include "platform/usb_io.h"
#include "platform/usb_requests.h"
#include "tests/device/station_fixture.h"

namespace {

using namespace platform;
using tavrin_test::StationTest;

constexpr std::uint32_t kShareBoth = kShareRead | kShareWrite;

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return ByteReader(bytes).At(offset).U32Le();
}

std::u16string TextAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    ByteReader r(bytes);
    r.At(offset);
    std::u16string text;
    for (char16_t c; r.Remaining() >= 2 && (c = r.U16Le()) != 0;)
        text += c;
    return text;
}

// One controller, root hub of 4 ports: 1 empty, 2 a flash disk (disk 1, E:), 3 a 2-port hub
// with a CD-ROM device on its port 2, 4 a keyboard.
sim::UsbMachine Sample() {
    sim::UsbMachine m;
    m.controllers.push_back(sim::Controller(4));
    auto& root = m.controllers[0].rootHub;
    root.ports[1] = sim::UsbPort::With(sim::FlashDisk(1, u'E'));
    root.ports[2] = sim::UsbPort::WithHub(sim::Hub(2));
    sim::UsbDevice cd;
    cd.cdromVolumes.push_back({});
    cd.cdromVolumes[0].mountPaths = {u"F:\\"};
    cd.cdromVolumes[0].driveType = kDriveCdrom;
    root.ports[2].hub->ports[1] = sim::UsbPort::With(cd);
    root.ports[3] = sim::UsbPort::With(sim::Keyboard());
    return m;
}

std::u16string DevicePath(std::u16string_view name) {
    std::u16string path = u"\\\\.\\";
    path += name;
    return path;
}

class SimUsbTest : public StationTest {
  protected:
    void SetUp() override {
        StationTest::SetUp();
        station().Usb().SetMachine(Sample());
        machine = station().Usb().Machine();
    }
    sim::UsbMachine machine;
};

TEST_F(SimUsbTest, VariableLengthNamesComeInTwoCalls) {
    const auto& c = machine.controllers[0];
    const Handle h = OpenDeviceWith(c.interfacePath.c_str(), kNoAccess, kShareWrite);
    ASSERT_NE(h, kInvalidHandle);
    const auto opens = station().Opens();
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].access, kNoAccess);
    EXPECT_EQ(opens[0].share, kShareWrite);

    // The fixed part alone learns the size of the whole structure; less than it fails.
    std::array<std::uint8_t, kUsbNameFixedSize> fixed{};
    std::uint32_t returned = 0;
    ASSERT_TRUE(DeviceControl(h, kIoctlGetHcdDriverKeyName, nullptr, 0, fixed.data(), fixed.size(),
                              &returned));
    const std::uint32_t actual = U32At(fixed, 0);
    EXPECT_EQ(actual, 4 + (c.driverKey.size() + 1) * 2);
    EXPECT_EQ(returned, kUsbNameFixedSize);
    EXPECT_FALSE(
        DeviceControl(h, kIoctlGetHcdDriverKeyName, nullptr, 0, fixed.data(), 5, &returned));
    std::vector<std::uint8_t> full(actual);
    ASSERT_TRUE(
        DeviceControl(h, kIoctlGetHcdDriverKeyName, nullptr, 0, full.data(), actual, &returned));
    EXPECT_EQ(returned, actual);
    EXPECT_EQ(TextAt(full, kUsbNameTextOffset), c.driverKey);

    std::vector<std::uint8_t> rootName(256);
    ASSERT_TRUE(DeviceControl(h, kIoctlUsbGetRootHubName, nullptr, 0, rootName.data(),
                              rootName.size(), &returned));
    EXPECT_EQ(TextAt(rootName, kUsbNameTextOffset), c.rootHub.symbolicName);
    EXPECT_TRUE(CloseDevice(h));

    // Connection names carry the port; a device port answers an empty name, a hub port its
    // hub's name, a driver key only where something is connected.
    const std::u16string hubPath = DevicePath(c.rootHub.symbolicName);
    const Handle hub = OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareBoth);
    ASSERT_NE(hub, kInvalidHandle);
    auto ask = [&](std::uint32_t code, std::uint32_t port, std::vector<std::uint8_t>& buffer) {
        ByteWriter(buffer).U32Le(port);
        return DeviceControl(hub, code, buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                             buffer.data(), static_cast<std::uint32_t>(buffer.size()), &returned);
    };
    std::vector<std::uint8_t> small(kUsbConnectionNameFixedSize);
    ASSERT_TRUE(ask(kIoctlUsbGetNodeConnectionName, 2, small));
    EXPECT_EQ(U32At(small, kUsbConnectionNameActualLengthOffset), kUsbConnectionNameFixedSize);
    ASSERT_TRUE(ask(kIoctlUsbGetNodeConnectionName, 3, small));
    const std::uint32_t hubActual = U32At(small, kUsbConnectionNameActualLengthOffset);
    std::vector<std::uint8_t> named(hubActual);
    ASSERT_TRUE(ask(kIoctlUsbGetNodeConnectionName, 3, named));
    EXPECT_EQ(U32At(named, kUsbConnectionNameIndexOffset), 3u);
    EXPECT_EQ(TextAt(named, kUsbConnectionNameTextOffset), c.rootHub.ports[2].hub->symbolicName);
    std::vector<std::uint8_t> key(200);
    ASSERT_TRUE(ask(kIoctlUsbGetNodeConnectionDriverKeyName, 2, key));
    EXPECT_EQ(TextAt(key, kUsbConnectionNameTextOffset), c.rootHub.ports[1].device->driverKey);
    EXPECT_FALSE(ask(kIoctlUsbGetNodeConnectionDriverKeyName, 1, key));  // empty port
    EXPECT_FALSE(ask(kIoctlUsbGetNodeConnectionDriverKeyName, 0, key));  // no port 0
    EXPECT_FALSE(ask(kIoctlUsbGetNodeConnectionDriverKeyName, 5, key));  // past the last
    EXPECT_TRUE(CloseDevice(hub));
}

TEST_F(SimUsbTest, HubRequestsAnswerInTheirLayouts) {
    const auto& root = machine.controllers[0].rootHub;
    const std::u16string hubPath = DevicePath(root.symbolicName);
    const Handle hub = OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareBoth);
    ASSERT_NE(hub, kInvalidHandle);
    std::uint32_t returned = 0;

    std::array<std::uint8_t, kUsbNodeInformationSize> node{};
    ASSERT_TRUE(DeviceControl(hub, kIoctlUsbGetNodeInformation, node.data(), node.size(),
                              node.data(), node.size(), &returned));
    EXPECT_EQ(returned, kUsbNodeInformationSize);
    EXPECT_EQ(node[kUsbHubNumberOfPortsOffset], 4);
    EXPECT_FALSE(DeviceControl(hub, kIoctlUsbGetNodeInformation, node.data(), 75, node.data(), 75,
                               &returned));

    std::array<std::uint8_t, kUsbNodeConnectionInformationSize> info{};
    auto connection = [&](std::uint32_t port) {
        info.fill(0xEE);
        ByteWriter(info).U32Le(port);
        return DeviceControl(hub, kIoctlUsbGetNodeConnectionInformation, info.data(), info.size(),
                             info.data(), info.size(), &returned);
    };
    ASSERT_TRUE(connection(2));
    const auto& disk = *root.ports[1].device;
    EXPECT_EQ(ByteReader(info).At(kUsbIdVendorOffset).U16Le(), disk.vendorId);
    EXPECT_EQ(ByteReader(info).At(kUsbIdProductOffset).U16Le(), disk.productId);
    EXPECT_EQ(info[kUsbIProductOffset], disk.iProduct);
    EXPECT_EQ(info[kUsbDeviceIsHubOffset], 0);
    EXPECT_EQ(U32At(info, kUsbConnectionStatusOffset), kUsbDeviceConnected);
    EXPECT_EQ(U32At(info, kUsbNumberOfOpenPipesOffset), disk.numberOfOpenPipes);
    EXPECT_EQ(returned, kUsbPipeListOffset + disk.numberOfOpenPipes * kUsbPipeInfoSize);
    ASSERT_TRUE(connection(3));
    EXPECT_EQ(info[kUsbDeviceIsHubOffset], 1);
    ASSERT_TRUE(connection(1));
    EXPECT_EQ(U32At(info, kUsbConnectionStatusOffset), kUsbNoDeviceConnected);
    EXPECT_EQ(returned, kUsbPipeListOffset);
    EXPECT_FALSE(connection(0));

    // String descriptors: the request's header echoed, the descriptor behind it.
    std::array<std::uint8_t, kUsbDescriptorRequestSize> req{};
    auto descriptor = [&](std::uint32_t port, std::uint8_t index) {
        req.fill(0);
        ByteWriter(req)
            .U32Le(port)
            .At(kUsbSetupWValueOffset)
            .U16Le(static_cast<std::uint16_t>(0x0300 | index))
            .U16Le(SystemDefaultLangId())
            .U16Le(kUsbDescriptorRequestSize - kUsbDescriptorDataOffset);
        return DeviceControl(hub, kIoctlUsbGetDescriptorFromNodeConnection, req.data(), req.size(),
                             req.data(), req.size(), &returned);
    };
    EXPECT_EQ(SystemDefaultLangId(), 0x0409);
    ASSERT_TRUE(descriptor(2, disk.iProduct));
    EXPECT_EQ(U32At(req, 0), 2u);
    EXPECT_EQ(ByteReader(req).At(kUsbSetupWIndexOffset).U16Le(), 0x0409);
    EXPECT_EQ(req[kUsbDescriptorDataOffset], 2 + 2 * 10);  // "Flash Disk"
    EXPECT_EQ(req[kUsbDescriptorDataOffset + 1], kUsbStringDescriptorType);
    EXPECT_EQ(returned, kUsbDescriptorDataOffset + 22);
    EXPECT_EQ(
        TextAt(std::span(req).first(kUsbDescriptorDataOffset + 22), kUsbDescriptorDataOffset + 2),
        u"Flash Disk");
    EXPECT_FALSE(descriptor(2, 7));  // no such string
    EXPECT_FALSE(descriptor(1, 1));  // nothing connected
    EXPECT_FALSE(descriptor(4, 3));  // the keyboard has no serial number
    EXPECT_TRUE(CloseDevice(hub));
}

TEST_F(SimUsbTest, MalformedAndFailingStringsAreSentAsDescribed) {
    sim::UsbMachine m = Sample();
    auto& dev = *m.controllers[0].rootHub.ports[1].device;
    dev.strings[1] = sim::UsbStringDescriptor::Raw({5, 3, 'A', 0, 'B'});
    dev.strings[2] = sim::UsbStringDescriptor::Failing();
    station().Usb().SetMachine(m);
    const std::u16string hubPath =
        DevicePath(station().Usb().Machine().controllers[0].rootHub.symbolicName);
    const Handle hub = OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareBoth);
    std::array<std::uint8_t, kUsbDescriptorRequestSize> req{};
    std::uint32_t returned = 0;
    ByteWriter(req).U32Le(2).At(kUsbSetupWValueOffset).U16Le(0x0301).U16Le(0x0409).U16Le(255);
    ASSERT_TRUE(DeviceControl(hub, kIoctlUsbGetDescriptorFromNodeConnection, req.data(), req.size(),
                              req.data(), req.size(), &returned));
    EXPECT_EQ(returned, kUsbDescriptorDataOffset + 5);
    EXPECT_EQ(req[kUsbDescriptorDataOffset + 4], 'B');
    ByteWriter(req).At(kUsbSetupWValueOffset).U16Le(0x0302);
    EXPECT_FALSE(DeviceControl(hub, kIoctlUsbGetDescriptorFromNodeConnection, req.data(),
                               req.size(), req.data(), req.size(), &returned));
    CloseDevice(hub);
}

TEST_F(SimUsbTest, RegistryIsCaseInsensitiveAndCountsTheTerminator) {
    const auto& c = machine.controllers[0];
    std::u16string classKey = u"system\\currentcontrolset\\control\\CLASS\\" + c.driverKey;
    for (auto& ch : classKey)
        ch = (ch >= u'a' && ch <= u'f') ? static_cast<char16_t>(ch - 32) : ch;
    RegKey key = 0;
    ASSERT_TRUE(OpenMachineKey(classKey.c_str(), &key));
    const std::u16string desc = *c.driverDesc;
    std::vector<std::uint8_t> buffer((desc.size() + 1) * 2);
    std::uint32_t length = 0;
    ASSERT_TRUE(QueryRegistryValue(key, u"driverdesc", buffer, &length));
    EXPECT_EQ(length, (desc.size() + 1) * 2);
    EXPECT_EQ(TextAt(buffer, 0), desc);
    EXPECT_FALSE(QueryRegistryValue(key, u"DriverDesc", std::span(buffer).first(length - 1),
                                    &length));  // ERROR_MORE_DATA
    EXPECT_EQ(length, (desc.size() + 1) * 2);
    EXPECT_FALSE(QueryRegistryValue(key, u"DeviceDesc", buffer, &length));
    CloseRegistryKey(key);
    EXPECT_FALSE(QueryRegistryValue(key, u"DriverDesc", buffer, &length));  // closed

    // A hub's Enum key: the name's '#' as separators, its interface class dropped.
    ASSERT_EQ(c.rootHub.symbolicName.rfind(u'#'), c.rootHub.symbolicName.size() - 39);
    std::u16string enumKey = u"SYSTEM\\CurrentControlSet\\Enum\\" +
                             c.rootHub.symbolicName.substr(0, c.rootHub.symbolicName.size() - 39);
    for (auto& ch : enumKey)
        ch = ch == u'#' ? u'\\' : ch;
    ASSERT_TRUE(OpenMachineKey(enumKey.c_str(), &key));
    std::vector<std::uint8_t> value(520);
    ASSERT_TRUE(QueryRegistryValue(key, u"DeviceDesc", value, &length));
    EXPECT_EQ(TextAt(value, 0), u"@usb.inf,%usb\\roothub%;USB Root Hub (USB 3.0)");
    CloseRegistryKey(key);
    EXPECT_FALSE(OpenMachineKey((enumKey + u"#x").c_str(), &key));
}

TEST_F(SimUsbTest, InterfacesAndNodesClimbToTheirDevice) {
    const auto& root = machine.controllers[0].rootHub;
    const auto& flash = *root.ports[1].device;
    const auto& cd = *root.ports[2].hub->ports[1].device;

    auto walk = [](const Guid& cls) {
        std::vector<std::pair<std::u16string, DevInst>> found;
        const DeviceInfoSet set = GetClassDevices(cls);
        DeviceInterfaceData data{};
        for (std::uint32_t i = 0; EnumDeviceInterface(set, cls, i, &data); ++i) {
            std::uint32_t size = 0;
            EXPECT_TRUE(GetDeviceInterfaceDetailSize(set, &data, &size));
            std::array<char16_t, 260> path{};
            DevInst node = 0;
            EXPECT_FALSE(GetDeviceInterfaceDetail(set, &data, size - 1, path, &node));
            EXPECT_TRUE(GetDeviceInterfaceDetail(set, &data, size, path, &node));
            const std::u16string p(path.data());
            EXPECT_EQ(size, 4 + (p.size() + 1) * 2);
            found.emplace_back(p, node);
        }
        DestroyDeviceInfoList(set);
        return found;
    };
    auto driver = [](DevInst node) {
        std::array<std::uint8_t, 88> buffer{};
        std::uint32_t length = 0;
        return GetDevNodeDriverProperty(node, buffer, &length) ? TextAt(buffer, 0) : u"?";
    };
    // The driver keys met climbing from a node to the root.
    auto climb = [&](DevInst node) {
        std::vector<std::u16string> keys;
        for (DevInst parent; GetParentDevInst(node, &parent); node = parent)
            keys.push_back(driver(parent));
        return keys;
    };
    auto contains = [](const std::vector<std::u16string>& keys, const std::u16string& key) {
        return std::find(keys.begin(), keys.end(), key) != keys.end();
    };

    const auto disks = walk(kGuidDisk);
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].first, flash.disks[0].interfacePath);
    EXPECT_EQ(driver(disks[0].second), flash.disks[0].nodeDriver);
    EXPECT_EQ(climb(disks[0].second).front(), flash.driverKey);

    const auto volumes = walk(kGuidVolume);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_FALSE(contains(climb(volumes[0].second), flash.driverKey));  // bound by number only
    EXPECT_TRUE(contains(climb(volumes[1].second), cd.driverKey));
    EXPECT_EQ(walk(kGuidUsbHostController).size(), 1u);
    EXPECT_TRUE(walk(kGuidAuxInterface).empty());

    // A driver property that does not fit fails and tells the size it needs.
    std::array<std::uint8_t, 8> tiny{};
    std::uint32_t length = 0;
    EXPECT_FALSE(GetDevNodeDriverProperty(disks[0].second, tiny, &length));
    EXPECT_EQ(length, (flash.disks[0].nodeDriver.size() + 1) * 2);

    // Volume names and mount paths, in place in one buffer as the walk does it.
    std::array<char16_t, 260> buffer{};
    const std::u16string start = volumes[0].first + u"\\";
    std::copy(start.begin(), start.end(), buffer.begin());
    ASSERT_TRUE(VolumeNameForMountPoint(buffer.data(), buffer));
    EXPECT_EQ(std::u16string(buffer.data()), flash.disks[0].volumes[0].volumeName);
    std::uint32_t returned = 0;
    ASSERT_TRUE(VolumePathNames(buffer.data(), buffer, &returned));
    EXPECT_EQ(std::u16string(buffer.data()), u"E:\\");
    EXPECT_EQ(returned, 5u);
    EXPECT_EQ(DriveType(u"E:\\"), kDriveRemovable);
    EXPECT_EQ(DriveType(u"F:\\"), kDriveCdrom);
    EXPECT_EQ(DriveType(u"Q:\\"), kDriveNoRootDir);
    EXPECT_FALSE(VolumeNameForMountPoint(volumes[0].first.c_str(), buffer));  // no backslash

    // The disk interface answers its number, opened with no access and shared for writing.
    const Handle h = OpenDeviceWith(disks[0].first.c_str(), kNoAccess, kShareWrite);
    std::array<std::uint8_t, kStorageDeviceNumberSize> number{};
    ASSERT_TRUE(DeviceControl(h, kIoctlStorageGetDeviceNumber, nullptr, 0, number.data(),
                              number.size(), &returned));
    EXPECT_EQ(U32At(number, kStorageDeviceTypeOffset), kFileDeviceDisk);
    EXPECT_EQ(U32At(number, kStorageDeviceNumberOffset), 1u);
    EXPECT_FALSE(
        DeviceControl(h, kIoctlStorageGetDeviceNumber, nullptr, 0, number.data(), 11, &returned));
    // Opened with no access, the disk takes no pass-through.
    const Handle drive = OpenDeviceWith(u"\\\\.\\PHYSICALDRIVE1", kNoAccess, kShareBoth);
    ASSERT_NE(drive, kInvalidHandle);
    std::array<std::uint8_t, 512> pass{};
    EXPECT_FALSE(DeviceControl(drive, kIoctlScsiPassThrough, pass.data(), pass.size(), pass.data(),
                               pass.size(), &returned));
    CloseDevice(drive);
    CloseDevice(h);
}

TEST_F(SimUsbTest, PlugAndUnplugKeepTheStationInStep) {
    std::vector<std::pair<sim::UsbChange, std::size_t>> changes;
    station().Usb().SetDeviceChangeHook([&](sim::UsbChange change, const sim::UsbPortAddress& a) {
        changes.emplace_back(change, a.ports.size());
    });
    // The sample's flash disk is disk 1 and E: of the station.
    EXPECT_NE(station().Disk(1), nullptr);
    std::uint64_t free = 0;
    EXPECT_TRUE(DiskFreeBytesAvailable(u"E:\\", &free));

    const auto& diskPath = machine.controllers[0].rootHub.ports[1].device->disks[0].interfacePath;
    const Handle before = OpenDeviceWith(diskPath.c_str(), kNoAccess, kShareWrite);
    ASSERT_NE(before, kInvalidHandle);
    ASSERT_TRUE(station().Usb().Unplug({0, {2}}));
    EXPECT_FALSE(station().Usb().Unplug({0, {2}}));  // nothing left there
    EXPECT_EQ(station().Disk(1), nullptr);
    EXPECT_FALSE(DiskFreeBytesAvailable(u"E:\\", &free));
    EXPECT_EQ(OpenDeviceFile(u"\\\\.\\E:"), kInvalidHandle);
    std::array<std::uint8_t, kStorageDeviceNumberSize> number{};
    std::uint32_t returned = 0;
    EXPECT_FALSE(DeviceControl(before, kIoctlStorageGetDeviceNumber, nullptr, 0, number.data(),
                               number.size(), &returned));  // its device is gone
    EXPECT_TRUE(CloseDevice(before));

    // A disk plugged into the hub's empty port 1.
    ASSERT_TRUE(station().Usb().Plug({0, {3, 1}}, sim::FlashDisk(2, u'G')));
    EXPECT_FALSE(station().Usb().Plug({0, {3, 1}}, sim::FlashDisk(3, u'H')));  // taken
    EXPECT_FALSE(station().Usb().Plug({0, {4, 1}}, sim::FlashDisk(3, u'H')));  // no hub there
    EXPECT_NE(station().Disk(2), nullptr);
    EXPECT_TRUE(DiskFreeBytesAvailable(u"G:\\", &free));
    const auto hub = station().Usb().Machine().controllers[0].rootHub.ports[2].hub->symbolicName;
    const std::u16string hubPath = DevicePath(hub);
    const Handle h = OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareBoth);
    std::array<std::uint8_t, kUsbNodeConnectionInformationSize> info{};
    ByteWriter(info).U32Le(1);
    ASSERT_TRUE(DeviceControl(h, kIoctlUsbGetNodeConnectionInformation, info.data(), info.size(),
                              info.data(), info.size(), &returned));
    EXPECT_EQ(U32At(info, kUsbConnectionStatusOffset), kUsbDeviceConnected);
    CloseDevice(h);

    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], std::make_pair(sim::UsbChange::Removal, std::size_t{1}));
    EXPECT_EQ(changes[1], std::make_pair(sim::UsbChange::Arrival, std::size_t{2}));

    station().Reset();
    const DeviceInfoSet set = GetClassDevices(kGuidUsbHostController);
    DeviceInterfaceData data{};
    EXPECT_FALSE(EnumDeviceInterface(set, kGuidUsbHostController, 0, &data));
    DestroyDeviceInfoList(set);
    EXPECT_EQ(station().Disk(2), nullptr);
}

// Plugging while another thread walks: each walk sees the disk or not, never half of it.
TEST_F(SimUsbTest, PlugWhileWalkingIsSafe) {
    std::atomic<bool> done{false};
    std::thread plugger([&] {
        for (int i = 0; i < 200; ++i) {
            station().Usb().Unplug({0, {2}});
            station().Usb().Plug({0, {2}}, sim::FlashDisk(1, u'E'));
        }
        done = true;
    });
    int walks = 0;
    while (!done || walks == 0) {
        const DeviceInfoSet set = GetClassDevices(kGuidDisk);
        DeviceInterfaceData data{};
        for (std::uint32_t i = 0; EnumDeviceInterface(set, kGuidDisk, i, &data); ++i) {
            std::uint32_t size = 0;
            std::array<char16_t, 260> path{};
            DevInst node = 0;
            // A set is what was present when it was made: a disk pulled since still has its path.
            EXPECT_TRUE(GetDeviceInterfaceDetailSize(set, &data, &size));
            EXPECT_TRUE(GetDeviceInterfaceDetail(set, &data, size, path, &node));
            const Handle h = OpenDeviceWith(path.data(), kNoAccess, kShareWrite);
            std::array<std::uint8_t, kStorageDeviceNumberSize> number{};
            std::uint32_t returned = 0;
            if (h != kInvalidHandle && DeviceControl(h, kIoctlStorageGetDeviceNumber, nullptr, 0,
                                                     number.data(), number.size(), &returned)) {
                EXPECT_EQ(U32At(number, kStorageDeviceNumberOffset), 1u);
            }
            if (h != kInvalidHandle)
                CloseDevice(h);
        }
        DestroyDeviceInfoList(set);
        ++walks;
    }
    plugger.join();
    EXPECT_EQ(station().OpenHandleCount(), 0u);
}

}  // namespace

namespace {

TEST_F(SimUsbTest, AReplyFilterRewritesRepliesWithinTheirBuffers) {
    const std::u16string hubPath = DevicePath(machine.controllers[0].rootHub.symbolicName);
    const Handle hub = OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareBoth);
    ASSERT_NE(hub, kInvalidHandle);
    std::vector<std::uint32_t> codes;
    bool fail = false;
    station().Usb().SetReplyFilter(
        [&](std::uint32_t code, std::span<std::uint8_t> output, std::uint32_t* returned, bool ok) {
            codes.push_back(code);
            if (ok && !output.empty())
                output[kUsbHubNumberOfPortsOffset] = 200;  // a hub that claims 200 ports
            *returned = 100000;                            // more than any buffer
            return ok && !fail;
        });

    std::array<std::uint8_t, kUsbNodeInformationSize> node{};
    std::uint32_t returned = 0;
    ASSERT_TRUE(DeviceControl(hub, kIoctlUsbGetNodeInformation, node.data(), node.size(),
                              node.data(), node.size(), &returned));
    EXPECT_EQ(node[kUsbHubNumberOfPortsOffset], 200);
    EXPECT_EQ(returned, kUsbNodeInformationSize);  // cut to the buffer
    // A failure the machine made stays one; a success can be turned into one.
    EXPECT_FALSE(DeviceControl(hub, kIoctlUsbGetNodeInformation, node.data(), 75, node.data(), 75,
                               &returned));
    fail = true;
    EXPECT_FALSE(DeviceControl(hub, kIoctlUsbGetNodeInformation, node.data(), node.size(),
                               node.data(), node.size(), &returned));
    EXPECT_EQ(codes, std::vector<std::uint32_t>(3, kIoctlUsbGetNodeInformation));
    const auto requests = station().Usb().Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_FALSE(requests.back().succeeded);

    // A reset of the station drops the filter.
    station().Reset();
    station().Usb().SetMachine(Sample());
    codes.clear();
    const std::u16string againPath =
        DevicePath(station().Usb().Machine().controllers[0].rootHub.symbolicName);
    const Handle again = OpenDeviceWith(againPath.c_str(), kNoAccess, kShareBoth);
    ASSERT_TRUE(DeviceControl(again, kIoctlUsbGetNodeInformation, node.data(), node.size(),
                              node.data(), node.size(), &returned));
    EXPECT_EQ(node[kUsbHubNumberOfPortsOffset], 4);
    EXPECT_TRUE(codes.empty());
}

TEST_F(SimUsbTest, AnEmptyPortReportedConnectedNamesNoDriver) {
    // Found by fuzzing: the driver-key request reached for a hub the port does not hold.
    sim::UsbMachine m = Sample();
    m.controllers[0].rootHub.ports[0].status = kUsbDeviceConnected;
    station().Usb().SetMachine(m);
    const std::u16string hubPath =
        DevicePath(station().Usb().Machine().controllers[0].rootHub.symbolicName);
    const Handle hub = OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareBoth);
    ASSERT_NE(hub, kInvalidHandle);
    std::vector<std::uint8_t> key(200);
    ByteWriter(key).U32Le(1);
    std::uint32_t returned = 0;
    EXPECT_FALSE(DeviceControl(hub, kIoctlUsbGetNodeConnectionDriverKeyName, key.data(),
                               static_cast<std::uint32_t>(key.size()), key.data(),
                               static_cast<std::uint32_t>(key.size()), &returned));
    EXPECT_TRUE(CloseDevice(hub));
}

}  // namespace
