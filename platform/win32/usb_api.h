// The real calls behind platform/usb_io.h, by names of their own: the Win32 backend of
// platform/usb_io.h forwards to them, and the Windows test executable, whose platform::
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

DeviceInfoSet GetClassDevices(const Guid& interfaceClass);
bool EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                         DeviceInterfaceData* data);
bool GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                  std::uint32_t* requiredSize);
bool GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                              std::uint32_t detailSize, std::span<char16_t> path, DevInst* devInst);
void DestroyDeviceInfoList(DeviceInfoSet set);

bool GetParentDevInst(DevInst node, DevInst* parent);
bool GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer, std::uint32_t* length);

bool OpenMachineKey(const char16_t* subKey, RegKey* key);
bool QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                        std::uint32_t* length);
void CloseRegistryKey(RegKey key);

Handle OpenDeviceWith(const char16_t* path, std::uint32_t access, std::uint32_t share);
// CloseHandle, for what OpenDeviceWith opened.
bool CloseDeviceHandle(Handle handle);

bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name);
bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                     std::uint32_t* returned);
std::uint32_t DriveType(const char16_t* root);
std::uint16_t SystemDefaultLangId();

}  // namespace win32api
