// The plain parts of the Linux walk: drive letters from kernel names, the mount table's lines.
#include <cstddef>

#include "platform/linux/sg_pass_through.h"
#include "platform/linux/usb_sysfs.h"

namespace platform::linux_os {
namespace {

// Private use: no text the system shows means anything by these units.
constexpr char16_t kFirstLetter = 0xE000;
constexpr int kPartitionsPerDisk = 16;  // the whole disk, then partitions 1 to 15
constexpr int kLetteredDisks = 384;
constexpr int kCdromBase = kLetteredDisks * kPartitionsPerDisk;
constexpr int kLetteredCdroms = 256;

bool AllDigits(std::string_view text) {
    if (text.empty() || text.size() > 3)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

int Number(std::string_view digits) {
    int value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

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
        if (!AllDigits(digits) || digits[0] == '0')
            return std::nullopt;
        parsed.partition = Number(digits);
    }
    return parsed;
}

std::optional<int> CdromIndex(std::string_view name) {
    if (name.size() < 3 || name.substr(0, 2) != "sr" || !AllDigits(name.substr(2)) ||
        (name.size() > 3 && name[2] == '0'))
        return std::nullopt;
    return Number(name.substr(2));
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

std::vector<Mount> ParseMountInfo(std::string_view table) {
    // "id parent MAJ:MIN root point options [tags...] - type source options", separated by
    // spaces; a space, tab, newline or backslash inside a field is a three-digit octal escape.
    const auto unescape = [](std::string_view field) {
        std::string out;
        for (std::size_t i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size()) {
                const std::string_view code = field.substr(i + 1, 3);
                bool octal = true;
                for (char c : code)
                    octal = octal && c >= '0' && c <= '7';
                if (octal) {
                    out += static_cast<char>((code[0] - '0') * 64 + (code[1] - '0') * 8 +
                                             (code[2] - '0'));
                    i += 3;
                    continue;
                }
            }
            out += field[i];
        }
        return out;
    };
    std::vector<Mount> mounts;
    while (!table.empty()) {
        const std::size_t eol = table.find('\n');
        std::string_view line = table.substr(0, eol);
        table = eol == std::string_view::npos ? std::string_view() : table.substr(eol + 1);
        std::vector<std::string_view> fields;
        while (!line.empty()) {
            const std::size_t stop = line.find(' ');
            if (stop != 0)
                fields.push_back(line.substr(0, stop));
            line = stop == std::string_view::npos ? std::string_view() : line.substr(stop + 1);
        }
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (dash + 2 >= fields.size() || fields[2].find(':') == std::string_view::npos)
            continue;
        mounts.push_back({std::string(fields[2]), unescape(fields[dash + 2]), unescape(fields[4])});
    }
    return mounts;
}

bool CoveredByLater(const std::vector<Mount>& mounts, std::size_t index) {
    const std::string_view point = mounts[index].point;
    for (std::size_t later = index + 1; later < mounts.size(); ++later) {
        std::string_view above = mounts[later].point;
        while (above.size() > 1 && above.back() == '/')
            above.remove_suffix(1);
        if (point == above || above == "/" ||
            (point.starts_with(above) && point.size() > above.size() && point[above.size()] == '/'))
            return true;
    }
    return false;
}

}  // namespace platform::linux_os
