// What the USB walk asks of the operating system beyond device requests: the interface-class
// walk, device nodes and their driver property, registry reads, opening a device with the
// access it needs, volume names and drive types. One method of UsbCalls per platform call, one
// call deep; the byte limits the caller states are passed in, and replies come back as the
// platform wrote them. Device requests to controllers, hubs, disks and volumes go through
// platform::DeviceControl (platform/device_io.h) with the layouts of platform/usb_requests.h.
// Win32: platform/win32/usb_api.h. Elsewhere the engine of platform/usb_model.h answers from a
// described machine, behind the wrapper of platform/usb_host.h: the virtual station's
// (platform/sim/usb_side.h) or sysfs's (platform/linux/usb_sysfs.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/backend.h"
#include "platform/device_io.h"

namespace platform {

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
    friend bool operator==(const Guid&, const Guid&) = default;
};

// The interface classes the walk visits.
inline constexpr Guid kGuidUsbHostController = {
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};
inline constexpr Guid kGuidAuxInterface = {
    0x0852171D, 0xC2D1, 0x44C1, {0xB9, 0xAB, 0xD4, 0xAC, 0xC5, 0x5D, 0x1E, 0xAE}};
inline constexpr Guid kGuidDisk = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr Guid kGuidVolume = {
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// ---- Interface-class walk (SetupAPI) ------------------------------------------------------

// An HDEVINFO; kInvalidHandle when the set could not be made.
using DeviceInfoSet = std::uintptr_t;

// SP_DEVICE_INTERFACE_DATA, held opaquely: filled by EnumDeviceInterface, handed back to the
// detail calls.
struct DeviceInterfaceData {
    alignas(8) std::uint8_t bytes[32];
};

// A configuration-manager device instance (DEVINST).
using DevInst = std::uint32_t;

// ---- Registry -----------------------------------------------------------------------------

// An open HKEY.
using RegKey = std::uintptr_t;

// The keys the walk reads below HKEY_LOCAL_MACHINE: a driver's class key (its "DriverDesc") and a
// device's Enum key (its "DeviceDesc").
inline constexpr std::u16string_view kClassKeyPrefix =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\";
inline constexpr std::u16string_view kEnumKeyPrefix = u"SYSTEM\\CurrentControlSet\\Enum\\";

// ---- Devices and volumes ------------------------------------------------------------------

inline constexpr std::uint32_t kNoAccess = 0;
inline constexpr std::uint32_t kShareRead = 0x1;   // FILE_SHARE_READ
inline constexpr std::uint32_t kShareWrite = 0x2;  // FILE_SHARE_WRITE

// GetDriveTypeW.
inline constexpr std::uint32_t kDriveUnknown = 0;
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;
inline constexpr std::uint32_t kDriveCdrom = 5;
inline constexpr std::uint32_t kDriveRamdisk = 6;

// ---- The calls as one interface ------------------------------------------------------------

// The walk's calls, one method per platform call, each documented by the Win32 call it stands
// for. The engine of platform/usb_model.h answers them from a described machine.
class UsbWalk {
  public:
    // SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr,
    // DIGCF_PRESENT | DIGCF_DEVICEINTERFACE); kInvalidHandle when the set could not be made.
    virtual DeviceInfoSet GetClassDevices(const Guid& interfaceClass) = 0;

    // SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, data).
    virtual bool EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass,
                                     std::uint32_t index, DeviceInterfaceData* data) = 0;

    // The first SetupDiGetDeviceInterfaceDetailW call: no buffer, to learn the size the detail
    // takes (RequiredSize, in bytes, of SP_DEVICE_INTERFACE_DETAIL_DATA_W). The call itself
    // fails (the buffer is too small) on success of the question; true when a size came back.
    virtual bool GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                              std::uint32_t* requiredSize) = 0;

    // The second call, into a detail buffer of `detailSize` bytes together with the interface's
    // SP_DEVINFO_DATA. On success `path` receives the device path (zero-terminated, cut to
    // path.size() units) and *devInst the interface's DevInst.
    virtual bool GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                                          std::uint32_t detailSize, std::span<char16_t> path,
                                          DevInst* devInst) = 0;

    // SetupDiDestroyDeviceInfoList.
    virtual void DestroyDeviceInfoList(DeviceInfoSet set) = 0;

    // CM_Get_Parent(parent, node, 0) == CR_SUCCESS.
    virtual bool GetParentDevInst(DevInst node, DevInst* parent) = 0;

    // CM_Get_DevNode_Registry_PropertyW(node, CM_DRP_DRIVER, nullptr, buffer, &length, 0) with
    // length = buffer.size() bytes; *length receives what the call reports.
    virtual bool GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer,
                                          std::uint32_t* length) = 0;

    // RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, &key) == ERROR_SUCCESS.
    virtual bool OpenMachineKey(const char16_t* subKey, RegKey* key) = 0;

    // RegQueryValueExW(key, name, nullptr, nullptr, buffer, &length) == ERROR_SUCCESS with
    // length = buffer.size() bytes; *length receives the bytes written. A value that does not
    // fit fails (ERROR_MORE_DATA).
    virtual bool QueryRegistryValue(RegKey key, const char16_t* name,
                                    std::span<std::uint8_t> buffer, std::uint32_t* length) = 0;

    // RegCloseKey.
    virtual void CloseRegistryKey(RegKey key) = 0;

    // GetVolumeNameForVolumeMountPointW(mountPoint, name, name.size()).
    virtual bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) = 0;

    // GetVolumePathNamesForVolumeNameW(volumeName, paths, paths.size(), &returned): the mount
    // paths as a list of zero-terminated strings ended by an empty one.
    virtual bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                                 std::uint32_t* returned) = 0;

    // GetDriveTypeW.
    virtual std::uint32_t DriveType(const char16_t* root) = 0;

    // GetSystemDefaultLangID.
    virtual std::uint16_t SystemDefaultLangId() = 0;

  protected:
    ~UsbWalk() = default;
};

// With the one call that makes a handle: what a backend answers this header with.
class UsbCalls : public UsbWalk {
  public:
    // CreateFileW(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr); kInvalidHandle on
    // failure. Closed with CloseDevice.
    virtual Handle OpenDeviceWith(const char16_t* path, std::uint32_t access,
                                  std::uint32_t share) = 0;

  protected:
    ~UsbCalls() = default;
};

TAVRIN_BACKEND_BEGIN
// The backend's calls: Win32's own (platform/win32/usb_io.cpp), or a described machine behind
// the wrapper of platform/usb_host.h (the virtual station's, or sysfs's on Linux).
UsbCalls& UsbSystem();

// Each call as a function of its own, for the walk and the tests.
inline DeviceInfoSet GetClassDevices(const Guid& interfaceClass) {
    return UsbSystem().GetClassDevices(interfaceClass);
}
inline bool EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                                DeviceInterfaceData* data) {
    return UsbSystem().EnumDeviceInterface(set, interfaceClass, index, data);
}
inline bool GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                         std::uint32_t* requiredSize) {
    return UsbSystem().GetDeviceInterfaceDetailSize(set, data, requiredSize);
}
inline bool GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                                     std::uint32_t detailSize, std::span<char16_t> path,
                                     DevInst* devInst) {
    return UsbSystem().GetDeviceInterfaceDetail(set, data, detailSize, path, devInst);
}
inline void DestroyDeviceInfoList(DeviceInfoSet set) {
    UsbSystem().DestroyDeviceInfoList(set);
}
inline bool GetParentDevInst(DevInst node, DevInst* parent) {
    return UsbSystem().GetParentDevInst(node, parent);
}
inline bool GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer,
                                     std::uint32_t* length) {
    return UsbSystem().GetDevNodeDriverProperty(node, buffer, length);
}
inline bool OpenMachineKey(const char16_t* subKey, RegKey* key) {
    return UsbSystem().OpenMachineKey(subKey, key);
}
inline bool QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                               std::uint32_t* length) {
    return UsbSystem().QueryRegistryValue(key, name, buffer, length);
}
inline void CloseRegistryKey(RegKey key) {
    UsbSystem().CloseRegistryKey(key);
}
inline Handle OpenDeviceWith(const char16_t* path, std::uint32_t access, std::uint32_t share) {
    return UsbSystem().OpenDeviceWith(path, access, share);
}
inline bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) {
    return UsbSystem().VolumeNameForMountPoint(mountPoint, name);
}
inline bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                            std::uint32_t* returned) {
    return UsbSystem().VolumePathNames(volumeName, paths, returned);
}
inline std::uint32_t DriveType(const char16_t* root) {
    return UsbSystem().DriveType(root);
}
inline std::uint16_t SystemDefaultLangId() {
    return UsbSystem().SystemDefaultLangId();
}
TAVRIN_BACKEND_END

}  // namespace platform
