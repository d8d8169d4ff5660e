#include "platform/linux/disk_identity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace platform::linux_os {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDevices = "/sys/devices/";

// What stat says of a device node now; nullopt for anything else (a built tree's stand-in).
std::optional<OpenedNode> NodeNow(const std::string& node) {
    struct stat st {};
    if (stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    return OpenedNode{true, major(st.st_rdev), minor(st.st_rdev),
                      static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

std::optional<std::string> GenericNodeBelow(const std::string& root,
                                            const std::string& scsiDevice) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root + scsiDevice + "/scsi_generic", error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string node = root + "/dev/" + name;
        if (access(node.c_str(), R_OK | W_OK) == 0)
            return node;
    }
    return std::nullopt;
}

WalkDisk WalkDiskOf(const Tree& s, const SysfsBlock& disk) {
    WalkDisk w;
    w.folder = disk.folder;
    w.genericNode = GenericNodeBelow(s.root, disk.folder + "/device");
    // The generic node is looked at before sysfs is asked about the disk: when sysfs then gives
    // this disk's generic device its number, the node held that number for this disk, and an
    // open that finds the very same node (device number and inode) needs no lookup.
    const auto node = w.genericNode ? NodeNow(*w.genericNode) : std::nullopt;
    w.dev = ReadAttribute(s, disk.folder, "dev").value_or("");
    w.diskseq = ReadAttribute(s, disk.folder, "diskseq");
    if (node &&
        ReadAttribute(s, disk.folder + "/device/scsi_generic/" + BaseName(*w.genericNode), "dev") ==
            std::to_string(node->major) + ":" + std::to_string(node->minor))
        w.checked = node;
    for (std::string up = disk.folder; up.size() > kDevices.size();) {
        up.resize(up.rfind('/'));
        if (ReadAttribute(s, up, "idVendor") && (w.address = ReadAttribute(s, up, "devnum"))) {
            w.device = up;
            return w;
        }
    }
    w.device = Resolve(s, disk.folder + "/device").value_or(disk.folder);
    return w;
}

bool StillWalked(const Tree& s, const WalkDisk& walked, const std::string& name, bool character,
                 unsigned major, unsigned minor) {
    const std::string number = std::to_string(major) + ":" + std::to_string(minor);
    const auto folder = Resolve(s, (character ? "/sys/dev/char/" : "/sys/dev/block/") + number);
    if (!folder || !folder->starts_with(walked.device + "/"))
        return false;
    // The disk of a generic node is the block device of the same SCSI device:
    // .../H:C:T:L/scsi_generic/sgN beside .../H:C:T:L/block/sdX. Its folder names the host the
    // kernel made for the plug, so a disk plugged again on the same port has another.
    std::string disk = *folder;
    if (character) {
        disk.resize(disk.rfind('/'));
        disk.resize(disk.rfind('/'));
        disk += "/block/" + name;
    }
    // A disk's sequence number is new at every plug, and never given again; the USB address
    // stands in for it on kernels without one.
    if (disk != walked.folder)
        return false;
    if (walked.diskseq)
        return ReadAttribute(s, disk, "diskseq") == walked.diskseq;
    return !walked.address || ReadAttribute(s, walked.device, "devnum") == walked.address;
}

}  // namespace platform::linux_os
