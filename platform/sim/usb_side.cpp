#include "platform/sim/usb_side.h"

#include <algorithm>
#include <set>

#include "platform/sim/faults.h"
#include "platform/sim/station.h"
#include "platform/text.h"

namespace sim {

struct UsbSide::State {
    // By id; 0 is the set one.
    std::map<std::uint64_t, DeviceChangeHook> hooks;
    std::vector<UsbRequestCall> requests;
    UsbSide::ReplyFilter replyFilter;

    // What this side entered in the station.
    std::set<int> stationDisks;
    std::set<char16_t> stationLetters;
};

namespace {

using platform::usb_model::UsbCall;

FaultCall FaultOf(UsbCall call) {
    switch (call) {
        case UsbCall::ClassDevices:
            return FaultCall::ClassDevices;
        case UsbCall::EnumInterface:
            return FaultCall::EnumInterface;
        case UsbCall::DetailSize:
            return FaultCall::DetailSize;
        case UsbCall::Detail:
            return FaultCall::Detail;
        case UsbCall::Parent:
            return FaultCall::Parent;
        case UsbCall::DriverProperty:
            return FaultCall::DriverProperty;
        case UsbCall::OpenKey:
            return FaultCall::OpenKey;
        case UsbCall::QueryValue:
            return FaultCall::QueryValue;
        case UsbCall::Open:
            return FaultCall::Open;
        case UsbCall::VolumeName:
            return FaultCall::VolumeName;
        case UsbCall::PathNames:
            return FaultCall::PathNames;
        case UsbCall::DriveType:
            return FaultCall::DriveType;
    }
    return FaultCall::Open;
}

}  // namespace

// The station's own around the wrapper: its faults, its opening of every path, its lettered
// volumes, its record of the requests and its reply filter.
struct UsbSide::HostSide final : platform::usb_model::Host::Side {
    explicit HostSide(UsbSide& usb) : usb(usb) {}

    bool Fails(UsbCall call) override { return Faults::Fail(FaultOf(call)); }

    platform::Handle Open(platform::usb_model::Host&, const char16_t* path, std::uint32_t access,
                          std::uint32_t share) override {
        return usb.station_.Open(path, access, share);
    }

    std::uint32_t OtherDriveType(std::u16string_view root) override {
        // A lettered volume the station holds apart from the machine.
        if (root.size() == 3 && root[1] == u':' && root[2] == u'\\' &&
            usb.station_.volumes_.count(platform::AsciiUpper(root[0])))
            return platform::kDriveRemovable;
        return platform::kDriveNoRootDir;
    }

    void Requested(std::u16string_view path, std::uint32_t code,
                   std::span<const std::uint8_t> input, std::uint32_t outSize) override {
        usb.state_->requests.push_back({std::u16string(path), code,
                                        std::vector<std::uint8_t>(input.begin(), input.end()),
                                        outSize, false});
    }

    bool Answered(std::uint32_t code, std::span<std::uint8_t> output, std::uint32_t* written,
                  bool ok) override {
        State& s = *usb.state_;
        if (s.replyFilter) {
            ok = s.replyFilter(code, output, written, ok);
            *written = std::min<std::uint32_t>(*written, static_cast<std::uint32_t>(output.size()));
        }
        s.requests.back().succeeded = ok;
        return ok;
    }

    UsbSide& usb;
};

UsbSide::UsbSide(Station& station)
    : station_(station),
      hostSide_(std::make_unique<HostSide>(*this)),
      host_(std::make_unique<platform::usb_model::Host>(station.mutex_, *hostSide_)),
      state_(std::make_unique<State>()) {}

UsbSide::~UsbSide() = default;

void UsbSide::ResetLocked() {
    state_ = std::make_unique<State>();
    host_->ResetLocked();
}

platform::usb_model::Host& UsbSide::host() {
    return *host_;
}

platform::UsbCalls& UsbSide::Calls() {
    return *host_;
}

void UsbSide::SetMachine(UsbMachine machine) {
    std::lock_guard lock(station_.mutex_);
    host_->engine().Install(std::move(machine));
    host_->DropLocked("");
    SyncStationLocked();
}

UsbMachine UsbSide::Machine() const {
    std::lock_guard lock(station_.mutex_);
    return host_->engine().Machine();
}

bool UsbSide::ChangePort(const UsbPortAddress& address, UsbChange change,
                         const std::function<bool(platform::usb_model::Engine&, UsbPort&)>& edit,
                         const std::function<void()>& afterSync) {
    std::vector<DeviceChangeHook> hooks;
    {
        std::lock_guard lock(station_.mutex_);
        State& s = *state_;
        UsbPort* port = host_->engine().PortAt(address);
        if (port == nullptr || !edit(host_->engine(), *port))
            return false;
        host_->engine().Compile();
        host_->DropLocked(platform::usb_model::Engine::PlaceOf(address));
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
        [&](platform::usb_model::Engine& engine, UsbPort& port) {
            if (port.device || port.hub)
                return false;
            engine.Fill(device);
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
    return ChangePort(address, UsbChange::Arrival,
                      [&](platform::usb_model::Engine& engine, UsbPort& port) {
                          if (port.device || port.hub)
                              return false;
                          engine.Fill(hub, false);
                          port.hub = Boxed<UsbHub>(std::move(hub));
                          return true;
                      });
}

bool UsbSide::Unplug(const UsbPortAddress& address) {
    return ChangePort(address, UsbChange::Removal, [](platform::usb_model::Engine&, UsbPort& port) {
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
    host_->engine().Machine().langId = langId;
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
    for (const auto& v : host_->engine().Volumes()) {
        if (v.disk == nullptr || v.volume->mountPaths.empty())
            continue;
        const std::u16string& first = v.volume->mountPaths.front();
        if (first.size() == 3 && first[1] == u':' && first[2] == u'\\')
            letters[platform::AsciiUpper(first[0])] = {v.disk->number, v.volume->freeBytes};
    }
    for (const UsbDisk* d : host_->engine().Disks())
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

std::size_t UsbSide::OpenSetCount() const {
    std::lock_guard lock(station_.mutex_);
    return host_->engine().OpenSetCount();
}

std::size_t UsbSide::OpenKeyCount() const {
    std::lock_guard lock(station_.mutex_);
    return host_->engine().OpenKeyCount();
}

}  // namespace sim

namespace platform {
TAVRIN_BACKEND_BEGIN

UsbCalls& UsbSystem() {
    return sim::Station::Get().Usb().Calls();
}

TAVRIN_BACKEND_END
}  // namespace platform
