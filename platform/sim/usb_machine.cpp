#include "platform/sim/usb_machine.h"

#include <algorithm>
#include <set>

#include "platform/sim/station.h"
#include "platform/text.h"

namespace sim {

struct UsbSide::State {
    platform::usb_model::Engine engine;
    // By id; 0 is the set one.
    std::map<std::uint64_t, DeviceChangeHook> hooks;
    std::vector<UsbRequestCall> requests;
    UsbSide::ReplyFilter replyFilter;

    // What this side entered in the station.
    std::set<int> stationDisks;
    std::set<char16_t> stationLetters;
};

UsbSide::UsbSide(Station& station) : station_(station), state_(std::make_unique<State>()) {}

UsbSide::~UsbSide() = default;

void UsbSide::ResetLocked() {
    state_ = std::make_unique<State>();
}

void UsbSide::SetMachine(UsbMachine machine) {
    std::lock_guard lock(station_.mutex_);
    state_->engine.Install(std::move(machine));
    DropHandlesLocked("");
    SyncStationLocked();
}

UsbMachine UsbSide::Machine() const {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.Machine();
}

bool UsbSide::ChangePort(const UsbPortAddress& address, UsbChange change,
                         const std::function<bool(State&, UsbPort&)>& edit,
                         const std::function<void()>& afterSync) {
    std::vector<DeviceChangeHook> hooks;
    {
        std::lock_guard lock(station_.mutex_);
        State& s = *state_;
        UsbPort* port = s.engine.PortAt(address);
        if (port == nullptr || !edit(s, *port))
            return false;
        s.engine.Compile();
        DropHandlesLocked(platform::usb_model::Engine::PlaceOf(address));
        SyncStationLocked();
        if (afterSync)
            afterSync();
        for (const auto& [id, hook] : s.hooks)
            hooks.push_back(hook);
    }
    for (const DeviceChangeHook& hook : hooks)
        hook(change, address);
    return true;
}

bool UsbSide::Plug(const UsbPortAddress& address, UsbDevice device) {
    return Plug(address, std::move(device), {});
}

bool UsbSide::Plug(const UsbPortAddress& address, UsbDevice device,
                   const std::function<void(int number, VirtualDisk& disk)>& prepare) {
    std::vector<int> numbers;
    for (const UsbDisk& d : device.disks)
        numbers.push_back(d.number);
    return ChangePort(
        address, UsbChange::Arrival,
        [&](State& s, UsbPort& port) {
            if (port.device || port.hub)
                return false;
            s.engine.Fill(device);
            port.device = std::move(device);
            return true;
        },
        [&] {
            for (int n : numbers) {
                auto disk = station_.disks_.find(n);
                if (prepare && disk != station_.disks_.end())
                    prepare(n, *disk->second);
            }
        });
}

bool UsbSide::PlugHub(const UsbPortAddress& address, UsbHub hub) {
    return ChangePort(address, UsbChange::Arrival, [&](State& s, UsbPort& port) {
        if (port.device || port.hub)
            return false;
        s.engine.Fill(hub, false);
        port.hub = Boxed<UsbHub>(std::move(hub));
        return true;
    });
}

bool UsbSide::Unplug(const UsbPortAddress& address) {
    return ChangePort(address, UsbChange::Removal, [](State&, UsbPort& port) {
        if (!port.device && !port.hub)
            return false;
        port.device.reset();
        port.hub.reset();
        port.status.reset();
        return true;
    });
}

void UsbSide::SetDeviceChangeHook(DeviceChangeHook hook) {
    std::lock_guard lock(station_.mutex_);
    if (hook)
        state_->hooks[0] = std::move(hook);
    else
        state_->hooks.erase(0);
}

std::uint64_t UsbSide::AddDeviceChangeHook(DeviceChangeHook hook) {
    std::lock_guard lock(station_.mutex_);
    const std::uint64_t id = ++lastHookId_;
    state_->hooks[id] = std::move(hook);
    return id;
}

void UsbSide::RemoveDeviceChangeHook(std::uint64_t id) {
    std::lock_guard lock(station_.mutex_);
    if (id != 0)
        state_->hooks.erase(id);
}

void UsbSide::SetReplyFilter(ReplyFilter filter) {
    std::lock_guard lock(station_.mutex_);
    state_->replyFilter = std::move(filter);
}

void UsbSide::SetLangId(std::uint16_t langId) {
    std::lock_guard lock(station_.mutex_);
    state_->engine.Machine().langId = langId;
}

std::vector<UsbRequestCall> UsbSide::Requests() const {
    std::lock_guard lock(station_.mutex_);
    return state_->requests;
}

void UsbSide::ClearRequests() {
    std::lock_guard lock(station_.mutex_);
    state_->requests.clear();
}

void UsbSide::SyncStationLocked() {
    State& s = *state_;
    std::set<int> disks;
    std::map<char16_t, Station::Volume> letters;
    for (const auto& v : s.engine.Volumes()) {
        if (v.disk == nullptr || v.volume->mountPaths.empty())
            continue;
        const std::u16string& first = v.volume->mountPaths.front();
        if (first.size() == 3 && first[1] == u':' && first[2] == u'\\')
            letters[platform::AsciiUpper(first[0])] = {v.disk->number, v.volume->freeBytes};
    }
    for (const UsbDisk* d : s.engine.Disks())
        disks.insert(d->number);
    for (int n : s.stationDisks) {
        if (!disks.count(n))
            station_.disks_.erase(n);
    }
    for (int n : disks) {
        if (!station_.disks_.count(n))
            station_.AddDiskLocked(n);
    }
    s.stationDisks = std::move(disks);
    for (char16_t l : s.stationLetters) {
        if (!letters.count(l))
            station_.volumes_.erase(l);
    }
    s.stationLetters.clear();
    for (const auto& [l, volume] : letters) {
        station_.volumes_[l] = volume;
        s.stationLetters.insert(l);
    }
}

void UsbSide::DropHandlesLocked(const std::string& place) {
    for (auto& [handle, device] : station_.handles_) {
        if (device.usb && platform::usb_model::Engine::Within(device.usbPlace, place))
            device.gone = true;
    }
}

bool UsbSide::FindLocked(std::u16string_view path, std::u16string* key, std::string* place) const {
    return state_->engine.Find(path, key, place);
}

bool UsbSide::ControlLocked(std::u16string_view path, const std::u16string& key, std::uint32_t code,
                            const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize,
                            std::uint32_t* returned) {
    State& s = *state_;
    // METHOD_BUFFERED: the input is read before the output is written, even in one buffer.
    std::vector<std::uint8_t> input;
    if (in != nullptr)
        input.assign(static_cast<const std::uint8_t*>(in),
                     static_cast<const std::uint8_t*>(in) + inSize);
    const std::span<std::uint8_t> output(static_cast<std::uint8_t*>(out),
                                         out == nullptr ? 0 : outSize);
    s.requests.push_back({std::u16string(path), code, input, outSize, false});
    if (!s.engine.Knows(key))
        return false;  // ERROR_DEVICE_NOT_CONNECTED
    std::uint32_t written = 0;
    bool ok = s.engine.Control(key, code, input, output, &written);
    if (s.replyFilter) {
        ok = s.replyFilter(code, output, &written, ok);
        written = std::min<std::uint32_t>(written, static_cast<std::uint32_t>(output.size()));
    }
    if (ok && returned != nullptr)
        *returned = written;
    s.requests.back().succeeded = ok;
    return ok;
}

// ---- The calls of platform/usb_io.h, under the station's lock -------------------------------

platform::DeviceInfoSet UsbSide::ClassDevices(const platform::Guid& interfaceClass) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.ClassDevices(interfaceClass);
}

bool UsbSide::EnumInterface(platform::DeviceInfoSet set, const platform::Guid& interfaceClass,
                            std::uint32_t index, platform::DeviceInterfaceData* data) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.EnumInterface(set, interfaceClass, index, data);
}

bool UsbSide::InterfaceDetailSize(platform::DeviceInfoSet set, platform::DeviceInterfaceData* data,
                                  std::uint32_t* requiredSize) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.InterfaceDetailSize(set, data, requiredSize);
}

bool UsbSide::InterfaceDetail(platform::DeviceInfoSet set, platform::DeviceInterfaceData* data,
                              std::uint32_t detailSize, std::span<char16_t> path,
                              platform::DevInst* devInst) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.InterfaceDetail(set, data, detailSize, path, devInst);
}

std::size_t UsbSide::OpenSetCount() const {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.OpenSetCount();
}

std::size_t UsbSide::OpenKeyCount() const {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.OpenKeyCount();
}

void UsbSide::DestroySet(platform::DeviceInfoSet set) {
    std::lock_guard lock(station_.mutex_);
    state_->engine.DestroySet(set);
}

bool UsbSide::Parent(platform::DevInst node, platform::DevInst* parent) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.Parent(node, parent);
}

bool UsbSide::DriverProperty(platform::DevInst node, std::span<std::uint8_t> buffer,
                             std::uint32_t* length) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.DriverProperty(node, buffer, length);
}

bool UsbSide::OpenKey(const char16_t* subKey, platform::RegKey* key) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.OpenKey(subKey, key);
}

bool UsbSide::QueryValue(platform::RegKey key, const char16_t* name, std::span<std::uint8_t> buffer,
                         std::uint32_t* length) {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.QueryValue(key, name, buffer, length);
}

void UsbSide::CloseKey(platform::RegKey key) {
    std::lock_guard lock(station_.mutex_);
    state_->engine.CloseKey(key);
}

bool UsbSide::VolumeName(const char16_t* mountPoint, std::span<char16_t> name) {
    if (mountPoint == nullptr)
        return false;
    // The caller may pass one buffer for both: read all of it first.
    const std::u16string point(mountPoint);
    std::lock_guard lock(station_.mutex_);
    return state_->engine.VolumeName(point.c_str(), name);
}

bool UsbSide::PathNames(const char16_t* volumeName, std::span<char16_t> paths,
                        std::uint32_t* returned) {
    if (volumeName == nullptr)
        return false;
    const std::u16string volume(volumeName);
    std::lock_guard lock(station_.mutex_);
    return state_->engine.PathNames(volume.c_str(), paths, returned);
}

std::uint32_t UsbSide::DriveType(const char16_t* root) {
    if (root == nullptr)
        return platform::kDriveNoRootDir;
    std::u16string r(root);
    if (r.size() == 2 && r[1] == u':')
        r += u'\\';
    std::lock_guard lock(station_.mutex_);
    if (const auto type = state_->engine.DriveType(r))
        return *type;
    // A lettered volume the station holds apart from the machine.
    if (r.size() == 3 && r[1] == u':' && r[2] == u'\\' &&
        station_.volumes_.count(platform::AsciiUpper(r[0])))
        return platform::kDriveRemovable;
    return platform::kDriveNoRootDir;
}

std::uint16_t UsbSide::LangId() const {
    std::lock_guard lock(station_.mutex_);
    return state_->engine.LangId();
}

}  // namespace sim
