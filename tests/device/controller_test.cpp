// The vendor command against virtual disks: identification and reading a disk into its slots.
#include "device/controller.h"

#include <gtest/gtest.h>

#include <memory>

#include "device/drive.h"
#include "platform/device_io.h"
#include "platform/sim/info_block.h"
#include "station_fixture.h"

namespace {

using device::kSlotCount;
using device::ValueSlots;
using sim::InfoBlock;
using sim::Reply;

const device::SelectionLists& English() {
    return device::SelectionListsFor(device::Language::English);
}

class IdentificationTest : public tavrin_test::StationTest {
  protected:
    bool Supported(std::string_view model, std::deque<Reply> script = {}) {
        auto& disk = station().AddDisk(3);
        disk.SetModel(model);
        disk.script = std::move(script);
        station().AddVolume(u'E', 3, 0);
        const auto handle = device::OpenVolume(u'E');
        const bool supported = device::IsSupportedDisk(handle);
        device::CloseDrive(handle);
        return supported;
    }
};

TEST_F(IdentificationTest, ComparesTheFirstSixBytesFoldingLetters) {
    EXPECT_TRUE(Supported("RV7730"));
    EXPECT_TRUE(Supported("rv7730"));
    EXPECT_TRUE(Supported("Rv7730 USB DISK"));  // only six bytes count
    EXPECT_FALSE(Supported("RV7731"));          // the sixth byte differs
    EXPECT_FALSE(Supported("RV773"));           // a NUL where the sixth byte should be
    EXPECT_FALSE(Supported("XRV7730"));
    EXPECT_FALSE(
        Supported(std::string_view("RV\0"
                                   "7730",
                                   7)));
}

// A device that answered, if only with sense data, is another controller's; one never heard,
// because the call itself failed on every attempt, is told apart, with the system's reason.
TEST_F(IdentificationTest, AnIdentificationNeverHeardIsToldFromARefusal) {
    const auto identify = [this](std::deque<Reply> script) {
        auto& disk = station().AddDisk(3);
        disk.SetModel("RV7730");
        disk.script = std::move(script);
        station().AddVolume(u'E', 3, 0);
        const auto handle = device::OpenVolume(u'E');
        const device::Identity identity = device::Identify(handle);
        device::CloseDrive(handle);
        return identity;
    };
    const Reply sense = Reply::Sense(5, 0x20, 0);
    const Reply transport = Reply::Transport();
    EXPECT_EQ(identify({transport, transport, transport}), device::Identity::Supported);
    EXPECT_EQ(identify({sense, sense, sense, sense}), device::Identity::OtherController);
    EXPECT_EQ(identify({transport, sense, transport, transport}),
              device::Identity::OtherController);
    EXPECT_EQ(identify({transport, transport, transport, transport}),
              device::Identity::NotAnswered);
    EXPECT_EQ(platform::LastDeviceError().code, 1117) << "kept past the close";
    EXPECT_EQ(device::Identify(platform::kInvalidHandle), device::Identity::NotAnswered);
}

TEST_F(IdentificationTest, SendsTheIdentificationCommand) {
    ASSERT_TRUE(Supported("RV7730"));
    const auto& calls = station().Disk(3)->calls;
    ASSERT_EQ(calls.size(), 1u);
    const std::array<std::uint8_t, 16> cdb = {0xA1, 0, 0, 0, 36};
    EXPECT_EQ(calls[0].cdb, cdb);
    EXPECT_EQ(calls[0].dataTransferLength, 36u);
    EXPECT_EQ(calls[0].timeout, 10u);
}

// The station's latency is device time of every answer, on top of a reply's own delay, and the
// time really spent is counted (never less than asked); a reset takes both away.
TEST_F(IdentificationTest, TheStationsLatencyIsSpentOnEveryAnswer) {
    using std::chrono::microseconds;
    station().SetCommandLatency(microseconds(300));
    Reply slow = Reply::Answer();
    slow.delay = std::chrono::milliseconds(1);
    EXPECT_TRUE(Supported("RV7730", {slow}));
    EXPECT_TRUE(Supported("RV7730"));
    EXPECT_GE(station().TakeDeviceTime(), microseconds(2 * 300 + 1000));
    EXPECT_EQ(station().TakeDeviceTime(), microseconds(0)) << "taken";
    EXPECT_EQ(station().CommandLatency(), microseconds(300));
    station().Reset();
    EXPECT_EQ(station().CommandLatency(), microseconds(0));
    EXPECT_TRUE(Supported("RV7730"));
    EXPECT_EQ(station().TakeDeviceTime(), microseconds(0));
}

TEST_F(IdentificationTest, AFailedReadIsUnsupportedAfterFourAttempts) {
    EXPECT_FALSE(Supported("RV7730", std::deque<Reply>(4, Reply::Sense(0x02, 0x3A, 0x00))));
    EXPECT_EQ(station().Disk(3)->calls.size(), 4u);
    EXPECT_EQ(RetryLines(u"r retry 0\n"), 4u);
    EXPECT_TRUE(Supported("RV7730", std::deque<Reply>(3, Reply::Transport())));
}

class DecodeDiskTest : public tavrin_test::StationTest {
  protected:
    sim::VirtualDisk& Disk(const InfoBlock& block, std::uint64_t freeBytes = 4'000'000'000ull) {
        auto& disk = station().AddDisk(2);
        disk.block = block.Bytes();
        station().AddVolume(u'G', 2, freeBytes);
        return disk;
    }

    ValueSlots Sentinel() const {
        ValueSlots slots;
        for (std::size_t i = 0; i < kSlotCount; ++i)
            slots[i] = u"old" + std::u16string(1, u'a' + i);
        return slots;
    }

    ValueSlots Decode(const ValueSlots& before) const {
        ValueSlots slots = before;
        device::DecodeControllerInfo(2, u'G', slots, English());
        EXPECT_EQ(station().OpenHandleCount(), 0u) << "the drive handle must be closed";
        return slots;
    }
};

TEST_F(DecodeDiskTest, OlderLayoutIsOneReadOf512Bytes) {
    auto& disk = Disk(InfoBlock(4).Names("  AB  ", "Flash Disk").WideNames(u"no", u"no"));
    const ValueSlots slots = Decode(ValueSlots{});
    ASSERT_EQ(disk.calls.size(), 1u);
    const std::array<std::uint8_t, 16> cdb = {0xA1, 1, 0, 0x02, 0x00};
    EXPECT_EQ(disk.calls[0].cdb, cdb);
    EXPECT_EQ(station().OpenedPaths().at(0), u"\\\\.\\PHYSICALDRIVE2");
    EXPECT_EQ(slots[device::kSlotVendorName], u"AB");
    EXPECT_EQ(slots[device::kSlotProductName], u"Flash Disk");
    EXPECT_EQ(slots[device::kSlotCapMin], u"3814MB");
}

TEST_F(DecodeDiskTest, NewerLayoutReadsAgainIn1024Bytes) {
    auto& disk =
        Disk(InfoBlock(5).Names("no", "no").WideNames(u" Vendor ", u"Product").Byte(628, 1));
    const ValueSlots slots = Decode(ValueSlots{});
    ASSERT_EQ(disk.calls.size(), 2u);
    EXPECT_EQ(disk.calls[0].dataTransferLength, 512u);
    EXPECT_EQ(disk.calls[1].dataTransferLength, 1024u);
    EXPECT_EQ(disk.calls[1].cdb[3], 0x04);
    EXPECT_EQ(disk.calls[1].cdb[4], 0x00);
    EXPECT_EQ(slots[device::kSlotVendorName], u"Vendor");
    EXPECT_EQ(slots[device::kSlotProductName], u"Product");
    EXPECT_EQ(slots[device::kSlotSleep], u"OFF");
}

TEST_F(DecodeDiskTest, EveryFailureLeavesTheSlotsAsTheyWere) {
    const ValueSlots before = Sentinel();
    // No disk behind the number.
    EXPECT_EQ(Decode(before), before);

    // First read fails on every attempt.
    Disk(InfoBlock(5)).script.assign(4, Reply::Sense(0x03, 0x11, 0x00));
    EXPECT_EQ(Decode(before), before);

    // Wrong magic.
    Disk(InfoBlock(5).U32Le(0, 0xFADB1C8C));
    EXPECT_EQ(Decode(before), before);

    // The second read of a newer-layout block fails.
    std::deque<Reply> script = {Reply::Answer()};
    script.insert(script.end(), 4, Reply::Transport());
    auto& disk = Disk(InfoBlock(5));
    disk.script = script;
    EXPECT_EQ(Decode(before), before);
    EXPECT_EQ(disk.calls.size(), 5u);
    EXPECT_EQ(RetryLines(u"r retry 1\n"), 4u);
}

TEST_F(DecodeDiskTest, AFailedFreeSpaceQueryKeepsOnlyTheCapacitySlots) {
    Disk(InfoBlock(5).Ids(0x1234, 0x5678));
    station().RemoveVolume(u'G');
    const ValueSlots before = Sentinel();
    const ValueSlots slots = Decode(before);
    EXPECT_EQ(slots[device::kSlotCapMin], before[device::kSlotCapMin]);
    EXPECT_EQ(slots[device::kSlotCapMax], before[device::kSlotCapMax]);
    EXPECT_EQ(slots[device::kSlotVid], u"1234");
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        if (i != device::kSlotCapMin && i != device::kSlotCapMax) {
            EXPECT_NE(slots[i], before[i]) << "slot " << i << " must be written";
        }
    }
}

TEST_F(DecodeDiskTest, ARetriedSecondReadStillReadsTheWholeBlock) {
    auto& disk = Disk(InfoBlock(5).Ids(0x1111, 0x2222));
    disk.script = {Reply::Answer(), Reply::Sense(0x06, 0x29, 0x00), Reply::Answer()};
    const ValueSlots slots = Decode(ValueSlots{});
    ASSERT_EQ(disk.calls.size(), 3u);
    EXPECT_EQ(disk.calls[2].dataTransferLength, 1024u);
    EXPECT_EQ(slots[device::kSlotVid], u"1111");
    EXPECT_EQ(RetryLines(u"r retry 0\n"), 1u);
}

// Only a block read and wrong is the disk's own failure; a drive that will not open, or is gone
// after a read that brought no answer, was never read at all. Each outcome says its own reason.
TEST_F(DecodeDiskTest, ADiskGoneBeforeOrDuringItsReadIsToldFromOneReadWrongly) {
    const ValueSlots before = Sentinel();
    const auto decode = [&](device::InfoRead expected, std::u16string_view reason) {
        ValueSlots slots = before;
        // A reason left by an earlier call is never taken for this disk's.
        platform::SetLastDeviceError({5, u"Access is denied."});
        EXPECT_EQ(device::DecodeControllerInfo(2, u'G', slots, English()), expected);
        EXPECT_EQ(slots, before);
        EXPECT_EQ(platform::LastDeviceError().text, reason);
        EXPECT_EQ(station().OpenHandleCount(), 0u);
    };
    const std::u16string pulledDrive = u"\\\\.\\PHYSICALDRIVE2";
    const auto pullAtOpen = [&](int nth) {
        auto opens = std::make_shared<int>(0);
        station().SetOpenHook([this, nth, opens, pulledDrive](std::u16string_view path) {
            if (path == pulledDrive && ++*opens == nth)
                station().RemoveDisk(2);
        });
    };

    // Pulled between the walk and the open: never read.
    Disk(InfoBlock(5));
    pullAtOpen(1);
    decode(device::InfoRead::NotOpened, u"The system cannot find the file specified.");
    EXPECT_EQ(station().Disk(2), nullptr);

    // Pulled during its read: no answer, and the drive is gone after it.
    Disk(InfoBlock(5)).script.assign(4, Reply::Transport());
    pullAtOpen(2);
    decode(device::InfoRead::NotOpened, u"The system cannot find the file specified.");

    // Still there after reads that brought no answer: the disk's failure, with the read's reason.
    station().SetOpenHook({});
    Disk(InfoBlock(5)).script.assign(4, Reply::Transport());
    decode(device::InfoRead::NotRead,
           u"The request could not be performed because of an I/O device error.");
    Reply busy = Reply::Answer();
    busy.scsiStatus = 0x08;
    Disk(InfoBlock(5)).script.assign(4, busy);
    decode(device::InfoRead::NotRead, u"SCSI status 0x08 without sense data");
    Reply empty = Reply::Answer();
    empty.transferred = 0;
    Disk(InfoBlock(5)).script.assign(4, empty);
    decode(device::InfoRead::NotRead, u"nothing transferred");
    Disk(InfoBlock(5)).script.assign(4, Reply::Sense(0x03, 0x11, 0x00));
    decode(device::InfoRead::NotRead, u"refused with sense data");
    Disk(InfoBlock(5).U32Le(0, 0xFADB1C8C));
    decode(device::InfoRead::NotRead, u"wrong magic");
    // The second read of a newer layout, short.
    Reply shortOne = Reply::Answer();
    shortOne.transferred = 1000;
    Disk(InfoBlock(5)).script = {Reply::Answer(), shortOne, shortOne, shortOne, shortOne};
    decode(device::InfoRead::NotRead, u"short transfer: 1000 of 1024 bytes");

    ValueSlots slots = before;
    Disk(InfoBlock(5));
    EXPECT_EQ(device::DecodeControllerInfo(2, u'G', slots, English()), device::InfoRead::Done);
    EXPECT_NE(slots, before);
}

}  // namespace
