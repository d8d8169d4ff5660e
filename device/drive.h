// Opening a disk by its physical drive number and a volume by its drive letter, and the free
// space of a volume. The caller owns every handle returned and closes it with CloseDrive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/device_io.h"

namespace device {

// Room for "\\.\PHYSICALDRIVE" and two digits, with the terminating NUL.
inline constexpr std::size_t kPhysicalDrivePathSize = 20;

// "\\.\PHYSICALDRIVE<number>"; empty when the number does not fit the path (outside 0 to 99).
std::u16string PhysicalDrivePath(int driveNumber);
// "\\.\E:" for letter E: six characters, no trailing backslash.
std::u16string VolumePath(char16_t letter);
// "E:\" for letter E.
std::u16string VolumeRoot(char16_t letter);

// kInvalidHandle on failure; a number outside 0 to 99 fails without opening anything.
platform::Handle OpenPhysicalDrive(int driveNumber);
platform::Handle OpenVolume(char16_t letter);
void CloseDrive(platform::Handle handle);

// Free bytes available to the calling user on the volume; nullopt when the query fails.
std::optional<std::uint64_t> VolumeFreeBytes(char16_t letter);

}  // namespace device
