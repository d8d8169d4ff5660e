#include "device/drive.h"

#include "platform/text.h"

namespace device {

std::u16string PhysicalDrivePath(int driveNumber) {
    if (driveNumber < 0 || driveNumber > 99)
        return {};
    return u"\\\\.\\PHYSICALDRIVE" + platform::DecimalText(driveNumber);
}

std::u16string VolumePath(char16_t letter) {
    std::u16string path = u"\\\\.\\Z:";
    path[4] = letter;
    return path;
}

std::u16string VolumeRoot(char16_t letter) {
    std::u16string root = u"Z:\\";
    root[0] = letter;
    return root;
}

platform::Handle OpenPhysicalDrive(int driveNumber) {
    const std::u16string path = PhysicalDrivePath(driveNumber);
    if (path.empty())
        return platform::kInvalidHandle;
    return platform::OpenDeviceFile(path.c_str());
}

platform::Handle OpenVolume(char16_t letter) {
    return platform::OpenDeviceFile(VolumePath(letter).c_str());
}

void CloseDrive(platform::Handle handle) {
    if (handle != platform::kInvalidHandle && handle != platform::kNullHandle) {
        platform::CloseDevice(handle);
    }
}

std::optional<std::uint64_t> VolumeFreeBytes(char16_t letter) {
    std::uint64_t available = 0;
    if (!platform::DiskFreeBytesAvailable(VolumeRoot(letter).c_str(), &available)) {
        return std::nullopt;
    }
    return available;
}

}  // namespace device
