// A disk's place, and its log line: where the disk sits (station port, the port's ordinal, the
// "Vol" text) and which disk it is (its USB serial number), the same for the window's result log
// and for tavrin-check; then the verdict, the values, the check file and the station when its
// line is made.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "device/controller.h"
#include "platform/log_file.h"
#include "qc/result_log.h"
#include "qc/verdict.h"
#include "usb/enum_usb.h"

namespace qc {

// A volume's name in "Vol" (Linux names its volumes); null or empty: its drive letter.
using VolumeNamer = std::function<std::u16string(char16_t letter)>;

struct DiskPlace {
    int stationPort = 0;  // 1 to usb::kStationPorts in station mode; 0 in free mode
    int portOrdinal = 0;
    std::u16string vol;     // as the "Vol" cell shows it
    std::u16string serial;  // the device's serial number string; empty: none, or not read
};

// The "Vol" text of the entry's volumes, from its first on: letters (or names) joined by "|".
// A volume without a letter is left out: it would put a NUL in the text.
std::u16string VolOf(const usb::UsbDeviceEntry& entry, const VolumeNamer& name = {});

// The place of a disk on `stationPort` (0: free mode), its serial number asked of the
// device once, now (usb::ReadSerialNumber).
DiskPlace MakeDiskPlace(const usb::UsbDeviceEntry& entry, int stationPort,
                        const VolumeNamer& name = {});

// The disk's line of the log and of the CSV, with its verdict, the items it failed and its
// values, judged against `checkFile` (its stored path; empty: none), at this computer. No
// verdict: the disk's block could not be read, which is FAIL with "(not read)" whatever the
// items enabled, for the disk is not known to be good.
LogLine LogLineOf(const platform::LocalTime& time, const DiskPlace& place,
                  std::u16string_view checkFile, const std::optional<Verdict>& verdict,
                  const device::ValueSlots& values);

}  // namespace qc
