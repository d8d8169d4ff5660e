// The real calls behind platform/usb_io.h, by a name of their own: the Win32 backend of
// platform/usb_io.h answers with them, and the Windows test executable, whose platform::
// functions are the virtual station's, runs its cases against them too.
#pragma once

#include <cstdint>
#include <span>

#include "platform/usb_io.h"

namespace win32api {

using platform::DeviceInfoSet;
using platform::DeviceInterfaceData;
using platform::DevInst;
using platform::Guid;
using platform::Handle;
using platform::RegKey;

// The calls of platform/usb_io.h as Win32 makes them.
class UsbApi final : public platform::UsbCalls {
  public:
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
    Handle OpenDeviceWith(const char16_t* path, std::uint32_t access, std::uint32_t share) override;
    bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) override;
    bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                         std::uint32_t* returned) override;
    std::uint32_t DriveType(const char16_t* root) override;
    std::uint16_t SystemDefaultLangId() override;
};

// CloseHandle, for what OpenDeviceWith opened.
bool CloseDeviceHandle(Handle handle);

}  // namespace win32api
