// A whole virtual station written as a text file (docs/station-file.md): the USB machine, its
// disks and volumes, and what each disk's controller answers. Part of the test builder: it
// fills in the descriptions of platform/sim/usb_side.h and station.h and installs them; the
// demo build and the tests run on such files. Malformed text is an error with its line number,
// never a crash or an exception.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"

namespace sim {

// What the controller of one disk answers to the vendor command.
struct ControllerAnswers {
    std::array<std::uint8_t, 36> identification{};  // "RV7730" unless the file says otherwise
    std::array<std::uint8_t, 1024> block{};         // all zero (a wrong magic) without a block
    std::deque<Reply> script;                       // one reply per call, then plain answers
};

struct StationDescription {
    UsbMachine machine;
    std::map<int, ControllerAnswers> answers;  // by disk number: every disk of the machine
    unsigned codePage = 1252;                  // the station's ANSI code page
};

struct StationFileResult {
    bool ok = false;
    int line = 0;       // of the error; 0 when the file itself cannot be read
    std::string error;  // "line 12: unknown key 'vidd' in a device"
};

// `folder` is where the paths of stored block files start from.
StationFileResult ParseStation(std::string_view text, const std::filesystem::path& folder,
                               StationDescription& out);
StationFileResult ReadStationFile(const std::filesystem::path& file, StationDescription& out);

// Resets the station and installs the description: code page, disks with their answers, and
// the USB machine (which enters the volumes with drive letters).
void InstallStation(const StationDescription& description);

// ReadStationFile, then InstallStation on success; the station is untouched on failure.
StationFileResult LoadStationFile(const std::filesystem::path& file);

}  // namespace sim
