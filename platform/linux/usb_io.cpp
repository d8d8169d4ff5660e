// The Linux backend of platform/usb_io.h: sysfs and the mount table below the system root, read
// into a machine description once per walk (usb_sysfs.cpp) and answered by the engine of
// platform/usb_model.h behind the wrapper of platform/usb_host.h, as platform/linux/usb_sysfs.h
// describes; the mount table (mount_table.h) and the disks' identity (disk_identity.h) kept
// beside it. Under one lock; nothing is held open between calls but the machine's mount table.
#include "platform/usb_io.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/linux/disk_identity.h"
#include "platform/linux/mount_table.h"
#include "platform/linux/sg_pass_through.h"
#include "platform/linux/sysfs_path.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/text.h"
#include "platform/usb_host.h"
#include "platform/usb_model.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using linux_os::LiveMount;
using linux_os::Tree;
using linux_os::WalkDisk;
using Block = linux_os::SysfsBlock;
namespace model = usb_model;

struct State : Tree, model::Host::Side {
    std::mutex mutex;
    linux_os::MountTable mountTable;
    // Each disk of the last walk over the disks, by kernel name.
    std::map<std::string, WalkDisk, std::less<>> walkDisks;
    // The device number of each volume of the last walk over the volumes, by kernel name.
    std::map<std::string, std::string, std::less<>> walkVolumes;
    // The machine as the last reading of sysfs described it (in the host's engine), and the
    // disks and volumes it listed; whether the walk over the disks and the one over the volumes
    // have it still to use.
    bool read = false;
    bool disksToWalk = false;
    bool volumesToWalk = false;
    std::vector<Block> disks;
    std::vector<Block> volumes;
    model::Host host{mutex, *this};

    // A walk reads sysfs once, as it starts with the controllers; its walks over the disks and
    // the volumes take that reading, and read anew only when no walk over the controllers came
    // first. Any other call reads the machine when nothing has been read yet.
    void Prepare(model::Engine&, const Guid* walk) override;
};

State& Get() {
    static State& state = *new State;  // never destroyed: a walk may run while the program ends
    return state;
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
    for (const LiveMount& mount : s.mountTable.Mounts(s)) {
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
    s.host.engine().Install({});
    s.read = false;
    s.disks.clear();
    s.volumes.clear();
    s.mountTable.Reset();
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
    for (const LiveMount& mount : s.mountTable.Mounts(s)) {
        // The device may have gone, and its name passed on, since the table was read.
        const auto letter = VolumeLetter(mount.name);
        if (letter && letters.find(*letter) == std::u16string::npos &&
            ReadAttribute(s, "/sys/class/block/" + mount.name, "dev") == mount.device)
            letters += *letter;
    }
    std::sort(letters.begin(), letters.end());
    return letters;
}

model::Host& UsbHost() {
    return Get().host;
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
    s.mountTable.Mounts(s);
    for (const auto& [name, why] : s.mountTable.Unreadable()) {
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
    for (const LiveMount& mount : s.mountTable.Mounts(s))
        mounted.emplace_back(mount.device, mount.point);
    linux_os::SysfsMachine reading = linux_os::ReadSysfsMachine(s.root, mounted);
    s.host.engine().Install(std::move(reading.machine));
    s.disks = std::move(reading.disks);
    s.volumes = std::move(reading.volumes);
    s.read = s.disksToWalk = s.volumesToWalk = true;
}

void State::Prepare(model::Engine&, const Guid* walk) {
    State& s = *this;
    if (walk == nullptr) {
        if (!s.read)
            Refresh(s);
        return;
    }
    if (*walk == kGuidUsbHostController || !s.read || (*walk == kGuidDisk && !s.disksToWalk) ||
        (*walk == kGuidVolume && !s.volumesToWalk))
        Refresh(s);
    if (*walk == kGuidDisk) {
        s.disksToWalk = false;
        s.walkDisks.clear();
        for (const Block& disk : s.disks)
            s.walkDisks.emplace(disk.name, WalkDiskOf(s, disk));
    } else if (*walk == kGuidVolume) {
        s.volumesToWalk = false;
        s.walkVolumes.clear();
        for (const Block& volume : s.volumes) {
            if (!volume.dev.empty())
                s.walkVolumes.emplace(volume.name, volume.dev);
        }
    }
}

}  // namespace

TAVRIN_BACKEND_BEGIN

UsbCalls& UsbSystem() {
    return Get().host;
}

TAVRIN_BACKEND_END

}  // namespace platform
