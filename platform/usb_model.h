// A described USB machine and the engine that answers the calls of platform/usb_io.h and the
// requests of platform/usb_requests.h from it, in bytes, as Windows does.
//
// The description (UsbMachine and the structs it holds) is a plain value: host controllers, hubs
// at any depth, ports, devices with their string descriptors, disks, volumes and auxiliary
// interfaces, and every place where the machine can fail a call. A station file or a test fills
// it in.
//
// The engine (Engine) holds one description and the system's objects made from it: device
// nodes, interface sets, registry keys. It takes no lock and fails no call of its own: whoever
// owns it serializes the calls and adds faults around them.
//
// Device nodes. Each described thing has a configuration-manager node, parented as on Windows:
//   root -> controller -> root hub -> (hub ->)* USB device -> storage function
//        -> disk node (disk interface) | CD-ROM node -> CD-ROM volume node (volume interface)
//   root -> volume manager -> volume node (volume interface)   for volumes on disks
// so a disk or CD-ROM volume reaches its USB device by climbing parents, while a disk volume
// does not (it is bound through its device number). An auxiliary interface sits on a function
// node below the USB device, or on the USB device's own node.
//
// Empty names and paths in the description are made by the engine (Fill), unique and in the
// shapes Windows uses; a test sets them only where it asserts on them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_io.h"

namespace platform::usb_model {

// ---- The description ------------------------------------------------------------------------

// A copyable box for the recursive parts of the description (a port holding a hub).
template <class T>
class Boxed {
  public:
    Boxed() = default;
    Boxed(T value) : p_(std::make_unique<T>(std::move(value))) {}
    Boxed(const Boxed& other) : p_(other.p_ ? std::make_unique<T>(*other.p_) : nullptr) {}
    Boxed(Boxed&&) noexcept = default;
    Boxed& operator=(const Boxed& other) {
        p_ = other.p_ ? std::make_unique<T>(*other.p_) : nullptr;
        return *this;
    }
    Boxed& operator=(Boxed&&) noexcept = default;
    explicit operator bool() const { return p_ != nullptr; }
    T* get() const { return p_.get(); }
    T& operator*() const { return *p_; }
    T* operator->() const { return p_.get(); }
    void reset() { p_.reset(); }
    friend bool operator==(const Boxed& a, const Boxed& b) {
        return a.p_ == nullptr || b.p_ == nullptr ? a.p_ == b.p_ : *a.p_ == *b.p_;
    }

  private:
    std::unique_ptr<T> p_;
};

// A string descriptor as the device sends it: whatever bytes, or a failing request.
struct UsbStringDescriptor {
    std::vector<std::uint8_t> bytes;
    bool fails = false;

    // A well-formed descriptor: bLength = 2 + 2 * units, bDescriptorType 3, UTF-16LE text.
    static UsbStringDescriptor Text(std::u16string_view text);
    // Any bytes (wrong type, odd or mismatched bLength, too short...), sent as they are.
    static UsbStringDescriptor Raw(std::vector<std::uint8_t> bytes);
    static UsbStringDescriptor Failing();
    friend bool operator==(const UsbStringDescriptor&, const UsbStringDescriptor&) = default;
};

// A volume: on a disk (bound through its device number) or on a CD-ROM drive (bound by
// ancestry).
struct UsbVolume {
    std::u16string interfacePath;                         // volume interface path; empty: made
    bool detailFails = false;                             // the second interface-detail call fails
    std::u16string volumeName;                            // "\\?\Volume{...}\"; empty: made
    std::vector<std::u16string> mountPaths;               // e.g. u"E:\\"; may be empty
    std::uint32_t driveType = platform::kDriveRemovable;  // what GetDriveTypeW answers
    bool opens = true;
    // What its IOCTL_STORAGE_GET_DEVICE_NUMBER answers: the disk's number unless set;
    // numberFails makes the request fail.
    std::optional<int> deviceNumber;
    bool numberFails = false;
    std::uint32_t partition = 1;              // its PartitionNumber, on a disk
    std::uint64_t freeBytes = 4'000'000'000;  // for a volume with a drive letter
    std::u16string nodeDriver;                // CM_DRP_DRIVER of its node; empty: made
    bool nodeDriverReadable = true;
    friend bool operator==(const UsbVolume&, const UsbVolume&) = default;
};

struct UsbDisk {
    // Its device number; also the station's VirtualDisk behind \\.\PHYSICALDRIVE<number>,
    // made when the machine is installed (an existing one is kept).
    int number = 0;
    std::u16string interfacePath;  // disk interface path; empty: made
    bool detailFails = false;      // the second interface-detail call fails
    bool opens = true;
    bool numberFails = false;   // IOCTL_STORAGE_GET_DEVICE_NUMBER fails
    std::u16string nodeDriver;  // CM_DRP_DRIVER of the disk node; empty: made
    bool nodeDriverReadable = true;
    std::vector<UsbVolume> volumes;
    friend bool operator==(const UsbDisk&, const UsbDisk&) = default;
};

struct UsbAuxInterface {
    std::u16string interfacePath;  // empty: made
    bool detailFails = false;      // the second interface-detail call fails
    bool onDeviceNode = false;     // on the USB device's own node, not on a function below it
    friend bool operator==(const UsbAuxInterface&, const UsbAuxInterface&) = default;
};

struct UsbDevice {
    std::uint16_t vendorId = 0x1F75;
    std::uint16_t productId = 0x0917;
    std::uint16_t bcdUsb = 0x0200;
    std::uint8_t deviceClass = 0;
    std::uint8_t iManufacturer = 1;
    std::uint8_t iProduct = 2;
    std::uint8_t iSerialNumber = 3;
    std::uint8_t speed = 2;  // UsbHighSpeed
    std::uint8_t numberOfOpenPipes = 2;
    std::optional<std::uint16_t> address;  // its USB address; unset: counted in tree order
    std::map<std::uint8_t, UsbStringDescriptor> strings;  // by index; missing: the request fails

    // The driver key name its port answers, e.g. "{36fc9e60-c465-11cf-8056-444553540000}\0012";
    // empty: made. driverKeyFails makes the port's driver-key request fail.
    std::u16string driverKey;
    bool driverKeyFails = false;
    bool nodeDriverReadable = true;  // CM_DRP_DRIVER of the USB device node (= driverKey)
    bool classKeyPresent = true;     // the class key "...\Control\Class\<driverKey>"
    std::optional<std::u16string> driverDesc = u"USB Mass Storage Device";  // nullopt: missing

    std::vector<UsbDisk> disks;
    std::vector<UsbVolume> cdromVolumes;  // each on a CD-ROM drive node of its own
    std::vector<UsbAuxInterface> auxInterfaces;
    friend bool operator==(const UsbDevice&, const UsbDevice&) = default;
};

struct UsbHub;

struct UsbPort {
    std::optional<UsbDevice> device;
    Boxed<UsbHub> hub;             // a downstream hub (instead of a device)
    bool connectionFails = false;  // IOCTL_USB_GET_NODE_CONNECTION_INFORMATION fails
    // The connection status answered; unset: 1 (DeviceConnected) with something on the port,
    // 0 (NoDeviceConnected) without. Another value (2 = failed enumeration...) keeps the device
    // in the reply but not connected.
    std::optional<std::uint32_t> status;

    static UsbPort Empty() { return {}; }
    static UsbPort With(UsbDevice device);
    static UsbPort WithHub(UsbHub hub);
    friend bool operator==(const UsbPort&, const UsbPort&) = default;
};

struct UsbHub {
    // "USB#ROOT_HUB30#4&1a2b&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}" for a root hub,
    // "USB#VID_...&PID_...#...#{f18a0e88-...}" for a downstream one; empty: made.
    std::u16string symbolicName;
    // The root-hub name request (root hub) or the connection-name request (downstream hub)
    // fails.
    bool nameFails = false;
    bool enumKeyPresent = true;  // "SYSTEM\CurrentControlSet\Enum\<name as key>"
    // Its "DeviceDesc"; nullopt: the value is missing. Empty optional string: made, as
    // "@usb.inf,%usb\roothub%;USB Root Hub (USB 3.0)" or "...;Generic USB Hub".
    std::optional<std::u16string> deviceDesc = u"";
    bool nodeInformationFails = false;
    std::optional<std::uint8_t> reportedPorts;  // bNumberOfPorts; unset: ports.size()
    bool busPowered = false;
    std::u16string driverKey;         // a downstream hub's, as its port answers it; empty: made
    std::uint16_t vendorId = 0x05E3;  // a downstream hub's device descriptor
    std::uint16_t productId = 0x0608;
    std::vector<UsbPort> ports;
    friend bool operator==(const UsbHub&, const UsbHub&) = default;
};

struct UsbController {
    std::u16string interfacePath;  // "\\?\pci#ven_...#{3abf6f2d-...}"; empty: made
    bool detailFails = false;      // the second interface-detail call fails
    bool opens = true;
    std::u16string driverKey;     // "{36fc9e60-c465-11cf-8056-444553540000}\00NN"; empty: made
    bool driverKeyFails = false;  // IOCTL_GET_HCD_DRIVERKEY_NAME fails
    bool classKeyPresent = true;
    std::optional<std::u16string> driverDesc = u"USB xHCI Compliant Host Controller";
    UsbHub rootHub;
    friend bool operator==(const UsbController&, const UsbController&) = default;
};

struct UsbMachine {
    std::vector<UsbController> controllers;
    std::vector<UsbDisk> otherDisks;  // disks not on USB (a system disk), with their volumes
    std::uint16_t langId = 0x0409;    // GetSystemDefaultLangID
    friend bool operator==(const UsbMachine&, const UsbMachine&) = default;
};

// A typical flash disk: one disk `diskNumber` with one removable volume mounted at
// "<letter>:\" (no mount path when letter is 0), strings 1-3 ("Generic", "Flash Disk",
// "0123456789AB").
UsbDevice FlashDisk(int diskNumber, char16_t letter);
// A keyboard-like device: no storage, class key "USB Input Device".
UsbDevice Keyboard();
// A downstream hub with `ports` empty ports.
UsbHub Hub(int ports);
// A host controller whose root hub has `rootPorts` empty ports.
UsbController Controller(int rootPorts);

// Where a port sits: the controller's index in UsbMachine::controllers (0-based), then the
// port numbers (1-based) from its root hub down to the port.
struct UsbPortAddress {
    std::size_t controller = 0;
    std::vector<int> ports;
};

// ---- The engine -----------------------------------------------------------------------------

class Engine final : public UsbWalk {
  public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The description as installed, with the made names filled in. A change to it is answered
    // after the next Compile (the language at once).
    UsbMachine& Machine();
    const UsbMachine& Machine() const;
    // Makes the empty names of a part about to be installed.
    void Fill(UsbDevice& device);
    void Fill(UsbHub& hub, bool root);
    void Fill(UsbDisk& disk);
    // Installs a description: its names made, then compiled.
    void Install(UsbMachine machine);
    // Makes the nodes, interfaces, devices and registry from the description again; a node keeps
    // its number across compilations.
    void Compile();
    // The port at an address; nullptr when it names none.
    UsbPort* PortAt(const UsbPortAddress& address);

    // Where things sit: "c0", "c0.2", "c0.2/disk0". A place is within another when it is the
    // same or below it; everything is within "".
    static std::string PlaceOf(const UsbPortAddress& address);
    static bool Within(const std::string& place, const std::string& prefix);

    // The device behind a path of the device namespace ("\\?\..." or "\\.\...", or a path of the
    // file system, which is kept as it is written): false when
    // there is none or it does not open; else the key its requests go to and where it sits.
    bool Find(std::u16string_view path, std::u16string* key, std::string* place) const;
    // Whether a device of the machine has the key.
    bool Knows(const std::u16string& key) const;
    // A hub, controller or storage request to the device of `key`, the input read before the
    // output is written; *written gets the reply's bytes. False when the request fails.
    bool Control(const std::u16string& key, std::uint32_t code, std::span<const std::uint8_t> input,
                 std::span<std::uint8_t> output, std::uint32_t* written) const;

    // A volume of the machine and the disk it is on (null on a CD-ROM drive).
    struct VolumeView {
        const UsbVolume* volume = nullptr;
        const UsbDisk* disk = nullptr;
    };
    const std::vector<VolumeView>& Volumes() const;
    const std::vector<const UsbDisk*>& Disks() const;

    // ---- The walk's calls of platform/usb_io.h: no lock taken, no fault of their own.
    DeviceInfoSet GetClassDevices(const Guid& interfaceClass) override;
    bool EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                             DeviceInterfaceData* data) override;
    bool GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                      std::uint32_t* requiredSize) override;
    bool GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                                  std::uint32_t detailSize, std::span<char16_t> path,
                                  DevInst* devInst) override;
    void DestroyDeviceInfoList(DeviceInfoSet set) override;
    bool GetParentDevInst(DevInst node, DevInst* parent) override;
    bool GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer,
                                  std::uint32_t* length) override;
    bool OpenMachineKey(const char16_t* subKey, RegKey* key) override;
    bool QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                            std::uint32_t* length) override;
    void CloseRegistryKey(RegKey key) override;
    bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) override;
    bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                         std::uint32_t* returned) override;
    // A root as the machine's volumes are mounted ("E:\"); kDriveNoRootDir for any other.
    std::uint32_t DriveType(const char16_t* root) override;
    std::uint16_t SystemDefaultLangId() override;
    // The drive type of a root the machine has a volume for; nullopt for any other.
    std::optional<std::uint32_t> DriveTypeOf(std::u16string_view root) const;

    // Device-info sets not destroyed and registry keys not closed yet.
    std::size_t OpenSetCount() const;
    std::size_t OpenKeyCount() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::usb_model
