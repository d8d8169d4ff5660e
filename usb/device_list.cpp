#include "usb/device_list.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace usb {

namespace {

// Who holds the shared list. Waiters are served in the order they came (a ticket each), so a
// walk that keeps coming back, like scans after a burst of device notices, cannot starve the
// port dialog's worker. Recursive on the owning thread.
struct ListOwner {
    std::mutex mutex;
    std::condition_variable released;
    std::thread::id thread;
    int depth = 0;
    std::uint64_t nextTicket = 0;
    std::uint64_t serving = 0;
};

ListOwner& Owner() {
    static ListOwner& owner = *new ListOwner;  // never destroyed, as the list
    return owner;
}

void FreeChain(UsbDeviceEntry* entry) {
    while (entry != nullptr) {
        UsbDeviceEntry* next = entry->next;
        for (VolumeEntry* volume = entry->volumeHead; volume != nullptr;) {
            VolumeEntry* nextVolume = volume->next;
            delete volume;
            volume = nextVolume;
        }
        delete entry;
        entry = next;
    }
}

}  // namespace

DeviceList& SharedDeviceList() {
    static DeviceList& list = *new DeviceList;
    return list;
}

void RetireDevices(DeviceList& list) {
    if (list.head != nullptr)
        list.retired.push_back(list.head);
    list.head = nullptr;
    list.tail = nullptr;
    list.deviceCount = 0;
}

void CleanUpDevices(DeviceList& list) {
    FreeChain(list.head);
    for (UsbDeviceEntry* chain : list.retired)
        FreeChain(chain);
    list.retired.clear();
    list.head = nullptr;
    list.tail = nullptr;
    list.deviceCount = 0;
    list.portCounter = 0;
}

void AppendDevice(DeviceList& list, UsbDeviceEntry* entry) {
    if (list.tail == nullptr)
        list.head = entry;
    else
        list.tail->next = entry;
    list.tail = entry;
    list.deviceCount += 1;
}

void AppendVolume(UsbDeviceEntry* entry, VolumeEntry* volume) {
    if (entry->volumeHead == nullptr) {
        entry->volumeHead = volume;
        entry->firstVolume = volume;
    } else {
        entry->volumeTail->next = volume;
    }
    entry->volumeTail = volume;
    entry->volumeCount += 1;
}

DeviceListLock::DeviceListLock(ListWait wait) {
    ListOwner& owner = Owner();
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock lock(owner.mutex);
    if (owner.depth > 0 && owner.thread == self) {
        ++owner.depth;
        return;
    }
    const std::uint64_t ticket = owner.nextTicket++;
    const auto take = [&] {
        if (owner.depth != 0 || owner.serving != ticket)
            return false;
        owner.thread = self;
        owner.depth = 1;
        return true;
    };
    if (wait == nullptr) {
        owner.released.wait(lock, take);
        return;
    }
    lock.unlock();
    while (!wait(
        [&] {
            const std::lock_guard held(owner.mutex);
            return take();
        },
        50)) {
    }
}

DeviceListLock::~DeviceListLock() {
    ListOwner& owner = Owner();
    {
        const std::lock_guard lock(owner.mutex);
        if (--owner.depth != 0)
            return;
        owner.thread = std::thread::id();
        ++owner.serving;
    }
    owner.released.notify_all();
}

}  // namespace usb
