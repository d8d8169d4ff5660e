#include "device/scsi.h"

#include <cstring>
#include <memory>

#include "platform/scsi_pass_through.h"

namespace device {

using platform::ScsiRequest;

std::uint32_t SenseCode(const std::uint8_t* sense) {
    const std::uint8_t responseCode = sense[0] & 0x7F;
    if (responseCode == 0x72 || responseCode == 0x73) {
        return (std::uint32_t{sense[1] & 0x0Fu} << 16) | (std::uint32_t{sense[2]} << 8) | sense[3];
    }
    return (std::uint32_t{sense[2] & 0x0Fu} << 16) | (std::uint32_t{sense[12]} << 8) | sense[13];
}

namespace {

void PrepareRequest(ScsiRequest& request, const std::uint8_t* cdb, std::uint32_t cdbLength,
                    std::uint32_t dataLength, std::uint32_t timeoutSeconds) {
    std::memset(&request, 0, sizeof request);
    auto& h = request.header;
    h.Length = sizeof h;
    h.CdbLength = static_cast<std::uint8_t>(cdbLength);
    h.SenseInfoLength = platform::kScsiSenseOffered;
    h.DataIn = platform::kScsiIoctlDataIn;
    h.DataTransferLength = dataLength;
    h.TimeOutValue = timeoutSeconds & 0xFF;
    h.DataBufferOffset = platform::kScsiDataOffset;
    h.SenseInfoOffset = platform::kScsiSenseOffset;
    std::memcpy(h.Cdb, cdb, cdbLength);
}

}  // namespace

bool ScsiDataIn(platform::Handle handle, const std::uint8_t* cdb, std::uint32_t cdbLength,
                std::uint8_t* out, std::uint32_t dataLength, std::uint32_t timeoutSeconds,
                std::uint32_t attempts) {
    if (handle == platform::kNullHandle || handle == platform::kInvalidHandle)
        return false;
    if (cdb == nullptr || (out == nullptr && dataLength != 0))
        return false;
    // Bounds of the request buffer: never copy past its CDB or data area.
    if (cdbLength > sizeof(platform::ScsiPassThroughHeader::Cdb))
        return false;
    if (dataLength > platform::kScsiDataAreaSize)
        return false;
    if (attempts == 0)
        attempts = 1;

    // One buffer per call; heap, so that a worker's stack is not asked for 66 KB.
    auto request = std::make_unique<ScsiRequest>();
    constexpr auto kInSize = static_cast<std::uint32_t>(sizeof(ScsiRequest));
    const auto outSize = static_cast<std::uint32_t>(platform::kScsiDataOffset) + dataLength;

    for (std::uint32_t attempt = 0; attempt < attempts; ++attempt) {
        // A failed attempt leaves the residual length and sense data behind; every attempt
        // starts from the request as first built.
        PrepareRequest(*request, cdb, cdbLength, dataLength, timeoutSeconds);
        std::uint32_t returned = 0;
        const bool called =
            platform::DeviceControl(handle, platform::kIoctlScsiPassThrough, request.get(), kInSize,
                                    request.get(), outSize, &returned);
        if (called && SenseCode(request->sense) == 0) {
            if (dataLength != 0)
                std::memcpy(out, request->data, dataLength);
            return true;
        }
        platform::DebugOutput(called ? u"r retry 0\n" : u"r retry 1\n");
    }
    return false;
}

}  // namespace device
