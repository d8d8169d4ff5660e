#include "tests/kernel/flash_disk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/bytes.h"
#include "tests/kernel/usb_descriptors.h"

namespace {

using kernel_test::BulkIn;
using kernel_test::FlashDisk;

sim::ControllerAnswers DiskOf(const std::string& station) {
    sim::StationDescription description;
    const auto result = sim::ParseStation(station, ".", description);
    EXPECT_TRUE(result.ok) << result.error;
    return description.answers[1];
}

struct Csw {
    std::uint32_t signature = 0, tag = 0, residue = 0;
    std::uint8_t status = 0xFF;
};

class FlashDiskTest : public ::testing::Test {
  protected:
    void Make(const std::string& station, std::size_t sectors = 64) {
        disk = std::make_unique<FlashDisk>(DiskOf(station),
                                           std::vector<std::uint8_t>(sectors * 512, 0xE5),
                                           [this](auto delay) { delays.push_back(delay); });
    }

    // One command through the three phases of the bulk-only transport.
    Csw Command(std::vector<std::uint8_t> cdb, std::uint32_t length, bool in,
                std::vector<std::uint8_t>* data = nullptr,
                const std::vector<std::uint8_t>& out = {}) {
        std::vector<std::uint8_t> cbw(31);
        platform::ByteWriter(cbw)
            .U32Le(0x43425355)
            .U32Le(++tag)
            .U32Le(length)
            .U8(in ? 0x80 : 0)
            .U8(0)
            .U8(static_cast<std::uint8_t>(cdb.size()))
            .Bytes(cdb);
        EXPECT_TRUE(disk->BulkOut(cbw));
        stalled = false;
        if (length > 0 && in) {
            const BulkIn got = disk->BulkInTransfer(length);
            stalled = got.stall;
            if (data != nullptr)
                *data = got.bytes;
        } else if (length > 0) {
            EXPECT_TRUE(disk->BulkOut(out));
        }
        const BulkIn status = disk->BulkInTransfer(512);
        EXPECT_EQ(status.bytes.size(), kernel_test::kCswSize);
        platform::ByteReader r(status.bytes);
        Csw csw{r.U32Le(), r.U32Le(), r.U32Le(), r.U8()};
        EXPECT_EQ(csw.signature, 0x53425355u);
        EXPECT_EQ(csw.tag, tag);
        return csw;
    }

    std::vector<std::uint8_t> Sense() {
        std::vector<std::uint8_t> sense;
        EXPECT_EQ(Command({0x03, 0, 0, 0, 18, 0}, 18, true, &sense).status, 0);
        return sense;
    }

    std::unique_ptr<FlashDisk> disk;
    std::vector<std::chrono::milliseconds> delays;
    std::uint32_t tag = 0x100;
    bool stalled = false;
};

const std::vector<std::uint8_t> kIdentify = {0xA1, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kBlock = {0xA1, 1, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST_F(FlashDiskTest, AnswersTheVendorCommandFromItsStationLines) {
    Make("disk 1\n    model RV7730-K\n    block\n        vid 1234\n        vendor Tavrin\n");
    std::vector<std::uint8_t> data;
    Csw csw = Command(kIdentify, 36, true, &data);
    EXPECT_EQ(csw.status, 0);
    EXPECT_EQ(csw.residue, 0u);
    ASSERT_EQ(data.size(), 36u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 8), "RV7730-K");

    csw = Command(kBlock, 1024, true, &data);
    EXPECT_EQ(csw.status, 0);
    ASSERT_EQ(data.size(), 1024u);
    platform::ByteReader block(data);
    EXPECT_EQ(block.U32Le(), 0xFADB1C8Bu);
    EXPECT_EQ(block.At(42).U16Le(), 0x1234);
    EXPECT_EQ(disk->VendorCommands(), 2);

    // A shorter transfer than the command asks for: the wrapper's length wins.
    csw = Command(kBlock, 512, true, &data);
    EXPECT_EQ(data.size(), 512u);
    EXPECT_EQ(csw.residue, 0u);
}

TEST_F(FlashDiskTest, ScriptedSenseErrorsFailThatManyCommandsThenItAnswers) {
    Make(
        "disk 1\n    block sample\n    reply sense 02 3A 00 delay 250ms times 2\n"
        "    reply sense 05 24 00 descriptor\n");
    for (int i = 0; i < 2; ++i) {
        const Csw csw = Command(kIdentify, 36, true);
        EXPECT_TRUE(stalled);  // no data: the data phase ends in a stall
        EXPECT_EQ(csw.status, 1);
        EXPECT_EQ(csw.residue, 36u);
        const auto sense = Sense();
        ASSERT_GE(sense.size(), 14u);
        EXPECT_EQ(sense[0], 0x70);
        EXPECT_EQ(sense[2], 0x02);
        EXPECT_EQ(sense[12], 0x3A);
        EXPECT_EQ(sense[13], 0x00);
    }
    EXPECT_EQ(delays, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(250),
                                                              std::chrono::milliseconds(250)}));
    EXPECT_EQ(Command(kIdentify, 36, true).status, 1);
    EXPECT_EQ(Sense(), (std::vector<std::uint8_t>{0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}));
    // The sense was reported once: asked again, there is none.
    EXPECT_EQ(Sense()[2], 0);

    std::vector<std::uint8_t> data;
    EXPECT_EQ(Command(kIdentify, 36, true, &data).status, 0);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 6), "RV7730");
}

TEST_F(FlashDiskTest, ATransportFailureIsAPhaseError) {
    Make("disk 1\n    block sample\n    reply transport\n");
    EXPECT_EQ(Command(kIdentify, 36, true).status, 2);
    EXPECT_TRUE(stalled);
    disk->Reset();
    EXPECT_EQ(Command(kIdentify, 36, true).status, 0);
}

TEST_F(FlashDiskTest, HoldsTheMediumTheKernelReadsAndWrites) {
    Make("disk 1\n    block sample\n", 64);
    std::vector<std::uint8_t> data;
    EXPECT_EQ(Command({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, true, &data).status, 0);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{0, 0, 0, 63, 0, 0, 2, 0}));

    std::vector<std::uint8_t> sectors(1024);
    for (std::size_t i = 0; i < sectors.size(); ++i)
        sectors[i] = static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(Command({0x2A, 0, 0, 0, 0, 62, 0, 0, 2, 0}, 1024, false, nullptr, sectors).status, 0);
    EXPECT_EQ(Command({0x28, 0, 0, 0, 0, 62, 0, 0, 2, 0}, 1024, true, &data).status, 0);
    EXPECT_EQ(data, sectors);
    EXPECT_EQ(disk->Image()[61 * 512], 0xE5);

    // Past the last sector: LOGICAL BLOCK ADDRESS OUT OF RANGE.
    EXPECT_EQ(Command({0x28, 0, 0, 0, 0, 63, 0, 0, 2, 0}, 1024, true).status, 1);
    EXPECT_EQ(Sense()[12], 0x21);
    // A command it does not know: INVALID COMMAND OPERATION CODE, as the stock disk answers.
    EXPECT_EQ(Command({0xC7, 0, 0, 0, 0, 0}, 0, true).status, 1);
    const auto sense = Sense();
    EXPECT_EQ(sense[2], 0x05);
    EXPECT_EQ(sense[12], 0x20);
}

TEST_F(FlashDiskTest, RefusesWhatIsNotACommandBlockWrapper) {
    Make("disk 1\n    block sample\n");
    std::vector<std::uint8_t> cbw(31, 0);
    EXPECT_FALSE(disk->BulkOut(cbw));
    cbw.resize(30);
    EXPECT_FALSE(disk->BulkOut(cbw));
    EXPECT_TRUE(disk->BulkInTransfer(13).stall);  // nothing to say before a command
}

TEST(UsbDescriptorsTest, AnswersTheRequestsOfEnumerationAndTheClass) {
    const auto device = kernel_test::DescriptorsFor(3);
    auto answer = kernel_test::AnswerControl(device, 0x80, 0x06, 0x0100, 8);
    EXPECT_EQ(answer.bytes, (std::vector<std::uint8_t>{18, 1, 0, 2, 0, 0, 0, 64}));
    answer = kernel_test::AnswerControl(device, 0x80, 0x06, 0x0200, 255);
    ASSERT_EQ(answer.bytes.size(), 32u);
    EXPECT_EQ(answer.bytes[14], 0x08);  // mass storage
    EXPECT_EQ(answer.bytes[16], 0x50);  // bulk-only
    answer = kernel_test::AnswerControl(device, 0x80, 0x06, 0x0303, 255);
    EXPECT_EQ(answer.bytes.size(), 2 + 2 * device.serial.size());
    EXPECT_TRUE(kernel_test::AnswerControl(device, 0x80, 0x06, 0x0304, 255).stall);
    EXPECT_EQ(kernel_test::AnswerControl(device, 0xA1, 0xFE, 0, 1).bytes,
              std::vector<std::uint8_t>{0});
    EXPECT_TRUE(kernel_test::AnswerControl(device, 0x21, 0xFF, 0, 0).resetsTransport);
    EXPECT_FALSE(kernel_test::AnswerControl(device, 0x02, 0x01, 0, 0).stall);  // clear halt
}

}  // namespace
