// The fault injector of the virtual station: an armed call fails as its real counterpart does
// (invalid handle, false, 0, the fallback of a profile read), counts as one call, and names its
// kind; the same call unarmed succeeds.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/log_file.h"
#include "platform/profile.h"
#include "platform/sim/faults.h"
#include "platform/sim/station.h"
#include "platform/text.h"
#include "platform/usb_io.h"
#include "tests/support/program_folder.h"

namespace {

using namespace platform;
using sim::FaultCall;

class SimFaultsTest : public ::testing::Test, protected testsupport::ProgramFolder {
  protected:
    SimFaultsTest() : ProgramFolder("sim-faults") {}
    void SetUp() override {
        sim::Station::Get().Reset();
        sim::UsbMachine machine;
        machine.controllers.push_back(sim::Controller(2));
        machine.controllers[0].rootHub.ports[0] = sim::UsbPort::With(sim::FlashDisk(1, u'E'));
        sim::Station::Get().Usb().SetMachine(std::move(machine));
    }
    void TearDown() override { sim::Station::Get().Reset(); }
};

TEST_F(SimFaultsTest, AnArmedCallFailsAsTheRealOneDoes) {
    const std::u16string ini = u"C:\\Tools\\Tavrin\\a.ini";
    WriteFile(ini, "[S]\r\nk=7\r\n");
    // What the calls below need, made unarmed.
    const DeviceInfoSet set = GetClassDevices(kGuidDisk);
    DeviceInterfaceData data{};
    ASSERT_TRUE(EnumDeviceInterface(set, kGuidDisk, 0, &data));
    std::uint32_t size = 0;
    ASSERT_TRUE(GetDeviceInterfaceDetailSize(set, &data, &size));
    char16_t path[260] = {};
    DevInst node = 0;
    ASSERT_TRUE(GetDeviceInterfaceDetail(set, &data, size, path, &node));
    std::u16string classKey = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";
    classKey += sim::Station::Get().Usb().Machine().controllers[0].driverKey;
    RegKey key = 0;
    ASSERT_TRUE(OpenMachineKey(classKey.c_str(), &key));
    char16_t volume[64] = {};
    ASSERT_TRUE(VolumeNameForMountPoint(u"E:\\", volume));
    std::uint64_t logSize = 0;
    bool held = false;
    const LogFile log = OpenLogFile(u"C:\\Tools\\Tavrin\\log.csv", &logSize, &held);
    ASSERT_NE(log, kNoLogFile);

    std::vector<std::uint8_t> bytes(512);
    std::uint32_t length = 0;
    std::uint64_t free = 0;
    DevInst parent = 0;
    char16_t strings[200] = {};
    char16_t paths[64] = {};
    const auto handle = [](Handle h) {
        const bool valid = h != kInvalidHandle;
        if (valid)
            CloseDevice(h);
        return valid ? "handle" : "invalid";
    };
    const auto truth = [](bool ok) -> std::string { return ok ? "true" : "false"; };
    struct Case {
        FaultCall kind;
        std::function<std::string()> call;
        std::string failure;
    };
    const std::vector<Case> cases = {
        {FaultCall::Open, [&] { return handle(OpenDeviceFile(u"\\\\.\\PHYSICALDRIVE1")); },
         "invalid"},
        {FaultCall::Open, [&] { return handle(OpenDeviceWith(path, kNoAccess, kShareRead)); },
         "invalid"},
        {FaultCall::FreeBytes,
         [&] {
             free = 0;
             return truth(DiskFreeBytesAvailable(u"E:\\", &free)) + std::to_string(free);
         },
         "false0"},
        {FaultCall::LogicalDrives,
         [&] { return std::to_string(LogicalDriveStrings(200, strings)); }, "0"},
        {FaultCall::ClassDevices,
         [&] {
             const DeviceInfoSet s = GetClassDevices(kGuidVolume);
             DestroyDeviceInfoList(s);
             return std::string(s == kInvalidHandle ? "invalid" : "set");
         },
         "invalid"},
        {FaultCall::EnumInterface,
         [&] { return truth(EnumDeviceInterface(set, kGuidDisk, 0, &data)); }, "false"},
        {FaultCall::DetailSize,
         [&] { return truth(GetDeviceInterfaceDetailSize(set, &data, &size)); }, "false"},
        {FaultCall::Detail,
         [&] { return truth(GetDeviceInterfaceDetail(set, &data, size, path, &node)); }, "false"},
        {FaultCall::Parent, [&] { return truth(GetParentDevInst(node, &parent)); }, "false"},
        {FaultCall::DriverProperty,
         [&] { return truth(GetDevNodeDriverProperty(node, bytes, &length)); }, "false"},
        {FaultCall::OpenKey,
         [&] {
             RegKey k = 0;
             const bool ok = OpenMachineKey(classKey.c_str(), &k);
             if (ok)
                 CloseRegistryKey(k);
             return truth(ok);
         },
         "false"},
        {FaultCall::QueryValue,
         [&] { return truth(QueryRegistryValue(key, u"DriverDesc", bytes, &length)); }, "false"},
        {FaultCall::VolumeName, [&] { return truth(VolumeNameForMountPoint(u"E:\\", volume)); },
         "false"},
        {FaultCall::PathNames, [&] { return truth(VolumePathNames(volume, paths, &length)); },
         "false"},
        {FaultCall::DriveType, [&] { return std::to_string(DriveType(u"E:\\")); },
         std::to_string(kDriveUnknown)},
        {FaultCall::ProfileRead, [&] { return std::to_string(GetProfileInt(u"S", u"k", 3, ini)); },
         "3"},
        {FaultCall::ProfileRead,
         [&] { return ToUtf8(GetProfileString(u"S", u"k", u"fallback", 5, ini)); }, "fall"},
        {FaultCall::ProfileWrite,
         [&] {
             WriteFile(ini, "[S]\r\nk=7\r\n");
             return truth(WriteProfileString(u"S", u"k", u"8", ini)) + ReadFile(ini);
         },
         "false[S]\r\nk=7\r\n"},
        {FaultCall::CreateFile,
         [&] {
             const bool ok = CreateEmptyFile(u"C:\\Tools\\Tavrin\\b.pfg");
             const bool made = Exists(u"C:\\Tools\\Tavrin\\b.pfg");
             std::filesystem::remove(Host(u"C:\\Tools\\Tavrin\\b.pfg"));
             return truth(ok) + truth(made);
         },
         "falsefalse"},
        {FaultCall::ProfileFlush, [&] { return truth(FlushProfileFile(ini)); }, "false"},
        {FaultCall::MoveFile,
         [&] {
             const std::u16string next = u"C:\\Tools\\Tavrin\\a.ini.new";
             WriteFile(next, "[S]\r\nk=8\r\n");
             const bool moved = MoveFileReplacing(next, ini);
             const bool left = Exists(next);
             std::filesystem::remove(Host(next));
             WriteFile(ini, "[S]\r\nk=7\r\n");
             return truth(moved) + truth(left);
         },
         "falsetrue"},
        {FaultCall::DeleteFile,
         [&] {
             const std::u16string gone = u"C:\\Tools\\Tavrin\\gone.ini";
             WriteFile(gone, "");
             const bool removed = RemoveFile(gone);
             const bool left = Exists(gone);
             std::filesystem::remove(Host(gone));
             return truth(removed) + truth(left);
         },
         "falsetrue"},
        {FaultCall::LogOpen,
         [&] {
             std::uint64_t size = 0;
             bool held = false;
             const LogFile file = OpenLogFile(u"C:\\Tools\\Tavrin\\b.csv", &size, &held);
             if (file != kNoLogFile)
                 CloseLogFile(file);
             const bool made = Exists(u"C:\\Tools\\Tavrin\\b.csv");
             std::filesystem::remove(Host(u"C:\\Tools\\Tavrin\\b.csv"));
             return truth(file != kNoLogFile) + truth(made);
         },
         "falsefalse"},
        {FaultCall::LogWrite, [&] { return truth(WriteLogFile(log, "line\r\n")); }, "false"},
        {FaultCall::LogFlush, [&] { return truth(FlushLogFile(log)); }, "false"},
        {FaultCall::LogCut, [&] { return truth(CutLogFile(log, 0)); }, "false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(sim::FaultCallName(c.kind)));
        sim::Faults::Reset();
        EXPECT_NE(c.call(), c.failure) << "unarmed";
        EXPECT_EQ(sim::Faults::Calls(), 1u);
        EXPECT_FALSE(sim::Faults::FirstFailed());
        sim::Faults::Reset();
        sim::Faults::Arm(1);
        EXPECT_EQ(c.call(), c.failure);
        EXPECT_EQ(sim::Faults::Calls(), 1u);
        EXPECT_EQ(sim::Faults::FirstFailed(), c.kind);
    }
    CloseLogFile(log);
    CloseRegistryKey(key);
    DestroyDeviceInfoList(set);
    EXPECT_EQ(sim::Station::Get().OpenHandleCount(), 0u);
    EXPECT_EQ(sim::Station::Get().Usb().OpenSetCount(), 0u);
    EXPECT_EQ(sim::Station::Get().Usb().OpenKeyCount(), 0u);
}

TEST_F(SimFaultsTest, TheNthCallFromNowFailsAndOnlyIt) {
    char16_t strings[200] = {};
    sim::Faults::Reset();
    EXPECT_NE(LogicalDriveStrings(200, strings), 0u);
    sim::Faults::Arm(3);  // counted from the call after the one already made
    std::vector<std::uint32_t> answers;
    for (int i = 0; i < 5; ++i)
        answers.push_back(LogicalDriveStrings(200, strings));
    EXPECT_EQ(answers[2], 0u);
    for (int i : {0, 1, 3, 4})
        EXPECT_NE(answers[static_cast<std::size_t>(i)], 0u) << i;
    EXPECT_EQ(sim::Faults::Calls(), 6u);
    sim::Faults::Arm(0);
    EXPECT_NE(LogicalDriveStrings(200, strings), 0u);
    EXPECT_EQ(sim::Faults::FirstFailed(), FaultCall::LogicalDrives);
    sim::Station::Get().Reset();
    EXPECT_EQ(sim::Faults::Calls(), 0u);
    EXPECT_FALSE(sim::Faults::FirstFailed());
}

}  // namespace
