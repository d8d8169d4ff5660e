// The Linux backend of platform/usb_io.h: the USB tree, disks and volumes read from sysfs and the
// mount table, answered at the height the system's walk asks, so that numbering ports and binding
// disks and volumes stay the system's own code (usb/enum_usb.cpp).
//
// A walk reads sysfs once, as it starts with the host controllers (ReadSysfsMachine): the machine
// it describes is answered by the engine of platform/usb_model.h until the next walk. The walks
// over the disks and the volumes take that reading (one not after a walk over the controllers
// reads anew); the walk over the disks still looks at each disk's nodes then, for the identity
// checks below.
//
// How the kernel's objects answer:
//  - host controllers: the root hubs usb<N> of /sys/bus/usb/devices, in the order of the devices
//    behind them (the PCI address), which stays across reboots where bus numbers follow the
//    order the drivers loaded; interface path the root hub's sysfs folder; driver key and root
//    hub name both "usb<N>";
//  - hubs: "\\.\<kernel name>" ("usb1", "1-1", "1-1.3"); their ports by "maxchild", a port
//    connected when the child "<bus>-<port>" or "<hub>.<port>" exists; a hub by bDeviceClass 9;
//  - a device's driver key is its kernel name, which is also the driver property of its sysfs
//    folder, so disks and CD-ROM volumes climb the sysfs ancestry to it;
//  - registry: "...\Enum\<hub>" holds DeviceDesc, "...\Class\<usbN or device>" DriverDesc (the
//    root hub's product text for a controller, the driver bound to a device's interface for a
//    device);
//  - string descriptors 1, 2, 3: the manufacturer, product and serial texts the kernel keeps;
//  - disks: the SCSI disks sd*, device number as "\\.\PHYSICALDRIVE<n>" names them; volumes:
//    each partition of a disk (or the disk itself without partitions), mounted ones first so
//    that a disk whose first partition is not mounted is still offered, then the CD-ROMs sr*.
//
// Drive letters. The system keeps a volume as one UTF-16 unit. A mounted volume's letter is a
// private-use character made from its kernel name (sdb1, sr0), so the same volume has the same
// letter in every walk and every process, whatever else is mounted or unmounted meanwhile;
// "\\.\<letter>:" opens the volume's whole disk for the pass-through and "<letter>:\" answers
// the free space of its first usable mount point. Tools print the device and mount point instead
// (VolumeDevice, VolumeMountPoints).
//
// Mounts. A volume's mounts are the lines of /proc/self/mountinfo with its device number
// (MAJ:MIN), never its name, which the kernel hands to the next disk while a pulled disk's mount
// may linger. A mount point covered by a later mount is not used (on the machine: the mount
// point's st_dev is another device's; on a built tree: a later mount on the same point or above
// it), nor one whose device has left sysfs. A volume without a usable mount has no letter.
//
// Identity. Opening "\\.\<letter>:" or "\\.\PHYSICALDRIVE<n>" for a disk the last walk listed
// checks that the node opened is still that disk (StillWalkDisk): the kernel hands a pulled
// disk's names to the next disk at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_io.h"
#include "platform/linux/mount_table.h"
#include "platform/usb_host.h"
#include "platform/usb_model.h"

namespace platform::linux_os {

// Where sysfs, /proc and /dev are read: "" for the machine itself, a folder for tests.
void SetSystemRoot(const std::string& root);

// ---- Drive letters (no system call) ---------------------------------------------------------

// The letter of a volume by its kernel name ("sdb1", "sdb", "sr0"); nullopt for names that get
// none (other devices, more than 384 disks or 15 partitions, 256 CD-ROMs).
std::optional<char16_t> VolumeLetter(std::string_view kernelName);
// The kernel name of a letter; nullopt for a unit that is no volume letter.
std::optional<std::string> VolumeOfLetter(char16_t letter);
// "sdb" for "sdb1" and for "sdb", "sr0" for "sr0"; nullopt for a name that is neither.
std::optional<std::string> WholeDiskOf(std::string_view kernelName);

// ---- Mounted volumes, read from the system root ---------------------------------------------

// "/dev/sdb1" for the letter of a mounted volume; nullopt when it is not mounted.
std::optional<std::string> VolumeDevice(char16_t letter);
// Its mount points, in mount table order; empty when it is not mounted.
std::vector<std::string> VolumeMountPoints(char16_t letter);
// The letters of every mounted volume, ascending.
std::u16string MountedLetters();

// Why the walk finds no USB host controller, where sysfs tells: "/sys/bus/usb/devices: <the
// system's reason>" when the folder cannot be read, or that it lists no root hub; empty when it
// lists one.
std::string WhyNoRootHub();

// ---- The machine as sysfs describes it ---------------------------------------------------------

// A block device: its kernel name, its sysfs folder from the root, its "MAJ:MIN" ("" when it has
// none).
struct SysfsBlock {
    std::string name;
    std::string folder;
    std::string dev;
};
// What a walk reads below a system root: the machine for the engine of platform/usb_model.h, and
// the disks and volumes it lists, in the walk's order.
struct SysfsMachine {
    usb_model::UsbMachine machine;
    std::vector<SysfsBlock> disks;    // the SCSI disks, by index
    std::vector<SysfsBlock> volumes;  // each disk's volumes, its mounted ones first; the CD-ROMs
};
// The bus of a root hub's kernel name: 3 for "usb3"; nullopt for any other name.
std::optional<int> RootHubBus(std::string_view name);
// Reads sysfs alone; `mounts` are the usable mounts ("MAJ:MIN", mount point) of the mount table.
SysfsMachine ReadSysfsMachine(const std::string& root,
                              const std::vector<std::pair<std::string, std::string>>& mounts);

// ---- What platform/linux/device_io.cpp hands over --------------------------------------------

// The wrapper that answers platform/usb_io.h: the handles OpenDeviceWith gave for a controller,
// hub, disk or volume of the walk are its own (usb_model::Host::Owns), closed and sent their
// hub, controller and storage requests through it.
usb_model::Host& UsbHost();

// The node the pass-through reaches for "\\.\<letter>:": the volume's whole disk below the
// system root ("/dev/sdb" for sdb1); nullopt when the letter names no mounted volume.
std::optional<std::string> LetterDiskNode(char16_t letter);
// What the pass-through opens for a disk node ("<root>/dev/sdb"): its SCSI generic node when the
// kernel has one ("<root>/dev/sg1"), as the last walk over the disks found it, or looked up now
// for a disk the walk did not list; the disk node itself otherwise. Opening the generic node
// costs no command, where opening the disk's own node has the kernel test the unit first, a USB
// round trip each time.
std::string PassThroughNode(const std::string& node);
// The first usable mount point of a "<letter>:\" root, below the system root.
std::optional<std::string> LetterMountPoint(std::u16string_view root);
// "<root>/dev/sdb" for "\\.\PHYSICALDRIVE1"; nullopt for other paths.
std::optional<std::string> DriveNumberNode(std::u16string_view path);

// Whether a node opened for a disk ("<root>/dev/sdb", as LetterDiskNode or DriveNumberNode gave
// it) is still the disk the last walk listed under that name: the opened node's device number
// (a block device, or the disk's SCSI generic node when `character`) leads in sysfs below the
// USB device the walk found the disk on, to the disk's folder of the walk (which names the SCSI
// host made at the plug); that device has the address it had; the disk's diskseq (where the
// kernel has one) is unchanged. True for a disk the walk did not list. The caller takes the
// number from fstat on the open node.
bool StillWalkDisk(const std::string& node, bool character, unsigned major, unsigned minor);

// What fstat says of a node just opened.
struct OpenedNode {
    bool character = false;
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t fileSystem = 0;  // st_dev
    std::uint64_t inode = 0;
    bool operator==(const OpenedNode&) const = default;
};
// StillWalkDisk for an opened node, which sysfs is asked about once: a later open of the same
// node (the same device number and the same inode, which /dev makes anew for every device the
// kernel adds) until the next walk is that disk still. A disk's second open then costs no
// sysfs lookup.
bool StillWalkDiskNode(const std::string& node, const OpenedNode& opened);

// The whole disk of a volume's letter as the last walk saw it, as a text equal for the same disk
// and different for any other, whatever names the kernel gave them: "MAJ:MIN:diskseq:USB device:
// address". nullopt when the walk did not list the disk.
std::optional<std::string> DiskIdentity(char16_t letter);

// Why a disk (by kernel name, "sdb") or one of its partitions that is mounted cannot be used:
// its mount point cannot be looked at (strerror's text); nullopt when no such mount is there.
std::optional<std::string> UnreadableMountOf(std::string_view disk);

}  // namespace platform::linux_os
