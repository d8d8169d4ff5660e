#include "qc/disk_place.h"

#include <vector>

#include "platform/text.h"
#include "qc/check_model.h"

namespace qc {

std::u16string VolOf(const usb::UsbDeviceEntry& entry, const VolumeNamer& name) {
    std::u16string letters;
    std::vector<std::u16string> names;
    bool named = false;
    usb::VolumePosition position = entry.firstVolume;
    while (position != nullptr) {
        usb::VolumeEntry volume;
        usb::CEnumUSB::GetNextVolume(&volume, &position);
        if (volume.driveLetter == 0)
            continue;
        letters += volume.driveLetter;
        std::u16string text = name ? name(volume.driveLetter) : std::u16string();
        named = named || !text.empty();
        names.push_back(text.empty() ? std::u16string(1, volume.driveLetter) : std::move(text));
    }
    return named ? VolText(names) : VolText(letters);
}

DiskPlace MakeDiskPlace(const usb::UsbDeviceEntry& entry, int stationPort,
                        const VolumeNamer& name) {
    return {stationPort, entry.portOrdinal, VolOf(entry, name), usb::ReadSerialNumber(entry)};
}

LogLine LogLineOf(const platform::LocalTime& time, const DiskPlace& place,
                  std::u16string_view checkFile, const std::optional<Verdict>& verdict,
                  const device::ValueSlots& values) {
    const bool pass = verdict && verdict->pass;
    std::u16string failed =
        verdict ? FailedItemsText(verdict->failed) : platform::FromUtf8(kNotReadItems);
    return FormatLogLine(
        time, place.stationPort, place.portOrdinal, place.vol, pass, values,
        {place.serial, std::u16string(checkFile), platform::ComputerName(), std::move(failed)});
}

}  // namespace qc
