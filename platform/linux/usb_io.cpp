// The Linux backend of platform/usb_io.h: sysfs and the mount table below the system root,
// answered as platform/linux/usb_sysfs.h describes. Sets, nodes, keys and handles are ids kept in
// tables under one lock; nothing is held open between calls but the machine's mount table.
#include "platform/usb_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <tuple>

#include "platform/bytes.h"
#include "platform/linux/sg_pass_through.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/text.h"
#include "platform/usb_replies.h"
#include "platform/usb_requests.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
namespace reply = usb_reply;
using linux_os::Mount;

constexpr std::u16string_view kHubPrefix = u"\\\\.\\";
constexpr std::u16string_view kVolumeNamePrefix = u"\\\\?\\Volume{";
constexpr std::string_view kDevices = "/sys/devices/";
constexpr std::uint8_t kHubClass = 0x09;
// Far above any descriptor plus one: the two kinds of handle never meet.
constexpr Handle kFirstWalkHandle = Handle{1} << (sizeof(Handle) * 8 - 2);

enum class Kind { Controller, Hub, Storage };

struct Opened {
    Kind kind;
    std::string folder;  // sysfs folder, from the root
    std::string name;    // kernel name
};

struct RegistryKey {
    bool enumKey;  // Enum (a hub's DeviceDesc) or Class (a DriverDesc)
    std::string name;
};

struct Interface {
    std::u16string path;
    DevInst node;
};

// A usable line of the mount table: its device is there and its mount point not covered.
struct LiveMount {
    std::string device;  // "MAJ:MIN"
    std::string name;    // the device's kernel name when the table was read
    std::string point;
};

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
    std::optional<linux_os::OpenedNode> checked;
};

struct State {
    std::mutex mutex;
    std::string root;
    // The machine's own mount table, kept open: its poll says whether a mount came or went
    // since the table was last read.
    int mountsFd = -1;
    std::vector<LiveMount> mounts;
    // Each disk of the last walk over the disks, by kernel name.
    std::map<std::string, WalkDisk, std::less<>> walkDisks;
    // The device number of each volume of the last walk over the volumes, by kernel name.
    std::map<std::string, std::string, std::less<>> walkVolumes;
    std::vector<std::string> nodes;  // DevInst n is nodes[n - 1]
    std::map<std::string, DevInst> nodeIds;
    std::map<DeviceInfoSet, std::vector<Interface>> sets;
    DeviceInfoSet nextSet = 0x100;
    std::map<RegKey, RegistryKey> keys;
    RegKey nextKey = 0x100;
    std::map<Handle, Opened> handles;
    Handle nextHandle = kFirstWalkHandle;
};

State& Get() {
    static State& state = *new State;  // never destroyed: a walk may run while the program ends
    return state;
}

// ---- Reading below the root ------------------------------------------------------------------

std::string Under(const State& s, std::string_view path) {
    return s.root + std::string(path);
}

// One open, read and close: a disk's open and free space read a few attributes each, and a
// stream's set-up cost more than the reading.
std::optional<std::string> ReadAttribute(const State& s, const std::string& folder,
                                         std::string_view name) {
    const std::string path = Under(s, folder + "/" + std::string(name));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string value;
    char chunk[4096];
    // A short read is the end of a file: no read more for the end of a one-line attribute.
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        value.append(chunk, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof chunk)
            break;
    }
    close(fd);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\0'))
        value.pop_back();
    return value;
}

std::optional<unsigned> HexAttribute(const State& s, const std::string& folder,
                                     std::string_view name) {
    const auto text = ReadAttribute(s, folder, name);
    if (!text || text->empty() || text->size() > 8)
        return std::nullopt;
    unsigned value = 0;
    for (char c : *text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

std::optional<int> DecimalAttribute(const State& s, const std::string& folder,
                                    std::string_view name) {
    const auto text = ReadAttribute(s, folder, name);
    if (!text || text->empty() || text->size() > 6)
        return std::nullopt;
    int value = 0;
    for (char c : *text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The folder a link below the root leads to, from the root; nullopt when it leads nowhere or
// out of the root. A sysfs link leads straight to a real folder: one readlink and the path made
// plain, where a full resolution looks up every component.
std::optional<std::string> Resolve(const State& s, std::string_view path) {
    const std::string full = Under(s, path);
    std::string text;
    char target[4096];
    const ssize_t n = readlink(full.c_str(), target, sizeof target);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof target) {
        const fs::path link(std::string(target, static_cast<std::size_t>(n)));
        text = (link.is_absolute() ? link : fs::path(full).parent_path() / link)
                   .lexically_normal()
                   .string();
        while (text.size() > 1 && text.back() == '/')
            text.pop_back();
        if (access(text.c_str(), F_OK) != 0)
            return std::nullopt;
    } else {
        std::error_code error;
        const fs::path real = fs::canonical(full, error);
        if (error)
            return std::nullopt;
        text = real.string();
    }
    if (text.compare(0, s.root.size(), s.root) != 0 ||
        (text.size() > s.root.size() && text[s.root.size()] != '/'))
        return std::nullopt;
    return s.root.empty() ? text : text.substr(s.root.size());
}

bool IsFolder(const State& s, const std::string& folder) {
    std::error_code error;
    return fs::is_directory(Under(s, folder), error);
}

std::vector<std::string> Names(const State& s, std::string_view folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(Under(s, folder), error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// ---- USB devices ----------------------------------------------------------------------------

std::optional<int> RootHubBus(std::string_view name) {
    if (name.size() < 4 || name.size() > 7 || name.substr(0, 3) != "usb")
        return std::nullopt;
    int bus = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        bus = bus * 10 + (c - '0');
    }
    return bus;
}

// A USB device's folder by its kernel name; the name must be one ("usb1", "1-1.2"), not a path.
std::optional<std::string> UsbDeviceFolder(const State& s, std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == ".." ||
        name.find(':') != std::string_view::npos)
        return std::nullopt;
    const auto folder = Resolve(s, "/sys/bus/usb/devices/" + std::string(name));
    if (!folder || !ReadAttribute(s, *folder, "devnum"))
        return std::nullopt;
    return folder;
}

// The kernel name of the device on a hub's port.
std::string ChildName(const std::string& hub, int port) {
    if (const auto bus = RootHubBus(hub))
        return std::to_string(*bus) + "-" + std::to_string(port);
    return hub + "." + std::to_string(port);
}

std::optional<std::string> ConnectedChild(const State& s, const Opened& hub, int port) {
    const std::string child = ChildName(hub.name, port);
    const std::string folder = hub.folder + "/" + child;
    if (!IsFolder(s, folder) || !ReadAttribute(s, folder, "devnum"))
        return std::nullopt;
    return child;
}

int PortCount(const State& s, const std::string& folder) {
    const auto count = DecimalAttribute(s, folder, "maxchild");
    return count ? std::min(*count, 255) : 0;
}

// The driver bound to the device's first interface that has one: what the device is to the
// system, as a class driver's description is on Windows.
std::optional<std::string> DeviceDriver(const State& s, const std::string& folder,
                                        const std::string& name) {
    for (const std::string& entry : Names(s, folder)) {
        if (entry.compare(0, name.size() + 1, name + ":") != 0)
            continue;
        if (const auto driver = Resolve(s, folder + "/" + entry + "/driver"))
            return BaseName(*driver);
    }
    return std::nullopt;
}

constexpr std::string_view kStringFiles[] = {"manufacturer", "product", "serial"};

// ---- Block devices --------------------------------------------------------------------------

struct Block {
    std::string name;
    std::string folder;
};

std::vector<Block> BlockDevices(const State& s) {
    std::vector<Block> blocks;
    for (const std::string& name : Names(s, "/sys/class/block")) {
        if (const auto folder = Resolve(s, "/sys/class/block/" + name))
            blocks.push_back({name, *folder});
    }
    return blocks;
}

bool IsPartition(const State& s, const Block& block) {
    return ReadAttribute(s, block.folder, "partition").has_value();
}

std::vector<Block> Disks(const State& s) {
    std::vector<Block> disks;
    for (const Block& block : BlockDevices(s)) {
        if (linux_os::ScsiDiskIndex(block.name) && !IsPartition(s, block))
            disks.push_back(block);
    }
    std::sort(disks.begin(), disks.end(), [](const Block& a, const Block& b) {
        return *linux_os::ScsiDiskIndex(a.name) < *linux_os::ScsiDiskIndex(b.name);
    });
    return disks;
}

std::vector<std::string> MountPointsOf(State& s, const std::string& name, bool asWalked = false);

// Each disk's partitions by number (the disk itself when it has none), its mounted ones first,
// then the CD-ROMs.
std::vector<Block> Volumes(State& s) {
    std::vector<Block> volumes;
    for (const Block& disk : Disks(s)) {
        std::vector<std::pair<int, Block>> partitions;
        for (const std::string& name : Names(s, disk.folder)) {
            const Block part{name, disk.folder + "/" + name};
            if (const auto number = DecimalAttribute(s, part.folder, "partition"))
                partitions.emplace_back(*number, part);
        }
        std::sort(partitions.begin(), partitions.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        if (partitions.empty())
            volumes.push_back(disk);
        const std::size_t first = volumes.size();
        for (auto& [number, part] : partitions)
            volumes.push_back(std::move(part));
        std::stable_partition(volumes.begin() + static_cast<std::ptrdiff_t>(first), volumes.end(),
                              [&s](const Block& v) { return !MountPointsOf(s, v.name).empty(); });
    }
    std::vector<Block> cdroms;
    for (const Block& block : BlockDevices(s)) {
        if (block.name.compare(0, 2, "sr") == 0 && linux_os::VolumeLetter(block.name))
            cdroms.push_back(block);
    }
    std::sort(cdroms.begin(), cdroms.end(), [](const Block& a, const Block& b) {
        return *linux_os::VolumeLetter(a.name) < *linux_os::VolumeLetter(b.name);
    });
    volumes.insert(volumes.end(), cdroms.begin(), cdroms.end());
    return volumes;
}

// ---- The mount table ------------------------------------------------------------------------

std::optional<std::string> ReadAll(int fd) {
    if (lseek(fd, 0, SEEK_SET) != 0)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

// The mount table text; nullopt when it is unchanged since the last call.
std::optional<std::string> ChangedMountTable(State& s) {
    if (s.root.empty()) {
        if (s.mountsFd >= 0) {
            pollfd changed{s.mountsFd, POLLPRI, 0};
            const int ready = poll(&changed, 1, 0);
            if (ready == 0 || (ready == 1 && (changed.revents & (POLLPRI | POLLERR)) == 0))
                return std::nullopt;
        } else {
            s.mountsFd = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        }
        if (s.mountsFd >= 0) {
            if (auto text = ReadAll(s.mountsFd))
                return text;
            close(s.mountsFd);
            s.mountsFd = -1;
        }
    }
    // A built tree's files change without notice: read each time.
    std::ifstream in(Under(s, "/proc/self/mountinfo"), std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    return text.str();
}

// Whether the mount point shows the mount's own file system, as df decides it: on the machine by
// the device of the mount point itself; a built tree's folders are no mounts, so there by the
// order of the table.
bool Uncovered(const State& s, const std::vector<Mount>& table, std::size_t index) {
    if (!s.root.empty())
        return !linux_os::CoveredByLater(table, index);
    unsigned major = 0;
    unsigned minor = 0;
    char tail = 0;
    struct stat point {};
    return std::sscanf(table[index].device.c_str(), "%u:%u%c", &major, &minor, &tail) == 2 &&
           stat(table[index].point.c_str(), &point) == 0 && point.st_dev == makedev(major, minor);
}

// Each volume's letter, disk and free space asks the mount table; a walk asks it for every
// volume. Read again, its devices looked up again, only when it changed. Kept: the mounts of
// disks and CD-ROMs whose device is in sysfs and whose mount point is not covered.
const std::vector<LiveMount>& Mounts(State& s) {
    if (const auto text = ChangedMountTable(s)) {
        s.mounts.clear();
        const std::vector<Mount> table = linux_os::ParseMountInfo(*text);
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i].device.starts_with("0:"))
                continue;  // no block device behind it
            const auto folder = Resolve(s, "/sys/dev/block/" + table[i].device);
            const std::string name = folder ? BaseName(*folder) : std::string();
            if (!folder || !linux_os::VolumeLetter(name) || !Uncovered(s, table, i))
                continue;
            s.mounts.push_back({table[i].device, name, table[i].point});
        }
    }
    return s.mounts;
}

// The usable mount points of a volume by its kernel name, bound by its device number now: a
// mount left by a pulled disk that had the name is not this volume's. With `asWalked`, by the
// number the last walk read for the name, for the opens and free space of a disk the walk
// listed: an open checks that the disk is still the walk's.
std::vector<std::string> MountPointsOf(State& s, const std::string& name, bool asWalked) {
    std::vector<std::string> points;
    const auto walked = asWalked ? s.walkVolumes.find(name) : s.walkVolumes.end();
    const auto dev = walked != s.walkVolumes.end()
                         ? std::optional(walked->second)
                         : ReadAttribute(s, "/sys/class/block/" + name, "dev");
    if (!dev)
        return points;
    for (const LiveMount& mount : Mounts(s)) {
        if (mount.device == *dev)
            points.push_back(mount.point);
    }
    return points;
}

std::optional<std::string> LetterRootName(std::u16string_view root) {
    if (root.size() < 2 || root[1] != u':' || (root.size() == 3 && root[2] != u'\\') ||
        root.size() > 3)
        return std::nullopt;
    return linux_os::VolumeOfLetter(root[0]);
}

// ---- Nodes and sets -------------------------------------------------------------------------

DevInst NodeOf(State& s, const std::string& folder) {
    const auto it = s.nodeIds.find(folder);
    if (it != s.nodeIds.end())
        return it->second;
    s.nodes.push_back(folder);
    const auto id = static_cast<DevInst>(s.nodes.size());
    s.nodeIds.emplace(folder, id);
    return id;
}

// The node below `root` of the SCSI generic device in a SCSI device's folder, if it has one
// that may be opened.
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

std::u16string Wide(std::string_view text) {
    return FromUtf8(text);
}

// What stat says of a device node now; nullopt for anything else (a built tree's stand-in).
std::optional<linux_os::OpenedNode> NodeNow(const std::string& node) {
    struct stat st {};
    if (stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    return linux_os::OpenedNode{true, major(st.st_rdev), minor(st.st_rdev),
                                static_cast<std::uint64_t>(st.st_dev),
                                static_cast<std::uint64_t>(st.st_ino)};
}

WalkDisk WalkDiskOf(const State& s, const Block& disk) {
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

std::vector<Interface> InterfacesOf(State& s, const Guid& interfaceClass) {
    std::vector<Interface> found;
    if (interfaceClass == kGuidUsbHostController) {
        // By the device behind each root hub, then by bus for the root hubs of one controller
        // (USB 2 and 3), which it registers in a fixed order.
        std::vector<std::tuple<std::string, int, std::string>> controllers;
        for (const std::string& name : Names(s, "/sys/bus/usb/devices")) {
            const auto bus = RootHubBus(name);
            const auto folder = bus ? UsbDeviceFolder(s, name) : std::nullopt;
            if (folder)
                controllers.emplace_back(folder->substr(0, folder->rfind('/')), *bus, *folder);
        }
        std::sort(controllers.begin(), controllers.end());
        for (const auto& [device, bus, folder] : controllers)
            found.push_back({Wide(folder), NodeOf(s, folder)});
    } else if (interfaceClass == kGuidDisk) {
        s.walkDisks.clear();
        for (const Block& disk : Disks(s)) {
            found.push_back({Wide(disk.folder), NodeOf(s, disk.folder)});
            s.walkDisks.emplace(disk.name, WalkDiskOf(s, disk));
        }
    } else if (interfaceClass == kGuidVolume) {
        s.walkVolumes.clear();
        for (const Block& volume : Volumes(s)) {
            found.push_back({Wide(volume.folder), NodeOf(s, volume.folder)});
            if (const auto dev = ReadAttribute(s, volume.folder, "dev"))
                s.walkVolumes.emplace(volume.name, *dev);
        }
    }
    return found;
}

// ---- Replies in bytes -----------------------------------------------------------------------

bool ControllerControl(const Opened& controller, std::uint32_t code, std::span<std::uint8_t> out,
                       std::uint32_t* returned) {
    if (code != kIoctlGetHcdDriverKeyName && code != kIoctlUsbGetRootHubName)
        return false;
    return reply::Name(Wide(controller.name), out, returned);
}

bool StringDescriptor(const State& s, const std::string& folder, std::uint8_t index,
                      std::span<std::uint8_t> out, std::uint32_t* returned) {
    if (index < 1 || index > std::size(kStringFiles))
        return false;
    const auto text = ReadAttribute(s, folder, kStringFiles[index - 1]);
    // The request is in the buffer the reply goes to.
    return text && reply::Descriptor(out, reply::StringDescriptor(Wide(*text)), out, returned);
}

bool HubControl(const State& s, const Opened& hub, std::uint32_t code, std::span<std::uint8_t> out,
                std::uint32_t* returned) {
    const int ports = PortCount(s, hub.folder);
    if (code == kIoctlUsbGetNodeInformation)
        return reply::NodeInformation({static_cast<std::uint8_t>(ports)}, out, returned);
    // Every other request names a port first.
    const std::uint32_t port = ByteReader(out).U32Le();
    if (out.size() < 4 || port < 1 || port > static_cast<std::uint32_t>(ports))
        return false;
    const auto child = ConnectedChild(s, hub, static_cast<int>(port));
    const std::string folder = child ? hub.folder + "/" + *child : std::string();
    switch (code) {
        case kIoctlUsbGetNodeConnectionInformation: {
            reply::Connection c;
            c.port = port;
            if (child) {
                reply::DeviceDescriptor d;
                d.deviceClass =
                    static_cast<std::uint8_t>(HexAttribute(s, folder, "bDeviceClass").value_or(0));
                d.vendorId =
                    static_cast<std::uint16_t>(HexAttribute(s, folder, "idVendor").value_or(0));
                d.productId =
                    static_cast<std::uint16_t>(HexAttribute(s, folder, "idProduct").value_or(0));
                // A text the kernel keeps is a string the device has.
                std::uint8_t* indexes[] = {&d.iManufacturer, &d.iProduct, &d.iSerialNumber};
                for (std::size_t i = 0; i < std::size(kStringFiles); ++i) {
                    if (ReadAttribute(s, folder, kStringFiles[i]))
                        *indexes[i] = static_cast<std::uint8_t>(i + 1);
                }
                c.device = d;
                c.deviceIsHub = d.deviceClass == kHubClass;
                c.address =
                    static_cast<std::uint16_t>(DecimalAttribute(s, folder, "devnum").value_or(0));
                c.status = kUsbDeviceConnected;
            }
            return reply::ConnectionInformation(c, out, returned);
        }
        case kIoctlUsbGetNodeConnectionName:
        case kIoctlUsbGetNodeConnectionDriverKeyName: {
            if (!child)
                return false;
            // Only a hub has a name to open it by.
            if (code == kIoctlUsbGetNodeConnectionName &&
                HexAttribute(s, folder, "bDeviceClass") != kHubClass)
                return false;
            return reply::ConnectionName(port, Wide(*child), out, returned);
        }
        case kIoctlUsbGetDescriptorFromNodeConnection: {
            const auto value = reply::DescriptorValue(out);
            if (!child || !value || (*value >> 8) != kUsbStringDescriptorType)
                return false;
            return StringDescriptor(s, folder, static_cast<std::uint8_t>(*value & 0xFF), out,
                                    returned);
        }
        default:
            return false;
    }
}

bool StorageControl(const State& s, const Opened& storage, std::uint32_t code,
                    std::span<std::uint8_t> out, std::uint32_t* returned) {
    if (code != kIoctlStorageGetDeviceNumber)
        return false;
    // CD-ROMs are numbered apart from disks: their numbers would be taken for a disk's.
    const auto disk = linux_os::WholeDiskOf(storage.name);
    const auto index = disk ? linux_os::ScsiDiskIndex(*disk) : std::nullopt;
    if (!index || !IsFolder(s, storage.folder))
        return false;
    const int partition = DecimalAttribute(s, storage.folder, "partition").value_or(0);
    return reply::DeviceNumber(kFileDeviceDisk, static_cast<std::uint32_t>(*index),
                               static_cast<std::uint32_t>(partition), out, returned);
}

bool StringValue(std::string_view text, std::span<std::uint8_t> buffer, std::uint32_t* length) {
    return reply::StringValue(Wide(text), buffer, length);
}

std::optional<std::u16string> After(std::u16string_view text, std::u16string_view prefix) {
    if (text.size() <= prefix.size() || !StartsWithNoCase(text, prefix))
        return std::nullopt;
    return std::u16string(text.substr(prefix.size()));
}

}  // namespace

// ---- platform/linux/usb_sysfs.h ---------------------------------------------------------------

namespace linux_os {

void SetSystemRoot(const std::string& root) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    std::error_code error;
    const fs::path real = root.empty() ? fs::path() : fs::canonical(root, error);
    s.root = error ? root : real.string();
    while (!s.root.empty() && s.root.back() == '/')
        s.root.pop_back();
    s.nodes.clear();
    s.nodeIds.clear();
    if (s.mountsFd >= 0)
        close(s.mountsFd);
    s.mountsFd = -1;
    s.mounts.clear();
    s.walkDisks.clear();
    s.walkVolumes.clear();
}

std::optional<std::string> VolumeDevice(char16_t letter) {
    const auto name = VolumeOfLetter(letter);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    if (!name || MountPointsOf(s, *name).empty())
        return std::nullopt;
    return "/dev/" + *name;
}

std::vector<std::string> VolumeMountPoints(char16_t letter) {
    const auto name = VolumeOfLetter(letter);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return name ? MountPointsOf(s, *name) : std::vector<std::string>();
}

std::u16string MountedLetters() {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    std::u16string letters;
    for (const LiveMount& mount : Mounts(s)) {
        // The device may have gone, and its name passed on, since the table was read.
        const auto letter = VolumeLetter(mount.name);
        if (letter && letters.find(*letter) == std::u16string::npos &&
            ReadAttribute(s, "/sys/class/block/" + mount.name, "dev") == mount.device)
            letters += *letter;
    }
    std::sort(letters.begin(), letters.end());
    return letters;
}

bool IsWalkHandle(Handle handle) {
    return handle >= kFirstWalkHandle && handle != kInvalidHandle;
}

bool CloseWalkHandle(Handle handle) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.handles.erase(handle) == 1;
}

bool WalkControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* returned) {
    if (returned != nullptr)
        *returned = 0;
    if (out == nullptr || returned == nullptr)
        return false;
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const auto it = s.handles.find(handle);
    if (it == s.handles.end())
        return false;
    // The request is read from the output buffer: the system sends one buffer both ways.
    const std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(out), outSize);
    if (in != nullptr && in != out)
        std::memmove(out, in, std::min(inSize, outSize));
    switch (it->second.kind) {
        case Kind::Controller:
            return ControllerControl(it->second, code, buffer, returned);
        case Kind::Hub:
            return HubControl(s, it->second, code, buffer, returned);
        case Kind::Storage:
            return StorageControl(s, it->second, code, buffer, returned);
    }
    return false;
}

std::optional<std::string> LetterDiskNode(char16_t letter) {
    const auto name = VolumeOfLetter(letter);
    const auto disk = name ? WholeDiskOf(*name) : std::nullopt;
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    if (!disk || MountPointsOf(s, *name, true).empty())
        return std::nullopt;
    return Under(s, "/dev/" + *disk);
}

std::string PassThroughNode(const std::string& node) {
    const std::size_t slash = node.rfind('/');
    if (slash == std::string::npos || slash < 4 || node.compare(slash - 4, 4, "/dev") != 0)
        return node;
    const std::string root = node.substr(0, slash - 4);
    const std::string name = node.substr(slash + 1);
    {
        State& s = Get();
        const std::lock_guard lock(s.mutex);
        const auto it = s.walkDisks.find(name);
        if (it != s.walkDisks.end() && it->second.genericNode &&
            it->second.genericNode->starts_with(root + "/dev/"))
            return *it->second.genericNode;
    }
    return GenericNodeBelow(root, "/sys/block/" + name + "/device").value_or(node);
}

std::optional<std::string> LetterMountPoint(std::u16string_view root) {
    const auto name = LetterRootName(root);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    if (!name)
        return std::nullopt;
    const std::vector<std::string> points = MountPointsOf(s, *name, true);
    if (points.empty())
        return std::nullopt;
    return Under(s, points.front());
}

std::optional<std::string> DriveNumberNode(std::u16string_view path) {
    if (path.empty() || path.front() == u'/')
        return std::nullopt;
    const auto node = DeviceNodePath(path);
    if (!node)
        return std::nullopt;
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return Under(s, *node);
}

namespace {

bool StillWalked(State& s, const WalkDisk& walked, const std::string& name, bool character,
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

}  // namespace

bool StillWalkDisk(const std::string& node, bool character, unsigned major, unsigned minor) {
    const std::string name = BaseName(node);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const auto it = s.walkDisks.find(name);
    return it == s.walkDisks.end() || StillWalked(s, it->second, name, character, major, minor);
}

bool StillWalkDiskNode(const std::string& node, const OpenedNode& opened) {
    const std::string name = BaseName(node);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const auto it = s.walkDisks.find(name);
    if (it == s.walkDisks.end())
        return true;
    WalkDisk& walked = it->second;
    if (walked.checked && *walked.checked == opened)
        return true;
    if (!StillWalked(s, walked, name, opened.character, opened.major, opened.minor))
        return false;
    walked.checked = opened;
    return true;
}

std::optional<std::string> DiskIdentity(char16_t letter) {
    const auto volume = VolumeOfLetter(letter);
    const auto disk = volume ? WholeDiskOf(*volume) : std::nullopt;
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const auto it = disk ? s.walkDisks.find(*disk) : s.walkDisks.end();
    if (it == s.walkDisks.end())
        return std::nullopt;
    const WalkDisk& w = it->second;
    return w.dev + ":" + w.diskseq.value_or("") + ":" + BaseName(w.device) + ":" +
           w.address.value_or("");
}

}  // namespace linux_os

TAVRIN_BACKEND_BEGIN

// ---- platform/usb_io.h ------------------------------------------------------------------------

DeviceInfoSet GetClassDevices(const Guid& interfaceClass) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const DeviceInfoSet set = s.nextSet++;
    s.sets[set] = InterfacesOf(s, interfaceClass);
    return set;
}

bool EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                         DeviceInterfaceData* data) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const auto it = s.sets.find(set);
    if (it == s.sets.end() || index >= it->second.size() || data == nullptr)
        return false;  // ERROR_NO_MORE_ITEMS
    reply::InterfaceData(interfaceClass, index, data);
    return true;
}

namespace {

const Interface* InterfaceAt(State& s, DeviceInfoSet set, const DeviceInterfaceData* data) {
    const auto it = s.sets.find(set);
    const auto index = reply::InterfaceIndex(data);
    if (it == s.sets.end() || !index)
        return nullptr;
    return *index < it->second.size() ? &it->second[*index] : nullptr;
}

}  // namespace

bool GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                  std::uint32_t* requiredSize) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const Interface* i = InterfaceAt(s, set, data);
    if (i == nullptr || requiredSize == nullptr)
        return false;
    *requiredSize = reply::InterfaceDetailSize(i->path);
    return true;
}

bool GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                              std::uint32_t detailSize, std::span<char16_t> path,
                              DevInst* devInst) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const Interface* i = InterfaceAt(s, set, data);
    if (i == nullptr || !reply::InterfaceDetail(i->path, detailSize, path))
        return false;
    if (devInst != nullptr)
        *devInst = i->node;
    return true;
}

void DestroyDeviceInfoList(DeviceInfoSet set) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    s.sets.erase(set);
}

bool GetParentDevInst(DevInst node, DevInst* parent) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    if (node < 1 || node > s.nodes.size() || parent == nullptr)
        return false;
    const std::string folder = s.nodes[node - 1];
    const std::size_t slash = folder.rfind('/');
    // The climb ends below /sys/devices: the folders above are no devices.
    if (slash == std::string::npos || slash < kDevices.size() ||
        folder.compare(0, kDevices.size(), kDevices) != 0)
        return false;
    *parent = NodeOf(s, folder.substr(0, slash));
    return true;
}

bool GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer, std::uint32_t* length) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    if (node < 1 || node > s.nodes.size())
        return false;
    const std::string& folder = s.nodes[node - 1];
    // Only USB devices have the key their hub port names.
    if (!ReadAttribute(s, folder, "devnum") || !ReadAttribute(s, folder, "idVendor"))
        return false;
    return StringValue(BaseName(folder), buffer, length);
}

bool OpenMachineKey(const char16_t* subKey, RegKey* key) {
    if (subKey == nullptr || key == nullptr)
        return false;
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    RegistryKey found{};
    if (const auto name = After(subKey, kEnumKeyPrefix)) {
        found = {true, ToUtf8(*name)};
    } else if (const auto driver = After(subKey, kClassKeyPrefix)) {
        found = {false, ToUtf8(*driver)};
    } else {
        return false;
    }
    if (!UsbDeviceFolder(s, found.name))
        return false;  // ERROR_FILE_NOT_FOUND
    *key = s.nextKey++;
    s.keys[*key] = found;
    return true;
}

bool QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                        std::uint32_t* length) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    const auto it = s.keys.find(key);
    if (it == s.keys.end() || name == nullptr)
        return false;
    const RegistryKey& k = it->second;
    const auto folder = UsbDeviceFolder(s, k.name);
    if (!folder)
        return false;
    const bool rootHub = RootHubBus(k.name).has_value();
    std::optional<std::string> value;
    if (k.enumKey && EqualsNoCase(name, u"DeviceDesc")) {
        value = rootHub ? std::string("USB Root Hub")
                        : ReadAttribute(s, *folder, "product").value_or("USB Hub");
    } else if (!k.enumKey && EqualsNoCase(name, u"DriverDesc")) {
        value = rootHub ? ReadAttribute(s, *folder, "product").value_or("USB Host Controller")
                        : DeviceDriver(s, *folder, k.name);
    }
    return value && StringValue(*value, buffer, length);
}

void CloseRegistryKey(RegKey key) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    s.keys.erase(key);
}

Handle OpenDeviceWith(const char16_t* path, std::uint32_t, std::uint32_t) {
    if (path == nullptr)
        return kInvalidHandle;
    const std::u16string_view text(path);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    std::optional<Opened> opened;
    if (const auto hub = After(text, kHubPrefix)) {
        const std::string name = ToUtf8(*hub);
        const auto folder = UsbDeviceFolder(s, name);
        if (folder && PortCount(s, *folder) > 0)
            opened = Opened{Kind::Hub, *folder, name};
    } else if (!text.empty() && text.front() == u'/') {
        const auto folder = Resolve(s, ToUtf8(text));
        const std::string name = folder ? BaseName(*folder) : std::string();
        if (folder && RootHubBus(name) && ReadAttribute(s, *folder, "devnum"))
            opened = Opened{Kind::Controller, *folder, name};
        else if (folder && ReadAttribute(s, *folder, "dev") && linux_os::WholeDiskOf(name))
            opened = Opened{Kind::Storage, *folder, name};
    }
    if (!opened)
        return kInvalidHandle;
    const Handle handle = s.nextHandle++;
    s.handles.emplace(handle, *opened);
    return handle;
}

bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) {
    if (mountPoint == nullptr)
        return false;
    // One buffer may be both: read all of it first.
    const std::u16string point(mountPoint);
    if (point.empty() || point.back() != u'\\')
        return false;  // a mount point ends with a backslash
    const std::u16string_view bare(point.data(), point.size() - 1);
    std::optional<std::string> volume = LetterRootName(point);
    if (!volume && !bare.empty() && bare.front() == u'/') {
        State& s = Get();
        const std::lock_guard lock(s.mutex);
        const auto folder = Resolve(s, ToUtf8(bare));
        const std::string kernelName = folder ? BaseName(*folder) : std::string();
        if (folder && ReadAttribute(s, *folder, "dev") && linux_os::VolumeLetter(kernelName))
            volume = kernelName;
    }
    if (!volume)
        return false;
    return reply::TerminatedText(std::u16string(kVolumeNamePrefix) + Wide(*volume) + u"}\\", name);
}

bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                     std::uint32_t* returned) {
    if (volumeName == nullptr)
        return false;
    const std::u16string volume(volumeName);
    const auto inner = After(volume, kVolumeNamePrefix);
    if (!inner || inner->size() < 3 || inner->substr(inner->size() - 2) != u"}\\")
        return false;
    const std::string name = ToUtf8(inner->substr(0, inner->size() - 2));
    const auto letter = linux_os::VolumeLetter(name);
    if (!letter)
        return false;
    std::vector<std::string> points;
    {
        State& s = Get();
        const std::lock_guard lock(s.mutex);
        points = MountPointsOf(s, name);
    }
    // The letter's root first, as a drive root comes first; then where the kernel mounted it.
    std::vector<std::u16string> list;
    if (!points.empty()) {
        list.push_back({*letter, u':', u'\\'});
        for (const std::string& point : points)
            list.push_back(Wide(point.empty() || point.back() != '/' ? point + "/" : point));
    }
    return reply::MultiText(list, paths, returned);
}

std::uint32_t DriveType(const char16_t* root) {
    if (root == nullptr)
        return kDriveNoRootDir;
    const auto name = LetterRootName(root);
    if (!name)
        return kDriveNoRootDir;
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    if (MountPointsOf(s, *name).empty())
        return kDriveNoRootDir;
    if (name->compare(0, 2, "sr") == 0)
        return kDriveCdrom;
    const auto disk = linux_os::WholeDiskOf(*name);
    const auto removable =
        disk ? DecimalAttribute(s, "/sys/class/block/" + *disk, "removable") : std::nullopt;
    return removable == 1 ? kDriveRemovable : kDriveFixed;
}

std::uint16_t SystemDefaultLangId() {
    return 0x0409;  // the kernel keeps the devices' texts in their first language
}

TAVRIN_BACKEND_END

}  // namespace platform
