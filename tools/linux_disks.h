// tavrin-check and tavrin-usbtree on the machine's own disks through the Linux kernel.
#pragma once

#include "tools/check.h"

namespace tools {

// Disks by their devices ("/dev/sdb", and "/dev/sdb1" for a partition's volume), DISK arguments
// resolved as the system resolves them, the kernel's names in "Vol", and the advice for its
// error numbers.
void UseLinuxDisks(CheckSystem& system);

// tavrin-usbtree on the machine's own tree: volumes by their devices ("/dev/sdb1"), and what
// sysfs says when the walk finds no host controller.
void UseLinuxTree(UsbTreeSystem& system);

// A stop request (SIGINT, SIGTERM) sends nothing more to a disk, nor the command in hand again,
// and then calls `stop` with its exit status.
void CatchStopsOnLinux(void (*stop)(int exitStatus));

}  // namespace tools
