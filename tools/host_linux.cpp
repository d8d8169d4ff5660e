#include "tools/host.h"
#include "tools/linux_disks.h"

namespace tools {

CheckSystem Host::ForCheck(void (*stop)(int exitStatus)) {
    CatchStopsOnLinux(stop);
    CheckSystem system;
    UseLinuxDisks(system);
    return system;
}

StationLoader Host::ForUsbTree() {
    return {};
}

}  // namespace tools
