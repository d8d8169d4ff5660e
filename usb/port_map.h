// The port map file (*.pfg): which USB port is which station port, and whether the station
// works by port at all. The settings file keeps its path under PORT_FILE. Written by the port
// dialog; read by it, by the main window and by the result list.
#pragma once

#include <string>
#include <string_view>

namespace usb {

// A station's ports, numbered from 1: the result list's rows in station mode, the station ports a
// port map may give, the columns of one station in the report's heat map.
inline constexpr int kStationPorts = 16;

// "usb%02d": the [PortMap] key of a port ordinal, at least two digits.
std::u16string PortMapKey(long long portOrdinal);

// The station port that `portFile` gives the port ordinal; 0 when none.
int StationPortOf(std::u16string_view portFile, long long portOrdinal);
// Gives the port ordinal the station port: false when the file cannot be written.
bool WriteStationPort(std::u16string_view portFile, long long portOrdinal, int stationPort);

// Whether the file is a port map at all: it has a [PortMap] section.
bool HasPortMap(std::u16string_view portFile);

// ENABLE_PORT of the port map file as stored; 0 without a file.
int EnablePortOf(std::u16string_view portFile);
bool WriteEnablePort(std::u16string_view portFile, int enablePort);

// The port map file the settings file names, as an absolute path; empty when none.
std::u16string ReadPortFileSetting(const std::u16string& settingsPath);
bool WritePortFileSetting(const std::u16string& settingsPath, std::u16string_view portFile);

}  // namespace usb
