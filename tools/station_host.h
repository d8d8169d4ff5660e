// The command line on a virtual station (native builds, and the Windows test executable): the
// station of a file, with the machine's own files reachable by the paths the command is given.
#pragma once

#include <filesystem>
#include <string>

#include "tools/check.h"

namespace tools {

// Loads the station file; then the virtual drive C: stands for the machine's root (through a
// link in `linkFolder`; on Windows each drive is the machine's own, and no link is made) and the
// current folder is this process's, so that "a.chk", "/x/a.chk" and "../a.chk" name the machine's
// files. False with the reason when the station does not load.
bool LoadStationOnHostFiles(const std::string& stationFile, const std::filesystem::path& linkFolder,
                            std::string* error);

// A folder of this process's own for that link, in the temporary folder.
std::filesystem::path StationLinkFolder();

// tavrin-check on a station so loaded (--station), its disks named as Windows names them.
void UseStation(CheckSystem& system, const std::filesystem::path& linkFolder);

}  // namespace tools
