// The kernel test's program inside the guest: every SCSI disk the kernel found, identified and
// read with the device layer's own functions over the SG_IO backend. One "@@ " line per fact on
// standard output, the pass-through's retry lines on standard error:
//   @@ disk /dev/sdb port 1-1.2
//   @@ value 0 vid=1234              (the lines of tavrin-block, for a supported disk)
//   @@ passed-over /dev/sdc          (the identification failed or named another controller)
//   @@ free /mnt/sdb 1234567         (statvfs of its mount point, when it is mounted)
//   @@ time /dev/sdb 123456          (microseconds spent on the disk)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "device/controller.h"
#include "device/drive.h"
#include "platform/device_io.h"
#include "platform/linux/sg_pass_through.h"
#include "platform/text.h"
#include "tools/block_line.h"

namespace {

namespace fs = std::filesystem;

void Say(const std::string& line) {
    std::printf("@@ %s\n", line.c_str());
    std::fflush(stdout);
}

// The USB device a disk hangs from: the last "bus-port.port" name in its sysfs path.
std::string UsbPortOf(const std::string& name) {
    std::error_code error;
    const fs::path target = fs::canonical("/sys/block/" + name, error);
    std::string port = "-";
    for (const auto& part : target) {
        const std::string s = part.string();
        if (!s.empty() && s[0] >= '1' && s[0] <= '9' && s.find('-') != std::string::npos &&
            s.find(':') == std::string::npos)
            port = s;
    }
    return port;
}

std::optional<std::string> MountPointOf(const std::string& node) {
    std::ifstream mounts("/proc/mounts");
    std::string device, point, rest;
    while (mounts >> device >> point && std::getline(mounts, rest)) {
        if (device == node)
            return point;
    }
    return std::nullopt;
}

void Probe(const std::string& name, int index) {
    const std::string node = "/dev/" + name;
    Say("disk " + node + " port " + UsbPortOf(name));
    const auto start = std::chrono::steady_clock::now();

    const std::u16string path = platform::FromUtf8(node);
    const platform::Handle handle = platform::OpenDeviceFile(path.c_str());
    const bool supported = handle != platform::kInvalidHandle && device::IsSupportedDisk(handle);
    device::CloseDrive(handle);
    if (!supported) {
        Say("passed-over " + node);
    } else {
        device::ValueSlots slots;
        device::DecodeControllerInfo(index, u'\0', slots,
                                     device::SelectionListsFor(device::Language::English));
        for (std::size_t i = 0; i < device::kSlotCount; ++i) {
            // No drive letters here: the capacity comes from the mount point below.
            if (slots[i].empty() && (i == device::kSlotCapMin || i == device::kSlotCapMax))
                continue;
            Say("value " + tools::SlotLine(i, slots[i]));
        }
    }
    const auto took = std::chrono::steady_clock::now() - start;
    if (const auto point = MountPointOf(node)) {
        std::uint64_t free = 0;
        const std::u16string root = platform::FromUtf8(*point);
        if (platform::DiskFreeBytesAvailable(root.c_str(), &free))
            Say("free " + *point + " " + std::to_string(free));
    }
    Say("time " + node + " " +
        std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
}

}  // namespace

int main() {
    std::vector<std::pair<int, std::string>> disks;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/sys/block", error)) {
        const std::string name = entry.path().filename().string();
        if (const auto index = platform::linux_os::ScsiDiskIndex(name))
            disks.emplace_back(*index, name);
    }
    std::sort(disks.begin(), disks.end());
    for (const auto& [index, name] : disks)
        Probe(name, index);
    Say("done " + std::to_string(disks.size()));
    return 0;
}
