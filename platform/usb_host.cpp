#include "platform/usb_host.h"

#include <algorithm>

namespace platform::usb_model {

Host::Host(std::mutex& mutex, Side& side)
    : mutex_(mutex), side_(side), engine_(std::make_unique<Engine>()) {}

Host::~Host() = default;

DeviceInfoSet Host::GetClassDevices(const Guid& interfaceClass) {
    if (side_.Fails(UsbCall::ClassDevices))
        return kInvalidHandle;
    const std::lock_guard lock(mutex_);
    side_.Prepare(*engine_, &interfaceClass);
    return engine_->GetClassDevices(interfaceClass);
}

bool Host::EnumDeviceInterface(DeviceInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                               DeviceInterfaceData* data) {
    if (side_.Fails(UsbCall::EnumInterface))
        return false;
    const std::lock_guard lock(mutex_);
    return engine_->EnumDeviceInterface(set, interfaceClass, index, data);
}

bool Host::GetDeviceInterfaceDetailSize(DeviceInfoSet set, DeviceInterfaceData* data,
                                        std::uint32_t* requiredSize) {
    if (side_.Fails(UsbCall::DetailSize))
        return false;
    const std::lock_guard lock(mutex_);
    return engine_->GetDeviceInterfaceDetailSize(set, data, requiredSize);
}

bool Host::GetDeviceInterfaceDetail(DeviceInfoSet set, DeviceInterfaceData* data,
                                    std::uint32_t detailSize, std::span<char16_t> path,
                                    DevInst* devInst) {
    if (side_.Fails(UsbCall::Detail))
        return false;
    const std::lock_guard lock(mutex_);
    return engine_->GetDeviceInterfaceDetail(set, data, detailSize, path, devInst);
}

void Host::DestroyDeviceInfoList(DeviceInfoSet set) {
    const std::lock_guard lock(mutex_);
    engine_->DestroyDeviceInfoList(set);
}

bool Host::GetParentDevInst(DevInst node, DevInst* parent) {
    if (side_.Fails(UsbCall::Parent))
        return false;
    const std::lock_guard lock(mutex_);
    return engine_->GetParentDevInst(node, parent);
}

bool Host::GetDevNodeDriverProperty(DevInst node, std::span<std::uint8_t> buffer,
                                    std::uint32_t* length) {
    if (side_.Fails(UsbCall::DriverProperty))
        return false;
    const std::lock_guard lock(mutex_);
    return engine_->GetDevNodeDriverProperty(node, buffer, length);
}

bool Host::OpenMachineKey(const char16_t* subKey, RegKey* key) {
    if (side_.Fails(UsbCall::OpenKey))
        return false;
    const std::lock_guard lock(mutex_);
    side_.Prepare(*engine_, nullptr);
    return engine_->OpenMachineKey(subKey, key);
}

bool Host::QueryRegistryValue(RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                              std::uint32_t* length) {
    if (side_.Fails(UsbCall::QueryValue))
        return false;
    const std::lock_guard lock(mutex_);
    return engine_->QueryRegistryValue(key, name, buffer, length);
}

void Host::CloseRegistryKey(RegKey key) {
    const std::lock_guard lock(mutex_);
    engine_->CloseRegistryKey(key);
}

Handle Host::OpenDeviceWith(const char16_t* path, std::uint32_t access, std::uint32_t share) {
    if (side_.Fails(UsbCall::Open))
        return kInvalidHandle;
    return side_.Open(*this, path, access, share);
}

bool Host::VolumeNameForMountPoint(const char16_t* mountPoint, std::span<char16_t> name) {
    if (side_.Fails(UsbCall::VolumeName) || mountPoint == nullptr)
        return false;
    // The caller may pass one buffer for both: read all of it first.
    const std::u16string point(mountPoint);
    const std::lock_guard lock(mutex_);
    side_.Prepare(*engine_, nullptr);
    return engine_->VolumeNameForMountPoint(point.c_str(), name);
}

bool Host::VolumePathNames(const char16_t* volumeName, std::span<char16_t> paths,
                           std::uint32_t* returned) {
    if (side_.Fails(UsbCall::PathNames) || volumeName == nullptr)
        return false;
    const std::u16string volume(volumeName);
    const std::lock_guard lock(mutex_);
    side_.Prepare(*engine_, nullptr);
    return engine_->VolumePathNames(volume.c_str(), paths, returned);
}

std::uint32_t Host::DriveType(const char16_t* root) {
    if (side_.Fails(UsbCall::DriveType))
        return kDriveUnknown;
    if (root == nullptr)
        return kDriveNoRootDir;
    // GetDriveTypeW takes "E:" for "E:\".
    std::u16string r(root);
    if (r.size() == 2 && r[1] == u':')
        r += u'\\';
    const std::lock_guard lock(mutex_);
    side_.Prepare(*engine_, nullptr);
    if (const auto type = engine_->DriveTypeOf(r))
        return *type;
    return side_.OtherDriveType(r);
}

std::uint16_t Host::SystemDefaultLangId() {
    const std::lock_guard lock(mutex_);
    return engine_->SystemDefaultLangId();
}

// ---- Handles ----------------------------------------------------------------------------------

void Host::ResetLocked() {
    engine_ = std::make_unique<Engine>();
    handles_.clear();
    nextHandle_ = kFirstHostHandle;
}

Handle Host::Open(std::u16string_view path) {
    const std::lock_guard lock(mutex_);
    return OpenLocked(path);
}

Handle Host::OpenLocked(std::u16string_view path) {
    Opened opened{std::u16string(path), {}, {}, false};
    side_.Prepare(*engine_, nullptr);
    if (!engine_->Find(path, &opened.key, &opened.place))
        return kInvalidHandle;
    const Handle handle = nextHandle_++;
    handles_.emplace(handle, std::move(opened));
    return handle;
}

bool Host::Close(Handle handle) {
    const std::lock_guard lock(mutex_);
    return CloseLocked(handle);
}

bool Host::CloseLocked(Handle handle) {
    return handles_.erase(handle) == 1;
}

bool Host::Control(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                   void* out, std::uint32_t outSize, std::uint32_t* returned) {
    const std::lock_guard lock(mutex_);
    return ControlLocked(handle, code, in, inSize, out, outSize, returned);
}

bool Host::ControlLocked(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                         void* out, std::uint32_t outSize, std::uint32_t* returned) {
    const auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.gone)
        return false;  // ERROR_INVALID_HANDLE, ERROR_DEVICE_NOT_CONNECTED
    const Opened& device = it->second;
    std::vector<std::uint8_t> input;
    if (in != nullptr)
        input.assign(static_cast<const std::uint8_t*>(in),
                     static_cast<const std::uint8_t*>(in) + inSize);
    const std::span<std::uint8_t> output(static_cast<std::uint8_t*>(out),
                                         out == nullptr ? 0 : outSize);
    side_.Requested(device.path, code, input, outSize);
    if (!engine_->Knows(device.key))
        return false;  // ERROR_DEVICE_NOT_CONNECTED
    std::uint32_t written = 0;
    bool ok = engine_->Control(device.key, code, input, output, &written);
    ok = side_.Answered(code, output, &written, ok);
    written = std::min<std::uint32_t>(written, static_cast<std::uint32_t>(output.size()));
    if (ok && returned != nullptr)
        *returned = written;
    return ok;
}

void Host::DropLocked(const std::string& place) {
    for (auto& [handle, device] : handles_) {
        if (Engine::Within(device.place, place))
            device.gone = true;
    }
}

std::vector<std::u16string> Host::HandlePathsLocked() const {
    std::vector<std::u16string> paths;
    for (const auto& [handle, device] : handles_)
        paths.push_back(device.path);
    return paths;
}

}  // namespace platform::usb_model
