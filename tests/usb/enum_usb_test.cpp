#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "enum_fixture.h"
#include "platform/usb_requests.h"

namespace tavrin_test {
namespace {

using sim::UsbMachine;
using sim::UsbPort;
using Path = std::array<std::uint8_t, 10>;

Path PortPath(const usb::UsbDeviceEntry& entry) {
    Path path;
    std::copy(std::begin(entry.portPath), std::end(entry.portPath), path.begin());
    return path;
}

Path Expected(std::initializer_list<std::uint8_t> bytes) {
    Path path;
    path.fill(0xFF);
    std::copy(bytes.begin(), bytes.end(), path.begin());
    return path;
}

std::vector<std::int32_t> DiskNumbers(const usb::UsbDeviceEntry& entry) {
    return {std::begin(entry.diskNumbers), std::end(entry.diskNumbers)};
}

// The node of an interface, as the interface-class walk gives it.
platform::DevInst InterfaceNode(const platform::Guid& interfaceClass, std::u16string_view path) {
    const platform::DeviceInfoSet set = platform::GetClassDevices(interfaceClass);
    platform::DeviceInterfaceData data{};
    platform::DevInst found = 0;
    for (std::uint32_t i = 0; platform::EnumDeviceInterface(set, interfaceClass, i, &data); ++i) {
        std::uint32_t size = 0;
        platform::GetDeviceInterfaceDetailSize(set, &data, &size);
        std::vector<char16_t> text(size, u'\0');
        platform::DevInst node = 0;
        if (platform::GetDeviceInterfaceDetail(set, &data, size, text, &node) &&
            std::u16string_view(text.data()) == path)
            found = node;
    }
    platform::DestroyDeviceInfoList(set);
    return found;
}

sim::UsbDisk DiskWithVolume(int number, char16_t letter) {
    sim::UsbDisk disk;
    disk.number = number;
    disk.interfacePath = u"\\\\?\\usbstor#disk&ven_x#" + platform::FromUtf8(std::to_string(number));
    sim::UsbVolume volume;
    if (letter != 0)
        volume.mountPaths.push_back(std::u16string{letter, u':', u'\\'});
    disk.volumes.push_back(volume);
    return disk;
}

UsbMachine FourPortExample() {
    sim::UsbHub external = sim::Hub(2);
    external.ports[1] = UsbPort::With(sim::FlashDisk(2, u'F'));
    sim::UsbController controller = sim::Controller(4);
    controller.rootHub.ports[1] = UsbPort::With(sim::FlashDisk(1, u'E'));
    controller.rootHub.ports[2] = UsbPort::WithHub(external);
    UsbMachine machine;
    machine.controllers.push_back(controller);
    return machine;
}

TEST_F(EnumTest, NoControllersOrNoDevicesGiveNoCallbacksAndAnEmptyListWithoutBinding) {
    UsbMachine machine;
    machine.otherDisks.push_back(DiskWithVolume(0, u'C'));  // the system disk, not on USB
    usbSide().SetMachine(machine);
    RecordingEnum enumerator;
    enumerator.Enumerate(1);
    EXPECT_TRUE(enumerator.calls.empty());
    EXPECT_EQ(ListedDeviceCount(), 0);
    EXPECT_EQ(usb::CEnumUSB::GetFirstDevice(), nullptr);
    EXPECT_TRUE(station().Opens().empty());

    // Ports but no device: the volumes are not looked at either.
    machine.controllers.push_back(sim::Controller(2));
    usbSide().SetMachine(machine);
    enumerator.Enumerate(1);
    EXPECT_EQ(enumerator.calls.size(), 4u);
    EXPECT_EQ(ListedDeviceCount(), 0);
    for (const sim::OpenCall& open : station().Opens())
        EXPECT_EQ(open.path.find(u"usbstor"), std::u16string::npos);
    EXPECT_EQ(station().OpenHandleCount(), 0u);
}

TEST_F(EnumTest, FourPortRootHubNumbersItsPortsAndReportsInTreeOrder) {
    usbSide().SetMachine(FourPortExample());
    const UsbMachine machine = usbSide().Machine();
    const sim::UsbHub& root = machine.controllers[0].rootHub;
    const sim::UsbHub& external = *root.ports[2].hub;

    RecordingEnum enumerator;
    enumerator.Enumerate(0);
    EXPECT_EQ(enumerator.calls, (std::vector<std::string>{
                                    "C USB xHCI Compliant Host Controller =1",
                                    "H USB Root Hub (USB 3.0) <1 =2",
                                    "P1 0 - <2",
                                    "P2 1 USB Mass Storage Device <2",
                                    "H Generic USB Hub <2 =3",
                                    "P1 0 - <3",
                                    "P2 1 USB Mass Storage Device <3",
                                    "P4 0 - <2",
                                }));

    const std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(ListedDeviceCount(), 2);
    const usb::UsbDeviceEntry& first = devices[0].entry;
    EXPECT_EQ(first.portOrdinal, 2);
    EXPECT_EQ(PortPath(first), Expected({1, 2}));
    EXPECT_EQ(first.hubPort, 2);
    EXPECT_EQ(platform::UpToNul(first.hubPath), u"\\\\.\\" + root.symbolicName);
    EXPECT_EQ(first.vendorId, 0x1F75);
    EXPECT_EQ(first.productId, 0x0917);
    EXPECT_EQ(platform::UpToNul(first.driverKey), root.ports[1].device->driverKey);
    EXPECT_EQ(platform::UpToNul(first.driverDesc), u"USB Mass Storage Device");
    EXPECT_EQ(DiskNumbers(first), (std::vector<std::int32_t>{1, -1, -1, -1}));
    ASSERT_EQ(devices[0].volumes.size(), 1u);
    EXPECT_EQ(devices[0].volumes[0].driveLetter, u'E');
    EXPECT_EQ(devices[0].volumes[0].driveType, platform::kDriveRemovable);
    EXPECT_EQ(devices[0].volumes[0].diskNumber, 1);
    EXPECT_EQ(platform::UpToNul(devices[0].volumes[0].volumePath),
              root.ports[1].device->disks[0].volumes[0].interfacePath);

    const usb::UsbDeviceEntry& second = devices[1].entry;
    EXPECT_EQ(second.portOrdinal, 4);
    EXPECT_EQ(PortPath(second), Expected({1, 3, 2}));
    EXPECT_EQ(second.hubPort, 2);
    EXPECT_EQ(platform::UpToNul(second.hubPath), u"\\\\.\\" + external.symbolicName);
    EXPECT_EQ(DiskNumbers(second), (std::vector<std::int32_t>{2, -1, -1, -1}));
    ASSERT_EQ(devices[1].volumes.size(), 1u);
    EXPECT_EQ(devices[1].volumes[0].driveLetter, u'F');
}

TEST_F(EnumTest, ControllerNumbersSkipFailedOpensButNotFailedDescriptions) {
    auto withDisk = [](int number, char16_t letter) {
        sim::UsbController c = sim::Controller(1);
        c.rootHub.ports[0] = UsbPort::With(sim::FlashDisk(number, letter));
        return c;
    };
    UsbMachine machine;
    machine.controllers.push_back(withDisk(1, u'E'));
    machine.controllers[0].opens = false;              // no number
    machine.controllers.push_back(withDisk(2, u'F'));  // 1
    machine.controllers.push_back(withDisk(3, u'G'));  // 2, used up
    machine.controllers[2].driverDesc = std::nullopt;
    machine.controllers.push_back(withDisk(4, u'H'));  // 3, used up
    machine.controllers[3].driverKeyFails = true;
    // A class-key path of 100 units (39 of prefix and the key) is read like any other.
    machine.controllers.push_back(withDisk(5, u'I'));  // 4
    machine.controllers[4].driverKey = std::u16string(61, u'k');
    machine.controllers[4].driverDesc = u"Long Key";
    machine.controllers.push_back(withDisk(6, u'J'));  // 5
    machine.controllers[5].driverDesc = u"Second";
    usbSide().SetMachine(machine);

    RecordingEnum enumerator;
    enumerator.Enumerate(0);
    const std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(PortPath(devices[0].entry), Expected({1, 1}));
    EXPECT_EQ(devices[0].entry.portOrdinal, 1);
    EXPECT_EQ(devices[0].volumes.at(0).driveLetter, u'F');
    EXPECT_EQ(PortPath(devices[1].entry), Expected({4, 1}));
    EXPECT_EQ(devices[1].entry.portOrdinal, 2);
    EXPECT_EQ(devices[1].volumes.at(0).driveLetter, u'I');
    EXPECT_EQ(PortPath(devices[2].entry), Expected({5, 1}));
    EXPECT_EQ(devices[2].entry.portOrdinal, 3);
    EXPECT_EQ(devices[2].volumes.at(0).driveLetter, u'J');
    EXPECT_EQ(std::count_if(enumerator.calls.begin(), enumerator.calls.end(),
                            [](const std::string& c) { return c[0] == 'C'; }),
              3);
    EXPECT_EQ(enumerator.calls[3], "C Long Key =3");
    EXPECT_EQ(enumerator.calls[6], "C Second =5");
}

TEST_F(EnumTest, EveryDeviceIsListedAndItsDisksAndVolumesBindToIt) {
    sim::UsbDevice twoDisks;
    twoDisks.disks = {DiskWithVolume(3, u'G'), DiskWithVolume(4, u'H')};
    sim::UsbDevice fiveDisks;
    for (int n = 5; n <= 9; ++n) {
        fiveDisks.disks.push_back(DiskWithVolume(n, 0));
        fiveDisks.disks.back().volumes.clear();
    }
    sim::UsbDevice cdrom;
    sim::UsbVolume cd;
    cd.mountPaths = {u"I:\\"};
    cd.driveType = platform::kDriveCdrom;
    cdrom.cdromVolumes.push_back(cd);
    sim::UsbDevice unmounted = sim::FlashDisk(10, 0);
    sim::UsbAuxInterface aux;
    aux.interfacePath = u"\\\\?\\usb#aux#1";
    unmounted.auxInterfaces.push_back(aux);

    sim::UsbController controller = sim::Controller(5);
    controller.rootHub.ports[0] = UsbPort::With(sim::Keyboard());
    controller.rootHub.ports[1] = UsbPort::With(twoDisks);
    controller.rootHub.ports[2] = UsbPort::With(fiveDisks);
    controller.rootHub.ports[3] = UsbPort::With(cdrom);
    controller.rootHub.ports[4] = UsbPort::With(unmounted);
    UsbMachine machine;
    machine.controllers.push_back(controller);
    machine.otherDisks.push_back(DiskWithVolume(0, u'C'));
    usbSide().SetMachine(machine);

    usb::CEnumUSB enumerator;
    enumerator.Enumerate(0);
    const std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 5u);

    const usb::UsbDeviceEntry& keyboard = devices[0].entry;
    EXPECT_EQ(keyboard.vendorId, 0x1C4F);
    EXPECT_EQ(platform::UpToNul(keyboard.driverDesc), u"USB Input Device");
    EXPECT_EQ(DiskNumbers(keyboard), (std::vector<std::int32_t>{-1, -1, -1, -1}));
    EXPECT_EQ(keyboard.firstVolume, nullptr);
    EXPECT_EQ(platform::UpToNul(keyboard.diskInterfacePath), u"");

    const usb::UsbDeviceEntry& two = devices[1].entry;
    EXPECT_EQ(DiskNumbers(two), (std::vector<std::int32_t>{3, 4, -1, -1}));
    EXPECT_EQ(platform::UpToNul(two.diskInterfacePath), twoDisks.disks[1].interfacePath);
    EXPECT_EQ(two.diskDevInst, InterfaceNode(platform::kGuidDisk, twoDisks.disks[1].interfacePath));
    EXPECT_NE(two.diskDevInst, 0u);
    ASSERT_EQ(devices[1].volumes.size(), 2u);
    EXPECT_EQ(devices[1].volumes[0].driveLetter, u'G');
    EXPECT_EQ(devices[1].volumes[0].diskNumber, 3);
    EXPECT_EQ(devices[1].volumes[1].driveLetter, u'H');
    EXPECT_EQ(devices[1].volumes[1].diskNumber, 4);

    const usb::UsbDeviceEntry& five = devices[2].entry;
    EXPECT_EQ(DiskNumbers(five), (std::vector<std::int32_t>{5, 6, 7, 8}));
    EXPECT_EQ(platform::UpToNul(five.diskInterfacePath), fiveDisks.disks[4].interfacePath);
    EXPECT_EQ(five.diskDevInst,
              InterfaceNode(platform::kGuidDisk, fiveDisks.disks[4].interfacePath));

    ASSERT_EQ(devices[3].volumes.size(), 1u);
    EXPECT_EQ(devices[3].volumes[0].driveLetter, u'I');
    EXPECT_EQ(devices[3].volumes[0].driveType, platform::kDriveCdrom);
    EXPECT_EQ(devices[3].volumes[0].diskNumber, -1);
    EXPECT_EQ(DiskNumbers(devices[3].entry), (std::vector<std::int32_t>{-1, -1, -1, -1}));

    ASSERT_EQ(devices[4].volumes.size(), 1u);
    EXPECT_EQ(devices[4].volumes[0].driveLetter, 0);
    EXPECT_EQ(devices[4].volumes[0].diskNumber, 10);
    EXPECT_EQ(platform::UpToNul(devices[4].entry.auxInterfacePath), aux.interfacePath);
    // The system disk's volume C: belongs to no entry.
    for (const DeviceCopy& device : devices)
        for (const usb::VolumeEntry& volume : device.volumes)
            EXPECT_NE(volume.driveLetter, u'C');
}

TEST_F(EnumTest, StringDescriptorsFillTheirFieldsOnlyWhenAskedAndWellFormed) {
    sim::UsbDevice full = sim::FlashDisk(1, u'E');
    full.strings[1] = sim::UsbStringDescriptor::Text(u"ABCDEFGHI");
    full.strings[2] = sim::UsbStringDescriptor::Text(u"ABCDEFGHIJKLMNOPQ");
    full.strings[3] = sim::UsbStringDescriptor::Text(u"0123456789ABCDEFGHIJ");
    sim::UsbDevice malformed = sim::FlashDisk(2, u'F');
    malformed.strings[1] = sim::UsbStringDescriptor::Raw({7, 3, 'A', 0, 'B', 0, 'C'});  // odd
    malformed.strings[2] = sim::UsbStringDescriptor::Raw({6, 2, 'A', 0, 'B', 0});  // not type 3
    malformed.strings[3] = sim::UsbStringDescriptor::Failing();
    sim::UsbDevice noSerial = sim::FlashDisk(3, u'G');
    noSerial.iSerialNumber = 0;
    sim::UsbController controller = sim::Controller(3);
    controller.rootHub.ports[0] = UsbPort::With(full);
    controller.rootHub.ports[1] = UsbPort::With(malformed);
    controller.rootHub.ports[2] = UsbPort::With(noSerial);
    SetController(controller);
    usbSide().SetLangId(0x0804);

    usb::CEnumUSB enumerator;
    enumerator.Enumerate(1);
    std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 3u);
    // Full fields carry no terminator; shorter texts are zero-filled.
    EXPECT_EQ(std::u16string(devices[0].entry.manufacturer, 9), u"ABCDEFGHI");
    EXPECT_EQ(std::u16string(devices[0].entry.product, 17), u"ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(std::u16string(devices[0].entry.serialNumber, 17), u"0123456789ABCDEFG");
    EXPECT_EQ(std::u16string(devices[2].entry.product, 17),
              std::u16string(u"Flash Disk\0\0\0\0\0\0\0", 17));
    EXPECT_EQ(std::u16string(devices[1].entry.manufacturer, 9), std::u16string(9, u'\0'));
    EXPECT_EQ(std::u16string(devices[1].entry.product, 17), std::u16string(17, u'\0'));
    EXPECT_EQ(std::u16string(devices[1].entry.serialNumber, 17), std::u16string(17, u'\0'));
    EXPECT_EQ(std::u16string(devices[2].entry.serialNumber, 17), std::u16string(17, u'\0'));

    int descriptorRequests = 0;
    for (const sim::UsbRequestCall& call : usbSide().Requests()) {
        if (call.code != platform::kIoctlUsbGetDescriptorFromNodeConnection)
            continue;
        ++descriptorRequests;
        ASSERT_EQ(call.input.size(), platform::kUsbDescriptorRequestSize);
        EXPECT_EQ(call.input[platform::kUsbSetupWIndexOffset], 0x04);
        EXPECT_EQ(call.input[platform::kUsbSetupWIndexOffset + 1], 0x08);
    }
    EXPECT_EQ(descriptorRequests, 8);  // index 0 asks nothing

    usbSide().ClearRequests();
    enumerator.Enumerate(0);
    devices = ListedDevices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(std::u16string(devices[0].entry.manufacturer, 9), std::u16string(9, u'\0'));
    EXPECT_EQ(std::u16string(devices[0].entry.product, 17), std::u16string(17, u'\0'));
    EXPECT_EQ(std::u16string(devices[0].entry.serialNumber, 17), std::u16string(17, u'\0'));
    for (const sim::UsbRequestCall& call : usbSide().Requests())
        EXPECT_NE(call.code, platform::kIoctlUsbGetDescriptorFromNodeConnection);
}

TEST_F(EnumTest, HubsThatCannotBeReadShrinkTheTreeAndShiftLaterOrdinals) {
    auto hubWith = [](int ports) { return sim::Hub(ports); };
    sim::UsbController controller = sim::Controller(10);
    controller.rootHub.deviceDesc = u"Root;Hub;X";
    std::vector<UsbPort>& ports = controller.rootHub.ports;
    sim::UsbHub plain = hubWith(1);
    plain.deviceDesc = u"Plain Hub";
    ports[0] = UsbPort::WithHub(plain);
    sim::UsbHub noKey = hubWith(2);
    noKey.enumKeyPresent = false;
    noKey.ports[1] = UsbPort::With(sim::FlashDisk(1, u'E'));
    ports[1] = UsbPort::WithHub(noKey);
    sim::UsbHub noInfo = hubWith(2);
    noInfo.nodeInformationFails = true;
    ports[2] = UsbPort::WithHub(noInfo);
    sim::UsbHub noName = hubWith(2);
    noName.nameFails = true;
    ports[3] = UsbPort::WithHub(noName);
    sim::UsbHub noDesc = hubWith(1);
    noDesc.deviceDesc = std::nullopt;
    ports[4] = UsbPort::WithHub(noDesc);
    ports[5] = UsbPort::With(sim::FlashDisk(2, u'F'));
    sim::UsbHub leading = hubWith(1);
    leading.deviceDesc = u";Leading";
    ports[6] = UsbPort::WithHub(leading);
    ports[8] = UsbPort::With(sim::FlashDisk(3, u'G'));
    ports[8].connectionFails = true;
    ports[9] = UsbPort::With(sim::FlashDisk(4, u'H'));
    ports[9].status = 2;
    UsbMachine machine;
    machine.controllers.push_back(controller);
    usbSide().SetMachine(machine);

    RecordingEnum enumerator;
    enumerator.Enumerate(0);
    EXPECT_EQ(enumerator.calls, (std::vector<std::string>{
                                    "C USB xHCI Compliant Host Controller =1",
                                    "H Hub;X <1 =2",
                                    "H Plain Hub <2 =3",
                                    "P1 0 - <3",
                                    "H Generic USB Hub <2 =4",  // no node information
                                    "H  <2 =5",                 // no "DeviceDesc"
                                    "P1 0 - <5",
                                    "P6 1 USB Mass Storage Device <2",
                                    "H Leading <2 =6",
                                    "P1 0 - <6",
                                    "P8 0 - <2",
                                    "P9 0 - <2",
                                    "P10 0 - <2",
                                }));
    std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].entry.portOrdinal, 3);
    EXPECT_EQ(PortPath(devices[0].entry), Expected({1, 6}));

    // The hub whose key comes back brings two ports in ahead of the disk.
    machine.controllers[0].rootHub.ports[1].hub->enumKeyPresent = true;
    usbSide().SetMachine(machine);
    enumerator.calls.clear();
    enumerator.Enumerate(0);
    devices = ListedDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].entry.portOrdinal, 3);
    EXPECT_EQ(PortPath(devices[0].entry), Expected({1, 2, 2}));
    EXPECT_EQ(devices[1].entry.portOrdinal, 5);
}

TEST_F(EnumTest, AHubChainDeeperThanThePathEndsWhereThePathIsFull) {
    // Nine hubs in a row, each with a disk on its port 2 and the next hub on its port 1.
    sim::UsbHub chain = sim::Hub(2);
    for (int depth = 9; depth >= 1; --depth) {
        sim::UsbHub hub = sim::Hub(2);
        hub.ports[1] = UsbPort::With(sim::FlashDisk(depth, 0));
        if (depth < 9)
            hub.ports[0] = UsbPort::WithHub(chain);
        chain = hub;
    }
    sim::UsbController controller = sim::Controller(1);
    controller.rootHub.ports[0] = UsbPort::WithHub(chain);
    SetController(controller);

    usb::CEnumUSB enumerator;
    enumerator.Enumerate(0);
    const std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 8u);
    // Depth first: the deepest disk comes first.
    EXPECT_EQ(PortPath(devices[0].entry), (Path{1, 1, 1, 1, 1, 1, 1, 1, 1, 2}));
    EXPECT_EQ(PortPath(devices[7].entry), Expected({1, 1, 2}));
}

TEST_F(EnumTest, EnumerationsRepeatAndCopiesKeepTheirVolumesUntilTheNextCleanUp) {
    usbSide().SetMachine(FourPortExample());
    usb::CEnumUSB main;
    main.Enumerate(0);
    const std::vector<DeviceCopy> first = ListedDevices();
    main.Enumerate(0);
    const std::vector<DeviceCopy> second = ListedDevices();
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].entry.portOrdinal, second[i].entry.portOrdinal);
        EXPECT_EQ(PortPath(first[i].entry), PortPath(second[i].entry));
        EXPECT_EQ(platform::UpToNul(first[i].entry.driverKey),
                  platform::UpToNul(second[i].entry.driverKey));
        EXPECT_EQ(first[i].volumes.size(), second[i].volumes.size());
    }

    // A second enumerator empties the list for both, yet what was handed out stays readable.
    usb::CEnumUSB::ListLock lock;
    usb::UsbDeviceEntry copy;
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    usb::CEnumUSB::GetNextDevice(&copy, &position);
    EXPECT_EQ(copy.volumeHead, nullptr);  // the list part is not copied
    EXPECT_EQ(copy.next, nullptr);
    {
        RecordingEnum dialog;
        EXPECT_EQ(usb::CEnumUSB::GetFirstDevice(), nullptr);
        EXPECT_EQ(ListedDeviceCount(), 0);
        ASSERT_NE(copy.firstVolume, nullptr);
        EXPECT_EQ(copy.firstVolume->driveLetter, u'E');
        dialog.Enumerate(1);
        EXPECT_EQ(ListedDeviceCount(), 2);
    }
    // Destroying either enumerator empties the list.
    EXPECT_EQ(usb::CEnumUSB::GetFirstDevice(), nullptr);
    EXPECT_EQ(ListedDeviceCount(), 0);
}

TEST_F(EnumTest, DevicesAreOpenedWithoutAccessAndDisksShareWriteOnly) {
    usbSide().SetMachine(FourPortExample());
    const UsbMachine machine = usbSide().Machine();
    const sim::UsbHub& root = machine.controllers[0].rootHub;
    usb::CEnumUSB enumerator;
    enumerator.Enumerate(0);

    auto opensOf = [](std::u16string_view path) {
        std::vector<std::uint32_t> shares;
        for (const sim::OpenCall& open : station().Opens()) {
            if (open.path == path) {
                EXPECT_EQ(open.access, platform::kNoAccess);
                shares.push_back(open.share);
            }
        }
        return shares;
    };
    const std::uint32_t readWrite = platform::kShareRead | platform::kShareWrite;
    EXPECT_EQ(opensOf(machine.controllers[0].interfacePath), (std::vector{readWrite}));
    EXPECT_EQ(opensOf(u"\\\\.\\" + root.symbolicName), (std::vector{readWrite}));
    EXPECT_EQ(opensOf(u"\\\\.\\" + root.ports[2].hub->symbolicName), (std::vector{readWrite}));
    const sim::UsbDisk& disk = root.ports[1].device->disks[0];
    EXPECT_EQ(opensOf(disk.interfacePath), (std::vector{platform::kShareWrite}));
    EXPECT_EQ(opensOf(disk.volumes[0].interfacePath), (std::vector{readWrite}));
    EXPECT_EQ(station().OpenHandleCount(), 0u);
}

// How a node finds its entry: an interface of the auxiliary class from its own node up, disks
// and CD-ROM volumes from their parent up; the first entry in list order with the node's driver
// property wins, and a node whose property cannot be read matches nothing but is climbed past.
TEST_F(EnumTest, InterfacesClimbToTheFirstEntryWithTheirNodesDriverKey) {
    const std::u16string usbClass = u"{36fc9e60-c465-11cf-8056-444553540000}\\";
    sim::UsbDevice own = sim::FlashDisk(1, u'E');
    own.driverKey = usbClass + u"0101";
    sim::UsbAuxInterface aux;
    aux.interfacePath = u"\\\\?\\usb#aux#own";
    aux.onDeviceNode = true;
    own.auxInterfaces.push_back(aux);
    // The disk's and the CD-ROM volume's own nodes name the first device.
    sim::UsbDevice fromParent = sim::FlashDisk(2, u'F');
    fromParent.disks[0].nodeDriver = own.driverKey;
    sim::UsbVolume cd;
    cd.mountPaths = {u"G:\\"};
    cd.driveType = platform::kDriveCdrom;
    cd.nodeDriver = own.driverKey;
    fromParent.cdromVolumes.push_back(cd);
    // Two devices answering the same driver key: the earlier entry gets both disks.
    sim::UsbDevice twinA = sim::FlashDisk(3, u'H');
    twinA.driverKey = usbClass + u"0103";
    sim::UsbDevice twinB = sim::FlashDisk(4, u'I');
    twinB.driverKey = twinA.driverKey;
    // A device whose node cannot be read, below a hub whose node names the keyboard.
    sim::UsbDevice keyboard = sim::Keyboard();
    keyboard.driverKey = usbClass + u"0105";
    sim::UsbDevice unreadable = sim::FlashDisk(5, u'J');
    unreadable.nodeDriverReadable = false;
    sim::UsbHub hub = sim::Hub(1);
    hub.driverKey = keyboard.driverKey;
    hub.ports[0] = UsbPort::With(unreadable);

    sim::UsbController controller = sim::Controller(6);
    std::vector<UsbPort>& ports = controller.rootHub.ports;
    ports[0] = UsbPort::With(own);
    ports[1] = UsbPort::With(fromParent);
    ports[2] = UsbPort::With(twinA);
    ports[3] = UsbPort::With(twinB);
    ports[4] = UsbPort::With(keyboard);
    ports[5] = UsbPort::WithHub(hub);
    SetController(controller);

    usb::CEnumUSB enumerator;
    enumerator.Enumerate(0);
    const std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 6u);
    auto letters = [&](std::size_t i) {
        std::u16string text;
        for (const usb::VolumeEntry& volume : devices[i].volumes)
            text += volume.driveLetter;
        return text;
    };

    EXPECT_EQ(platform::UpToNul(devices[0].entry.auxInterfacePath), aux.interfacePath);
    EXPECT_EQ(DiskNumbers(devices[0].entry), (std::vector<std::int32_t>{1, -1, -1, -1}));
    EXPECT_EQ(letters(0), u"E");
    EXPECT_EQ(DiskNumbers(devices[1].entry), (std::vector<std::int32_t>{2, -1, -1, -1}));
    EXPECT_EQ(letters(1), u"FG");
    EXPECT_EQ(DiskNumbers(devices[2].entry), (std::vector<std::int32_t>{3, 4, -1, -1}));
    EXPECT_EQ(letters(2), u"HI");
    EXPECT_EQ(DiskNumbers(devices[3].entry), (std::vector<std::int32_t>{-1, -1, -1, -1}));
    EXPECT_EQ(letters(3), u"");
    EXPECT_EQ(DiskNumbers(devices[4].entry), (std::vector<std::int32_t>{5, -1, -1, -1}));
    EXPECT_EQ(letters(4), u"J");
    EXPECT_EQ(DiskNumbers(devices[5].entry), (std::vector<std::int32_t>{-1, -1, -1, -1}));
}

// An interface whose detail cannot be read ends the walk of its class; the next class is
// walked all the same.
TEST_F(EnumTest, AFailedDetailCallEndsTheWalkOfItsClassOnly) {
    sim::UsbDevice first = sim::FlashDisk(1, u'E');
    sim::UsbAuxInterface failing;
    failing.detailFails = true;
    first.auxInterfaces.push_back(failing);
    first.disks[0].detailFails = true;
    sim::UsbDevice second = sim::FlashDisk(2, u'F');
    sim::UsbAuxInterface aux;
    aux.interfacePath = u"\\\\?\\usb#aux#second";
    second.auxInterfaces.push_back(aux);
    sim::UsbVolume cd;
    cd.mountPaths = {u"G:\\"};
    cd.driveType = platform::kDriveCdrom;
    second.cdromVolumes.push_back(cd);
    sim::UsbController controller = sim::Controller(2);
    controller.rootHub.ports[0] = UsbPort::With(first);
    controller.rootHub.ports[1] = UsbPort::With(second);
    UsbMachine machine;
    machine.controllers.push_back(controller);
    usbSide().SetMachine(machine);

    usb::CEnumUSB enumerator;
    enumerator.Enumerate(0);
    std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(platform::UpToNul(devices[1].entry.auxInterfacePath), u"");
    EXPECT_EQ(DiskNumbers(devices[0].entry), (std::vector<std::int32_t>{-1, -1, -1, -1}));
    EXPECT_EQ(DiskNumbers(devices[1].entry), (std::vector<std::int32_t>{-1, -1, -1, -1}));
    EXPECT_TRUE(devices[0].volumes.empty());
    ASSERT_EQ(devices[1].volumes.size(), 1u);
    EXPECT_EQ(devices[1].volumes[0].driveLetter, u'G');

    // The first volume's detail fails: the disks bind, no volume does.
    machine.controllers[0].rootHub.ports[0].device->auxInterfaces.clear();
    machine.controllers[0].rootHub.ports[0].device->disks[0].detailFails = false;
    machine.controllers[0].rootHub.ports[0].device->disks[0].volumes[0].detailFails = true;
    usbSide().SetMachine(machine);
    enumerator.Enumerate(0);
    devices = ListedDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(platform::UpToNul(devices[1].entry.auxInterfacePath), aux.interfacePath);
    EXPECT_EQ(DiskNumbers(devices[0].entry), (std::vector<std::int32_t>{1, -1, -1, -1}));
    EXPECT_EQ(DiskNumbers(devices[1].entry), (std::vector<std::int32_t>{2, -1, -1, -1}));
    EXPECT_TRUE(devices[0].volumes.empty());
    EXPECT_TRUE(devices[1].volumes.empty());

    // The first host controller's detail fails: nothing is reported.
    machine.controllers.insert(machine.controllers.begin(), sim::Controller(1));
    machine.controllers[0].detailFails = true;
    usbSide().SetMachine(machine);
    RecordingEnum recording;
    recording.Enumerate(0);
    EXPECT_TRUE(recording.calls.empty());
    EXPECT_EQ(ListedDeviceCount(), 0);
}

// Names longer than the fields once were: a driver key with a five-digit instance number and
// a hub name of 100 characters are kept whole, the disk below each bound, no ordinal shifted.
TEST_F(EnumTest, LongDriverKeysAndHubNamesAreKeptWholeAndBound) {
    const std::u16string usbClass = u"{36fc9e60-c465-11cf-8056-444553540000}\\";
    sim::UsbDevice fiveDigits = sim::FlashDisk(1, u'E');
    fiveDigits.driverKey = usbClass + u"10012";  // 44
    fiveDigits.driverDesc = u"Five Digits";
    // The longest a key can be: a class key and an instance key of 255 characters each. Its
    // disk binds only if the device node's driver property is read as whole.
    sim::UsbDevice widest = sim::FlashDisk(3, u'G');
    widest.driverKey = std::u16string(255, u'c') + u"\\" + std::u16string(255, u'i');
    sim::UsbHub longName = sim::Hub(2);
    longName.symbolicName = u"USB#VID_05E3&PID_0608#" + std::u16string(39, u'5') +
                            u"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";  // 100
    longName.deviceDesc = u";Long Name";
    longName.ports[1] = UsbPort::With(sim::FlashDisk(2, u'F'));
    sim::UsbHub longest = sim::Hub(1);
    longest.symbolicName = u"USB#" + std::u16string(507, u'7');  // 511
    longest.ports[0] = UsbPort::With(sim::FlashDisk(4, u'H'));
    sim::UsbDevice unreadable = sim::FlashDisk(5, u'I');
    unreadable.driverKeyFails = true;
    sim::UsbDevice longestDesc = sim::FlashDisk(6, u'J');
    longestDesc.driverDesc = std::u16string(29, u'd');  // 60 bytes with its terminator
    sim::UsbDevice tooLongDesc = sim::FlashDisk(7, u'K');
    tooLongDesc.driverDesc = std::u16string(30, u'd');

    sim::UsbController controller = sim::Controller(8);
    std::vector<UsbPort>& ports = controller.rootHub.ports;
    ports[0] = UsbPort::With(fiveDigits);
    ports[1] = UsbPort::WithHub(longName);
    ports[2] = UsbPort::With(widest);
    ports[3] = UsbPort::WithHub(longest);
    ports[4] = UsbPort::With(unreadable);
    ports[5] = UsbPort::With(longestDesc);
    ports[6] = UsbPort::With(tooLongDesc);
    SetController(controller);

    RecordingEnum enumerator;
    enumerator.Enumerate(0);
    EXPECT_EQ(enumerator.calls, (std::vector<std::string>{
                                    "C USB xHCI Compliant Host Controller =1",
                                    "H USB Root Hub (USB 3.0) <1 =2",
                                    "P1 1 Five Digits <2",
                                    "H Long Name <2 =3",
                                    "P1 0 - <3",
                                    "P2 1 USB Mass Storage Device <3",
                                    "P3 1 USB Mass Storage Device <2",
                                    "H Generic USB Hub <2 =4",
                                    "P1 1 USB Mass Storage Device <4",
                                    "P5 1  <2",
                                    "P6 1 " + std::string(29, 'd') + " <2",
                                    "P7 1  <2",
                                    "P8 0 - <2",
                                }));
    const std::vector<DeviceCopy> devices = ListedDevices();
    ASSERT_EQ(devices.size(), 7u);
    std::vector<std::int32_t> ordinals;
    for (const DeviceCopy& device : devices)
        ordinals.push_back(device.entry.portOrdinal);
    EXPECT_EQ(ordinals, (std::vector<std::int32_t>{1, 3, 4, 5, 6, 7, 8}));

    EXPECT_EQ(platform::UpToNul(devices[0].entry.driverKey), fiveDigits.driverKey);
    EXPECT_EQ(platform::UpToNul(devices[2].entry.driverKey), widest.driverKey);
    EXPECT_EQ(platform::UpToNul(devices[1].entry.hubPath), u"\\\\.\\" + longName.symbolicName);
    EXPECT_EQ(PortPath(devices[1].entry), Expected({1, 2, 2}));
    EXPECT_EQ(platform::UpToNul(devices[3].entry.hubPath), u"\\\\.\\" + longest.symbolicName);
    EXPECT_EQ(PortPath(devices[3].entry), Expected({1, 4, 1}));
    for (const std::size_t i : {0u, 1u, 2u, 3u}) {
        EXPECT_EQ(DiskNumbers(devices[i].entry),
                  (std::vector<std::int32_t>{static_cast<std::int32_t>(i) + 1, -1, -1, -1}))
            << i;
        ASSERT_EQ(devices[i].volumes.size(), 1u) << i;
        EXPECT_EQ(devices[i].volumes[0].driveLetter, static_cast<char16_t>(u'E' + i));
    }

    // A key that cannot be read leaves the device listed and unbound.
    EXPECT_EQ(platform::UpToNul(devices[4].entry.driverKey), u"");
    EXPECT_EQ(DiskNumbers(devices[4].entry), (std::vector<std::int32_t>{-1, -1, -1, -1}));
    EXPECT_TRUE(devices[4].volumes.empty());
    // "DriverDesc" is read into 60 bytes: 29 characters fit, 30 leave it empty.
    EXPECT_EQ(platform::UpToNul(devices[5].entry.driverDesc), std::u16string(29, u'd'));
    EXPECT_EQ(platform::UpToNul(devices[6].entry.driverDesc), u"");
    EXPECT_EQ(DiskNumbers(devices[6].entry), (std::vector<std::int32_t>{7, -1, -1, -1}));
}

}  // namespace
}  // namespace tavrin_test
