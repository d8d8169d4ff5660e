// The simulated OS backend of platform/usb_io.h: every call goes to the virtual station's USB
// side.
#include "platform/usb_io.h"

#include "platform/sim/faults.h"
#include "platform/sim/station.h"

namespace platform {
namespace {

sim::UsbSide& Usb() {
    return sim::Station::Get().Usb();
}

}  // namespace

TAVRIN_BACKEND_BEGIN

DeviceInfoSet GetClassDevices(const Guid& interfaceClass) {
    if (sim::Faults::Fail(sim::FaultCall::ClassDevices))
        return kInvalidHandle;
    return Usb().ClassDevices(interfaceClass);
}

bool EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                         DeviceInterfaceData* data) {
    if (sim::Faults::Fail(sim::FaultCall::EnumInterface))
        return false;
    return Usb().EnumInterface(set, interfaceClass, index, data);
}

bool GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                  std::uint32_t* requiredSize) {
    if (sim::Faults::Fail(sim::FaultCall::DetailSize))
        return false;
    return Usb().InterfaceDetailSize(set, data, requiredSize);
}

bool GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                              std::uint32_t detailSize, std::span<char16_t> path,
                              DevInst* devInst) {
    if (sim::Faults::Fail(sim::FaultCall::Detail))
        return false;
    return Usb().InterfaceDetail(set, data, detailSize, path, devInst);
}

void DestroyDeviceInfoList(DeviceInfoSet set) {
    Usb().DestroySet(set);
}

bool GetParentDevInst(DevInst node, DevInst* parent) {
    if (sim::Faults::Fail(sim::FaultCall::Parent))
        return false;
    return Usb().Parent(node, parent);
}

bool GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer, std::uint32_t* length) {
    if (sim::Faults::Fail(sim::FaultCall::DriverProperty))
        return false;
    return Usb().DriverProperty(node, buffer, length);
}

bool OpenMachineKey(const char16_t* subKey, RegKey* key) {
    if (sim::Faults::Fail(sim::FaultCall::OpenKey))
        return false;
    return Usb().OpenKey(subKey, key);
}

bool QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                        std::uint32_t* length) {
    if (sim::Faults::Fail(sim::FaultCall::QueryValue))
        return false;
    return Usb().QueryValue(key, name, buffer, length);
}

void CloseRegistryKey(RegKey key) {
    Usb().CloseKey(key);
}

Handle OpenDeviceWith(const char16_t* path, std::uint32_t access, std::uint32_t share) {
    if (sim::Faults::Fail(sim::FaultCall::Open))
        return kInvalidHandle;
    return sim::Station::Get().Open(path, access, share);
}

bool VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) {
    if (sim::Faults::Fail(sim::FaultCall::VolumeName))
        return false;
    return Usb().VolumeName(mountPoint, name);
}

bool VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                     std::uint32_t* returned) {
    if (sim::Faults::Fail(sim::FaultCall::PathNames))
        return false;
    return Usb().PathNames(volumeName, paths, returned);
}

std::uint32_t DriveType(const char16_t* root) {
    if (sim::Faults::Fail(sim::FaultCall::DriveType))
        return kDriveUnknown;
    return Usb().DriveType(root);
}

std::uint16_t SystemDefaultLangId() {
    return Usb().LangId();
}

TAVRIN_BACKEND_END

}  // namespace platform
