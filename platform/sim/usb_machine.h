// The USB side of the virtual station.
//
// Two parts, kept apart:
//  - The test builder (UsbMachine and the structs it holds, plus the helpers FlashDisk,
//    Keyboard, Hub, Controller): a plain value that a test or a station file fills in. It
//    describes host controllers, hubs at any depth, ports, devices with their string
//    descriptors, disks, volumes and auxiliary interfaces, and every place where the machine
//    can fail a call.
//  - The OS backend (UsbSide, reached as sim::Station::Get().Usb()): holds the installed
//    description and answers the functions of platform/usb_io.h and the hub, controller and
//    storage requests of platform/usb_requests.h from it, in bytes, as Windows does. Every
//    call is taken under the station's mutex, so a Plug or Unplug while another thread walks
//    the tree is safe: the walk sees the machine before or after the change, call by call.
//
// Device nodes. Each described thing has a configuration-manager node, parented as on
// Windows:
//   root -> controller -> root hub -> (hub ->)* USB device -> storage function
//        -> disk node (disk interface) | CD-ROM node -> CD-ROM volume node (volume interface)
//   root -> volume manager -> volume node (volume interface)   for volumes on disks
// so a disk or CD-ROM volume reaches its USB device by climbing parents, while a disk
// volume does not (it is bound through its device number). An auxiliary interface sits on a
// function node below the USB device, or on the USB device's own node.
//
// Empty names and paths in the description are made by the machine when it is installed,
// unique and in the shapes Windows uses; a test sets them only where it asserts on them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_io.h"
#include "platform/usb_io.h"

namespace sim {

// ---- The test builder ---------------------------------------------------------------------

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
    std::uint64_t freeBytes = 4'000'000'000;  // for a volume with a drive letter
    std::u16string nodeDriver;                // CM_DRP_DRIVER of its node; empty: made
    bool nodeDriverReadable = true;
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
};

struct UsbAuxInterface {
    std::u16string interfacePath;  // empty: made
    bool detailFails = false;      // the second interface-detail call fails
    bool onDeviceNode = false;     // on the USB device's own node, not on a function below it
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
};

struct UsbMachine {
    std::vector<UsbController> controllers;
    std::vector<UsbDisk> otherDisks;  // disks not on USB (a system disk), with their volumes
    std::uint16_t langId = 0x0409;    // GetSystemDefaultLangID
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

// ---- What the system did ------------------------------------------------------------------

// One CreateFileW, of any path the station was asked for.
struct OpenCall {
    std::u16string path;
    std::uint32_t access = 0;
    std::uint32_t share = 0;
    bool opened = false;
};

// One device request to a USB-side handle (controller, hub, disk or volume interface).
struct UsbRequestCall {
    std::u16string path;  // the path the handle was opened on
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;
    std::uint32_t outSize = 0;
    bool succeeded = false;
};

enum class UsbChange { Arrival, Removal };

// ---- The OS backend -----------------------------------------------------------------------

class Station;
struct VirtualDisk;

class UsbSide {
  public:
    // Installs a machine (replacing the one before); disks and volumes with a drive letter
    // are entered in the station (AddDisk / AddVolume), those of the machine before removed.
    void SetMachine(UsbMachine machine);
    UsbMachine Machine() const;  // as installed, with the made names filled in

    // Puts a device or a hub on a port, or takes it off; false when the address names no port.
    // The device-change hook is called after the change, outside the station's lock.
    bool Plug(const UsbPortAddress& address, UsbDevice device);
    // The same, with `prepare` given each disk of the device (its number and the station's
    // VirtualDisk) under the station's lock, before any other thread can reach the disk: a
    // controller that answers as it should from its first request.
    bool Plug(const UsbPortAddress& address, UsbDevice device,
              const std::function<void(int number, VirtualDisk& disk)>& prepare);
    bool PlugHub(const UsbPortAddress& address, UsbHub hub);
    bool Unplug(const UsbPortAddress& address);

    // Who is told of each change, after it, outside the station's lock, in the order they were
    // set or added. A hook may still be running on another thread when it is removed: it must
    // hold what it uses.
    using DeviceChangeHook = std::function<void(UsbChange, const UsbPortAddress&)>;
    // The one hook a test sets (empty: none), apart from the added ones.
    void SetDeviceChangeHook(DeviceChangeHook hook);
    // One more hook beside the others; its id, never given again, removes it. Resetting the
    // station removes them all.
    std::uint64_t AddDeviceChangeHook(DeviceChangeHook hook);
    void RemoveDeviceChangeHook(std::uint64_t id);
    void SetLangId(std::uint16_t langId);

    std::vector<UsbRequestCall> Requests() const;
    void ClearRequests();

    // Device-info sets not destroyed and registry keys not closed yet.
    std::size_t OpenSetCount() const;
    std::size_t OpenKeyCount() const;

    // Rewrites the replies to device requests after the machine made them, as a misbehaving
    // driver might: it gets the request code, the whole output buffer, the byte count and
    // whether the call succeeded, and answers whether it succeeds now. A count beyond the
    // buffer is cut to it. Empty: the machine's replies as they are.
    using ReplyFilter = std::function<bool(std::uint32_t code, std::span<std::uint8_t> output,
                                           std::uint32_t* returned, bool ok)>;
    void SetReplyFilter(ReplyFilter filter);

    // ---- The platform functions of the simulated backend (platform/sim/usb_io.cpp).
    platform::DeviceInfoSet ClassDevices(const platform::Guid& interfaceClass);
    bool EnumInterface(platform::DeviceInfoSet set, const platform::Guid& interfaceClass,
                       std::uint32_t index, platform::DeviceInterfaceData* data);
    bool InterfaceDetailSize(platform::DeviceInfoSet set, platform::DeviceInterfaceData* data,
                             std::uint32_t* requiredSize);
    bool InterfaceDetail(platform::DeviceInfoSet set, platform::DeviceInterfaceData* data,
                         std::uint32_t detailSize, std::span<char16_t> path,
                         platform::DevInst* devInst);
    void DestroySet(platform::DeviceInfoSet set);
    bool Parent(platform::DevInst node, platform::DevInst* parent);
    bool DriverProperty(platform::DevInst node, std::span<std::uint8_t> buffer,
                        std::uint32_t* length);
    bool OpenKey(const char16_t* subKey, platform::RegKey* key);
    bool QueryValue(platform::RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                    std::uint32_t* length);
    void CloseKey(platform::RegKey key);
    bool VolumeName(const char16_t* mountPoint, std::span<char16_t> name);
    bool PathNames(const char16_t* volumeName, std::span<char16_t> paths, std::uint32_t* returned);
    std::uint32_t DriveType(const char16_t* root);
    std::uint16_t LangId() const;

    ~UsbSide();
    UsbSide(const UsbSide&) = delete;
    UsbSide& operator=(const UsbSide&) = delete;

  private:
    friend class Station;
    struct State;
    explicit UsbSide(Station& station);

    // Under the station's mutex, for the station's own calls.
    void ResetLocked();
    // The USB-side device behind a path of the device namespace ("\\?\..." or "\\.\..."):
    // false when there is none or it does not open; else its key and where it sits.
    bool FindLocked(std::u16string_view path, std::u16string* key, std::string* place) const;
    bool ControlLocked(std::u16string_view path, const std::u16string& key, std::uint32_t code,
                       const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                       std::uint32_t* returned);
    // Brings the station's disks and lettered volumes in step with the machine.
    void SyncStationLocked();
    // Marks the handles opened on what sits at `place` or below it as gone; "" for all.
    void DropHandlesLocked(const std::string& place);
    // One change of what sits on a port: `edit` changes the port (false: it cannot), then the
    // machine is rebuilt, the station brought in step and, after the lock, the hook told.
    bool ChangePort(const UsbPortAddress& address, UsbChange change,
                    const std::function<bool(State&, UsbPort&)>& edit,
                    const std::function<void()>& afterSync = {});
    Station& station_;
    std::unique_ptr<State> state_;
    std::uint64_t lastHookId_ = 0;  // under the station's mutex; not reset with the state
};

}  // namespace sim
