#include "platform/linux/sg_pass_through.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "device/scsi.h"

namespace {

using platform::ScsiRequest;
using platform::linux_os::DeviceNodePath;
using platform::linux_os::ScsiDiskIndex;
using platform::linux_os::SgCompleted;
using platform::linux_os::SgRequestFor;
using platform::linux_os::SgWriteBack;

TEST(LinuxDeviceNodeTest, PhysicalDrivesAreTheKernelsScsiDisksInOrder) {
    const struct {
        std::u16string path;
        std::optional<std::string> node;
    } cases[] = {
        {u"\\\\.\\PHYSICALDRIVE0", "/dev/sda"},
        {u"\\\\.\\PHYSICALDRIVE1", "/dev/sdb"},
        {u"\\\\.\\PHYSICALDRIVE25", "/dev/sdz"},
        {u"\\\\.\\PHYSICALDRIVE26", "/dev/sdaa"},
        {u"\\\\.\\PHYSICALDRIVE99", "/dev/sdcv"},
        {u"/dev/sdb", "/dev/sdb"},
        {u"\\\\.\\PHYSICALDRIVE", std::nullopt},
        {u"\\\\.\\PHYSICALDRIVE1x", std::nullopt},
        {u"\\\\.\\E:", std::nullopt},
        {u"E:\\", std::nullopt},
        {u"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeviceNodePath(c.path), c.node) << std::string(c.path.begin(), c.path.end());

    // The probe numbers the kernel's disks back: every name maps to the index it came from.
    for (int n = 0; n < 1000; ++n) {
        const std::u16string digits(u"\\\\.\\PHYSICALDRIVE");
        std::u16string path = digits;
        for (char c : std::to_string(n))
            path += static_cast<char16_t>(c);
        const auto node = DeviceNodePath(path);
        ASSERT_TRUE(node);
        EXPECT_EQ(ScsiDiskIndex(node->substr(5)), n) << *node;
    }
    EXPECT_EQ(ScsiDiskIndex("sr0"), std::nullopt);
    EXPECT_EQ(ScsiDiskIndex("sda1"), std::nullopt);
    EXPECT_EQ(ScsiDiskIndex("sd"), std::nullopt);
}

class SgRequestTest : public ::testing::Test {
  protected:
    // The request of the vendor command's identification, as the pass-through builds it.
    void SetUp() override {
        std::memset(request.get(), 0, sizeof(ScsiRequest));
        auto& h = request->header;
        h.Length = sizeof h;
        h.CdbLength = 16;
        h.SenseInfoLength = platform::kScsiSenseOffered;
        h.DataIn = platform::kScsiIoctlDataIn;
        h.DataTransferLength = 36;
        h.TimeOutValue = 10;
        h.DataBufferOffset = platform::kScsiDataOffset;
        h.SenseInfoOffset = platform::kScsiSenseOffset;
        h.Cdb[0] = 0xA1;
        h.Cdb[4] = 36;
    }
    std::uint8_t* Bytes() { return reinterpret_cast<std::uint8_t*>(request.get()); }
    std::uint32_t OutSize() const {
        return static_cast<std::uint32_t>(platform::kScsiDataOffset) +
               request->header.DataTransferLength;
    }

    std::unique_ptr<ScsiRequest> request = std::make_unique<ScsiRequest>();
    std::uint8_t sense[32] = {};
};

TEST_F(SgRequestTest, CarriesTheCdbDirectionLengthAndTimeout) {
    const auto sg = SgRequestFor(Bytes(), OutSize(), sense, sizeof sense);
    ASSERT_TRUE(sg);
    EXPECT_EQ(sg->interface_id, 'S');
    EXPECT_EQ(sg->dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(sg->cmd_len, 16);
    EXPECT_EQ(sg->cmdp, request->header.Cdb);
    EXPECT_EQ(sg->dxfer_len, 36u);
    EXPECT_EQ(sg->dxferp, request->data);
    EXPECT_EQ(sg->mx_sb_len, platform::kScsiSenseOffered);
    EXPECT_EQ(sg->sbp, sense);
    EXPECT_EQ(sg->timeout, 10000u);  // milliseconds
}

TEST_F(SgRequestTest, RefusesAHeaderThatDoesNotFitItsBuffer) {
    auto& h = request->header;
    const struct {
        const char* what;
        void (*change)(platform::ScsiPassThroughHeader&);
    } cases[] = {
        {"length", [](auto& h) { h.Length = 40; }},
        {"no CDB", [](auto& h) { h.CdbLength = 0; }},
        {"long CDB", [](auto& h) { h.CdbLength = 17; }},
        {"data out", [](auto& h) { h.DataIn = 0; }},
        {"data past the buffer",
         [](auto& h) { h.DataBufferOffset = platform::kScsiDataOffset + 1; }},
        {"sense past the buffer", [](auto& h) { h.SenseInfoOffset = 0x10000; }},
    };
    for (const auto& c : cases) {
        const platform::ScsiPassThroughHeader saved = h;
        c.change(h);
        EXPECT_FALSE(SgRequestFor(Bytes(), OutSize(), sense, sizeof sense)) << c.what;
        h = saved;
    }
    EXPECT_FALSE(SgRequestFor(Bytes(), sizeof(platform::ScsiPassThroughHeader) - 1, sense, 32));
    h.DataTransferLength = 0;  // no data phase at all
    EXPECT_EQ(SgRequestFor(Bytes(), OutSize(), sense, sizeof sense)->dxfer_direction,
              SG_DXFER_NONE);
}

TEST(SgCompletedTest, OnlyHostAndDriverErrorsFailTheCall) {
    const struct {
        unsigned short host, driver;
        unsigned char status;
        bool completed;
    } cases[] = {
        {0, 0, 0, true},
        {0, 0x08, 0x02, true},  // CHECK CONDITION with sense: the device answered
        {0, 0, 0x02, true},     // the status is the caller's to judge
        {0x07, 0, 0, false},    // DID_ERROR: the transport failed
        {0x01, 0, 0, false},    // DID_NO_CONNECT: the disk went away
        {0x03, 0, 0, false},    // DID_TIME_OUT
        {0, 0x06, 0, false},    // DRIVER_TIMEOUT
        {0, 0x08 | 0x04, 0x02, false},
        {0, 0x10 | 0x08, 0x02, true},  // SUGGEST_RETRY above the driver bits of older kernels
        {0, 0x80, 0x00, true},
        {0, 0x20 | 0x06, 0, false},
    };
    for (const auto& c : cases) {
        sg_io_hdr_t done{};
        done.host_status = c.host;
        done.driver_status = c.driver;
        done.status = c.status;
        EXPECT_EQ(SgCompleted(done), c.completed) << c.host << " " << c.driver;
    }
}

TEST_F(SgRequestTest, TheSenseThatCameBackDecidesThroughTheSenseCode) {
    // Fixed format: key at 2, codes at 12 and 13; descriptor format: bytes 1 to 3.
    const std::vector<std::uint8_t> fixed = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0};
    const std::vector<std::uint8_t> descriptor = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0};
    for (const auto& returned : {fixed, descriptor}) {
        SetUp();
        auto sg = SgRequestFor(Bytes(), OutSize(), sense, sizeof sense);
        ASSERT_TRUE(sg);
        std::memcpy(sense, returned.data(), returned.size());
        sg->sb_len_wr = static_cast<unsigned char>(returned.size());
        sg->status = 0x02;
        sg->resid = 36;
        EXPECT_EQ(SgWriteBack(*sg, Bytes(), sense), platform::kScsiDataOffset);
        EXPECT_EQ(request->header.ScsiStatus, 0x02);
        EXPECT_EQ(request->header.SenseInfoLength, returned.size());
        const auto code = device::SenseCode(request->sense);
        EXPECT_EQ(code, returned[0] == 0x72 ? 0x052400u : 0x023A00u);
    }

    // An answer without sense leaves the zeroed sense area: the code is 0, a success.
    SetUp();
    auto sg = SgRequestFor(Bytes(), OutSize(), sense, sizeof sense);
    std::memset(sense, 0xEE, sizeof sense);  // whatever the kernel did not write
    sg->sb_len_wr = 0;
    sg->resid = 4;
    EXPECT_EQ(SgWriteBack(*sg, Bytes(), sense), platform::kScsiDataOffset + 32);
    EXPECT_EQ(request->header.DataTransferLength, 32u);
    EXPECT_EQ(device::SenseCode(request->sense), 0u);
}

}  // namespace
