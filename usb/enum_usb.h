// The USB tree walk: every host controller, hub and port of the machine, reported through three
// callbacks while the walk runs, into the process-wide list of connected non-hub devices with
// their disks and volumes bound to them.
#pragma once

#include <cstdint>
#include <string>

#include "usb/device_list.h"

namespace usb {

// A device list position: the entry a walk is at, null after the last.
using DevicePosition = UsbDeviceEntry*;
using VolumePosition = VolumeEntry*;

// A node handle of the owner's choosing; 0 for none.
using NodeHandle = std::uintptr_t;

class CEnumUSB {
  public:
    // `wait`: how this enumerator's owner waits for the shared list (see DeviceListLock).
    explicit CEnumUSB(ListWait wait = nullptr);
    // Empties the shared list, for every enumerator. Not virtual: an owner is destroyed as
    // itself.
    ~CEnumUSB();
    CEnumUSB(const CEnumUSB&) = delete;
    CEnumUSB& operator=(const CEnumUSB&) = delete;

    virtual NodeHandle OnHostController(const char16_t* description);
    virtual NodeHandle OnHub(const char16_t* description, NodeHandle parent);
    virtual NodeHandle OnPort(int port, int connected, const char16_t* description,
                              NodeHandle parent);

    // Rebuilds the shared list from the machine; readStrings: also the three string
    // descriptors of every device.
    void Enumerate(int readStrings);

    static DevicePosition GetFirstDevice();
    // Copies the data part of the entry at `position` into `out` and steps to the next entry.
    static UsbDeviceEntry* GetNextDevice(UsbDeviceEntry* out, DevicePosition* position);
    // Copies every field but `next` of the volume at `position` and steps to the next volume.
    static VolumeEntry* GetNextVolume(VolumeEntry* out, VolumePosition* position);

    using ListLock = DeviceListLock;

  protected:
    int readStrings = 0;
    std::uint8_t portPath[10] = {};
    std::uint8_t pathLength = 0;

  private:
    ListWait wait_;
    struct Walk;
    friend struct Walk;
};

// The device's serial number string, asked of its hub once: the device now at the entry's hub
// port must still be the entry's (its vendor and product); empty when the device has none, does
// not answer, or is gone.
std::u16string ReadSerialNumber(const UsbDeviceEntry& entry);

}  // namespace usb
