// The USB side of the virtual station: the machine of platform/usb_model.h answering behind the
// wrapper of platform/usb_host.h, and the station's own around it.
//
// The description (UsbMachine and the helpers FlashDisk, Keyboard, Hub, Controller) is
// platform/usb_model.h's; a test or a station file fills it in. UsbSide, reached as
// sim::Station::Get().Usb(), installs it in the engine that answers the functions of
// platform/usb_io.h and the requests of platform/usb_requests.h, and keeps around the engine what
// is the station's: every call is taken under the station's mutex, so a Plug or Unplug while
// another thread walks the tree is safe (the walk sees the machine before or after the change,
// call by call); the disks and lettered volumes entered in the station; the hooks told of each
// change; the requests recorded; the reply filter; the station's faults (platform/sim/faults.h).
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
#include "platform/usb_host.h"
#include "platform/usb_io.h"
#include "platform/usb_model.h"

namespace sim {

// ---- The description (platform/usb_model.h) -------------------------------------------------

using platform::usb_model::Boxed;
using platform::usb_model::Controller;
using platform::usb_model::FlashDisk;
using platform::usb_model::Hub;
using platform::usb_model::Keyboard;
using platform::usb_model::UsbAuxInterface;
using platform::usb_model::UsbController;
using platform::usb_model::UsbDevice;
using platform::usb_model::UsbDisk;
using platform::usb_model::UsbHub;
using platform::usb_model::UsbMachine;
using platform::usb_model::UsbPort;
using platform::usb_model::UsbPortAddress;
using platform::usb_model::UsbStringDescriptor;
using platform::usb_model::UsbVolume;

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

    // What answers platform/usb_io.h on the simulated backend: the engine behind the wrapper of
    // platform/usb_host.h, under the station's mutex, with the station's faults.
    platform::UsbCalls& Calls();

    ~UsbSide();
    UsbSide(const UsbSide&) = delete;
    UsbSide& operator=(const UsbSide&) = delete;

  private:
    friend class Station;
    struct State;
    explicit UsbSide(Station& station);

    // Under the station's mutex, for the station's own calls.
    void ResetLocked();
    platform::usb_model::Host& host();
    // Brings the station's disks and lettered volumes in step with the machine.
    void SyncStationLocked();
    // One change of what sits on a port: `edit` changes the port (false: it cannot), then the
    // machine is rebuilt, the station brought in step and, after the lock, the hook told.
    bool ChangePort(const UsbPortAddress& address, UsbChange change,
                    const std::function<bool(platform::usb_model::Engine&, UsbPort&)>& edit,
                    const std::function<void()>& afterSync = {});
    struct HostSide;
    Station& station_;
    std::unique_ptr<HostSide> hostSide_;
    std::unique_ptr<platform::usb_model::Host> host_;
    std::unique_ptr<State> state_;
    std::uint64_t lastHookId_ = 0;  // under the station's mutex; not reset with the state
};

}  // namespace sim
