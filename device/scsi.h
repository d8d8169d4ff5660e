// SCSI pass-through with a data-in phase: the one transport of the vendor command.
#pragma once

#include <cstdint>

#include "platform/device_io.h"

namespace device {

// Condenses sense data into (sense key << 16) | (additional sense code << 8) | qualifier.
// Descriptor-format sense (response code 0x72 or 0x73) keeps them in bytes 1 to 3; every other
// response code is read at the fixed-format offsets 2, 12 and 13. Zero means no error.
// `sense` must hold at least 14 bytes.
std::uint32_t SenseCode(const std::uint8_t* sense);

// Sends one CDB with a data-in phase through IOCTL_SCSI_PASS_THROUGH, up to `attempts` times
// (0 counts as 1). On success the first `dataLength` bytes of `out` hold the data and the result
// is true; on failure `out` is untouched. Each failed attempt writes "r retry 0\n" (the device
// reported sense) or "r retry 1\n" (the call itself failed) to the debugger.
bool ScsiDataIn(platform::Handle handle, const std::uint8_t* cdb, std::uint32_t cdbLength,
                std::uint8_t* out, std::uint32_t dataLength, std::uint32_t timeoutSeconds,
                std::uint32_t attempts);

}  // namespace device
