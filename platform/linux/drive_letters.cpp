// Drive letters from kernel names: no system call.
#include <cstddef>

#include "platform/linux/sg_pass_through.h"
#include "platform/linux/sysfs_path.h"
#include "platform/linux/usb_sysfs.h"

namespace platform::linux_os {
namespace {

// Private use: no text the system shows means anything by these units.
constexpr char16_t kFirstLetter = 0xE000;
constexpr int kPartitionsPerDisk = 16;  // the whole disk, then partitions 1 to 15
constexpr int kLetteredDisks = 384;
constexpr int kCdromBase = kLetteredDisks * kPartitionsPerDisk;
constexpr int kLetteredCdroms = 256;

// A disk name and a partition number (0: the whole disk) of "sdb1"; CD-ROMs apart.
struct SdName {
    std::string_view disk;
    int partition = 0;
};

std::optional<SdName> ParseSd(std::string_view name) {
    std::size_t end = name.size();
    while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9')
        --end;
    SdName parsed{name.substr(0, end), 0};
    if (!ScsiDiskIndex(parsed.disk))
        return std::nullopt;
    if (end < name.size()) {
        const std::string_view digits = name.substr(end);
        const auto number = ParseDecimal(digits, 3);
        if (!number || digits[0] == '0')
            return std::nullopt;
        parsed.partition = static_cast<int>(*number);
    }
    return parsed;
}

std::optional<int> CdromIndex(std::string_view name) {
    const auto number = name.starts_with("sr") ? ParseDecimal(name.substr(2), 3) : std::nullopt;
    if (!number || (name.size() > 3 && name[2] == '0'))
        return std::nullopt;
    return static_cast<int>(*number);
}

}  // namespace

std::optional<char16_t> VolumeLetter(std::string_view kernelName) {
    if (const auto cdrom = CdromIndex(kernelName)) {
        if (*cdrom >= kLetteredCdroms)
            return std::nullopt;
        return static_cast<char16_t>(kFirstLetter + kCdromBase + *cdrom);
    }
    const auto sd = ParseSd(kernelName);
    if (!sd || sd->partition >= kPartitionsPerDisk)
        return std::nullopt;
    const int disk = *ScsiDiskIndex(sd->disk);
    if (disk >= kLetteredDisks)
        return std::nullopt;
    return static_cast<char16_t>(kFirstLetter + disk * kPartitionsPerDisk + sd->partition);
}

std::optional<std::string> VolumeOfLetter(char16_t letter) {
    if (letter < kFirstLetter)
        return std::nullopt;
    const int slot = letter - kFirstLetter;
    if (slot >= kCdromBase + kLetteredCdroms)
        return std::nullopt;
    if (slot >= kCdromBase)
        return "sr" + std::to_string(slot - kCdromBase);
    // The disk's name as "\\.\PHYSICALDRIVE<n>" reaches it: a to z, then aa.
    std::string letters;
    for (int n = slot / kPartitionsPerDisk; n >= 0; n = n / 26 - 1)
        letters.insert(letters.begin(), static_cast<char>('a' + n % 26));
    std::string name = "sd" + letters;
    if (slot % kPartitionsPerDisk != 0)
        name += std::to_string(slot % kPartitionsPerDisk);
    return name;
}

std::optional<std::string> WholeDiskOf(std::string_view kernelName) {
    if (CdromIndex(kernelName))
        return std::string(kernelName);
    const auto sd = ParseSd(kernelName);
    if (!sd)
        return std::nullopt;
    return std::string(sd->disk);
}

}  // namespace platform::linux_os
