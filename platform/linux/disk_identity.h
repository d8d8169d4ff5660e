// A disk's identity across the kernel's reuse of its names: what the last walk over the disks
// saw of each disk, and whether a node opened later is still that disk.
#pragma once

#include <optional>
#include <string>

#include "platform/linux/sysfs_path.h"
#include "platform/linux/usb_sysfs.h"

namespace platform::linux_os {

// A disk as the last walk over the disks listed it, to tell it from a later disk of its name.
struct WalkDisk {
    std::string folder;  // the disk's sysfs folder
    // The USB device it hangs from (the SCSI device for a disk not on USB): the folder every
    // node of the disk lies below.
    std::string device;
    std::string dev;  // "MAJ:MIN"
    std::optional<std::string> diskseq;
    std::optional<std::string> address;  // the USB device's devnum, new at every plug
    std::optional<std::string> genericNode;
    // The node last found to be this disk since the walk.
    std::optional<OpenedNode> checked;
};

// The disk as a walk sees it: its folders, numbers and generic node, read now.
WalkDisk WalkDiskOf(const Tree& s, const SysfsBlock& disk);

// Whether a node with the device number major:minor (a block device, or the disk's SCSI generic
// node when `character`) is still the disk `walked` of kernel name `name`.
bool StillWalked(const Tree& s, const WalkDisk& walked, const std::string& name, bool character,
                 unsigned major, unsigned minor);

// The node below `root` of the SCSI generic device in a SCSI device's folder, if it has one
// that may be opened.
std::optional<std::string> GenericNodeBelow(const std::string& root, const std::string& scsiDevice);

}  // namespace platform::linux_os
