#include "platform/dispatch.h"
#include "tools/host.h"
#include "tools/linux_disks.h"
#include "tools/station_host.h"

namespace tools {

CheckSystem Host::ForCheck(void (*stop)(int exitStatus)) {
    CatchStopsOnLinux(stop);
    CheckSystem system;
    if (!StationAsked(args_)) {
        UseLinuxDisks(system);
        return system;
    }
    platform::UseBackend(platform::Backend::Station);
    stationLinks_ = StationLinkFolder();
    UseStation(system, stationLinks_);
    return system;
}

// The machine's tree (tavrin-usbtree itself is built on the station's host here).
UsbTreeSystem Host::ForUsbTree() {
    UsbTreeSystem system;
    UseLinuxTree(system);
    return system;
}

}  // namespace tools
