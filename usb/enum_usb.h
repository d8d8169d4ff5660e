// The USB tree walk: every host controller, hub and port of the machine, reported through three
// callbacks while the walk runs, and the process-wide list of connected non-hub devices with
// their disks and volumes bound to them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace usb {

// The longest name the walk takes from a hub or controller, whole: a driver key is a class key
// and an instance key below it, each a registry key name of at most 255 characters (the instance
// number has no fixed number of digits); hub names are shorter still.
inline constexpr std::size_t kMaxNameChars = 511;
inline constexpr std::size_t kDevicePathPrefixChars = 4;

struct VolumeEntry {
    char16_t driveLetter = 0;  // first character of the first mount path; 0 without one
    std::uint32_t driveType = 0;
    std::int32_t diskNumber = 0;  // -1 for a CD-ROM volume
    char16_t volumePath[260] = {};
    VolumeEntry* next = nullptr;
};

struct UsbDeviceEntry {
    // ---- The data part: what GetNextDevice copies.
    std::int32_t portOrdinal = 0;
    std::uint8_t portPath[10] = {};
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    char16_t driverKey[kMaxNameChars + 1] = {};
    char16_t driverDesc[30] = {};
    char16_t manufacturer[9] = {};  // not terminated when full
    char16_t product[17] = {};
    char16_t serialNumber[17] = {};
    char16_t diskInterfacePath[260] = {};
    std::int32_t diskNumbers[4] = {-1, -1, -1, -1};
    std::uint32_t diskDevInst = 0;
    char16_t auxInterfacePath[260] = {};
    VolumeEntry* firstVolume = nullptr;
    std::int32_t hubPort = 0;
    char16_t hubPath[kDevicePathPrefixChars + kMaxNameChars + 1] = {};  // prefix and hub name
    // ---- The list part, owned by the shared list.
    VolumeEntry* volumeHead = nullptr;
    VolumeEntry* volumeTail = nullptr;
    std::int32_t volumeCount = 0;
    UsbDeviceEntry* next = nullptr;
};

// Bytes of the data part: portOrdinal through hubPath.
inline constexpr std::size_t kDeviceDataPartSize = offsetof(UsbDeviceEntry, volumeHead);

// A device list position: the entry a walk is at, null after the last.
using DevicePosition = UsbDeviceEntry*;
using VolumePosition = VolumeEntry*;

// A node handle of the owner's choosing; 0 for none.
using NodeHandle = std::uintptr_t;

class CEnumUSB {
  public:
    CEnumUSB();
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

    static int DeviceCount();

    // One owner of the shared list at a time. An enumeration takes it by itself; whoever walks
    // the list, or enumerates and then walks, holds a ListLock across both. Waiting for it
    // serves messages sent to the waiting thread, so a window's thread may wait while a worker
    // that holds the list sends to that window. Waiters get it in the order they came; recursive
    // on one thread.
    class ListLock {
      public:
        ListLock();
        ~ListLock();
        ListLock(const ListLock&) = delete;
        ListLock& operator=(const ListLock&) = delete;
    };

  protected:
    int readStrings = 0;
    std::uint8_t portPath[10] = {};
    std::uint8_t pathLength = 0;

  private:
    struct Walk;
    friend struct Walk;
};

}  // namespace usb
