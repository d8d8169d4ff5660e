#include "usb/enum_usb.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/device_io.h"
#include "platform/text.h"
#include "platform/usb_io.h"
#include "platform/usb_requests.h"
#include "usb/usb_walk.h"

namespace usb {

namespace {

DeviceList& List() {
    return SharedDeviceList();
}

// A device opened for the walk, closed when it goes.
class OpenDevice {
  public:
    OpenDevice(const char16_t* path, std::uint32_t share)
        : handle_(platform::OpenDeviceWith(path, platform::kNoAccess, share)) {}
    ~OpenDevice() {
        if (ok())
            platform::CloseDevice(handle_);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    bool ok() const { return handle_ != platform::kInvalidHandle; }
    platform::Handle handle() const { return handle_; }

    // The buffer is the request and the reply.
    bool Send(std::uint32_t code, std::span<std::uint8_t> buffer, std::uint32_t* returned) const {
        const auto size = static_cast<std::uint32_t>(buffer.size());
        return platform::DeviceControl(handle_, code, buffer.data(), size, buffer.data(), size,
                                       returned);
    }
    Control Sender(std::uint32_t code) const {
        return [this, code](std::span<std::uint8_t> buffer, std::uint32_t* returned) {
            return Send(code, buffer, returned);
        };
    }

  private:
    platform::Handle handle_;
};

constexpr std::uint32_t kShareReadWrite = platform::kShareRead | platform::kShareWrite;

// A string descriptor of the device at a hub's port, its text bytes copied into `destination`
// (zero-filled first); index 0 asks nothing. False when the reply is not taken.
bool ReadStringDescriptor(const OpenDevice& hub, std::uint32_t port, std::uint8_t index,
                          std::span<std::uint8_t> destination) {
    if (index == 0)
        return false;
    DescriptorRequest request =
        StringDescriptorRequest(port, index, platform::SystemDefaultLangId());
    std::uint32_t returned = 0;
    if (!hub.Send(platform::kIoctlUsbGetDescriptorFromNodeConnection, request, &returned))
        return false;
    return TakeStringDescriptor(request, returned, destination);
}

// A registry string value read into a buffer of `bytes`; nothing when the key or the value
// cannot be read or the value does not fit.
std::optional<std::u16string> ReadRegistryText(const std::u16string& key, const char16_t* name,
                                               std::size_t bytes) {
    platform::RegKey handle = 0;
    if (!platform::OpenMachineKey(key.c_str(), &handle))
        return std::nullopt;
    std::vector<std::uint8_t> buffer(bytes, 0);
    std::uint32_t length = 0;
    const bool ok = platform::QueryRegistryValue(handle, name, buffer, &length);
    platform::CloseRegistryKey(handle);
    if (!ok)
        return std::nullopt;
    return RegistryText(buffer, length);
}

// Every present interface of a class, in order, with its path and device node. The walk of a
// class ends at the first interface whose detail cannot be read.
template <class Visit>
void ForEachInterface(const platform::Guid& interfaceClass, Visit visit) {
    const platform::DeviceInfoSet set = platform::GetClassDevices(interfaceClass);
    if (set == platform::kInvalidHandle)
        return;
    platform::DeviceInterfaceData data{};
    for (std::uint32_t index = 0; platform::EnumDeviceInterface(set, interfaceClass, index, &data);
         ++index) {
        std::uint32_t required = 0;
        platform::GetDeviceInterfaceDetailSize(set, &data, &required);
        std::vector<char16_t> path(required / 2 + 1, u'\0');
        platform::DevInst devInst = 0;
        if (!platform::GetDeviceInterfaceDetail(set, &data, required, path, &devInst))
            break;
        path.back() = u'\0';
        visit(std::u16string_view(path.data()), devInst);
    }
    platform::DestroyDeviceInfoList(set);
}

// The driver property of a device node; nothing when it cannot be read.
std::optional<std::u16string> DriverProperty(platform::DevInst node) {
    std::array<std::uint8_t, kDriverPropertyBytes> buffer{};
    std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
    if (!platform::GetDevNodeDriverProperty(node, buffer, &length))
        return std::nullopt;
    return RegistryText(buffer, length);
}

// The first entry, in list order, whose driver key is this node's driver property.
UsbDeviceEntry* EntryOfNode(platform::DevInst node) {
    const std::optional<std::u16string> driver = DriverProperty(node);
    if (!driver)
        return nullptr;
    for (UsbDeviceEntry* entry = List().head; entry != nullptr; entry = entry->next) {
        const std::u16string_view key = platform::UpToNul(entry->driverKey);
        // A device whose driver key could not be read has nothing bound to it.
        if (!key.empty() && key == *driver)
            return entry;
    }
    return nullptr;
}

// The climb from `node` through its ancestors to the first that matches an entry.
UsbDeviceEntry* EntryFromNodeUp(platform::DevInst node) {
    for (;;) {
        if (UsbDeviceEntry* entry = EntryOfNode(node))
            return entry;
        platform::DevInst parent = 0;
        if (!platform::GetParentDevInst(node, &parent))
            return nullptr;
        node = parent;
    }
}

UsbDeviceEntry* EntryFromParentUp(platform::DevInst node) {
    platform::DevInst parent = 0;
    return platform::GetParentDevInst(node, &parent) ? EntryFromNodeUp(parent) : nullptr;
}

std::optional<std::uint32_t> DeviceNumberOf(const OpenDevice& device) {
    std::array<std::uint8_t, platform::kStorageDeviceNumberSize> reply{};
    std::uint32_t returned = 0;
    if (!device.Send(platform::kIoctlStorageGetDeviceNumber, reply, &returned))
        return std::nullopt;
    return StorageDeviceNumber(reply, returned);
}

}  // namespace

// ---- The walk ---------------------------------------------------------------------------------

struct CEnumUSB::Walk {
    CEnumUSB& self;

    void HostControllers() {
        std::uint8_t counter = 0;
        ForEachInterface(platform::kGuidUsbHostController,
                         [&](std::u16string_view path, platform::DevInst) {
                             const std::u16string devicePath(path);
                             OpenDevice controller(devicePath.c_str(), kShareReadWrite);
                             if (!controller.ok())
                                 return;
                             std::memset(self.portPath, 0xFF, sizeof self.portPath);
                             self.portPath[0] = static_cast<std::uint8_t>(counter + 1);
                             self.pathLength = 1;
                             HostController(controller);
                             ++counter;
                         });
    }

    void HostController(const OpenDevice& controller) {
        const std::optional<std::u16string> driverKey =
            FetchControllerName(controller.Sender(platform::kIoctlGetHcdDriverKeyName));
        if (!driverKey)
            return;
        const std::optional<std::u16string> description =
            ReadRegistryText(ClassKey(*driverKey), u"DriverDesc", kDescriptionBytes);
        if (!description)
            return;
        const NodeHandle handle = self.OnHostController(description->c_str());
        const std::optional<std::u16string> rootHub =
            FetchControllerName(controller.Sender(platform::kIoctlUsbGetRootHubName));
        if (rootHub)
            Hub(*rootHub, handle);
    }

    void Hub(const std::u16string& name, NodeHandle parent) {
        platform::RegKey key = 0;
        if (!platform::OpenMachineKey(HubEnumKey(name).c_str(), &key))
            return;
        std::array<std::uint8_t, kDescriptionBytes> value{};
        std::uint32_t length = 0;
        std::u16string description;
        if (platform::QueryRegistryValue(key, u"DeviceDesc", value, &length))
            description = DescriptionAfterSemicolon(RegistryText(value, length));
        platform::CloseRegistryKey(key);

        const NodeHandle handle = self.OnHub(description.c_str(), parent);

        const std::u16string hubPath = std::u16string(kDevicePathPrefix) + name;
        OpenDevice hub(hubPath.c_str(), kShareReadWrite);
        if (!hub.ok())
            return;
        auto info = NodeInformationRequest();
        std::uint32_t returned = 0;
        if (!hub.Send(platform::kIoctlUsbGetNodeInformation, info, &returned))
            return;
        Ports(hub, hubPath, NumberOfPorts(info), handle);
    }

    void Ports(const OpenDevice& hub, const std::u16string& hubPath, int count, NodeHandle handle) {
        DeviceList& list = List();
        for (int port = 1; port <= count; ++port) {
            const auto index = static_cast<std::uint32_t>(port);
            auto reply = ConnectionInformationRequest(index);
            std::uint32_t returned = 0;
            ConnectionInformation info;
            if (hub.Send(platform::kIoctlUsbGetNodeConnectionInformation, reply, &returned))
                info = ParseConnectionInformation(reply);

            if (info.status != platform::kUsbDeviceConnected) {
                self.OnPort(port, 0, nullptr, handle);
                list.portCounter += 1;
            } else if (info.deviceIsHub) {
                // The path has room for the controller and nine ports; a hub deeper than
                // that is one we cannot name.
                if (self.pathLength + 1u >= sizeof self.portPath)
                    continue;
                const std::uint8_t saved = self.pathLength;
                self.portPath[self.pathLength++] = static_cast<std::uint8_t>(port);
                const std::optional<std::u16string> name = FetchConnectionName(
                    hub.Sender(platform::kIoctlUsbGetNodeConnectionName), index);
                if (name)
                    Hub(*name, handle);
                self.pathLength = saved;
            } else {
                Device(hub, hubPath, port, info, handle);
            }
        }
    }

    void Device(const OpenDevice& hub, const std::u16string& hubPath, int port,
                const ConnectionInformation& info, NodeHandle handle) {
        DeviceList& list = List();
        auto* entry = new UsbDeviceEntry{};
        list.portCounter += 1;
        entry->portOrdinal = list.portCounter;
        std::memset(entry->portPath, 0xFF, sizeof entry->portPath);
        self.portPath[self.pathLength] = static_cast<std::uint8_t>(port);
        std::memcpy(entry->portPath, self.portPath, self.pathLength + 1u);
        entry->vendorId = info.vendorId;
        entry->productId = info.productId;
        const auto index = static_cast<std::uint32_t>(port);
        DriverKeyAndDescription(hub, index, entry);
        if (self.readStrings != 0) {
            StringDescriptor(hub, index, info.manufacturerIndex, entry->manufacturer);
            StringDescriptor(hub, index, info.productIndex, entry->product);
            StringDescriptor(hub, index, info.serialNumberIndex, entry->serialNumber);
        }
        entry->hubPort = port;
        CopyTerminated(entry->hubPath, hubPath);
        self.OnPort(port, 1, entry->driverDesc, handle);
        AppendDevice(list, entry);
    }

    void DriverKeyAndDescription(const OpenDevice& hub, std::uint32_t port, UsbDeviceEntry* entry) {
        const std::optional<std::u16string> driverKey = FetchConnectionName(
            hub.Sender(platform::kIoctlUsbGetNodeConnectionDriverKeyName), port);
        // The field holds the longest key a fetch gives.
        if (!driverKey || !CopyTerminated(entry->driverKey, *driverKey))
            return;
        const std::optional<std::u16string> description =
            ReadRegistryText(ClassKey(*driverKey), u"DriverDesc", kDeviceDriverDescBytes);
        if (description)
            CopyTerminated(entry->driverDesc, *description);
    }

    template <std::size_t N>
    void StringDescriptor(const OpenDevice& hub, std::uint32_t port, std::uint8_t index,
                          char16_t (&field)[N]) {
        std::array<std::uint8_t, N * 2> bytes{};
        if (!ReadStringDescriptor(hub, port, index, bytes))
            return;
        platform::ByteReader text(bytes);
        for (char16_t& unit : field)
            unit = text.U16Le();
    }

    void Bind() {
        ForEachInterface(platform::kGuidAuxInterface,
                         [](std::u16string_view path, platform::DevInst node) {
                             if (UsbDeviceEntry* entry = EntryFromNodeUp(node))
                                 CopyTerminated(entry->auxInterfacePath, path);
                         });
        ForEachInterface(platform::kGuidDisk, [](std::u16string_view path, platform::DevInst node) {
            BindDisk(path, node);
        });
        ForEachInterface(
            platform::kGuidVolume,
            [](std::u16string_view path, platform::DevInst node) { BindVolume(path, node); });
    }

    static void BindDisk(std::u16string_view path, platform::DevInst node) {
        UsbDeviceEntry* entry = EntryFromParentUp(node);
        if (entry == nullptr)
            return;
        CopyTerminated(entry->diskInterfacePath, path);
        entry->diskDevInst = node;
        const std::u16string devicePath(path);
        std::optional<std::uint32_t> number;
        {
            OpenDevice disk(devicePath.c_str(), platform::kShareWrite);
            if (!disk.ok())
                return;
            number = DeviceNumberOf(disk);
        }
        if (!number)
            return;
        for (std::int32_t& slot : entry->diskNumbers) {
            if (slot == -1) {
                slot = static_cast<std::int32_t>(*number);
                return;
            }
        }
    }

    static void BindVolume(std::u16string_view path, platform::DevInst node) {
        // The path, a "\" and its terminator must fit the 260 units the names are made in.
        if (path.size() + 2 > kPathUnits)
            return;
        std::array<char16_t, kPathUnits> names{};
        std::copy(path.begin(), path.end(), names.begin());
        names[path.size()] = u'\\';
        std::array<char16_t, kPathUnits> mountPoint = names;
        std::uint32_t returned = 0;
        // Without a name or mount paths the volume has no mount path.
        if (!platform::VolumeNameForMountPoint(mountPoint.data(), names) ||
            !platform::VolumePathNames(
                std::u16string(platform::UpToNul({names.data(), names.size()})).c_str(), names,
                &returned))
            names.fill(u'\0');
        names.back() = u'\0';
        const std::uint32_t driveType = platform::DriveType(names.data());
        const char16_t driveLetter = names[0];

        UsbDeviceEntry* entry = nullptr;
        std::int32_t diskNumber = -1;
        if (driveType == platform::kDriveCdrom) {
            entry = EntryFromParentUp(node);
        } else {
            const std::u16string devicePath(path);
            OpenDevice volume(devicePath.c_str(), kShareReadWrite);
            if (!volume.ok())
                return;
            const std::optional<std::uint32_t> number = DeviceNumberOf(volume);
            if (!number)
                return;
            diskNumber = static_cast<std::int32_t>(*number);
            for (UsbDeviceEntry* e = List().head; e != nullptr && entry == nullptr; e = e->next) {
                for (const std::int32_t slot : e->diskNumbers) {
                    if (slot != -1 && slot == diskNumber) {
                        entry = e;
                        break;
                    }
                }
            }
        }
        if (entry == nullptr)
            return;
        auto* volume = new VolumeEntry{};
        volume->driveLetter = driveLetter;
        volume->driveType = driveType;
        volume->diskNumber = diskNumber;
        CopyTerminated(volume->volumePath, path);
        AppendVolume(entry, volume);
    }
};

// ---- The enumerator ---------------------------------------------------------------------------

CEnumUSB::CEnumUSB(ListWait wait) : wait_(wait) {
    const ListLock lock(wait_);
    RetireDevices(List());
}

CEnumUSB::~CEnumUSB() {
    const ListLock lock(wait_);
    CleanUpDevices(List());
}

NodeHandle CEnumUSB::OnHostController(const char16_t*) {
    return 0;
}

NodeHandle CEnumUSB::OnHub(const char16_t*, NodeHandle) {
    return 0;
}

NodeHandle CEnumUSB::OnPort(int, int, const char16_t*, NodeHandle) {
    return 0;
}

void CEnumUSB::Enumerate(int readStringsFlag) {
    const ListLock lock(wait_);
    readStrings = readStringsFlag;
    CleanUpDevices(List());
    Walk walk{*this};
    walk.HostControllers();
    if (List().deviceCount > 0)
        walk.Bind();
}

DevicePosition CEnumUSB::GetFirstDevice() {
    return List().head;
}

UsbDeviceEntry* CEnumUSB::GetNextDevice(UsbDeviceEntry* out, DevicePosition* position) {
    if (position == nullptr || *position == nullptr)
        return out;
    std::memcpy(static_cast<void*>(out), static_cast<const void*>(*position), kDeviceDataPartSize);
    *position = (*position)->next;
    return out;
}

VolumeEntry* CEnumUSB::GetNextVolume(VolumeEntry* out, VolumePosition* position) {
    if (position == nullptr || *position == nullptr)
        return out;
    const VolumeEntry* volume = *position;
    out->driveLetter = volume->driveLetter;
    out->driveType = volume->driveType;
    out->diskNumber = volume->diskNumber;
    std::memcpy(out->volumePath, volume->volumePath, sizeof out->volumePath);
    *position = volume->next;
    return out;
}

std::u16string ReadSerialNumber(const UsbDeviceEntry& entry) {
    if (entry.hubPath[0] == u'\0' || entry.hubPort <= 0)
        return {};
    OpenDevice hub(entry.hubPath, kShareReadWrite);
    if (!hub.ok())
        return {};
    const auto port = static_cast<std::uint32_t>(entry.hubPort);
    auto reply = ConnectionInformationRequest(port);
    std::uint32_t returned = 0;
    if (!hub.Send(platform::kIoctlUsbGetNodeConnectionInformation, reply, &returned))
        return {};
    // The port may hold another device by now: its serial number is not this disk's.
    const ConnectionInformation info = ParseConnectionInformation(reply);
    if (info.status != platform::kUsbDeviceConnected || info.deviceIsHub ||
        info.vendorId != entry.vendorId || info.productId != entry.productId)
        return {};
    // The longest descriptor a reply holds: 255 bytes, of which 2 are its length and type.
    std::array<std::uint8_t, 254> bytes{};
    if (!ReadStringDescriptor(hub, port, info.serialNumberIndex, bytes))
        return {};
    std::u16string text;
    platform::ByteReader units(bytes);
    for (char16_t unit = units.U16Le(); units.Ok() && unit != u'\0'; unit = units.U16Le())
        text += unit;
    return text;
}

}  // namespace usb
