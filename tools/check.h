// tavrin-check: the station's identification, decoding and check of USB disks on the command line.
//   tavrin-check [--lang en|zh-CN|zh-TW] [--check FILE.chk] [--ports FILE.pfg]
//                [--format text|csv] [--log FILE] [--watch] [--verbose] [DISK...]
// The disks are those the window's walk finds, offered the window's way; the values, the check
// and the log line are the window's own code. Exit 0 when every disk read passed (without
// --check: was read), 1 when one failed or could not be read, 2 for arguments that do not fit or
// a file that cannot be read (one line on `err`).
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/usbtree.h"

namespace tools {

// What differs between the systems the command runs on.
struct CheckSystem {
    // Installs the virtual station of a file (--station); null where the real machine is walked.
    StationLoader loadStation;
    // The names of the disk whose first volume has `letter`: the one printed first, then any
    // other a DISK argument may use ("E:", "E:\"; "/dev/sdb", "/dev/sdb1").
    std::function<std::vector<std::string>(char16_t letter)> diskNames;
    // Microseconds spent inside the kernel's commands so far, where the system tells (--verbose).
    std::function<std::uint64_t()> kernelMicroseconds;
};

// Arguments in UTF-8.
int RunCheck(const std::vector<std::string>& args, const CheckSystem& system, std::ostream& out,
             std::ostream& err);

// Ends a --watch run at its next wake: safe from a signal handler and from any thread.
void StopCheckWatch();

}  // namespace tools
