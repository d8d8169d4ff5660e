// The pass-through request of platform/scsi_pass_through.h carried by the kernel's SG_IO, and
// the device paths of the system mapped onto the kernel's nodes. No system call here: the Linux
// backend (device_io.cpp) makes them, tests check the translation on its own.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/scsi_pass_through.h"

namespace platform::linux_os {

// "\\.\PHYSICALDRIVE<n>" names the n-th SCSI disk as the kernel names them (0 sda, 25 sdz,
// 26 sdaa); an absolute path is itself. Volumes by drive letter have no node: nullopt.
std::optional<std::string> DeviceNodePath(std::u16string_view path);

// "sdb" gives 1, "sdaa" 26: the inverse of the naming above; nullopt for any other name.
std::optional<int> ScsiDiskIndex(std::string_view name);

// An SG_IO request for the request buffer `request` of `size` bytes: data and sense areas where
// its header puts them, the timeout in milliseconds. nullopt when the header does not describe a
// request that fits the buffer (wrong length, CDB length, offsets or direction).
std::optional<sg_io_hdr_t> SgRequestFor(std::uint8_t* request, std::uint32_t size,
                                        std::uint8_t* senseBuffer, std::uint8_t senseSize);

// Whether the command reached the device and came back: no host (transport) error and no driver
// error. Sense data and the SCSI status are the device's answer, not a failed call.
bool SgCompleted(const sg_io_hdr_t& done);

// Writes the outcome back into the request as the platform's call does: SCSI status, the bytes
// transferred, the sense bytes returned (at most those offered). The byte count the call
// reports: the data area's offset plus the bytes transferred.
std::uint32_t SgWriteBack(const sg_io_hdr_t& done, std::uint8_t* request,
                          const std::uint8_t* senseBuffer);

// Microseconds this process has spent inside SG_IO calls so far (kept by the backend,
// device_io.cpp): what the kernel and the device took, against which a program's own time is
// measured.
std::uint64_t SgIoMicroseconds();

// From now on OpenDeviceFile and DeviceControl fail at once with EINTR, without a system call:
// a run that is asked to stop sends nothing more, and the pass-through's retries do not reissue
// an interrupted SG_IO. Async-signal-safe (one lock-free atomic store), for a signal handler.
// Implemented by the backend (device_io.cpp).
void StopDeviceCalls();
// Lets the calls through again.
void ResumeDeviceCalls();

}  // namespace platform::linux_os
