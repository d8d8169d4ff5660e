#include "platform/usb_model.h"

#include <algorithm>
#include <unordered_map>

#include "platform/bytes.h"
#include "platform/text.h"
#include "platform/usb_replies.h"
#include "platform/usb_requests.h"

namespace platform::usb_model {
namespace {

namespace reply = usb_reply;

constexpr std::u16string_view kUsbClass = u"{36fc9e60-c465-11cf-8056-444553540000}";
constexpr std::u16string_view kDiskClass = u"{4d36e967-e325-11ce-bfc1-08002be10318}";
constexpr std::u16string_view kCdromClass = u"{4d36e965-e325-11ce-bfc1-08002be10318}";
constexpr std::u16string_view kVolumeClass = u"{71a27cdd-812a-11d0-bec7-08002be2092f}";
constexpr std::u16string_view kUsbDeviceClass = u"{88bae032-5a81-49f0-bc3d-a4ff138216d6}";
constexpr std::u16string_view kHubInterface = u"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
constexpr DevInst kRootNode = 1;

std::u16string Upper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        c = AsciiUpper(c);
    return out;
}

std::u16string Join(std::initializer_list<std::u16string_view> parts) {
    std::u16string out;
    for (auto part : parts)
        out += part;
    return out;
}

// A path of the device namespace without its "\\?\" or "\\.\" and in upper case, as the object
// manager compares names; a path of the file system as it is; empty for anything else.
std::u16string DeviceKey(std::u16string_view path) {
    if (path.size() > 1 && path[0] == u'/')
        return std::u16string(path);
    if (path.size() <= 4 || path[0] != u'\\' || path[1] != u'\\' ||
        (path[2] != u'?' && path[2] != u'.') || path[3] != u'\\')
        return {};
    return Upper(path.substr(4));
}

// The Enum key of a hub: every '#' of its name a key separator, the last one and the interface
// class behind it dropped.
std::u16string EnumKeyOf(std::u16string_view symbolicName) {
    std::u16string key(symbolicName);
    const auto last = key.rfind(u'#');
    if (last != std::u16string::npos)
        key.resize(last);
    std::replace(key.begin(), key.end(), u'#', u'\\');
    return Join({kEnumKeyPrefix, key});
}

// A place in the tree: a prefix, a separator and a number ("c0", "c0.2", "c0.2/disk0").
std::string Place(std::string_view prefix, std::string_view separator, std::size_t number) {
    std::string place(prefix);
    place += separator;
    place += std::to_string(number);
    return place;
}

reply::DeviceDescriptor DescriptorOf(const UsbDevice& d) {
    reply::DeviceDescriptor out;
    out.bcdUsb = d.bcdUsb;
    out.deviceClass = d.deviceClass;
    out.maxPacketSize0 = 64;
    out.vendorId = d.vendorId;
    out.productId = d.productId;
    out.bcdDevice = 0x0100;
    out.iManufacturer = d.iManufacturer;
    out.iProduct = d.iProduct;
    out.iSerialNumber = d.iSerialNumber;
    out.numConfigurations = 1;
    return out;
}

reply::DeviceDescriptor DescriptorOf(const UsbHub& h) {
    reply::DeviceDescriptor out;
    out.bcdUsb = 0x0200;
    out.deviceClass = 9;  // hub class
    out.deviceProtocol = 1;
    out.maxPacketSize0 = 64;
    out.vendorId = h.vendorId;
    out.productId = h.productId;
    out.bcdDevice = 0x0100;
    out.iProduct = 1;
    out.numConfigurations = 1;
    return out;
}

}  // namespace

// ---- The description ----------------------------------------------------------------------

UsbStringDescriptor UsbStringDescriptor::Text(std::u16string_view text) {
    UsbStringDescriptor d;
    d.bytes = usb_reply::StringDescriptor(text);
    return d;
}

UsbStringDescriptor UsbStringDescriptor::Raw(std::vector<std::uint8_t> bytes) {
    UsbStringDescriptor d;
    d.bytes = std::move(bytes);
    return d;
}

UsbStringDescriptor UsbStringDescriptor::Failing() {
    UsbStringDescriptor d;
    d.fails = true;
    return d;
}

UsbPort UsbPort::With(UsbDevice device) {
    UsbPort port;
    port.device = std::move(device);
    return port;
}

UsbPort UsbPort::WithHub(UsbHub hub) {
    UsbPort port;
    port.hub = Boxed<UsbHub>(std::move(hub));
    return port;
}

UsbDevice FlashDisk(int diskNumber, char16_t letter) {
    UsbDevice device;
    device.strings[1] = UsbStringDescriptor::Text(u"Generic");
    device.strings[2] = UsbStringDescriptor::Text(u"Flash Disk");
    device.strings[3] = UsbStringDescriptor::Text(u"0123456789AB");
    UsbDisk disk;
    disk.number = diskNumber;
    UsbVolume volume;
    if (letter != 0)
        volume.mountPaths.push_back(std::u16string{letter, u':', u'\\'});
    disk.volumes.push_back(std::move(volume));
    device.disks.push_back(std::move(disk));
    return device;
}

UsbDevice Keyboard() {
    UsbDevice device;
    device.vendorId = 0x1C4F;
    device.productId = 0x0002;
    device.deviceClass = 0;
    device.iSerialNumber = 0;
    device.speed = 0;  // low speed
    device.numberOfOpenPipes = 1;
    device.strings[1] = UsbStringDescriptor::Text(u"Generic");
    device.strings[2] = UsbStringDescriptor::Text(u"USB Keyboard");
    device.driverDesc = u"USB Input Device";
    return device;
}

UsbHub Hub(int ports) {
    UsbHub hub;
    hub.ports.resize(static_cast<std::size_t>(std::max(ports, 0)));
    return hub;
}

UsbController Controller(int rootPorts) {
    UsbController controller;
    controller.rootHub = Hub(rootPorts);
    return controller;
}

// ---- The engine -----------------------------------------------------------------------------

struct Engine::Impl {
    UsbMachine machine;
    unsigned made = 0;  // names made so far

    // What the machine compiles to: device nodes, interfaces, openable devices, registry.
    struct Node {
        DevInst parent = 0;
        std::optional<std::u16string> driver;
    };
    struct Interface {
        Guid interfaceClass;
        std::u16string path;
        DevInst node = 0;
        bool detailFails = false;
    };
    enum class Kind { Controller, Hub, Disk, Volume, CdromVolume };
    struct Target {
        Kind kind = Kind::Controller;
        std::string place;
        const UsbController* controller = nullptr;
        const UsbHub* hub = nullptr;
        const UsbDisk* disk = nullptr;
        const UsbVolume* volume = nullptr;
        int cdromIndex = 0;
        bool opens = true;
    };
    using VolumeView = Engine::VolumeView;
    std::map<DevInst, Node> nodes;
    std::vector<Interface> interfaces;
    // Hashed: the keys are long paths that share long prefixes, looked up on every request.
    std::unordered_map<std::u16string, Target> targets;
    std::unordered_map<std::u16string, std::map<std::u16string, std::u16string>> registry;
    std::vector<VolumeView> volumes;
    std::vector<const UsbDisk*> disks;
    std::map<const UsbDevice*, std::uint16_t> addresses;

    std::map<std::string, DevInst> devInstOf;  // kept across changes: a node keeps its number
    DevInst nextDevInst = 2;

    // What the system holds.
    std::map<DeviceInfoSet, std::pair<Guid, std::vector<Interface>>> sets;
    std::map<RegKey, std::u16string> keys;
    std::uintptr_t nextSet = 0x5000;
    std::uintptr_t nextKey = 0x7000;

    // ---- Made names.
    unsigned Next() { return made++; }
    std::u16string UsbDriverKey() { return Join({kUsbClass, u"\\", DecimalText(Next(), 4)}); }

    void Fill(UsbVolume& v, bool cdrom) {
        const unsigned n = Next();
        if (v.interfacePath.empty())
            v.interfacePath =
                cdrom ? Join({u"\\\\?\\storage#volume#_??_usbstor#cdrom&ven_generic&prod_cd-rom&"
                              u"rev_1.00#",
                              HexText(n, 12, false), u"&0#{53f56308-b6bf-11d0-94f2-00a0c91efb8b}",
                              u"#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"})
                      : Join({u"\\\\?\\storage#volume#_??_usbstor#disk&ven_generic&prod_flash_"
                              u"disk&rev_1.00#",
                              HexText(n, 12, false), u"&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}",
                              u"#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"});
        if (v.volumeName.empty())
            v.volumeName = Join({u"\\\\?\\Volume{", HexText(0x5e1f0000u + n, 8, false),
                                 u"-0000-11f0-a000-806e6f6e6963}\\"});
        if (v.nodeDriver.empty())
            v.nodeDriver = Join({kVolumeClass, u"\\", DecimalText(n, 4)});
    }
    void Fill(UsbDisk& d) {
        const unsigned n = Next();
        if (d.interfacePath.empty())
            d.interfacePath =
                Join({u"\\\\?\\usbstor#disk&ven_generic&prod_flash_disk&rev_1.00#",
                      HexText(n, 12, false), u"&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"});
        if (d.nodeDriver.empty())
            d.nodeDriver = Join({kDiskClass, u"\\", DecimalText(n, 4)});
        for (auto& v : d.volumes)
            Fill(v, false);
    }
    void Fill(UsbDevice& dev) {
        if (dev.driverKey.empty())
            dev.driverKey = UsbDriverKey();
        for (auto& d : dev.disks)
            Fill(d);
        for (auto& v : dev.cdromVolumes)
            Fill(v, true);
        for (auto& a : dev.auxInterfaces) {
            if (a.interfacePath.empty())
                a.interfacePath =
                    Join({u"\\\\?\\usb#vid_", HexText(dev.vendorId, 4, false), u"&pid_",
                          HexText(dev.productId, 4, false), u"&mi_01#7&", HexText(Next(), 8, false),
                          u"&0&0001#{0852171d-c2d1-44c1-b9ab-d4acc55d1eae}"});
        }
    }
    void Fill(UsbHub& hub, bool root) {
        const unsigned n = Next();
        if (hub.symbolicName.empty()) {
            hub.symbolicName =
                root ? Join({u"USB#ROOT_HUB30#4&1a2b", HexText(n, 4, false), u"&0", kHubInterface})
                     : Join({u"USB#VID_", HexText(hub.vendorId, 4), u"&PID_",
                             HexText(hub.productId, 4), u"#5&2c3a", HexText(n, 4, false), u"&0&1",
                             kHubInterface});
        }
        if (hub.deviceDesc && hub.deviceDesc->empty())
            hub.deviceDesc = root ? u"@usb.inf,%usb\\roothub%;USB Root Hub (USB 3.0)"
                                  : u"@usb.inf,%usb\\hub.devicedesc%;Generic USB Hub";
        if (hub.driverKey.empty())
            hub.driverKey = UsbDriverKey();
        for (auto& port : hub.ports)
            Fill(port);
    }
    void Fill(UsbPort& port) {
        if (port.device)
            Fill(*port.device);
        if (port.hub)
            Fill(*port.hub, false);
    }
    void Fill(UsbController& c, std::size_t index) {
        if (c.interfacePath.empty())
            c.interfacePath =
                Join({u"\\\\?\\pci#ven_8086&dev_a36d&subsys_00000000&rev_10#3&11583659&0&",
                      HexText(0xa0u + static_cast<unsigned>(index), 2, false),
                      u"#{3abf6f2d-71c4-462a-8a92-1e6861e6af27}"});
        if (c.driverKey.empty())
            c.driverKey = UsbDriverKey();
        Fill(c.rootHub, true);
    }

    // ---- Compiling.
    DevInst AddNode(const std::string& place, DevInst parent,
                    std::optional<std::u16string> driver) {
        auto [it, added] = devInstOf.try_emplace(place, nextDevInst);
        if (added)
            ++nextDevInst;
        nodes[it->second] = Node{parent, std::move(driver)};
        return it->second;
    }
    void AddTarget(std::u16string_view path, Target target) {
        const std::u16string key = DeviceKey(path);
        if (!key.empty())
            targets.emplace(key, std::move(target));
    }
    void AddClassKey(std::u16string_view driverKey, bool present,
                     const std::optional<std::u16string>& driverDesc) {
        if (!present || driverKey.empty())
            return;
        auto& values = registry[Upper(Join({kClassKeyPrefix, driverKey}))];
        if (driverDesc)
            values[u"DRIVERDESC"] = *driverDesc;
    }

    void CompileDisk(const UsbDisk& disk, DevInst parent, DevInst volumeManager,
                     const std::string& place) {
        const DevInst node = AddNode(
            place, parent, disk.nodeDriverReadable ? std::optional(disk.nodeDriver) : std::nullopt);
        interfaces.push_back({kGuidDisk, disk.interfacePath, node, disk.detailFails});
        disks.push_back(&disk);
        AddTarget(disk.interfacePath,
                  {Kind::Disk, place, nullptr, nullptr, &disk, nullptr, 0, disk.opens});
        for (std::size_t j = 0; j < disk.volumes.size(); ++j) {
            const UsbVolume& v = disk.volumes[j];
            const std::string vplace = Place(place, "/vol", j);
            const DevInst vnode =
                AddNode(vplace, volumeManager,
                        v.nodeDriverReadable ? std::optional(v.nodeDriver) : std::nullopt);
            interfaces.push_back({kGuidVolume, v.interfacePath, vnode, v.detailFails});
            AddTarget(v.interfacePath,
                      {Kind::Volume, vplace, nullptr, nullptr, &disk, &v, 0, v.opens});
            volumes.push_back({&v, &disk});
        }
    }

    void CompileDevice(const UsbDevice& dev, DevInst parent, DevInst volumeManager,
                       const std::string& place) {
        const DevInst node = AddNode(
            place, parent, dev.nodeDriverReadable ? std::optional(dev.driverKey) : std::nullopt);
        AddClassKey(dev.driverKey, dev.classKeyPresent, dev.driverDesc);
        for (std::size_t k = 0; k < dev.auxInterfaces.size(); ++k) {
            const UsbAuxInterface& aux = dev.auxInterfaces[k];
            DevInst auxNode = node;
            if (!aux.onDeviceNode) {
                const std::string fplace = Place(place, "/mi", k);
                auxNode = AddNode(fplace, node, std::nullopt);
                nodes[auxNode].driver = Join({kUsbDeviceClass, u"\\", DecimalText(auxNode, 4)});
            }
            interfaces.push_back({kGuidAuxInterface, aux.interfacePath, auxNode, aux.detailFails});
        }
        for (std::size_t i = 0; i < dev.disks.size(); ++i)
            CompileDisk(dev.disks[i], node, volumeManager, Place(place, "/disk", i));
        for (std::size_t j = 0; j < dev.cdromVolumes.size(); ++j) {
            const UsbVolume& v = dev.cdromVolumes[j];
            const std::string cplace = Place(place, "/cd", j);
            const DevInst drive = AddNode(cplace, node, std::nullopt);
            nodes[drive].driver = Join({kCdromClass, u"\\", DecimalText(drive, 4)});
            const DevInst vnode =
                AddNode(cplace + "/vol", drive,
                        v.nodeDriverReadable ? std::optional(v.nodeDriver) : std::nullopt);
            interfaces.push_back({kGuidVolume, v.interfacePath, vnode, v.detailFails});
            AddTarget(v.interfacePath, {Kind::CdromVolume, cplace + "/vol", nullptr, nullptr,
                                        nullptr, &v, static_cast<int>(j), v.opens});
            volumes.push_back({&v, nullptr});
        }
    }

    void CompileHub(const UsbHub& hub, DevInst parent, DevInst volumeManager,
                    const std::string& place, std::uint16_t* address) {
        const DevInst node = AddNode(place + "/hub", parent, hub.driverKey);
        if (hub.enumKeyPresent) {
            auto& values = registry[Upper(EnumKeyOf(hub.symbolicName))];
            if (hub.deviceDesc)
                values[u"DEVICEDESC"] = *hub.deviceDesc;
        }
        AddTarget(Join({u"\\\\.\\", hub.symbolicName}),
                  {Kind::Hub, place, nullptr, &hub, nullptr, nullptr, 0, true});
        for (std::size_t i = 0; i < hub.ports.size(); ++i) {
            const UsbPort& port = hub.ports[i];
            const std::string pplace = Place(place, ".", i + 1);
            if (port.hub) {
                ++*address;
                CompileHub(*port.hub, node, volumeManager, pplace, address);
            } else if (port.device) {
                ++*address;
                addresses[&*port.device] = port.device->address.value_or(*address);
                CompileDevice(*port.device, node, volumeManager, pplace);
            }
        }
    }

    void Compile() {
        nodes.clear();
        interfaces.clear();
        targets.clear();
        registry.clear();
        volumes.clear();
        disks.clear();
        addresses.clear();
        nodes[kRootNode] = Node{0, std::nullopt};
        const DevInst storage =
            AddNode("storage", kRootNode, Join({u"{4d36e96a-e325-11ce-bfc1-08002be10318}\\0000"}));
        const DevInst volumeManager =
            AddNode("volmgr", kRootNode, Join({u"{4d36e97d-e325-11ce-bfc1-08002be10318}\\0010"}));
        for (std::size_t i = 0; i < machine.otherDisks.size(); ++i)
            CompileDisk(machine.otherDisks[i], storage, volumeManager, Place("o", "", i));
        for (std::size_t ci = 0; ci < machine.controllers.size(); ++ci) {
            const UsbController& c = machine.controllers[ci];
            const std::string place = Place("c", "", ci);
            const DevInst node = AddNode(place, kRootNode, c.driverKey);
            interfaces.push_back({kGuidUsbHostController, c.interfacePath, node, c.detailFails});
            AddTarget(c.interfacePath,
                      {Kind::Controller, place, &c, nullptr, nullptr, nullptr, 0, c.opens});
            AddClassKey(c.driverKey, c.classKeyPresent, c.driverDesc);
            std::uint16_t address = 0;
            CompileHub(c.rootHub, node, volumeManager, place, &address);
        }
    }

    UsbPort* PortAt(const UsbPortAddress& address) {
        if (address.controller >= machine.controllers.size() || address.ports.empty())
            return nullptr;
        UsbHub* hub = &machine.controllers[address.controller].rootHub;
        UsbPort* port = nullptr;
        for (int number : address.ports) {
            if (hub == nullptr || number < 1 ||
                static_cast<std::size_t>(number) > hub->ports.size())
                return nullptr;
            port = &hub->ports[static_cast<std::size_t>(number) - 1];
            hub = port->hub.get();
        }
        return port;
    }

    const VolumeView* VolumeByName(std::u16string_view name) const {
        for (const auto& v : volumes) {
            if (EqualsNoCase(v.volume->volumeName, name))
                return &v;
        }
        return nullptr;
    }
};

Engine::Engine() : impl_(std::make_unique<Impl>()) {
    impl_->Compile();
}

Engine::~Engine() = default;

UsbMachine& Engine::Machine() {
    return impl_->machine;
}

const UsbMachine& Engine::Machine() const {
    return impl_->machine;
}

void Engine::Fill(UsbDevice& device) {
    impl_->Fill(device);
}

void Engine::Fill(UsbHub& hub, bool root) {
    impl_->Fill(hub, root);
}

void Engine::Fill(UsbDisk& disk) {
    impl_->Fill(disk);
}

void Engine::Install(UsbMachine machine) {
    Impl& s = *impl_;
    s.machine = std::move(machine);
    for (std::size_t i = 0; i < s.machine.controllers.size(); ++i)
        s.Fill(s.machine.controllers[i], i);
    for (auto& d : s.machine.otherDisks)
        s.Fill(d);
    s.Compile();
}

void Engine::Compile() {
    impl_->Compile();
}

UsbPort* Engine::PortAt(const UsbPortAddress& address) {
    return impl_->PortAt(address);
}

std::string Engine::PlaceOf(const UsbPortAddress& address) {
    std::string place = Place("c", "", address.controller);
    for (int port : address.ports)
        place = Place(place, ".", static_cast<std::size_t>(port));
    return place;
}

bool Engine::Within(const std::string& place, const std::string& prefix) {
    if (prefix.empty())
        return true;
    if (place.compare(0, prefix.size(), prefix) != 0)
        return false;
    return place.size() == prefix.size() || place[prefix.size()] == '.' ||
           place[prefix.size()] == '/';
}

bool Engine::Find(std::u16string_view path, std::u16string* key, std::string* place) const {
    const std::u16string k = DeviceKey(path);
    const auto it = impl_->targets.find(k);
    if (k.empty() || it == impl_->targets.end() || !it->second.opens)
        return false;
    *key = k;
    *place = it->second.place;
    return true;
}

const std::vector<Engine::VolumeView>& Engine::Volumes() const {
    return impl_->volumes;
}

const std::vector<const UsbDisk*>& Engine::Disks() const {
    return impl_->disks;
}

bool Engine::Knows(const std::u16string& key) const {
    return impl_->targets.count(key) != 0;
}

// ---- Device requests ----------------------------------------------------------------------

namespace {

using Addresses = std::map<const UsbDevice*, std::uint16_t>;

// A host controller names its driver key and its root hub.
bool ControllerRequest(const UsbController& c, std::uint32_t code, std::span<std::uint8_t> output,
                       std::uint32_t* written) {
    if (code == kIoctlGetHcdDriverKeyName)
        return !c.driverKeyFails && reply::Name(c.driverKey, output, written);
    if (code == kIoctlUsbGetRootHubName)
        return !c.rootHub.nameFails && reply::Name(c.rootHub.symbolicName, output, written);
    return false;
}

bool HubInformation(const UsbHub& hub, std::span<std::uint8_t> output, std::uint32_t* written) {
    reply::HubNode node;
    node.ports = hub.reportedPorts.value_or(static_cast<std::uint8_t>(hub.ports.size()));
    node.characteristics = 0x0009;  // per-port power switching and over-current
    node.powerOnToPowerGood = 50;
    node.controlCurrent = 100;
    node.busPowered = hub.busPowered;
    return !hub.nodeInformationFails && reply::NodeInformation(node, output, written);
}

bool Occupied(const UsbPort* port) {
    return port != nullptr && (port->device || port->hub);
}

// A port beyond the hub's own list (one the hub reports but lacks) is empty.
std::uint32_t PortStatus(const UsbPort* port) {
    return port == nullptr  ? kUsbNoDeviceConnected
           : port->status   ? *port->status
           : Occupied(port) ? kUsbDeviceConnected
                            : kUsbNoDeviceConnected;
}

bool ConnectionInformation(const UsbPort* port, std::uint32_t index, const Addresses& addresses,
                           std::span<std::uint8_t> output, std::uint32_t* written) {
    if (port != nullptr && port->connectionFails)
        return false;
    reply::Connection c;
    c.port = index;
    c.status = PortStatus(port);
    if (Occupied(port) && port->device) {
        const UsbDevice& d = *port->device;
        c.device = DescriptorOf(d);
        c.currentConfiguration = 1;
        c.lowSpeed = d.speed == 0;
        const auto a = addresses.find(&*port->device);
        c.address = a == addresses.end() ? 0 : a->second;
        c.openPipes = d.numberOfOpenPipes;
        // Its bulk pipes, in and out.
        for (std::size_t p = 0; p < d.numberOfOpenPipes; ++p)
            c.pipes.push_back({static_cast<std::uint8_t>(p % 2 == 0 ? 0x81 : 0x02), 2, 512, 0});
    } else if (Occupied(port)) {
        c.device = DescriptorOf(*port->hub);
        c.currentConfiguration = 1;
        c.deviceIsHub = true;
        c.openPipes = 1;
        c.pipes.push_back({0x81, 3, 1, 12});  // its one interrupt pipe
    }
    return reply::ConnectionInformation(c, output, written);
}

bool ConnectionName(const UsbPort* port, std::uint32_t index, std::span<std::uint8_t> output,
                    std::uint32_t* written) {
    if (PortStatus(port) != kUsbDeviceConnected || (port->hub && port->hub->nameFails))
        return false;
    return reply::ConnectionName(index, port->hub ? port->hub->symbolicName : u"", output, written);
}

bool ConnectionDriverKeyName(const UsbPort* port, std::uint32_t index,
                             std::span<std::uint8_t> output, std::uint32_t* written) {
    // An empty port described as connected has no driver to name.
    if (PortStatus(port) != kUsbDeviceConnected || !Occupied(port))
        return false;
    if (port->device && port->device->driverKeyFails)
        return false;
    return reply::ConnectionName(
        index, port->device ? port->device->driverKey : port->hub->driverKey, output, written);
}

// Only string descriptors are asked for; a device without the one asked for stalls.
bool StringDescriptor(const UsbPort* port, std::uint16_t langId,
                      std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                      std::uint32_t* written) {
    const auto wValue = reply::DescriptorValue(input);
    if (!wValue || PortStatus(port) != kUsbDeviceConnected || !port->device)
        return false;
    if ((*wValue >> 8) != kUsbStringDescriptorType)
        return false;
    const std::uint8_t index = static_cast<std::uint8_t>(*wValue & 0xFF);
    const UsbDevice& d = *port->device;
    std::vector<std::uint8_t> descriptor;
    const auto found = d.strings.find(index);
    if (found != d.strings.end()) {
        if (found->second.fails)
            return false;
        descriptor = found->second.bytes;
    } else if (index == 0) {
        descriptor = reply::LanguageDescriptor(langId);
    } else {
        return false;
    }
    return reply::Descriptor(input, descriptor, output, written);
}

// Every hub request but the node information names a port first.
bool HubRequest(const UsbHub& hub, const Addresses& addresses, std::uint16_t langId,
                std::uint32_t code, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output, std::uint32_t* written) {
    if (code == kIoctlUsbGetNodeInformation)
        return HubInformation(hub, output, written);
    ByteReader request(input);
    const std::uint32_t index = request.U32Le();
    const std::size_t portCount =
        hub.reportedPorts ? std::size_t{*hub.reportedPorts} : hub.ports.size();
    if (!request.Ok() || index < 1 || index > portCount)
        return false;  // ERROR_INVALID_PARAMETER
    const UsbPort* port = index <= hub.ports.size() ? &hub.ports[index - 1] : nullptr;
    switch (code) {
        case kIoctlUsbGetNodeConnectionInformation:
            return ConnectionInformation(port, index, addresses, output, written);
        case kIoctlUsbGetNodeConnectionName:
            return ConnectionName(port, index, output, written);
        case kIoctlUsbGetNodeConnectionDriverKeyName:
            return ConnectionDriverKeyName(port, index, output, written);
        case kIoctlUsbGetDescriptorFromNodeConnection:
            return StringDescriptor(port, langId, input, output, written);
        default:
            return false;
    }
}

// IOCTL_STORAGE_GET_DEVICE_NUMBER is all a disk or a volume answers.
bool DiskRequest(const UsbDisk& disk, std::uint32_t code, std::span<std::uint8_t> output,
                 std::uint32_t* written) {
    return code == kIoctlStorageGetDeviceNumber && !disk.numberFails &&
           reply::DeviceNumber(kFileDeviceDisk, static_cast<std::uint32_t>(disk.number), 0, output,
                               written);
}

bool VolumeRequest(const UsbVolume& volume, const UsbDisk& disk, std::uint32_t code,
                   std::span<std::uint8_t> output, std::uint32_t* written) {
    return code == kIoctlStorageGetDeviceNumber && !volume.numberFails &&
           reply::DeviceNumber(
               kFileDeviceDisk,
               static_cast<std::uint32_t>(volume.deviceNumber.value_or(disk.number)),
               volume.partition, output, written);
}

// A CD-ROM volume is its own device, numbered among the CD-ROMs.
bool CdromRequest(const UsbVolume& volume, int cdromIndex, std::uint32_t code,
                  std::span<std::uint8_t> output, std::uint32_t* written) {
    return code == kIoctlStorageGetDeviceNumber && !volume.numberFails &&
           reply::DeviceNumber(kFileDeviceCdrom,
                               static_cast<std::uint32_t>(volume.deviceNumber.value_or(cdromIndex)),
                               0, output, written);
}

}  // namespace

bool Engine::Control(const std::u16string& key, std::uint32_t code,
                     std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                     std::uint32_t* written) const {
    using Kind = Impl::Kind;
    const Impl& s = *impl_;
    const auto it = s.targets.find(key);
    if (it == s.targets.end())
        return false;  // ERROR_DEVICE_NOT_CONNECTED
    const Impl::Target& t = it->second;
    switch (t.kind) {
        case Kind::Controller:
            return ControllerRequest(*t.controller, code, output, written);
        case Kind::Hub:
            return HubRequest(*t.hub, s.addresses, s.machine.langId, code, input, output, written);
        case Kind::Disk:
            return DiskRequest(*t.disk, code, output, written);
        case Kind::Volume:
            return VolumeRequest(*t.volume, *t.disk, code, output, written);
        case Kind::CdromVolume:
            return CdromRequest(*t.volume, t.cdromIndex, code, output, written);
    }
    return false;
}

// ---- Interface-class walk, device nodes, registry, volumes ---------------------------------

DeviceInfoSet Engine::GetClassDevices(const Guid& interfaceClass) {
    Impl& s = *impl_;
    std::vector<Impl::Interface> present;
    for (const auto& i : s.interfaces) {
        if (i.interfaceClass == interfaceClass)
            present.push_back(i);
    }
    const DeviceInfoSet set = s.nextSet;
    s.nextSet += 8;
    s.sets[set] = {interfaceClass, std::move(present)};
    return set;
}

bool Engine::EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                                 DeviceInterfaceData* data) {
    const auto it = impl_->sets.find(set);
    if (it == impl_->sets.end() || data == nullptr)
        return false;  // ERROR_INVALID_HANDLE
    if (!(it->second.first == interfaceClass) || index >= it->second.second.size())
        return false;  // ERROR_NO_MORE_ITEMS
    reply::InterfaceData(interfaceClass, index, data);
    return true;
}

bool Engine::GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                          std::uint32_t* requiredSize) {
    const auto it = impl_->sets.find(set);
    const auto index = reply::InterfaceIndex(data);
    if (it == impl_->sets.end() || !index || *index >= it->second.second.size())
        return false;
    if (requiredSize != nullptr)
        *requiredSize = reply::InterfaceDetailSize(it->second.second[*index].path);
    return true;
}

bool Engine::GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                                      std::uint32_t detailSize, std::span<char16_t> path,
                                      DevInst* devInst) {
    const auto it = impl_->sets.find(set);
    const auto index = reply::InterfaceIndex(data);
    if (it == impl_->sets.end() || !index || *index >= it->second.second.size())
        return false;
    const Impl::Interface& i = it->second.second[*index];
    if (i.detailFails || !reply::InterfaceDetail(i.path, detailSize, path))
        return false;
    if (devInst != nullptr)
        *devInst = i.node;
    return true;
}

std::size_t Engine::OpenSetCount() const {
    return impl_->sets.size();
}

std::size_t Engine::OpenKeyCount() const {
    return impl_->keys.size();
}

void Engine::DestroyDeviceInfoList(DeviceInfoSet set) {
    impl_->sets.erase(set);
}

bool Engine::GetParentDevInst(DevInst node, DevInst* parent) {
    const auto it = impl_->nodes.find(node);
    if (it == impl_->nodes.end() || it->second.parent == 0)
        return false;  // CR_NO_SUCH_DEVNODE
    if (parent != nullptr)
        *parent = it->second.parent;
    return true;
}

bool Engine::GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer,
                                      std::uint32_t* length) {
    const auto it = impl_->nodes.find(node);
    if (it == impl_->nodes.end() || !it->second.driver)
        return false;  // CR_NO_SUCH_DEVNODE, CR_NO_SUCH_VALUE
    return reply::StringValue(*it->second.driver, buffer, length);
}

bool Engine::OpenMachineKey(const char16_t* subKey, RegKey* key) {
    if (subKey == nullptr || key == nullptr)
        return false;
    Impl& s = *impl_;
    const std::u16string k = Upper(subKey);
    if (!s.registry.count(k))
        return false;  // ERROR_FILE_NOT_FOUND
    *key = s.nextKey;
    s.nextKey += 4;
    s.keys[*key] = k;
    return true;
}

bool Engine::QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                                std::uint32_t* length) {
    const Impl& s = *impl_;
    const auto k = s.keys.find(key);
    if (k == s.keys.end())
        return false;  // ERROR_INVALID_HANDLE
    const auto values = s.registry.find(k->second);
    if (values == s.registry.end())
        return false;  // ERROR_KEY_DELETED
    const auto v = values->second.find(Upper(name == nullptr ? u"" : name));
    if (v == values->second.end())
        return false;  // ERROR_FILE_NOT_FOUND
    return reply::StringValue(v->second, buffer, length);
}

void Engine::CloseRegistryKey(RegKey key) {
    impl_->keys.erase(key);
}

bool Engine::VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) {
    if (mountPoint == nullptr)
        return false;
    // The caller may pass one buffer for both: read all of it first.
    const std::u16string point(mountPoint);
    if (point.empty() || point.back() != u'\\')
        return false;  // ERROR_INVALID_PARAMETER: a mount point ends with a backslash
    const std::u16string_view bare(point.data(), point.size() - 1);
    for (const auto& v : impl_->volumes) {
        bool match = EqualsNoCase(v.volume->interfacePath, bare) ||
                     EqualsNoCase(v.volume->volumeName, point);
        for (const auto& m : v.volume->mountPaths)
            match = match || EqualsNoCase(m, point);
        if (match)
            return reply::TerminatedText(v.volume->volumeName, name);
    }
    return false;
}

bool Engine::VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                             std::uint32_t* returned) {
    if (volumeName == nullptr)
        return false;
    const VolumeView* v = impl_->VolumeByName(volumeName);
    if (v == nullptr)
        return false;
    return reply::MultiText(v->volume->mountPaths, paths, returned);
}

std::optional<std::uint32_t> Engine::DriveTypeOf(std::u16string_view root) const {
    for (const auto& v : impl_->volumes) {
        bool match = EqualsNoCase(v.volume->volumeName, root);
        for (const auto& m : v.volume->mountPaths)
            match = match || EqualsNoCase(m, root);
        if (match)
            return v.volume->driveType;
    }
    return std::nullopt;
}

std::uint32_t Engine::DriveType(const char16_t* root) {
    return root == nullptr ? kDriveNoRootDir : DriveTypeOf(root).value_or(kDriveNoRootDir);
}

std::uint16_t Engine::SystemDefaultLangId() {
    return impl_->machine.langId;
}

}  // namespace platform::usb_model
