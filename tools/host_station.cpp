#include "platform/sim/station_file.h"
#include "tools/host.h"
#include "tools/station_host.h"

namespace tools {

CheckSystem Host::ForCheck(void (*stop)(int exitStatus)) {
    platform::console::CatchStopRequests(stop);
    CheckSystem system;
    stationLinks_ = StationLinkFolder();
    UseStation(system, stationLinks_);
    return system;
}

// The station alone: no files of the machine are read.
UsbTreeSystem Host::ForUsbTree() {
    UsbTreeSystem system;
    system.loadStation = [](const std::string& path, std::string* error) {
        const sim::StationFileResult result = sim::LoadStationFile(path);
        *error = result.error;
        return result.ok;
    };
    return system;
}

}  // namespace tools
