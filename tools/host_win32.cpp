#include "tools/host.h"

namespace tools {

CheckSystem Host::ForCheck(void (*stop)(int exitStatus)) {
    platform::console::CatchStopRequests(stop);
    CheckSystem system;
    system.diskNames = WindowsDiskNames;
    system.adviceFor = WindowsAdvice;
    system.diskIdentity = WindowsDiskIdentity;
    return system;
}

UsbTreeSystem Host::ForUsbTree() {
    return {};
}

}  // namespace tools
