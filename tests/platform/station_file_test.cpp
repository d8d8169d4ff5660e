// The station text file: the documented sample, blocks from named fields and from stored
// files, and errors that name their line.
#include "platform/sim/station_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/controller.h"
#include "device/drive.h"
#include "platform/sim/info_block.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using sim::StationDescription;

const fs::path kDocs = TAVRIN_DOCS_DIR;

StationDescription Parse(std::string_view text, const fs::path& folder = {}) {
    StationDescription out;
    const auto result = sim::ParseStation(text, folder, out);
    EXPECT_TRUE(result.ok) << result.error;
    return out;
}

// The device of every port that holds one, in the walk's order, with its ordinal.
void NonHubPorts(const sim::UsbHub& hub, std::vector<const sim::UsbPort*>& out) {
    for (const auto& port : hub.ports) {
        if (port.hub)
            NonHubPorts(*port.hub, out);
        else
            out.push_back(&port);
    }
}

// The text of a well-formed string descriptor.
std::u16string StringOf(const sim::UsbDevice& device, std::uint8_t index) {
    auto it = device.strings.find(index);
    if (it == device.strings.end())
        return u"<none>";
    const auto& b = it->second.bytes;
    std::u16string text;
    for (std::size_t i = 2; i + 1 < b.size(); i += 2)
        text += static_cast<char16_t>(b[i] | b[i + 1] << 8);
    return text;
}

TEST(StationFileTest, TheSampleIsAnEightPortStation) {
    StationDescription station;
    const auto result = sim::ReadStationFile(kDocs / "sample.station", station);
    ASSERT_TRUE(result.ok) << result.error;

    ASSERT_EQ(station.machine.controllers.size(), 1u);
    const sim::UsbHub& root = station.machine.controllers[0].rootHub;
    ASSERT_EQ(root.ports.size(), 4u);
    ASSERT_TRUE(root.ports[0].hub && root.ports[1].hub);
    EXPECT_EQ(root.ports[0].hub->ports.size(), 4u);
    EXPECT_EQ(root.ports[1].hub->deviceDesc, u"@usb.inf,%usb\\hub20%;Generic USB Hub");

    std::vector<const sim::UsbPort*> ports;
    NonHubPorts(root, ports);
    ASSERT_EQ(ports.size(), 10u);
    // Ordinals 1-8 are the two hubs' ports, 9 the keyboard, 10 an empty root port.
    const int disks[] = {1, 2, -1, 3, 4, 5, -1, 6, -1, -1};
    const char16_t letters[] = u"EF GHIJK  ";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(i + 1);
        const auto& device = ports[i]->device;
        ASSERT_EQ(device.has_value(), i != 2 && i != 9);
        if (letters[i] == u' ')
            continue;
        const auto& volumes = disks[i] < 0 ? device->cdromVolumes : device->disks.at(0).volumes;
        ASSERT_EQ(volumes.size(), 1u);
        EXPECT_EQ(volumes[0].mountPaths,
                  std::vector<std::u16string>{letters[i] + std::u16string(u":\\")});
        if (disks[i] >= 0) {
            EXPECT_EQ(device->disks[0].number, disks[i]);
        }
    }
    const auto& cdrom = *ports[6]->device;
    EXPECT_TRUE(cdrom.disks.empty());
    EXPECT_EQ(cdrom.cdromVolumes[0].driveType, 5u);
    const auto& keyboard = *ports[8]->device;
    EXPECT_TRUE(keyboard.disks.empty() && keyboard.cdromVolumes.empty());
    EXPECT_EQ(keyboard.driverDesc, u"USB Input Device");
    EXPECT_EQ(keyboard.iManufacturer, 0u);
    EXPECT_EQ(StringOf(keyboard, 2), u"USB Keyboard");
    EXPECT_EQ(StringOf(*ports[0]->device, 3), u"0123456789AB");
    EXPECT_EQ(ports[0]->device->disks[0].volumes[0].freeBytes, 3814ull << 20);

    // The workstation's own disk, and what every controller answers.
    ASSERT_EQ(station.machine.otherDisks.size(), 1u);
    EXPECT_EQ(station.machine.otherDisks[0].volumes[0].driveType, 3u);
    EXPECT_EQ(station.machine.otherDisks[0].volumes[0].freeBytes, 120ull << 30);
    ASSERT_EQ(station.answers.size(), 7u);
    EXPECT_EQ(station.answers[1].block, sim::SampleInfoBlock().Bytes());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(station.answers[4].identification.data())),
              "QX9100");
    const auto& script = station.answers[5].script;
    ASSERT_EQ(script.size(), 4u);
    EXPECT_EQ(script[0].kind, sim::Reply::Kind::SenseError);
    EXPECT_EQ(script[0].sense.asc, 0x11);
    EXPECT_EQ(script[3].delay, std::chrono::milliseconds(1500));
    // The stored block with its revision changed.
    auto expected = sim::SampleInfoBlock().Text8(70, 4, "1.01").Bytes();
    EXPECT_EQ(station.answers[6].block, expected);
}

device::DecodedSlots Decode(const StationDescription& station, int disk, std::size_t size = 1024) {
    const auto& block = station.answers.at(disk).block;
    auto slots =
        device::DecodeInfoBlock(std::span(block.data(), size),
                                device::SelectionListsFor(device::Language::English), std::nullopt);
    return slots.value_or(device::DecodedSlots{});
}

TEST(StationFileTest, NamedFieldsDecodeToTheirValues) {
    const auto station = Parse(R"(
disk 1
    block
        vid 090c
        pid 0x1000
        vendor "  Acme  "
        product Stick 3
        revision 1.00
        rfreq 15MHz
        wfreq 2
        idle OFF
        sleep on
        blink Slow
        disk-type 3
        partition 2
        master C
        efs-start 0x100
        efs 8MB
        flags Interleave Randomize
        mp-version "MP ""2.15"""
        fw-version FW-1
disk 2
    block
        layout 4
        vendor ABCDEFGH
        product "Older"
        efs-start 10
        efs-end 5
        flags 0x48
disk 3
    block sample
        magic 0x12345678
)");
    const auto newer = Decode(station, 1);
    using device::DecodedSlots;
    const std::pair<std::size_t, std::u16string> want[] = {
        {device::kSlotVid, u"090C"},        {device::kSlotPid, u"1000"},
        {device::kSlotVendorName, u"Acme"}, {device::kSlotProductName, u"Stick 3"},
        {device::kSlotRevision, u"1.00"},   {device::kSlotRFreq, u"15MHz"},
        {device::kSlotWFreq, u"40MHZ"},     {device::kSlotIdle, u"OFF"},
        {device::kSlotSleep, u"ON"},        {device::kSlotBlink, u"Slow"},
        {device::kSlotDiskType, u"3"},      {device::kSlotPart, u"2"},
        {device::kSlotMaster, u"C"},        {device::kSlotEfs, u"16384"},
        {device::kSlotInterleave, u"1"},    {device::kSlotRandomize, u"1"},
        {device::kSlotMultiPlane, u"0"},    {device::kSlotMpVer, u"MP \"2.15\""},
        {device::kSlotFwVer, u"FW-1"}};
    for (const auto& [slot, text] : want)
        EXPECT_EQ(newer[slot].value_or(u"<absent>"), text) << slot;

    const auto older = Decode(station, 2, 512);
    EXPECT_EQ(older[device::kSlotVendorName], u"ABCDEFGH");
    EXPECT_EQ(older[device::kSlotProductName], u"Older");
    EXPECT_EQ(older[device::kSlotEfs], u"4294967291");  // the wrapped difference
    EXPECT_EQ(older[device::kSlotMultiPlane], u"1");
    EXPECT_EQ(older[device::kSlotDualMode], u"1");
    EXPECT_EQ(station.answers.at(2).block[4], 4);

    EXPECT_EQ(device::ExamineInfoBlock(station.answers.at(3).block), device::BlockStatus::BadMagic);
}

// The builder and the reader write by one layout: the sample's fields as block lines give the
// sample's bytes.
TEST(StationFileTest, TheSampleWrittenByNameIsTheSample) {
    const auto station = Parse(R"(
disk 1
    block
        vid 1234
        pid 7730
        disk-type 1
        partition 0
        vendor "  Generic  "
        product Flash Disk
        revision 1.00
        idle ON
        blink Quick
        mp-version MP 2.15.0.7
        fw-version FW 7730.0412
        flags MultiPlane Interleave
        rfreq 30MHZ
        wfreq 40MHZ
        master A
        efs-start 0x100
        efs 8MB
        sleep OFF
)");
    // The older layout's copy of the vendor is cut from the whole name, spaces and all.
    std::array<std::uint8_t, 1024> want =
        sim::SampleInfoBlock().Names("  Generi", "Flash Disk").Bytes();
    EXPECT_EQ(station.answers.at(1).block, want);
}

TEST(StationFolderTest, StoredBlocksAreReadBesideTheStationFile) {
    const testsupport::TempFolder dir("station");
    const auto sample = sim::SampleInfoBlock().Bytes();
    dir.Write("blocks/a.bin", std::string(sample.begin(), sample.begin() + 512));  // a short file
    dir.Write("big.bin", std::string(1025, 'x'));
    dir.Write("line.station",
              "disk 7\n"
              "    block file blocks/a.bin\n"
              "        pid 7731\n");
    StationDescription station;
    const auto result = sim::ReadStationFile(dir / "line.station", station);
    ASSERT_TRUE(result.ok) << result.error;
    auto expected = sample;
    std::fill(expected.begin() + 512, expected.end(), 0);
    expected[44] = 0x31;
    EXPECT_EQ(station.answers.at(7).block, expected);

    const auto fails = [&](const std::string& text) {
        StationDescription out;
        return sim::ParseStation(text, dir.path(), out);
    };
    auto r = fails("disk 7\n\n    block file missing.bin\n");
    EXPECT_EQ(r.line, 3);
    EXPECT_NE(r.error.find("cannot read the block file 'missing.bin'"), std::string::npos);
    r = fails("disk 7\n    block file big.bin\n");
    EXPECT_EQ(r.line, 2);
    EXPECT_NE(r.error.find("more than 1024 bytes"), std::string::npos);

    r = sim::ReadStationFile(dir / "none.station", station);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.line, 0);
    EXPECT_NE(r.error.find("cannot read the station file"), std::string::npos);
}

TEST(StationFileTest, FailuresAndSwitchesReachTheDescription) {
    const auto station = Parse(R"(lang-id 0804
controller
    fails driver-key detail
    missing description
    root-hub
        missing enum-key
        port 1 fails
        port 3 empty status 2
        port 4 hub
            name "USB#VID_05E3&PID_0608#5&1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}"  # '#' inside
            fails name node-info
            reported-ports 7
            ports 2
        port 2 device
            driver-key {36fc9e60-c465-11cf-8056-444553540000}\0012
            fails node-driver
            missing class-key
            string 4 bytes 05 03 41 00 42
            string 5 fails
            manufacturer-index 4
            product "  two  words "
            aux on-device
                path "\\?\usb#aux"
            disk 3
                fails open
                reply transport times 2
                reply answer status 2 reports 36 delay 2s
                volume
                    fails number
                    type 2
                    mount "C:\mnt\stick\"
)");
    EXPECT_EQ(station.machine.langId, 0x0804);
    const auto& controller = station.machine.controllers.at(0);
    EXPECT_TRUE(controller.driverKeyFails && controller.detailFails && controller.opens);
    EXPECT_FALSE(controller.driverDesc.has_value());
    const auto& root = controller.rootHub;
    EXPECT_FALSE(root.enumKeyPresent);
    ASSERT_EQ(root.ports.size(), 4u);
    EXPECT_TRUE(root.ports[0].connectionFails);
    EXPECT_EQ(root.ports[2].status, 2u);
    const auto& hub = *root.ports[3].hub;
    EXPECT_EQ(hub.symbolicName,
              u"USB#VID_05E3&PID_0608#5&1#{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    EXPECT_TRUE(hub.nameFails && hub.nodeInformationFails);
    EXPECT_EQ(hub.reportedPorts, 7);
    EXPECT_EQ(hub.ports.size(), 2u);

    const auto& device = *root.ports[1].device;
    EXPECT_EQ(device.driverKey, u"{36fc9e60-c465-11cf-8056-444553540000}\\0012");
    EXPECT_FALSE(device.nodeDriverReadable);
    EXPECT_FALSE(device.classKeyPresent);
    EXPECT_TRUE(device.driverDesc.has_value());  // the default stays
    EXPECT_EQ(device.strings.at(4).bytes, (std::vector<std::uint8_t>{5, 3, 0x41, 0, 0x42}));
    EXPECT_TRUE(device.strings.at(5).fails);
    EXPECT_EQ(device.strings.count(1), 0u);  // manufacturer moved to index 4
    EXPECT_EQ(device.strings.at(2).bytes, sim::UsbStringDescriptor::Text(u"  two  words ").bytes);
    ASSERT_EQ(device.auxInterfaces.size(), 1u);
    EXPECT_TRUE(device.auxInterfaces[0].onDeviceNode);
    EXPECT_EQ(device.auxInterfaces[0].interfacePath, u"\\\\?\\usb#aux");
    const auto& disk = device.disks.at(0);
    EXPECT_FALSE(disk.opens);
    EXPECT_FALSE(disk.numberFails);
    const auto& volume = disk.volumes.at(0);
    EXPECT_TRUE(volume.numberFails && volume.opens);
    EXPECT_EQ(volume.mountPaths, std::vector<std::u16string>{u"C:\\mnt\\stick\\"});
    const auto& script = station.answers.at(3).script;
    ASSERT_EQ(script.size(), 3u);
    EXPECT_EQ(script[1].kind, sim::Reply::Kind::TransportFailure);
    EXPECT_EQ(script[2].scsiStatus, 2);
    EXPECT_EQ(script[2].reportedBytes, 36u);
    EXPECT_EQ(script[2].delay, std::chrono::seconds(2));
}

// The keys that no test above reads, each to its field; word values in any case, hex with or
// without 0x.
TEST(StationFileTest, EveryOtherKeyLandsInItsField) {
    const auto station = Parse(R"(code-page 65001
controller
    path "\\?\pci#ven_8086#3&1#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}"
    driver-key {36fc9e60-c465-11cf-8056-444553540000}\0001
    fails open
    missing class-key
    root-hub
        bus-powered YES
        port 1 hub
            driver-key {36fc9e60-c465-11cf-8056-444553540000}\0002
            vid 05e3
            pid 0x0610
            port 1 device
                bcd-usb 0300
                class ff
                speed 3
                pipes 0
                product-index 7
                serial-index 9
                product Stick
                serial 42
                aux
                    fails detail
                disk 2
                    path "\\?\usbstor#disk"
                    node-driver {4d36e967-e325-11ce-bfc1-08002be10318}\0003
                    fails number node-driver detail
                    volume e:
                        path "\\?\storage#volume"
                        name "\\?\Volume{1}\"
                        number 5
                        node-driver {71a27cdd-812a-11d0-bec7-08002be2092f}\0004
                        fails open node-driver detail
)");
    const auto& controller = station.machine.controllers.at(0);
    const auto& root = controller.rootHub;
    const auto& hub = *root.ports.at(0).hub;
    const auto& device = *hub.ports.at(0).device;
    const auto& aux = device.auxInterfaces.at(0);
    const auto& disk = device.disks.at(0);
    const auto& volume = disk.volumes.at(0);
    const std::pair<const char*, bool> fields[] = {
        {"code-page", station.codePage == 65001},
        {"controller path", controller.interfacePath ==
                                u"\\\\?\\pci#ven_8086#3&1#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}"},
        {"controller driver-key",
         controller.driverKey == u"{36fc9e60-c465-11cf-8056-444553540000}\\0001"},
        {"controller fails open", !controller.opens && !controller.driverKeyFails},
        {"controller missing class-key",
         !controller.classKeyPresent && controller.driverDesc.has_value()},
        {"bus-powered", root.busPowered},
        {"hub driver-key", hub.driverKey == u"{36fc9e60-c465-11cf-8056-444553540000}\\0002"},
        {"hub vid pid", hub.vendorId == 0x05E3 && hub.productId == 0x0610},
        {"bcd-usb", device.bcdUsb == 0x0300},
        {"class", device.deviceClass == 0xFF},
        {"speed", device.speed == 3},
        {"pipes", device.numberOfOpenPipes == 0},
        {"product at product-index",
         device.iProduct == 7 && StringOf(device, 7) == u"Stick" && !device.strings.count(2)},
        {"serial at serial-index", device.iSerialNumber == 9 && StringOf(device, 9) == u"42"},
        {"aux fails detail", aux.detailFails && !aux.onDeviceNode},
        {"disk path", disk.interfacePath == u"\\\\?\\usbstor#disk"},
        {"disk node-driver", disk.nodeDriver == u"{4d36e967-e325-11ce-bfc1-08002be10318}\\0003"},
        {"disk fails",
         disk.opens && disk.numberFails && !disk.nodeDriverReadable && disk.detailFails},
        {"volume letter", volume.mountPaths == std::vector<std::u16string>{u"E:\\"}},
        {"volume path", volume.interfacePath == u"\\\\?\\storage#volume"},
        {"volume name", volume.volumeName == u"\\\\?\\Volume{1}\\"},
        {"volume number", volume.deviceNumber == 5},
        {"volume node-driver",
         volume.nodeDriver == u"{71a27cdd-812a-11d0-bec7-08002be2092f}\\0004"},
        {"volume fails",
         !volume.opens && !volume.numberFails && !volume.nodeDriverReadable && volume.detailFails},
    };
    for (const auto& [key, landed] : fields)
        EXPECT_TRUE(landed) << key;
}

TEST(StationFileTest, TheInstalledSampleAnswersTheDeviceLayer) {
    sim::Station& station = sim::Station::Get();
    station.Reset();
    station.AddDisk(9);
    EXPECT_FALSE(sim::LoadStationFile(kDocs / "no-such.station").ok);
    EXPECT_NE(station.Disk(9), nullptr);  // a failed load leaves the station alone

    const auto result = sim::LoadStationFile(kDocs / "sample.station");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(station.Disk(9), nullptr);
    EXPECT_EQ(station.Usb().Machine().controllers.size(), 1u);
    EXPECT_EQ(station.AnsiCodePage(), 1252u);

    const auto supported = [](char16_t letter) -> std::optional<bool> {
        const auto handle = device::OpenVolume(letter);
        if (handle == platform::kInvalidHandle)
            return std::nullopt;
        const bool yes = device::IsSupportedDisk(handle);
        device::CloseDrive(handle);
        return yes;
    };
    for (char16_t letter : {u'E', u'F', u'G', u'K'})
        EXPECT_EQ(supported(letter), true) << static_cast<char>(letter);
    EXPECT_EQ(supported(u'H'), false);         // another controller
    EXPECT_EQ(supported(u'C'), false);         // the workstation's own disk
    EXPECT_EQ(supported(u'J'), std::nullopt);  // the CD-ROM has no disk behind it

    const auto& english = device::SelectionListsFor(device::Language::English);
    device::ValueSlots slots;
    device::DecodeControllerInfo(1, u'E', slots, english);
    EXPECT_EQ(slots[device::kSlotProductName], u"Flash Disk");
    EXPECT_EQ(slots[device::kSlotCapMin], u"3814MB");
    device::DecodeControllerInfo(3, u'G', slots, english);
    EXPECT_EQ(slots[device::kSlotRFreq], u"15MHz");
    EXPECT_EQ(slots[device::kSlotEfs], u"16384");
    EXPECT_EQ(slots[device::kSlotCapMin], u"14336MB");
    device::DecodeControllerInfo(2, u'F', slots, english);  // older layout
    EXPECT_EQ(slots[device::kSlotVendorName], u"Generic");
    EXPECT_EQ(slots[device::kSlotProductName], u"USB DISK");
    station.Reset();
}

TEST(StationFileTest, EachErrorNamesItsLine) {
    struct Case {
        const char* text;
        int line;
        const char* message;
    };
    // Long enough to run past the whole of a disk's answers, had it been copied.
    const std::string longModel = "disk 1\n    model " + std::string(5000, 'M') + "\n";
    const Case cases[] = {
        {longModel.c_str(), 2, "'model' holds at most"},
        {"controller\n    root-hub\n        portt 1 empty\n", 3,
         "unknown key 'portt' in a root hub"},
        {"disk 1\n    block\n        vid 12345\n", 3, "'12345' is above 65535"},
        {"disk x\n", 1, "'x' is not a number"},
        {"controller\n root-hub\n  port 1 device\n   speed 5\n", 4, "'5' is above 3"},
        {"disk 1\n  block\n    rfreq 25MHZ\n", 3, "not one of 20MHZ, 30MHZ, 40MHZ, 15MHZ"},
        {"disk 1\n    block\n        mp-version 12345678901234567\n", 3, "at most 16 bytes"},
        {"disk 1\n    block\n        layout 4\n        vendor NINECHARS\n", 4, "at most 8 bytes"},
        {"disk 1\n    block\n        bytes 1020 01 02 03 04 05\n", 3, "past the end"},
        {"disk 1\n    model RV7730\n    model RV7731\n", 3, "'model' given twice"},
        {"disk 1\ndisk 1\n", 2, "disk 1 is described twice"},
        {"disk 1\n    reply sense 02 3A\n", 2, "needs the key, ASC and ASCQ"},
        {"disk 1\n    reply answer delay 5\n", 2, "not a duration"},
        {"disk 1\n    reply answer times 0\n", 2, "at least 1"},
        {"disk 1\n    volume EF\n", 2, "not a drive letter"},
        {"disk 1\n    volume E\n        type floppy\n", 3, "'floppy' is not one of"},
        {"disk 1\n    volume E\n        free 12XB\n", 3, "not a number"},
        {"disk 1\n    fails everything\n", 2, "'everything' after 'fails' is not one of"},
        {"controller\n  root-hub\n    port 0 empty\n", 3, "numbered from 1"},
        {"controller\n  root-hub\n    port 2 empty\n    port 2 empty\n", 4, "described twice"},
        {"controller\n  root-hub\n    ports 1\n    port 2 empty\n", 3, "only 1 ports"},
        {"controller\n  root-hub\n    port 1 empty\n      vid 1\n", 4, "takes no indented lines"},
        {"controller\n  root-hub\n    port 1 plugged\n", 3, "'plugged' is not one of"},
        {"controller\n    root-hub\n  description x\n", 3, "matches no line above"},
        {"controller\n\t root-hub\n", 2, "a tab in the indentation"},
        {"  controller\n", 1, "must not be indented"},
        {"controller\n    description \"USB\n", 2, "without its closing quote"},
        {"disk 1\n    model bytes 52 5G\n", 2, "'5G' is not a number"},
        {"controller\n    description \"a\"b\n", 2, "text after a closing quote"},
        {"# fine\n\ncode-page 437\n", 3, "'437' is not one of 1252, 28591, 65001"},
        {"disk 1\n    string 1 x\n", 2, "unknown key 'string' in a disk"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        StationDescription out;
        const auto result = sim::ParseStation(c.text, {}, out);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u)
            << result.error;
        EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    }
}

TEST(StationFileTest, MalformedTextIsAnErrorNotACrash) {
    std::ifstream in(kDocs / "sample.station", std::ios::binary);
    const std::string sample((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    ASSERT_GT(sample.size(), 1000u);
    const int lines = static_cast<int>(std::count(sample.begin(), sample.end(), '\n')) + 1;
    // Every cut of the sample, and the sample with a byte changed here and there, either parses
    // or names a line of the text.
    for (std::size_t cut = 0; cut < sample.size(); cut += 29) {
        for (const std::string& text :
             {sample.substr(0, cut), sample.substr(0, cut) + "\"" + sample.substr(cut),
              sample.substr(0, cut) + "x" + sample.substr(cut + 1)}) {
            StationDescription out;
            const auto result = sim::ParseStation(text, kDocs, out);
            if (!result.ok) {
                ASSERT_GE(result.line, 1) << result.error;
                ASSERT_LE(result.line, lines + 1) << result.error;
            }
        }
    }
    std::string deep;
    for (int i = 0; i < 500; ++i)
        deep += std::string(i, ' ') + "controller\n";
    StationDescription out;
    const auto result = sim::ParseStation(deep, {}, out);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("nested too deeply"), std::string::npos);
    EXPECT_FALSE(sim::ParseStation(std::string("disk 1\0 x", 9), {}, out).ok);
}

}  // namespace
