// The process-wide list of connected non-hub USB devices with the disks and volumes bound to
// them, and the lock that gives it one owner at a time. No window system here: a thread that
// must serve its windows while it waits hands in the way to wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

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

// The one list every enumerator shares; touched only under a DeviceListLock. `retired` holds
// entries that a new enumerator dropped from view without freeing them: copies handed out
// before may still lead to their volumes, which stay valid until the next clean-up.
struct DeviceList {
    UsbDeviceEntry* head = nullptr;
    UsbDeviceEntry* tail = nullptr;
    std::int32_t deviceCount = 0;
    std::int32_t portCounter = 0;
    std::vector<UsbDeviceEntry*> retired;
};

// Never destroyed: a scan still walking while the program ends must not find it gone.
DeviceList& SharedDeviceList();

// Drops the entries from view, kept until the next clean-up.
void RetireDevices(DeviceList& list);
// Frees every entry, the retired ones too, with their volumes, and restarts the port count.
void CleanUpDevices(DeviceList& list);
void AppendDevice(DeviceList& list, UsbDeviceEntry* entry);
void AppendVolume(UsbDeviceEntry* entry, VolumeEntry* volume);

// Polls `ready` until it holds or `timeoutMs` passes; true when it held. A window's thread
// hands in one that serves the messages sent to it meanwhile.
using ListWait = bool (*)(const std::function<bool()>& ready, unsigned timeoutMs);

// One owner of the shared list at a time. An enumeration takes it by itself; whoever walks the
// list, or enumerates and then walks, holds a lock across both. Waiters get it in the order
// they came; recursive on one thread.
class DeviceListLock {
  public:
    // Without a way to wait the thread just blocks. A thread with windows hands in a wait that
    // serves what is sent to it: the holder may be a worker waiting in a send to one of them.
    explicit DeviceListLock(ListWait wait = nullptr);
    ~DeviceListLock();
    DeviceListLock(const DeviceListLock&) = delete;
    DeviceListLock& operator=(const DeviceListLock&) = delete;
};

}  // namespace usb
