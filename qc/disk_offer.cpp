#include "qc/disk_offer.h"

#include "device/controller.h"
#include "device/drive.h"

namespace qc {

std::vector<FoundDevice> CopyDevices(usb::ListWait wait, usb::CEnumUSB* enumerator) {
    const usb::DeviceListLock hold(wait);
    if (enumerator != nullptr)
        enumerator->Enumerate(0);
    std::vector<FoundDevice> found;
    usb::DevicePosition position = usb::CEnumUSB::GetFirstDevice();
    while (position != nullptr) {
        FoundDevice& device = found.emplace_back();
        usb::CEnumUSB::GetNextDevice(&device.entry, &position);
        usb::VolumePosition volume = device.entry.firstVolume;
        while (volume != nullptr)
            usb::CEnumUSB::GetNextVolume(&device.volumes.emplace_back(), &volume);
    }
    // Linked only now: the vectors do not move any more.
    for (FoundDevice& device : found) {
        for (std::size_t i = 0; i < device.volumes.size(); ++i)
            device.volumes[i].next =
                i + 1 < device.volumes.size() ? &device.volumes[i + 1] : nullptr;
        device.entry.firstVolume = device.volumes.empty() ? nullptr : &device.volumes[0];
    }
    return found;
}

namespace {

// Opens the volume, asks its controller whether it is the supported one, and closes it.
std::optional<PassedOver> SupportOf(char16_t letter) {
    const platform::Handle handle = device::OpenVolume(letter);
    if (handle == platform::kInvalidHandle)
        return PassedOver::CannotOpen;
    const device::Identity identity = device::Identify(handle);
    device::CloseDrive(handle);
    switch (identity) {
        case device::Identity::Supported:
            return std::nullopt;
        case device::Identity::OtherController:
            return PassedOver::OtherController;
        case device::Identity::NotAnswered:
            break;
    }
    return PassedOver::NotAnswered;
}

}  // namespace

bool OfferDisks(const std::vector<FoundDevice>& found, const DiskTaker& taker) {
    const auto passOver = [&taker](const FoundDevice& device, PassedOver why) {
        if (taker.passedOver)
            taker.passedOver(device.entry, why);
    };
    for (const FoundDevice& device : found) {
        const usb::VolumeEntry* volume = device.entry.firstVolume;
        if (volume == nullptr || volume->driveLetter == 0) {
            passOver(device, PassedOver::NoVolume);
            continue;
        }
        const std::optional<bool> taken = taker.taken(volume->driveLetter);
        if (!taken)
            return false;
        if (*taken)
            continue;
        if (const auto why = SupportOf(volume->driveLetter)) {
            passOver(device, *why);
            continue;
        }
        if (!taker.take(device.entry))
            return false;
    }
    return true;
}

}  // namespace qc
