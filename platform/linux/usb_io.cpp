// The Linux backend of platform/usb_io.h: sysfs and the mount table below the system root, read
// into a machine description once per walk (ReadSysfsMachine) and answered by the engine of
// platform/usb_model.h, as platform/linux/usb_sysfs.h describes. Under one lock; nothing is held
// open between calls but the machine's mount table.
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

#include "platform/linux/sg_pass_through.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/text.h"
#include "platform/usb_model.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using linux_os::Mount;
using Block = linux_os::SysfsBlock;
namespace model = usb_model;

constexpr std::u16string_view kVolumeNamePrefix = u"\\\\?\\Volume{";
constexpr std::string_view kDevices = "/sys/devices/";
constexpr std::uint8_t kHubClass = 0x09;
// Far above any descriptor plus one: the two kinds of handle never meet.
constexpr Handle kFirstWalkHandle = Handle{1} << (sizeof(Handle) * 8 - 2);

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

// Where the files are read: the system root.
struct Tree {
    std::string root;
};

struct State : Tree {
    std::mutex mutex;
    // The machine's own mount table, kept open: its poll says whether a mount came or went
    // since the table was last read.
    int mountsFd = -1;
    std::vector<LiveMount> mounts;
    // The volumes mounted where the user may not look, by kernel name: why the point could not
    // be looked at. Not usable, and not to be taken for volumes without a mount.
    std::map<std::string, std::string, std::less<>> unreadableMounts;
    // Each disk of the last walk over the disks, by kernel name.
    std::map<std::string, WalkDisk, std::less<>> walkDisks;
    // The device number of each volume of the last walk over the volumes, by kernel name.
    std::map<std::string, std::string, std::less<>> walkVolumes;
    // The machine as the last reading of sysfs described it, and the disks and volumes it
    // listed; whether the walk over the disks and the one over the volumes have it still to use.
    model::Engine engine;
    bool read = false;
    bool disksToWalk = false;
    bool volumesToWalk = false;
    std::vector<Block> disks;
    std::vector<Block> volumes;
    std::map<Handle, std::u16string> handles;  // the engine's device keys
    Handle nextHandle = kFirstWalkHandle;
};

State& Get() {
    static State& state = *new State;  // never destroyed: a walk may run while the program ends
    return state;
}

// ---- Reading below the root ------------------------------------------------------------------

std::string Under(const Tree& s, std::string_view path) {
    return s.root + std::string(path);
}

// One open, read and close: a disk's open and free space read a few attributes each, and a
// stream's set-up cost more than the reading.
std::optional<std::string> ReadAttribute(const Tree& s, const std::string& folder,
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

std::optional<unsigned> HexAttribute(const Tree& s, const std::string& folder,
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

std::optional<int> DecimalAttribute(const Tree& s, const std::string& folder,
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
std::optional<std::string> Resolve(const Tree& s, std::string_view path) {
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

bool IsFolder(const Tree& s, const std::string& folder) {
    std::error_code error;
    return fs::is_directory(Under(s, folder), error);
}

std::vector<std::string> Names(const Tree& s, std::string_view folder) {
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
std::optional<std::string> UsbDeviceFolder(const Tree& s, std::string_view name) {
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

int PortCount(const Tree& s, const std::string& folder) {
    const auto count = DecimalAttribute(s, folder, "maxchild");
    return count ? std::min(*count, 255) : 0;
}

// The driver bound to the device's first interface that has one: what the device is to the
// system, as a class driver's description is on Windows.
std::optional<std::string> DeviceDriver(const Tree& s, const std::string& folder,
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

std::vector<Block> BlockDevices(const Tree& s) {
    std::vector<Block> blocks;
    for (const std::string& name : Names(s, "/sys/class/block")) {
        if (const auto folder = Resolve(s, "/sys/class/block/" + name))
            blocks.push_back({name, *folder, ""});
    }
    return blocks;
}

bool IsPartition(const Tree& s, const Block& block) {
    return ReadAttribute(s, block.folder, "partition").has_value();
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
bool Uncovered(const State& s, const std::vector<Mount>& table, std::size_t index,
               std::string* unreadable) {
    struct stat point {};
    if (!s.root.empty()) {
        // A built tree's point that is not there is a mount of its table all the same.
        if (stat(Under(s, table[index].point).c_str(), &point) != 0 && errno != ENOENT) {
            *unreadable = std::strerror(errno);
            return false;
        }
        return !linux_os::CoveredByLater(table, index);
    }
    unsigned major = 0;
    unsigned minor = 0;
    char tail = 0;
    if (std::sscanf(table[index].device.c_str(), "%u:%u%c", &major, &minor, &tail) != 2)
        return false;
    if (stat(table[index].point.c_str(), &point) != 0) {
        *unreadable = std::strerror(errno);
        return false;
    }
    return point.st_dev == makedev(major, minor);
}

// Each volume's letter, disk and free space asks the mount table; a walk asks it for every
// volume. Read again, its devices looked up again, only when it changed. Kept: the mounts of
// disks and CD-ROMs whose device is in sysfs and whose mount point is not covered.
const std::vector<LiveMount>& Mounts(State& s) {
    if (const auto text = ChangedMountTable(s)) {
        s.mounts.clear();
        s.unreadableMounts.clear();
        const std::vector<Mount> table = linux_os::ParseMountInfo(*text);
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i].device.starts_with("0:"))
                continue;  // no block device behind it
            const auto folder = Resolve(s, "/sys/dev/block/" + table[i].device);
            const std::string name = folder ? BaseName(*folder) : std::string();
            if (!folder || !linux_os::VolumeLetter(name))
                continue;
            std::string unreadable;
            if (!Uncovered(s, table, i, &unreadable)) {
                if (!unreadable.empty())
                    s.unreadableMounts.emplace(name, unreadable);
                continue;
            }
            s.mounts.push_back({table[i].device, name, table[i].point});
        }
    }
    return s.mounts;
}

// The usable mount points of a volume by its kernel name, bound by its device number now: a
// mount left by a pulled disk that had the name is not this volume's. With `asWalked`, by the
// number the last walk read for the name, for the opens and free space of a disk the walk
// listed: an open checks that the disk is still the walk's.
std::vector<std::string> MountPointsOf(State& s, const std::string& name, bool asWalked = false) {
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

WalkDisk WalkDiskOf(const Tree& s, const Block& disk) {
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

// ---- The machine as sysfs describes it ------------------------------------------------------

using Mounted = std::vector<std::pair<std::string, std::string>>;

// A hub's ports by "maxchild", a port connected when the child "<bus>-<port>" or "<hub>.<port>"
// is there with its address; a child by bDeviceClass 9 a hub. `devices` gets each device's
// folder by its kernel name.
model::UsbHub ReadHub(const Tree& t, const std::string& folder, const std::string& name, bool root,
                      std::map<std::string, std::string>& devices);

model::UsbDevice ReadDevice(const Tree& t, const std::string& folder, const std::string& name,
                            int address) {
    model::UsbDevice d;
    d.vendorId = static_cast<std::uint16_t>(HexAttribute(t, folder, "idVendor").value_or(0));
    d.productId = static_cast<std::uint16_t>(HexAttribute(t, folder, "idProduct").value_or(0));
    d.deviceClass = static_cast<std::uint8_t>(HexAttribute(t, folder, "bDeviceClass").value_or(0));
    d.bcdUsb = 0;
    d.numberOfOpenPipes = 0;
    d.address = static_cast<std::uint16_t>(address);
    // A text the kernel keeps is a string the device has.
    std::uint8_t* indexes[] = {&d.iManufacturer, &d.iProduct, &d.iSerialNumber};
    for (std::size_t i = 0; i < std::size(kStringFiles); ++i) {
        const auto text = ReadAttribute(t, folder, kStringFiles[i]);
        const auto index = static_cast<std::uint8_t>(i + 1);
        *indexes[i] = text ? index : 0;
        if (text)
            d.strings[index] = model::UsbStringDescriptor::Text(Wide(*text));
    }
    d.driverKey = Wide(name);
    const auto driver = DeviceDriver(t, folder, name);
    d.driverDesc = driver ? std::optional(Wide(*driver)) : std::nullopt;
    return d;
}

model::UsbHub ReadHub(const Tree& t, const std::string& folder, const std::string& name, bool root,
                      std::map<std::string, std::string>& devices) {
    model::UsbHub hub;
    hub.symbolicName = Wide(name);
    hub.driverKey = hub.symbolicName;
    hub.deviceDesc = Wide(root ? std::string("USB Root Hub")
                               : ReadAttribute(t, folder, "product").value_or("USB Hub"));
    hub.vendorId = static_cast<std::uint16_t>(HexAttribute(t, folder, "idVendor").value_or(0));
    hub.productId = static_cast<std::uint16_t>(HexAttribute(t, folder, "idProduct").value_or(0));
    hub.ports.resize(static_cast<std::size_t>(PortCount(t, folder)));
    for (std::size_t i = 0; i < hub.ports.size(); ++i) {
        const std::string child = ChildName(name, static_cast<int>(i + 1));
        const std::string childFolder = folder + "/" + child;
        const auto address =
            IsFolder(t, childFolder) ? DecimalAttribute(t, childFolder, "devnum") : std::nullopt;
        if (!address)
            continue;
        if (HexAttribute(t, childFolder, "bDeviceClass") == kHubClass) {
            hub.ports[i] = model::UsbPort::WithHub(ReadHub(t, childFolder, child, false, devices));
        } else {
            hub.ports[i] = model::UsbPort::With(ReadDevice(t, childFolder, child, *address));
            devices[child] = childFolder;
        }
    }
    return hub;
}

// The USB device a block device hangs from: the deepest described device whose folder holds it.
model::UsbDevice* DeviceAbove(model::UsbMachine& machine,
                              const std::map<std::string, std::string>& devices,
                              const std::string& folder) {
    std::string name;
    std::size_t longest = 0;
    for (const auto& [kernelName, deviceFolder] : devices) {
        if (deviceFolder.size() > longest && folder.starts_with(deviceFolder + "/")) {
            name = kernelName;
            longest = deviceFolder.size();
        }
    }
    if (name.empty())
        return nullptr;
    const std::u16string key = Wide(name);
    model::UsbDevice* found = nullptr;
    const auto visit = [&](const auto& self, model::UsbHub& hub) -> void {
        for (model::UsbPort& port : hub.ports) {
            if (port.device && port.device->driverKey == key)
                found = &*port.device;
            else if (port.hub)
                self(self, *port.hub);
        }
    };
    for (model::UsbController& c : machine.controllers)
        visit(visit, c.rootHub);
    return found;
}

// A volume as the walk's calls see it: its name, its mount paths (the letter's root first, as a
// drive root comes first, then where the kernel mounted it) and its drive type.
model::UsbVolume ReadVolume(const Block& volume, const Mounted& mounts, std::uint32_t driveType) {
    model::UsbVolume v;
    v.interfacePath = Wide(volume.folder);
    v.volumeName = std::u16string(kVolumeNamePrefix) + Wide(volume.name) + u"}\\";
    v.nodeDriverReadable = false;
    v.driveType = driveType;
    const auto letter = linux_os::VolumeLetter(volume.name);
    for (const auto& [device, point] : mounts) {
        if (device != volume.dev || !letter)
            continue;
        if (v.mountPaths.empty())
            v.mountPaths.push_back({*letter, u':', u'\\'});
        v.mountPaths.push_back(Wide(point.empty() || point.back() != '/' ? point + "/" : point));
    }
    return v;
}

}  // namespace

// ---- platform/linux/usb_sysfs.h ---------------------------------------------------------------

namespace linux_os {

SysfsMachine ReadSysfsMachine(const std::string& root,
                              const std::vector<std::pair<std::string, std::string>>& mounts) {
    const Tree t{root};
    SysfsMachine out;
    model::UsbMachine& machine = out.machine;
    machine.langId = 0x0409;  // the kernel keeps the devices' texts in their first language

    // By the device behind each root hub, then by bus for the root hubs of one controller (USB 2
    // and 3), which it registers in a fixed order.
    std::vector<std::tuple<std::string, int, std::string, std::string>> controllers;
    for (const std::string& name : Names(t, "/sys/bus/usb/devices")) {
        const auto bus = RootHubBus(name);
        const auto folder = bus ? UsbDeviceFolder(t, name) : std::nullopt;
        if (folder)
            controllers.emplace_back(folder->substr(0, folder->rfind('/')), *bus, *folder, name);
    }
    std::sort(controllers.begin(), controllers.end());
    std::map<std::string, std::string> devices;
    for (const auto& [device, bus, folder, name] : controllers) {
        model::UsbController c;
        c.interfacePath = Wide(folder);
        c.driverKey = Wide(name);
        c.driverDesc = Wide(ReadAttribute(t, folder, "product").value_or("USB Host Controller"));
        c.rootHub = ReadHub(t, folder, name, true, devices);
        machine.controllers.push_back(std::move(c));
    }

    // The SCSI disks by index, each with its partitions by number (the disk itself when it has
    // none), its mounted ones first.
    const std::vector<Block> blocks = BlockDevices(t);
    for (const Block& block : blocks) {
        if (ScsiDiskIndex(block.name) && !IsPartition(t, block))
            out.disks.push_back(block);
    }
    std::sort(out.disks.begin(), out.disks.end(), [](const Block& a, const Block& b) {
        return *ScsiDiskIndex(a.name) < *ScsiDiskIndex(b.name);
    });
    const auto mounted = [&mounts](const Block& volume) {
        return std::any_of(mounts.begin(), mounts.end(),
                           [&volume](const auto& m) { return m.first == volume.dev; });
    };
    for (Block& disk : out.disks) {
        disk.dev = ReadAttribute(t, disk.folder, "dev").value_or("");
        std::vector<std::pair<int, Block>> partitions;
        for (const std::string& name : Names(t, disk.folder)) {
            Block part{name, disk.folder + "/" + name, ""};
            if (const auto number = DecimalAttribute(t, part.folder, "partition")) {
                part.dev = ReadAttribute(t, part.folder, "dev").value_or("");
                partitions.emplace_back(*number, std::move(part));
            }
        }
        std::sort(partitions.begin(), partitions.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        if (partitions.empty())
            partitions.emplace_back(0, disk);
        std::stable_partition(partitions.begin(), partitions.end(),
                              [&](const auto& p) { return mounted(p.second); });
        model::UsbDisk d;
        d.number = *ScsiDiskIndex(disk.name);
        d.interfacePath = Wide(disk.folder);
        d.nodeDriverReadable = false;
        // Only a mounted volume's drive type is asked for.
        std::optional<int> removable;
        if (mounted(partitions.front().second))
            removable = DecimalAttribute(t, disk.folder, "removable");
        for (const auto& [number, volume] : partitions) {
            model::UsbVolume v =
                ReadVolume(volume, mounts, removable == 1 ? kDriveRemovable : kDriveFixed);
            v.partition = static_cast<std::uint32_t>(number);
            d.volumes.push_back(std::move(v));
            out.volumes.push_back(volume);
        }
        if (model::UsbDevice* device = DeviceAbove(machine, devices, disk.folder))
            device->disks.push_back(std::move(d));
        else
            machine.otherDisks.push_back(std::move(d));
    }

    // Then the CD-ROMs, which answer no device number: they are bound by their ancestry.
    std::vector<Block> cdroms;
    for (const Block& block : blocks) {
        if (block.name.compare(0, 2, "sr") == 0 && VolumeLetter(block.name))
            cdroms.push_back(block);
    }
    std::sort(cdroms.begin(), cdroms.end(), [](const Block& a, const Block& b) {
        return *VolumeLetter(a.name) < *VolumeLetter(b.name);
    });
    for (Block& cdrom : cdroms) {
        cdrom.dev = ReadAttribute(t, cdrom.folder, "dev").value_or("");
        model::UsbVolume v = ReadVolume(cdrom, mounts, kDriveCdrom);
        v.numberFails = true;
        out.volumes.push_back(cdrom);
        if (model::UsbDevice* device = DeviceAbove(machine, devices, cdrom.folder))
            device->cdromVolumes.push_back(std::move(v));
    }
    return out;
}

void SetSystemRoot(const std::string& root) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    std::error_code error;
    const fs::path real = root.empty() ? fs::path() : fs::canonical(root, error);
    s.root = error ? root : real.string();
    while (!s.root.empty() && s.root.back() == '/')
        s.root.pop_back();
    s.engine.Install({});
    s.read = false;
    s.disks.clear();
    s.volumes.clear();
    if (s.mountsFd >= 0)
        close(s.mountsFd);
    s.mountsFd = -1;
    s.mounts.clear();
    s.unreadableMounts.clear();
    s.walkDisks.clear();
    s.walkVolumes.clear();
}

std::string WhyNoRootHub() {
    constexpr std::string_view kFolder = "/sys/bus/usb/devices";
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    std::error_code error;
    const fs::directory_iterator list(Under(s, kFolder), error);
    if (error)
        return std::string(kFolder) + ": " + error.message();
    const std::vector<std::string> names = Names(s, kFolder);
    if (std::none_of(names.begin(), names.end(),
                     [](const std::string& name) { return RootHubBus(name).has_value(); }))
        return std::string(kFolder) + " lists no root hub";
    return "";
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
    const std::vector<std::uint8_t> request(buffer.begin(), buffer.end());
    return s.engine.Control(it->second, code, request, buffer, returned);
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

std::optional<std::string> UnreadableMountOf(std::string_view disk) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    Mounts(s);
    for (const auto& [name, why] : s.unreadableMounts) {
        if (name == disk || WholeDiskOf(name) == disk)
            return why;
    }
    return std::nullopt;
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

namespace {

// Reads the machine anew: the mount table as last polled, then sysfs.
void Refresh(State& s) {
    std::vector<std::pair<std::string, std::string>> mounted;
    for (const LiveMount& mount : Mounts(s))
        mounted.emplace_back(mount.device, mount.point);
    linux_os::SysfsMachine reading = linux_os::ReadSysfsMachine(s.root, mounted);
    s.engine.Install(std::move(reading.machine));
    s.disks = std::move(reading.disks);
    s.volumes = std::move(reading.volumes);
    s.read = s.disksToWalk = s.volumesToWalk = true;
}

model::Engine& Engine(State& s) {
    if (!s.read)
        Refresh(s);
    return s.engine;
}

}  // namespace

TAVRIN_BACKEND_BEGIN

// ---- platform/usb_io.h ------------------------------------------------------------------------

DeviceInfoSet GetClassDevices(const Guid& interfaceClass) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    // A walk reads sysfs once, as it starts with the controllers; its walks over the disks and the
    // volumes take that reading, and read anew only when no walk over the controllers came first.
    if (interfaceClass == kGuidUsbHostController || !s.read ||
        (interfaceClass == kGuidDisk && !s.disksToWalk) ||
        (interfaceClass == kGuidVolume && !s.volumesToWalk))
        Refresh(s);
    if (interfaceClass == kGuidDisk) {
        s.disksToWalk = false;
        s.walkDisks.clear();
        for (const Block& disk : s.disks)
            s.walkDisks.emplace(disk.name, WalkDiskOf(s, disk));
    } else if (interfaceClass == kGuidVolume) {
        s.volumesToWalk = false;
        s.walkVolumes.clear();
        for (const Block& volume : s.volumes) {
            if (!volume.dev.empty())
                s.walkVolumes.emplace(volume.name, volume.dev);
        }
    }
    return s.engine.ClassDevices(interfaceClass);
}

bool EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                         DeviceInterfaceData* data) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.engine.EnumInterface(set, interfaceClass, index, data);
}

bool GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                  std::uint32_t* requiredSize) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.engine.InterfaceDetailSize(set, data, requiredSize);
}

bool GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                              std::uint32_t detailSize, std::span<char16_t> path,
                              DevInst* devInst) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.engine.InterfaceDetail(set, data, detailSize, path, devInst);
}

void DestroyDeviceInfoList(DeviceInfoSet set) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    s.engine.DestroySet(set);
}

bool GetParentDevInst(DevInst node, DevInst* parent) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.engine.Parent(node, parent);
}

bool GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer, std::uint32_t* length) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.engine.DriverProperty(node, buffer, length);
}

bool OpenMachineKey(const char16_t* subKey, RegKey* key) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return Engine(s).OpenKey(subKey, key);
}

bool QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                        std::uint32_t* length) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return s.engine.QueryValue(key, name, buffer, length);
}

void CloseRegistryKey(RegKey key) {
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    s.engine.CloseKey(key);
}

Handle OpenDeviceWith(const char16_t* path, std::uint32_t, std::uint32_t) {
    if (path == nullptr)
        return kInvalidHandle;
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    std::u16string key;
    std::string place;
    if (!Engine(s).Find(path, &key, &place))
        return kInvalidHandle;
    const Handle handle = s.nextHandle++;
    s.handles.emplace(handle, std::move(key));
    return handle;
}

bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) {
    if (mountPoint == nullptr)
        return false;
    // One buffer may be both: read all of it first.
    const std::u16string point(mountPoint);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return Engine(s).VolumeName(point.c_str(), name);
}

bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                     std::uint32_t* returned) {
    if (volumeName == nullptr)
        return false;
    const std::u16string volume(volumeName);
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return Engine(s).PathNames(volume.c_str(), paths, returned);
}

std::uint32_t DriveType(const char16_t* root) {
    if (root == nullptr)
        return kDriveNoRootDir;
    std::u16string r(root);
    if (r.size() == 2 && r[1] == u':')
        r += u'\\';
    State& s = Get();
    const std::lock_guard lock(s.mutex);
    return Engine(s).DriveType(r).value_or(kDriveNoRootDir);
}

std::uint16_t SystemDefaultLangId() {
    return 0x0409;  // the kernel keeps the devices' texts in their first language
}

TAVRIN_BACKEND_END

}  // namespace platform
