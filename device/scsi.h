// SCSI pass-through with a data-in phase: the one transport of the vendor command.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/device_io.h"

namespace device {

// Condenses sense data into (sense key << 16) | (additional sense code << 8) | qualifier.
// Descriptor-format sense (response code 0x72 or 0x73) keeps them in bytes 1 to 3, so it needs
// at least 4 bytes; every other response code is read at the fixed-format offsets 2, 12 and 13,
// so it needs at least 14. Zero means no error; nullopt, sense too short to say.
std::optional<std::uint32_t> SenseCode(std::span<const std::uint8_t> sense);

// Sends one CDB (1 to 16 bytes) with a data-in phase of out.size() bytes (at most the request's
// data area) through IOCTL_SCSI_PASS_THROUGH, up to `attempts` times (0 counts as 1). On success
// `out` holds the data and the result is true; on failure `out` is untouched. An attempt whose
// SCSI status is not GOOD without sense data, or that transferred fewer bytes than asked (the
// request's DataTransferLength as the port driver reports it back), failed as a failed call
// does, its reason ("SCSI status 0x08 without sense data", "nothing transferred", "short
// transfer: 12 of 512 bytes") kept for platform::LastDeviceError. Each failed attempt writes
// "r retry 0\n" (the device reported sense) or "r retry 1\n" (no answer) to the debugger.
bool ScsiDataIn(platform::Handle handle, std::span<const std::uint8_t> cdb,
                std::span<std::uint8_t> out, std::uint32_t timeoutSeconds, std::uint32_t attempts);

// How ScsiDataIn ended: the data came; the device answered, but with sense data on some attempt;
// or no attempt brought an answer (platform::LastDeviceError says why, the last attempt's
// reason), so the device was never heard.
enum class ScsiResult { Done, Refused, NotSent };
ScsiResult ScsiDataInResult(platform::Handle handle, std::span<const std::uint8_t> cdb,
                            std::span<std::uint8_t> out, std::uint32_t timeoutSeconds,
                            std::uint32_t attempts);

}  // namespace device
