// The one wrapper a backend puts around the engine of platform/usb_model.h to answer
// platform/usb_io.h with: the virtual station's (platform/sim/usb_side.h) and Linux's
// (platform/linux/usb_io.cpp). It takes every call under the backend's lock, asks the backend
// for a fault before each call that can fail, reads the arguments Windows lets one buffer share
// before it writes, and owns the handles opened on the machine's devices with the copy their
// buffered requests make. What is the backend's own comes in through Side.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_io.h"
#include "platform/usb_model.h"

namespace platform::usb_model {

// The calls of platform/usb_io.h that can fail as Windows' can, and the device requests.
enum class UsbCall {
    ClassDevices,
    EnumInterface,
    DetailSize,
    Detail,
    Parent,
    DriverProperty,
    OpenKey,
    QueryValue,
    Open,
    VolumeName,
    PathNames,
    DriveType,
};

// Far above any descriptor or handle a backend makes itself: the host's handles never meet
// them.
inline constexpr Handle kFirstHostHandle = Handle{1} << (sizeof(Handle) * 8 - 2);

class Host final : public UsbCalls {
  public:
    // What the backend adds around the engine. Every hook but Fails runs under the lock.
    class Side {
      public:
        // Before the call, outside the lock: true when it is to fail as the real call would.
        virtual bool Fails(UsbCall) { return false; }
        // Before a call that looks at the machine afresh: `walk` is the interface class a walk
        // starts (GetClassDevices), null for opening a device or key, a volume's names and a
        // drive type. Brings the engine up to date.
        virtual void Prepare(Engine&, const Guid* /*walk*/) {}
        // Opens a path, outside the lock; the default opens a device of the machine.
        virtual Handle Open(Host& host, const char16_t* path, std::uint32_t /*access*/,
                            std::uint32_t /*share*/) {
            return path == nullptr ? kInvalidHandle : host.Open(path);
        }
        // The drive type of a root the machine holds no volume for.
        virtual std::uint32_t OtherDriveType(std::u16string_view /*root*/) {
            return kDriveNoRootDir;
        }
        // A request to a device of the machine, before the engine answers, and its reply after:
        // `written` may be changed (within the output) and the answer is whether it succeeds.
        virtual void Requested(std::u16string_view /*path*/, std::uint32_t /*code*/,
                               std::span<const std::uint8_t> /*input*/, std::uint32_t /*outSize*/) {
        }
        virtual bool Answered(std::uint32_t /*code*/, std::span<std::uint8_t> /*output*/,
                              std::uint32_t* /*written*/, bool ok) {
            return ok;
        }

      protected:
        ~Side() = default;
    };

    Host(std::mutex& mutex, Side& side);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Under the lock.
    Engine& engine() { return *engine_; }
    // Under the lock: a new engine with nothing installed, and no handle open.
    void ResetLocked();

    // ---- platform/usb_io.h.
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

    // ---- The handles opened on the machine's devices.
    static bool Owns(Handle handle) {
        return handle >= kFirstHostHandle && handle != kInvalidHandle;
    }
    // A handle on the device behind `path`, kInvalidHandle when the machine has none or it does
    // not open.
    Handle Open(std::u16string_view path);
    Handle OpenLocked(std::u16string_view path);
    bool Close(Handle handle);
    bool CloseLocked(Handle handle);
    // A device request, METHOD_BUFFERED: the input is read whole before the output is written,
    // even when both are one buffer. False when the request fails or its device went.
    bool Control(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* returned);
    bool ControlLocked(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                       void* out, std::uint32_t outSize, std::uint32_t* returned);
    // Marks the handles on what sits at `place` or below it as gone ("" for all).
    void DropLocked(const std::string& place);
    // The paths of the handles open, in the order they were opened.
    std::vector<std::u16string> HandlePathsLocked() const;
    std::size_t HandleCountLocked() const { return handles_.size(); }

  private:
    struct Opened {
        std::u16string path;
        std::u16string key;
        std::string place;
        bool gone = false;
    };
    std::mutex& mutex_;
    Side& side_;
    std::unique_ptr<Engine> engine_;
    std::map<Handle, Opened> handles_;
    Handle nextHandle_ = kFirstHostHandle;
};

}  // namespace platform::usb_model
