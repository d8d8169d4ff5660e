#include "device/scsi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "device/drive.h"
#include "platform/scsi_pass_through.h"
#include "platform/text.h"
#include "station_fixture.h"

namespace {

using device::ScsiDataIn;
using device::SenseCode;
using platform::kInvalidHandle;
using platform::kNullHandle;
using sim::Reply;

constexpr std::uint8_t kIdentify[16] = {0xA1, 0, 0, 0, 36};

class ScsiDataInTest : public tavrin_test::StationTest {
  protected:
    void SetUp() override {
        StationTest::SetUp();
        disk = &station().AddDisk(1);
        handle = device::OpenPhysicalDrive(1);
        ASSERT_NE(handle, kInvalidHandle);
    }
    void TearDown() override {
        device::CloseDrive(handle);
        StationTest::TearDown();
    }

    sim::VirtualDisk* disk = nullptr;
    platform::Handle handle = kInvalidHandle;
};

TEST(SenseCodeTest, CondensesFixedAndDescriptorFormatsFromEnoughBytes) {
    struct Case {
        std::vector<std::uint8_t> sense;
        std::optional<std::uint32_t> expected;
    };
    const std::vector<Case> cases = {
        {{0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x01}, 0x052401},
        {{0x71, 0, 0xF3, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x00}, 0x031100},  // key: low 4 bits
        {{0x70, 0, 0x00, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x00}, 0x002900},
        {{0x70, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
        // Descriptor format: key, ASC and ASCQ in bytes 1 to 3; bytes 2, 12, 13 mean nothing.
        {{0x72, 0x03, 0x11, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x031100},
        {{0x73, 0x06, 0x29, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x062901},
        {{0xF2, 0x04, 0x44, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x044400},  // valid bit set
        {{0x72, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x55, 0x66}, 0},
        // Each format needs the bytes it reads: 4 for descriptors, 14 for the fixed offsets.
        {{0x72, 0x03, 0x11, 0x00}, 0x031100},
        {{0x72, 0x03, 0x11}, std::nullopt},
        {{0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24}, std::nullopt},
        {{0x70, 0, 0, 0}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SenseCode(c.sense), c.expected)
            << c.sense.size() << " bytes, response code " << (c.sense.empty() ? -1 : c.sense[0]);
    }
}

TEST_F(ScsiDataInTest, LaysOutTheRequestBuffer) {
    std::uint8_t cdb[16] = {0xA1, 1, 0, 2, 0, 9, 9};
    std::vector<std::uint8_t> out(512);
    ASSERT_TRUE(ScsiDataIn(handle, cdb, out, 0x10A, 4));
    ASSERT_EQ(disk->calls.size(), 1u);
    const auto& call = disk->calls[0];
    EXPECT_EQ(call.ioctl, 0x4D004u);
    EXPECT_EQ(call.inSize, sizeof(platform::ScsiRequest));  // the full buffer, every attempt
    EXPECT_EQ(call.outSize, platform::kScsiDataOffset + 512);
    EXPECT_EQ(call.length, sizeof(platform::ScsiPassThroughHeader));
    EXPECT_EQ(call.cdbLength, 16);
    EXPECT_EQ(call.senseInfoLength, 24);
    EXPECT_EQ(call.dataIn, 1);
    EXPECT_EQ(call.dataTransferLength, 512u);
    EXPECT_EQ(call.timeout, 0x0Au);  // low 8 bits of the timeout
    EXPECT_EQ(call.dataBufferOffset, platform::kScsiDataOffset);
    EXPECT_EQ(call.senseInfoOffset, platform::kScsiSenseOffset);
    EXPECT_TRUE(std::equal(cdb, cdb + 16, call.cdb.begin()));
    // The layout follows the platform structure: 48 and 80 on x86, further on x64.
    EXPECT_EQ(platform::kScsiSenseOffset, sizeof(platform::ScsiPassThroughHeader) + 4);
    EXPECT_EQ(platform::kScsiDataOffset, platform::kScsiSenseOffset + 32);
}

TEST_F(ScsiDataInTest, ZeroAttemptsMeansOne) {
    disk->script = {Reply::Transport(), Reply::Transport()};
    std::uint8_t out[36];
    EXPECT_FALSE(ScsiDataIn(handle, kIdentify, out, 10, 0));
    EXPECT_EQ(disk->calls.size(), 1u);
    EXPECT_EQ(station().DebugLines(), std::vector<std::u16string>{u"r retry 1\n"});
}

TEST_F(ScsiDataInTest, EveryFailedAttemptWritesItsRetryLine) {
    struct Case {
        Reply reply;
        std::u16string line;
    };
    const Case cases[] = {
        {Reply::Sense(0x03, 0x11, 0x00), u"r retry 0\n"},
        {Reply::Sense(0x03, 0x11, 0x00, true), u"r retry 0\n"},
        {Reply::Transport(), u"r retry 1\n"},
    };
    for (const auto& c : cases) {
        station().ClearDebugLines();
        disk->calls.clear();
        disk->script.assign(6, c.reply);
        std::uint8_t out[40];
        std::fill(std::begin(out), std::end(out), 0xEE);
        EXPECT_FALSE(ScsiDataIn(handle, kIdentify, std::span(out, 36), 10, 4));
        EXPECT_EQ(disk->calls.size(), 4u);
        EXPECT_EQ(station().DebugLines(), std::vector<std::u16string>(4, c.line));
        EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](auto b) { return b == 0xEE; }))
            << "a failed command must leave the caller's buffer untouched";
    }
}

TEST_F(ScsiDataInTest, SucceedsOnALaterAttemptFromARebuiltRequest) {
    disk->script = {Reply::Sense(0x06, 0x29, 0x00), Reply::Transport(), Reply::Answer()};
    std::uint8_t out[36] = {};
    EXPECT_TRUE(ScsiDataIn(handle, kIdentify, out, 10, 4));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), "RV7730");
    ASSERT_EQ(disk->calls.size(), 3u);
    EXPECT_EQ(station().DebugLines(),
              (std::vector<std::u16string>{u"r retry 0\n", u"r retry 1\n"}));
    // The failed attempt shrank the transfer length and left sense data; neither carries over.
    for (const auto& call : disk->calls) {
        EXPECT_EQ(call.dataTransferLength, 36u);
        EXPECT_TRUE(call.senseAreaClear);
    }
}

TEST_F(ScsiDataInTest, SuccessRestsOnTheCallTheStatusAndTheSenseCode) {
    // A status other than GOOD without sense data is a failed call, not an answer of zeros.
    for (std::uint8_t status : {0x02, 0x08, 0x18, 0x28}) {
        Reply busy = Reply::Answer();
        busy.scsiStatus = status;
        disk->script = {busy};
        station().ClearDebugLines();
        std::uint8_t out[36];
        std::fill(std::begin(out), std::end(out), 0xEE);
        EXPECT_FALSE(ScsiDataIn(handle, kIdentify, out, 10, 1)) << int{status};
        EXPECT_EQ(station().DebugLines(), std::vector<std::u16string>{u"r retry 1\n"});
        EXPECT_EQ(std::count(std::begin(out), std::end(out), 0xEE), 36);
    }
    disk->script = {Reply::Answer()};
    std::uint8_t out[36];
    EXPECT_TRUE(ScsiDataIn(handle, kIdentify, out, 10, 1));

    // Sense key 0 (NO SENSE) with an additional sense code is still an error.
    disk->script = {Reply::Sense(0x00, 0x29, 0x00)};
    EXPECT_FALSE(ScsiDataIn(handle, kIdentify, out, 10, 1));
    disk->script = {Reply::Sense(0x00, 0x00, 0x01, true)};
    EXPECT_FALSE(ScsiDataIn(handle, kIdentify, out, 10, 1));
}

// A call the system took as done that holds no answer failed, and says why: the reason is this
// call's, never an earlier one's, and the buffer is untouched.
TEST_F(ScsiDataInTest, ACallWithoutAnAnswerSaysWhy) {
    disk->block.fill(0x5A);
    const auto failed = [&](Reply reply, std::size_t size) {
        disk->script = {reply};
        station().DenyOpen(u"\\\\.\\PHYSICALDRIVE9");
        EXPECT_EQ(device::OpenPhysicalDrive(9), kInvalidHandle);
        EXPECT_EQ(platform::LastDeviceError().text, u"Access is denied.");
        std::vector<std::uint8_t> out(size, 0xEE);
        const std::uint8_t cdb[16] = {0xA1, static_cast<std::uint8_t>(size == 36 ? 0 : 1), 0,
                                      static_cast<std::uint8_t>(size >> 8),
                                      static_cast<std::uint8_t>(size & 0xFF)};
        EXPECT_EQ(device::ScsiDataInResult(handle, cdb, out, 10, 1), device::ScsiResult::NotSent);
        EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), static_cast<std::ptrdiff_t>(size));
        return platform::LastDeviceError().text;
    };
    Reply status = Reply::Answer();
    status.scsiStatus = 0x08;
    EXPECT_EQ(failed(status, 36), u"SCSI status 0x08 without sense data");
    status.scsiStatus = 0x28;
    EXPECT_EQ(failed(status, 512), u"SCSI status 0x28 without sense data");
    Reply none = Reply::Answer();
    none.transferred = 0;
    EXPECT_EQ(failed(none, 512), u"nothing transferred");
    Reply few = Reply::Answer();
    few.transferred = 12;
    EXPECT_EQ(failed(few, 512), u"short transfer: 12 of 512 bytes");
    few.transferred = 511;
    EXPECT_EQ(failed(few, 512), u"short transfer: 511 of 512 bytes");

    // Never sent: a reason all the same.
    std::uint8_t out[36];
    EXPECT_FALSE(ScsiDataIn(kInvalidHandle, kIdentify, out, 10, 1));
    EXPECT_EQ(platform::LastDeviceError().text, u"no open device");
}

TEST_F(ScsiDataInTest, CopiesExactlyTheDataLength) {
    disk->block.fill(0x5A);
    for (std::uint32_t reported : {0u, 7u, 100000u}) {
        Reply r = Reply::Answer();
        r.reportedBytes = reported;
        disk->script = {r};
        std::vector<std::uint8_t> out(600, 0xEE);
        std::uint8_t cdb[16] = {0xA1, 1, 0, 2, 0};
        ASSERT_TRUE(ScsiDataIn(handle, cdb, std::span(out.data(), 512), 10, 1));
        EXPECT_EQ(std::count(out.begin(), out.begin() + 512, 0x5A), 512);
        EXPECT_EQ(std::count(out.begin() + 512, out.end(), 0xEE), 88) << reported;
    }
    // A shorter command after them finds the whole buffer zero again, their replies gone.
    std::uint8_t out[36];
    ASSERT_TRUE(ScsiDataIn(handle, kIdentify, out, 10, 1));
    ASSERT_EQ(disk->calls.size(), 4u);
    for (const auto& call : disk->calls)
        EXPECT_TRUE(call.restClear);
}

// The disk's look at what a request leaves past its header finds a stray byte anywhere in it, on
// any page, the last byte too: the probe the tests above rely on.
TEST_F(ScsiDataInTest, TheVirtualDiskSeesAByteLeftAnywherePastTheHeader) {
    constexpr std::size_t kHeader = sizeof(platform::ScsiPassThroughHeader);
    constexpr std::size_t kRest = 3 * 4096 + 17;
    constexpr std::size_t kNone = kRest;
    for (const std::size_t at : {kNone, std::size_t{0}, std::size_t{4095}, std::size_t{4096},
                                 std::size_t{2 * 4096 + 5}, kRest - 1}) {
        std::vector<std::uint8_t> buffer(kHeader + kRest, 0);
        platform::ScsiPassThroughHeader header{};
        header.Length = sizeof header;
        header.CdbLength = 6;
        std::memcpy(buffer.data(), &header, sizeof header);
        if (at != kNone)
            buffer[kHeader + at] = 1;
        std::uint32_t returned = 0;
        disk->calls.clear();
        platform::DeviceControl(handle, platform::kIoctlScsiPassThrough, buffer.data(),
                                static_cast<std::uint32_t>(buffer.size()), buffer.data(),
                                static_cast<std::uint32_t>(buffer.size()), &returned);
        ASSERT_EQ(disk->calls.size(), 1u) << at;
        EXPECT_EQ(disk->calls[0].restClear, at == kNone) << at;
    }
}

TEST_F(ScsiDataInTest, RefusesWhatItCannotSendWithoutTouchingTheDevice) {
    std::uint8_t out[36];
    EXPECT_FALSE(ScsiDataIn(kNullHandle, kIdentify, out, 10, 4));
    EXPECT_FALSE(ScsiDataIn(kInvalidHandle, kIdentify, out, 10, 4));
    EXPECT_FALSE(ScsiDataIn(handle, {}, out, 10, 4));
    std::uint8_t longCdb[17] = {0xA1};
    EXPECT_FALSE(ScsiDataIn(handle, longCdb, out, 10, 4));
    std::vector<std::uint8_t> big(platform::kScsiDataAreaSize + 1);
    EXPECT_FALSE(ScsiDataIn(handle, kIdentify, big, 10, 4));
    EXPECT_TRUE(disk->calls.empty());
    EXPECT_TRUE(station().DebugLines().empty());

    // No data phase: an empty buffer.
    EXPECT_TRUE(ScsiDataIn(handle, kIdentify, {}, 10, 4));
    EXPECT_EQ(disk->calls.size(), 1u);
}

TEST_F(ScsiDataInTest, TheVirtualControllerAnswersItsOwnCommandOnly) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> cdb;
        bool answered;
        std::size_t modelBytes;  // of "RV7730" that arrive; the rest of the buffer is 0
    };
    const Case cases[] = {
        {"identification", {0xA1, 0, 0, 0, 36}, true, 6},
        {"fewer bytes asked than the data phase takes", {0xA1, 0, 0, 0, 4}, false, 0},
        {"another opcode", {0x12, 0, 0, 0, 36}, false, 0},
        {"an unknown sub-code", {0xA1, 2, 0, 0, 36}, false, 0},
        {"a CDB too short to ask a length", {0xA1, 0, 0, 0}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        station().ClearDebugLines();
        std::vector<std::uint8_t> out(36, 0xEE);
        EXPECT_EQ(ScsiDataIn(handle, c.cdb, out, 10, 1), c.answered);
        if (c.answered) {
            EXPECT_EQ(std::string(out.begin(), out.begin() + c.modelBytes),
                      std::string("RV7730").substr(0, c.modelBytes));
            EXPECT_TRUE(
                std::all_of(out.begin() + c.modelBytes, out.end(), [](auto b) { return b == 0; }));
        } else if (c.cdb.size() == 5 && c.cdb[0] == 0xA1 && c.cdb[1] == 0) {
            // Four bytes came for a data phase of 36: a short transfer, no answer of zeros.
            EXPECT_EQ(station().DebugLines(), std::vector<std::u16string>{u"r retry 1\n"});
            EXPECT_EQ(platform::LastDeviceError().text, u"short transfer: 4 of 36 bytes");
            EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), 36);
        } else {
            EXPECT_EQ(station().DebugLines(), std::vector<std::u16string>{u"r retry 0\n"})
                << "refused with sense data";
        }
    }
}

TEST_F(ScsiDataInTest, TheWholeDataAreaCanBeAskedFor) {
    std::vector<std::uint8_t> out(platform::kScsiDataAreaSize);
    // The identification sends its 36 bytes: asked for all of the area, a short transfer.
    EXPECT_FALSE(ScsiDataIn(handle, kIdentify, out, 10, 1));
    EXPECT_EQ(disk->calls.at(0).outSize, platform::kScsiDataOffset + out.size());
    EXPECT_EQ(platform::LastDeviceError().text,
              u"short transfer: 36 of " +
                  platform::DecimalText(static_cast<long long>(platform::kScsiDataAreaSize)) +
                  u" bytes");
}

TEST_F(ScsiDataInTest, RunsOnTwoThreadsAtOnce) {
    station().AddDisk(2).script.assign(50, Reply::Sense(0x02, 0x04, 0x00));
    const platform::Handle second = device::OpenPhysicalDrive(2);
    int ok = 0;
    int failed = 0;
    std::thread a([&] {
        std::uint8_t out[36];
        for (int i = 0; i < 50; ++i)
            ok += ScsiDataIn(handle, kIdentify, out, 10, 1);
    });
    std::thread b([&] {
        std::uint8_t out[36];
        for (int i = 0; i < 50; ++i)
            failed += !ScsiDataIn(second, kIdentify, out, 10, 1);
    });
    a.join();
    b.join();
    device::CloseDrive(second);
    EXPECT_EQ(ok, 50);
    EXPECT_EQ(failed, 50);
    EXPECT_EQ(RetryLines(u"r retry 0\n"), 50u);
}

}  // namespace
