// Which disks the station takes: those of the USB walk with a mounted volume with a drive letter,
// not taken yet, whose controller is the supported one. The device scan, the window's rebuild
// after the port dialog and the command line all offer disks this way.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "usb/enum_usb.h"

namespace qc {

// A device entry with volumes of its own, so that no disk is opened while the shared list is
// held: a slow disk never keeps the port dialog waiting.
struct FoundDevice {
    usb::UsbDeviceEntry entry;
    std::vector<usb::VolumeEntry> volumes;
};

// Copies the shared list under its lock, waiting for it with `wait`; with `enumerator`, walks the
// machine first under the same lock.
std::vector<FoundDevice> CopyDevices(usb::ListWait wait, usb::CEnumUSB* enumerator);

// Why a device was not offered.
// For CannotOpen and NotAnswered, platform::LastDeviceError() says why during `passedOver`.
enum class PassedOver {
    NoVolume,         // no mounted volume with a drive letter
    CannotOpen,       // its volume would not open
    OtherController,  // the identification was refused or named another controller
    NotAnswered,      // the identification's call itself failed on every attempt
};

struct DiskTaker {
    // Whether a disk with this first drive letter is taken already; nullopt: stop offering.
    std::function<std::optional<bool>(char16_t letter)> taken;
    // Takes a supported disk; `entry` is valid during the call only. False: stop offering.
    std::function<bool(const usb::UsbDeviceEntry& entry)> take;
    // Told of each device passed over; may be empty.
    std::function<void(const usb::UsbDeviceEntry& entry, PassedOver why)> passedOver;
};

// Offers the disks of `found` in list order; asks `taken` once per disk before opening it. False
// when the taker stopped it.
bool OfferDisks(const std::vector<FoundDevice>& found, const DiskTaker& taker);

}  // namespace qc
