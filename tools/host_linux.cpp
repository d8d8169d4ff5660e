#include "tools/host.h"
#include "tools/linux_disks.h"

namespace tools {

CheckSystem Host::ForCheck(void (*stop)(int exitStatus)) {
    CatchStopsOnLinux(stop);
    CheckSystem system;
    UseLinuxDisks(system);
    return system;
}

UsbTreeSystem Host::ForUsbTree() {
    UsbTreeSystem system;
    UseLinuxTree(system);
    return system;
}

}  // namespace tools
