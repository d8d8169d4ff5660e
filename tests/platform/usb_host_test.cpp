// The wrapper both described machines answer through (the virtual station's and Linux's): what it
// hands the engine, what it asks of its backend, and the handles it owns.
#include <array>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "platform/usb_host.h"
#include "platform/usb_requests.h"

namespace {

using namespace platform;
using usb_model::Host;
using usb_model::UsbCall;

// A backend that records what the wrapper asks of it.
struct RecordingSide final : Host::Side {
    bool Fails(UsbCall call) override { return call == failing; }
    void Prepare(usb_model::Engine&, const Guid* walk) override {
        prepared.push_back(walk == nullptr ? "-" : *walk == kGuidDisk ? "disk" : "other");
    }
    std::uint32_t OtherDriveType(std::u16string_view root) override {
        otherRoots.emplace_back(root);
        return kDriveRemote;
    }
    void Requested(std::u16string_view, std::uint32_t, std::span<const std::uint8_t> input,
                   std::uint32_t) override {
        inputs.emplace_back(input.begin(), input.end());
    }

    std::optional<UsbCall> failing;
    std::vector<std::string> prepared;
    std::vector<std::u16string> otherRoots;
    std::vector<std::vector<std::uint8_t>> inputs;
};

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        usb_model::UsbMachine machine;
        machine.controllers.push_back(usb_model::Controller(2));
        machine.controllers[0].rootHub.ports[0] =
            usb_model::UsbPort::With(usb_model::FlashDisk(1, u'E'));
        std::lock_guard lock(mutex);
        host.engine().Install(std::move(machine));
        hubPath = u"\\\\.\\" + host.engine().Machine().controllers[0].rootHub.symbolicName;
    }

    std::mutex mutex;
    RecordingSide side;
    Host host{mutex, side};
    std::u16string hubPath;
};

TEST_F(HostTest, ABufferSentBothWaysIsReadForItsInputBytesAloneBeforeTheReplyIsWritten) {
    const Handle hub = host.OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareRead);
    ASSERT_NE(hub, kInvalidHandle);
    ASSERT_TRUE(Host::Owns(hub));
    std::array<std::uint8_t, kUsbNodeConnectionInformationSize> buffer;
    buffer.fill(0xEE);
    ByteWriter(buffer).At(kUsbConnectionIndexOffset).U32Le(1);
    std::uint32_t returned = 0;
    ASSERT_TRUE(host.Control(hub, kIoctlUsbGetNodeConnectionInformation, buffer.data(), 4,
                             buffer.data(), static_cast<std::uint32_t>(buffer.size()), &returned));
    // The engine was given the four bytes sent, not the rest of the buffer.
    ASSERT_EQ(side.inputs.size(), 1u);
    EXPECT_EQ(side.inputs[0], (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_GT(returned, kUsbIdProductOffset + 2u);
    EXPECT_EQ(ByteReader(buffer).At(kUsbIdVendorOffset).U16Le(), 0x1F75);

    // A handle on what was unplugged fails before the engine is asked; closing it still works.
    {
        std::lock_guard lock(mutex);
        host.DropLocked("c0");
    }
    EXPECT_FALSE(host.Control(hub, kIoctlUsbGetNodeConnectionInformation, buffer.data(), 4,
                              buffer.data(), static_cast<std::uint32_t>(buffer.size()), &returned));
    EXPECT_EQ(side.inputs.size(), 1u);
    EXPECT_TRUE(host.Close(hub));
    EXPECT_FALSE(host.Close(hub));
    EXPECT_EQ(host.OpenDeviceWith(u"\\\\.\\NOSUCHHUB", kNoAccess, kShareRead), kInvalidHandle);
}

TEST_F(HostTest, TheBackendIsAskedForAFaultFirstAndToReadTheMachineOnlyWhereACallLooksAfresh) {
    const DeviceInfoSet set = host.GetClassDevices(kGuidDisk);
    DeviceInterfaceData data{};
    EXPECT_TRUE(host.EnumDeviceInterface(set, kGuidDisk, 0, &data));
    host.DestroyDeviceInfoList(set);
    EXPECT_EQ(host.DriveType(u"E:"), kDriveRemovable);  // "E:" is "E:\"
    EXPECT_EQ(host.DriveType(u"Z:\\"), kDriveRemote);   // the backend's, for a root not described
    EXPECT_EQ(side.prepared, (std::vector<std::string>{"disk", "-", "-"}));
    EXPECT_EQ(side.otherRoots, (std::vector<std::u16string>{u"Z:\\"}));

    side.prepared.clear();
    side.failing = UsbCall::DriveType;
    EXPECT_EQ(host.DriveType(u"E:\\"), kDriveUnknown);
    side.failing = UsbCall::ClassDevices;
    EXPECT_EQ(host.GetClassDevices(kGuidDisk), kInvalidHandle);
    side.failing = UsbCall::Open;
    EXPECT_EQ(host.OpenDeviceWith(hubPath.c_str(), kNoAccess, kShareRead), kInvalidHandle);
    EXPECT_TRUE(side.prepared.empty());
    EXPECT_EQ(host.SystemDefaultLangId(), 0x0409);
}

}  // namespace
