// The Setup API, configuration-manager, registry and volume calls of the USB walk, each passed
// straight to the system.
#include "platform/win32/usb_api.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace win32api {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));
static_assert(sizeof(Guid) == sizeof(GUID));

const wchar_t* W(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

GUID G(const Guid& guid) {
    GUID out;
    std::memcpy(&out, &guid, sizeof out);
    return out;
}

HDEVINFO Set(DeviceInfoSet set) {
    return reinterpret_cast<HDEVINFO>(set);
}

HKEY Key(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}

DWORD Units(std::size_t size) {
    return static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
}

// The opaque bytes hold the structure as the system filled it; copied in and out rather than
// aliased.
SP_DEVICE_INTERFACE_DATA Load(const DeviceInterfaceData* data) {
    SP_DEVICE_INTERFACE_DATA out{};
    if (data != nullptr)
        std::memcpy(&out, data->bytes, sizeof out);
    return out;
}

}  // namespace

DeviceInfoSet UsbApi::GetClassDevices(const Guid& interfaceClass) {
    const GUID guid = G(interfaceClass);
    return reinterpret_cast<DeviceInfoSet>(
        SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}

bool UsbApi::EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                                 DeviceInterfaceData* data) {
    const GUID guid = G(interfaceClass);
    SP_DEVICE_INTERFACE_DATA interface {};
    interface.cbSize = sizeof interface;
    const BOOL ok = SetupDiEnumDeviceInterfaces(Set(set), nullptr, &guid, index,
                                                data != nullptr ? &interface : nullptr);
    if (data != nullptr)
        std::memcpy(data->bytes, &interface, sizeof interface);
    return ok != FALSE;
}

bool UsbApi::GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                          std::uint32_t* requiredSize) {
    SP_DEVICE_INTERFACE_DATA interface = Load(data);
    DWORD required = 0;
    const BOOL ok =
        SetupDiGetDeviceInterfaceDetailW(Set(set), &interface, nullptr, 0, &required, nullptr);
    const bool sized = !ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    if (requiredSize != nullptr)
        *requiredSize = required;
    return sized;
}

bool UsbApi::GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                                      std::uint32_t detailSize, std::span<char16_t> path,
                                      DevInst* devInst) {
    using Detail = SP_DEVICE_INTERFACE_DETAIL_DATA_W;
    constexpr std::size_t kPathOffset = offsetof(Detail, DevicePath);
    // Room for the header even when the caller's size is smaller: the system is told the
    // caller's size and judges it.
    const std::size_t bytes = std::max<std::size_t>(detailSize, sizeof(Detail)) + sizeof(WCHAR);
    std::vector<std::uint64_t> storage((bytes + 7) / 8, 0);
    auto* detail = reinterpret_cast<Detail*>(storage.data());
    detail->cbSize = sizeof(Detail);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    SP_DEVICE_INTERFACE_DATA interface = Load(data);
    if (!SetupDiGetDeviceInterfaceDetailW(Set(set), &interface, detail, detailSize, nullptr, &info))
        return false;
    if (!path.empty()) {
        const std::size_t room = detailSize > kPathOffset ? (detailSize - kPathOffset) / 2 : 0;
        const wchar_t* text = detail->DevicePath;
        std::size_t n = 0;
        while (n < room && n + 1 < path.size() && text[n] != L'\0') {
            path[n] = static_cast<char16_t>(text[n]);
            ++n;
        }
        path[n] = u'\0';
    }
    if (devInst != nullptr)
        *devInst = info.DevInst;
    return true;
}

void UsbApi::DestroyDeviceInfoList(DeviceInfoSet set) {
    SetupDiDestroyDeviceInfoList(Set(set));
}

bool UsbApi::GetParentDevInst(DevInst node, DevInst* parent) {
    DEVINST out = 0;
    const CONFIGRET result = CM_Get_Parent(&out, node, 0);
    if (parent != nullptr)
        *parent = out;
    return result == CR_SUCCESS;
}

bool UsbApi::GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer,
                                      std::uint32_t* length) {
    ULONG size = Units(buffer.size());
    const CONFIGRET result = CM_Get_DevNode_Registry_PropertyW(
        node, CM_DRP_DRIVER, nullptr, buffer.empty() ? nullptr : buffer.data(), &size, 0);
    if (length != nullptr)
        *length = size;
    return result == CR_SUCCESS;
}

bool UsbApi::OpenMachineKey(const char16_t* subKey, RegKey* key) {
    HKEY out = nullptr;
    const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(subKey), 0, KEY_READ, &out);
    if (key != nullptr)
        *key = reinterpret_cast<RegKey>(out);
    return result == ERROR_SUCCESS;
}

bool UsbApi::QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                                std::uint32_t* length) {
    // A null data pointer would turn the read into a size query that succeeds; an empty buffer
    // must fail like any other that is too small.
    BYTE none = 0;
    DWORD size = Units(buffer.size());
    const LONG result = RegQueryValueExW(Key(key), W(name), nullptr, nullptr,
                                         buffer.empty() ? &none : buffer.data(), &size);
    if (length != nullptr)
        *length = size;
    return result == ERROR_SUCCESS;
}

void UsbApi::CloseRegistryKey(RegKey key) {
    RegCloseKey(Key(key));
}

Handle UsbApi::OpenDeviceWith(const char16_t* path, std::uint32_t access, std::uint32_t share) {
    return reinterpret_cast<Handle>(
        CreateFileW(W(path), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool CloseDeviceHandle(Handle handle) {
    return CloseHandle(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

bool UsbApi::VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) {
    return GetVolumeNameForVolumeMountPointW(W(mountPoint), reinterpret_cast<wchar_t*>(name.data()),
                                             Units(name.size())) != FALSE;
}

bool UsbApi::VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                             std::uint32_t* returned) {
    DWORD count = 0;
    const BOOL ok = GetVolumePathNamesForVolumeNameW(
        W(volumeName), reinterpret_cast<wchar_t*>(paths.data()), Units(paths.size()), &count);
    if (returned != nullptr)
        *returned = count;
    return ok != FALSE;
}

std::uint32_t UsbApi::DriveType(const char16_t* root) {
    return GetDriveTypeW(W(root));
}

std::uint16_t UsbApi::SystemDefaultLangId() {
    return GetSystemDefaultLangID();
}

}  // namespace win32api
