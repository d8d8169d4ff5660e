#include "tests/kernel/flash_disk.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"

namespace kernel_test {
namespace {

constexpr std::uint32_t kCbwSignature = 0x43425355;  // "USBC"
constexpr std::uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr std::uint8_t kVendorOpcode = 0xA1;

// Sense keys and codes of the answers the kernel can get from us.
constexpr std::uint8_t kIllegalRequest = 0x05;
constexpr std::uint8_t kInvalidOpcode = 0x20;
constexpr std::uint8_t kLbaOutOfRange = 0x21;
constexpr std::uint8_t kInvalidField = 0x24;

std::vector<std::uint8_t> Padded(std::span<const std::uint8_t> bytes, std::size_t length) {
    std::vector<std::uint8_t> out(length, 0);
    std::copy_n(bytes.begin(), std::min(length, bytes.size()), out.begin());
    return out;
}

void Text(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t width, const char* text) {
    std::memset(out.data() + offset, ' ', width);
    std::memcpy(out.data() + offset, text, std::min(width, std::strlen(text)));
}

}  // namespace

FlashDisk::FlashDisk(sim::ControllerAnswers answers, std::vector<std::uint8_t> image, Sleep sleep)
    : answers_(std::move(answers)), image_(std::move(image)), sleep_(std::move(sleep)) {
    image_.resize(image_.size() / kSectorSize * kSectorSize);
}

void FlashDisk::Reset() {
    phase_ = Phase::Command;
    stallIn_ = false;
    dataIn_.clear();
    outLeft_ = 0;
}

bool FlashDisk::BulkOut(std::span<const std::uint8_t> bytes) {
    if (phase_ == Phase::DataOut) {
        const std::size_t n = std::min(bytes.size(), outLeft_);
        if (outKept_)
            std::copy_n(bytes.begin(), n, image_.begin() + static_cast<std::ptrdiff_t>(outOffset_));
        outOffset_ += n;
        outLeft_ -= n;
        if (outLeft_ == 0)
            phase_ = Phase::Status;
        return true;
    }
    platform::ByteReader r(bytes);
    const std::uint32_t signature = r.U32Le();
    const std::uint32_t tag = r.U32Le();
    const std::uint32_t length = r.U32Le();
    const std::uint8_t flags = r.U8();
    r.U8();  // one logical unit only
    const std::uint8_t cdbLength = r.U8();
    if (phase_ != Phase::Command || bytes.size() != kCbwSize || !r.Ok() ||
        signature != kCbwSignature || cdbLength == 0 || cdbLength > 16)
        return false;

    tag_ = tag;
    Result result = Execute(bytes.subspan(15, cdbLength));
    status_ = result.status;
    residue_ = length;
    const bool dataIn = (flags & 0x80) != 0;
    if (length == 0) {
        phase_ = Phase::Status;
    } else if (dataIn) {
        // No data to give (or a failed command): the data phase ends in a stall.
        dataIn_ = std::move(result.data);
        if (status_ != 0 || dataIn_.empty()) {
            dataIn_.clear();
            stallIn_ = true;
        }
        if (dataIn_.size() > length)
            dataIn_.resize(length);
        residue_ = length - static_cast<std::uint32_t>(dataIn_.size());
        dataInSent_ = 0;
        phase_ = Phase::DataIn;
    } else {
        outKept_ = status_ == 0 && result.writeLength == length;
        outOffset_ = result.writeOffset;
        outLeft_ = length;
        residue_ = outKept_ ? 0 : length;
        phase_ = Phase::DataOut;
    }
    return true;
}

BulkIn FlashDisk::BulkInTransfer(std::size_t maxLength) {
    BulkIn in;
    if (phase_ == Phase::DataIn) {
        if (stallIn_) {
            stallIn_ = false;
            phase_ = Phase::Status;
            in.stall = true;
            return in;
        }
        const std::size_t n = std::min(maxLength, dataIn_.size() - dataInSent_);
        in.bytes.assign(dataIn_.begin() + static_cast<std::ptrdiff_t>(dataInSent_),
                        dataIn_.begin() + static_cast<std::ptrdiff_t>(dataInSent_ + n));
        dataInSent_ += n;
        if (dataInSent_ == dataIn_.size())
            phase_ = Phase::Status;
        return in;
    }
    if (phase_ != Phase::Status) {
        in.stall = true;
        return in;
    }
    in.bytes = Status();
    phase_ = Phase::Command;
    return in;
}

std::vector<std::uint8_t> FlashDisk::Status() const {
    std::vector<std::uint8_t> csw(kCswSize);
    platform::ByteWriter(csw).U32Le(kCswSignature).U32Le(tag_).U32Le(residue_).U8(status_);
    return csw;
}

FlashDisk::Result FlashDisk::Fail(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                                  bool descriptor) {
    sense_ = {key, asc, ascq, descriptor};
    sensePending_ = true;
    Result result;
    result.status = 1;
    return result;
}

FlashDisk::Result FlashDisk::ReadWrite(bool write, std::uint64_t lba, std::uint32_t blocks) {
    const std::uint64_t capacity = image_.size() / kSectorSize;
    if (lba > capacity || blocks > capacity - lba)
        return Fail(kIllegalRequest, kLbaOutOfRange, 0);
    Result result;
    const std::size_t offset = static_cast<std::size_t>(lba) * kSectorSize;
    const std::size_t length = std::size_t{blocks} * kSectorSize;
    if (write) {
        result.writeOffset = offset;
        result.writeLength = length;
    } else {
        result.data.assign(image_.begin() + static_cast<std::ptrdiff_t>(offset),
                           image_.begin() + static_cast<std::ptrdiff_t>(offset + length));
    }
    return result;
}

FlashDisk::Result FlashDisk::Vendor(std::span<const std::uint8_t> cdb) {
    ++vendorCommands_;
    sim::Reply reply;
    if (!answers_.script.empty()) {
        reply = answers_.script.front();
        answers_.script.pop_front();
    }
    if (reply.delay.count() > 0)
        sleep_(reply.delay);
    if (reply.kind == sim::Reply::Kind::SenseError)
        return Fail(reply.sense.key, reply.sense.asc, reply.sense.ascq,
                    reply.sense.descriptorFormat);
    if (reply.kind == sim::Reply::Kind::TransportFailure) {
        Result result;
        result.status = 2;
        return result;
    }
    platform::ByteReader r(cdb);
    const std::uint8_t subCode = r.At(1).U8();
    const std::uint16_t length = r.At(3).U16Be();
    if (!r.Ok() || subCode > 1)
        return Fail(kIllegalRequest, kInvalidField, 0);
    Result result;
    result.data =
        subCode == 0 ? Padded(answers_.identification, length) : Padded(answers_.block, length);
    return result;
}

FlashDisk::Result FlashDisk::Execute(std::span<const std::uint8_t> cdb) {
    platform::ByteReader r(cdb);
    const std::uint8_t opcode = r.U8();
    const std::uint32_t lastLba = static_cast<std::uint32_t>(image_.size() / kSectorSize - 1);
    if (opcode != 0x03)
        sensePending_ = false;  // sense belongs to the command just before
    Result result;
    switch (opcode) {
        case 0x00:  // TEST UNIT READY
        case 0x1B:  // START STOP UNIT
        case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
        case 0x2F:  // VERIFY (10)
        case 0x35:  // SYNCHRONIZE CACHE (10)
            return result;
        case 0x03: {  // REQUEST SENSE
            const std::uint8_t allocation = r.At(4).U8();
            if (sensePending_ && sense_.descriptorFormat) {
                result.data = {0x72, sense_.key, sense_.asc, sense_.ascq, 0, 0, 0, 0};
            } else {
                result.data.assign(18, 0);
                result.data[0] = 0x70;
                result.data[7] = 10;
                if (sensePending_) {
                    result.data[2] = sense_.key;
                    result.data[12] = sense_.asc;
                    result.data[13] = sense_.ascq;
                }
            }
            sensePending_ = false;
            result.data.resize(std::min<std::size_t>(result.data.size(), allocation));
            return result;
        }
        case 0x12: {  // INQUIRY
            const std::uint8_t evpd = r.At(1).U8() & 1;
            const std::uint16_t allocation = r.At(3).U16Be();
            if (evpd != 0) {
                const std::uint8_t page = r.At(2).U8();
                if (page != 0x00)
                    return Fail(kIllegalRequest, kInvalidField, 0);
                result.data = {0x00, 0x00, 0x00, 0x01, 0x00};
            } else {
                result.data.assign(36, 0);
                result.data[1] = 0x80;  // removable
                result.data[2] = 0x04;
                result.data[3] = 0x02;
                result.data[4] = 31;
                Text(result.data, 8, 8, "Tavrin");
                Text(result.data, 16, 16, "Test Flash Disk");
                Text(result.data, 32, 4, "1.00");
            }
            result.data.resize(std::min<std::size_t>(result.data.size(), allocation));
            return result;
        }
        case 0x1A:    // MODE SENSE (6): a header without pages, not write-protected
        case 0x5A: {  // MODE SENSE (10)
            if (opcode == 0x1A) {
                result.data = {3, 0, 0, 0};
                result.data.resize(std::min<std::size_t>(4, r.At(4).U8()));
            } else {
                result.data = {0, 6, 0, 0, 0, 0, 0, 0};
                result.data.resize(std::min<std::size_t>(8, r.At(7).U16Be()));
            }
            return result;
        }
        case 0x23: {  // READ FORMAT CAPACITIES
            result.data.assign(12, 0);
            platform::ByteWriter(result.data)
                .At(3)
                .U8(8)
                .U32Be(lastLba + 1)
                .U8(0x02)
                .U8(0)
                .U16Be(kSectorSize);
            result.data.resize(std::min<std::size_t>(12, r.At(7).U16Be()));
            return result;
        }
        case 0x25:  // READ CAPACITY (10)
            result.data.assign(8, 0);
            platform::ByteWriter(result.data).U32Be(lastLba).U32Be(kSectorSize);
            return result;
        case 0x9E:  // READ CAPACITY (16)
            if ((r.At(1).U8() & 0x1F) != 0x10)
                break;
            result.data.assign(32, 0);
            platform::ByteWriter(result.data).At(4).U32Be(lastLba).U32Be(kSectorSize);
            result.data.resize(std::min<std::size_t>(32, r.At(10).U32Be()));
            return result;
        case 0x08:    // READ (6)
        case 0x0A: {  // WRITE (6)
            const std::uint32_t lba = ((r.At(1).U8() & 0x1Fu) << 16) | r.U16Be();
            const std::uint8_t blocks = r.U8();
            return ReadWrite(opcode == 0x0A, lba, blocks == 0 ? 256 : blocks);
        }
        case 0x28:  // READ (10)
        case 0x2A:  // WRITE (10)
            return ReadWrite(opcode == 0x2A, r.At(2).U32Be(), r.At(7).U16Be());
        case 0x88:    // READ (16)
        case 0x8A: {  // WRITE (16)
            const std::uint64_t lba = (std::uint64_t{r.At(2).U32Be()} << 32) | r.U32Be();
            return ReadWrite(opcode == 0x8A, lba, r.At(10).U32Be());
        }
        case kVendorOpcode:
            return Vendor(cdb);
        default:
            break;
    }
    return Fail(kIllegalRequest, kInvalidOpcode, 0);
}

}  // namespace kernel_test
