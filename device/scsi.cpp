#include "device/scsi.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/bytes.h"
#include "platform/scsi_pass_through.h"
#include "platform/text.h"
#include "platform/thread_own.h"

namespace device {

using platform::ScsiRequest;

constexpr std::uint8_t kScsiStatusGood = 0x00;

std::optional<std::uint32_t> SenseCode(std::span<const std::uint8_t> sense) {
    platform::ByteReader r(sense);
    const std::uint8_t responseCode = r.U8() & 0x7F;
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    if (responseCode == 0x72 || responseCode == 0x73) {
        key = r.U8();
        asc = r.U8();
        ascq = r.U8();
    } else {
        key = r.At(2).U8();
        asc = r.At(12).U8();
        ascq = r.U8();
    }
    if (!r.Ok())
        return std::nullopt;
    return (std::uint32_t{key & 0x0Fu} << 16) | (std::uint32_t{asc} << 8) | ascq;
}

namespace {

// A thread's request buffer and how much of it the last command may have written.
struct RequestBuffer {
    const std::unique_ptr<ScsiRequest> request = std::make_unique<ScsiRequest>();
    std::uint32_t written = 0;
};

// The request as first built, from a buffer that was zero-filled once: a failed attempt can
// only have written the header, the sense area and the data length's bytes.
void PrepareRequest(ScsiRequest& request, std::span<const std::uint8_t> cdb,
                    std::uint32_t dataLength, std::uint32_t timeoutSeconds) {
    std::memset(&request, 0, platform::kScsiDataOffset + dataLength);
    auto& h = request.header;
    h.Length = sizeof h;
    h.CdbLength = static_cast<std::uint8_t>(cdb.size());
    h.SenseInfoLength = platform::kScsiSenseOffered;
    h.DataIn = platform::kScsiIoctlDataIn;
    h.DataTransferLength = dataLength;
    h.TimeOutValue = timeoutSeconds & 0xFF;
    h.DataBufferOffset = platform::kScsiDataOffset;
    h.SenseInfoOffset = platform::kScsiSenseOffset;
    std::copy(cdb.begin(), cdb.end(), h.Cdb);
}

// Why a call without sense data holds no answer; nullopt when it holds one. The port driver
// reports the bytes transferred in the request's DataTransferLength.
std::optional<std::u16string> NoAnswer(const platform::ScsiPassThroughHeader& header,
                                       std::uint32_t asked) {
    if (header.ScsiStatus != kScsiStatusGood)
        return u"SCSI status 0x" + platform::HexText(header.ScsiStatus, 2) + u" without sense data";
    if (asked == 0 || header.DataTransferLength >= asked)
        return std::nullopt;
    if (header.DataTransferLength == 0)
        return u"nothing transferred";
    return u"short transfer: " +
           platform::DecimalText(static_cast<long long>(header.DataTransferLength)) + u" of " +
           platform::DecimalText(static_cast<long long>(asked)) + u" bytes";
}

}  // namespace

bool ScsiDataIn(platform::Handle handle, std::span<const std::uint8_t> cdb,
                std::span<std::uint8_t> out, std::uint32_t timeoutSeconds, std::uint32_t attempts) {
    return ScsiDataInResult(handle, cdb, out, timeoutSeconds, attempts) == ScsiResult::Done;
}

ScsiResult ScsiDataInResult(platform::Handle handle, std::span<const std::uint8_t> cdb,
                            std::span<std::uint8_t> out, std::uint32_t timeoutSeconds,
                            std::uint32_t attempts) {
    // A request never sent still says why: the reason asked for after it is this disk's.
    const auto notSent = [](const char16_t* why) {
        platform::SetLastDeviceError({0, why});
        return ScsiResult::NotSent;
    };
    if (handle == platform::kNullHandle || handle == platform::kInvalidHandle)
        return notSent(u"no open device");
    // Bounds of the request buffer: never copy past its CDB or data area.
    if (cdb.empty() || cdb.size() > sizeof(platform::ScsiPassThroughHeader::Cdb))
        return notSent(u"the command does not fit the request");
    if (out.size() > platform::kScsiDataAreaSize)
        return notSent(u"the data does not fit the request");
    const auto dataLength = static_cast<std::uint32_t>(out.size());
    if (attempts == 0)
        attempts = 1;

    // A buffer of the thread's own that every command reuses (an allocation per command cost more
    // than the command, and a worker's stack is not asked for 66 KB), whole zero at each call's
    // start: zero-filled once, and after that only the bytes an earlier call could write (its
    // output size) are zeroed again, not all 66 KB each time.
    RequestBuffer& buffer = platform::ThreadOwn<RequestBuffer, RequestBuffer>();
    ScsiRequest* const request = buffer.request.get();
    std::uint32_t& written = buffer.written;
    std::memset(request, 0, written);
    constexpr auto kInSize = static_cast<std::uint32_t>(sizeof(ScsiRequest));
    const auto outSize = static_cast<std::uint32_t>(platform::kScsiDataOffset) + dataLength;
    // Every attempt writes the request within it, and the device's reply may fill it.
    written = outSize;

    bool answered = false;
    for (std::uint32_t attempt = 0; attempt < attempts; ++attempt) {
        // A failed attempt leaves the residual length and sense data behind; every attempt
        // starts from the request as first built.
        PrepareRequest(*request, cdb, dataLength, timeoutSeconds);
        std::uint32_t returned = 0;
        const bool called = platform::DeviceControl(handle, platform::kIoctlScsiPassThrough,
                                                    request, kInSize, request, outSize, &returned);
        const bool sense = called && SenseCode(request->sense) != 0u;
        if (called && !sense) {
            // A call the system took as done may still hold no answer: say why, as its own
            // failure would, so that the reason asked for is never an earlier disk's.
            if (const auto why = NoAnswer(request->header, dataLength)) {
                platform::SetLastDeviceError({0, *why});
            } else {
                std::copy_n(request->data, out.size(), out.begin());
                return ScsiResult::Done;
            }
        }
        // Sense data is the device's refusal; a failed call, or a status without sense, is no
        // answer at all.
        answered = answered || sense;
        platform::DebugOutput(sense ? u"r retry 0\n" : u"r retry 1\n");
        // A stop ends the run, and a disk gone answers no more: the command is not sent again.
        const int code = called ? 0 : platform::LastDeviceError().code;
        if (code == platform::kDeviceCallStopped || code == platform::kDeviceGone)
            break;
    }
    return answered ? ScsiResult::Refused : ScsiResult::NotSent;
}

}  // namespace device
