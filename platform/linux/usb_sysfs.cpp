// The machine as sysfs describes it below a system root (ReadSysfsMachine): host controllers,
// hubs and devices from /sys/bus/usb, disks, partitions and CD-ROMs from /sys/class/block.
#include <algorithm>
#include <functional>
#include <map>
#include <tuple>

#include "platform/linux/sg_pass_through.h"
#include "platform/linux/sysfs_path.h"
#include "platform/linux/usb_sysfs.h"
#include "platform/text.h"

namespace platform::linux_os {
namespace {

namespace model = usb_model;
using Block = SysfsBlock;

constexpr std::u16string_view kVolumeNamePrefix = u"\\\\?\\Volume{";
constexpr std::string_view kDevices = "/sys/devices/";
constexpr std::uint8_t kHubClass = 0x09;

std::u16string Wide(std::string_view text) {
    return FromUtf8(text);
}

// ---- USB devices ----------------------------------------------------------------------------

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

std::optional<int> RootHubBus(std::string_view name) {
    const auto bus = name.starts_with("usb") ? ParseDecimal(name.substr(3), 4) : std::nullopt;
    return bus ? std::optional<int>(static_cast<int>(*bus)) : std::nullopt;
}

namespace {

// The host controllers by the device behind each root hub, then by bus for the root hubs of one
// controller (USB 2 and 3), which it registers in a fixed order. `devices` gets each USB
// device's folder by its kernel name.
void ReadControllers(const Tree& t, model::UsbMachine& machine,
                     std::map<std::string, std::string>& devices) {
    std::vector<std::tuple<std::string, int, std::string, std::string>> controllers;
    for (const std::string& name : Names(t, "/sys/bus/usb/devices")) {
        const auto bus = RootHubBus(name);
        const auto folder = bus ? UsbDeviceFolder(t, name) : std::nullopt;
        if (folder)
            controllers.emplace_back(folder->substr(0, folder->rfind('/')), *bus, *folder, name);
    }
    std::sort(controllers.begin(), controllers.end());
    for (const auto& [device, bus, folder, name] : controllers) {
        model::UsbController c;
        c.interfacePath = Wide(folder);
        c.driverKey = Wide(name);
        c.driverDesc = Wide(ReadAttribute(t, folder, "product").value_or("USB Host Controller"));
        c.rootHub = ReadHub(t, folder, name, true, devices);
        machine.controllers.push_back(std::move(c));
    }
}

// A disk's volumes: its partitions by number (the disk itself when it has none), the mounted
// ones first.
std::vector<std::pair<int, Block>> VolumesOf(const Tree& t, const Block& disk,
                                             const std::function<bool(const Block&)>& mounted) {
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
    return partitions;
}

// The SCSI disks by index, each on the USB device it hangs from, or apart.
void ReadDisks(const Tree& t, const std::vector<Block>& blocks, const Mounted& mounts,
               const std::map<std::string, std::string>& devices, SysfsMachine& out) {
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
        const std::vector<std::pair<int, Block>> partitions = VolumesOf(t, disk, mounted);
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
        if (model::UsbDevice* device = DeviceAbove(out.machine, devices, disk.folder))
            device->disks.push_back(std::move(d));
        else
            out.machine.otherDisks.push_back(std::move(d));
    }
}

// The CD-ROMs, which answer no device number: they are bound by their ancestry.
void ReadCdroms(const Tree& t, const std::vector<Block>& blocks, const Mounted& mounts,
                const std::map<std::string, std::string>& devices, SysfsMachine& out) {
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
        if (model::UsbDevice* device = DeviceAbove(out.machine, devices, cdrom.folder))
            device->cdromVolumes.push_back(std::move(v));
    }
}

}  // namespace

SysfsMachine ReadSysfsMachine(const std::string& root,
                              const std::vector<std::pair<std::string, std::string>>& mounts) {
    const Tree t{root};
    SysfsMachine out;
    out.machine.langId = 0x0409;  // the kernel keeps the devices' texts in their first language
    std::map<std::string, std::string> devices;
    ReadControllers(t, out.machine, devices);
    const std::vector<Block> blocks = BlockDevices(t);
    ReadDisks(t, blocks, mounts, devices, out);
    ReadCdroms(t, blocks, mounts, devices, out);
    return out;
}

}  // namespace platform::linux_os
