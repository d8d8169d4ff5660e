// tavrin-check: the station's identification, decoding and check of USB disks on the command line.
//   tavrin-check [--lang en|zh-CN|zh-TW] [--check FILE.chk] [--ports FILE.pfg]
//                [--format text|csv] [--log FILE] [--station FILE] [--watch]
//                [--verbose] [DISK...]
// The disks are those the window's walk finds, offered the window's way; the values, the check
// and the log line are the window's own code. Exit 0 when every disk read passed (without
// --check: was read); 1 when one failed, could not be read or asked, no disk was found, or a
// log line could not be written; 2 for arguments that do not fit or a file that cannot be read
// or is not what it should be (one line on `err`); 128 + the signal's number when stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/usb_io.h"
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
    // A DISK argument as the system resolves it, to one of diskNames' names; nullopt with the
    // reason when it names no disk at all. Null: the argument as given.
    std::function<std::optional<std::string>(const std::string& arg, std::string* why)> resolveDisk;
    // What to do about a device error number of this system; empty where nothing is known.
    std::function<std::string(int code)> adviceFor;
    // The volume's name in "Vol" (Linux: its kernel name); null or empty: the letter.
    std::function<std::u16string(char16_t letter)> volumeName;
    // What tells the disk of this volume from a disk that takes its name later; null or empty:
    // the letter alone.
    std::function<std::string(char16_t letter)> diskIdentity;
    // The names of a USB disk without a usable mounted volume by its disk number, as a DISK
    // argument resolves to them (Linux: "/dev/sdb"); null or empty: none.
    std::function<std::vector<std::string>(int diskNumber)> unmountedDiskNames;
    // Why such a disk's mounted volume cannot be used (Linux: "mount point not readable:
    // Permission denied"); null or empty: it has none mounted.
    std::function<std::string(int diskNumber)> unusableMount;
    // How long --watch leaves a disk it could not check before asking it again, at its next
    // walk or when the time is up.
    std::uint32_t retryMs = 5000;
};

// Arguments in UTF-8.
int RunCheck(const std::vector<std::string>& args, const CheckSystem& system, std::ostream& out,
             std::ostream& err);

// Ends a run, a watch or not, at its next step: the disk in hand is finished, no other is
// asked, and the run exits with `exitStatus` (130 for Ctrl+C, 143 for SIGTERM). Safe from a
// signal handler and from any thread.
void StopCheck(int exitStatus);

// The station file the arguments ask for (--station FILE), read by RunCheck's own parser;
// nullopt when they ask for none or do not fit (RunCheck says why).
std::optional<std::string> StationAsked(const std::vector<std::string>& args);

// The advice for Windows' error numbers (the virtual station speaks them too).
inline std::string WindowsAdvice(int code) {
    constexpr int kAccessDenied = 5;  // ERROR_ACCESS_DENIED
    return code == kAccessDenied ? "run tavrin-check as administrator" : "";
}

// A disk's names as Windows gives its volume's: "E:" as the system names the drive, and "E:\"
// as one may type it (the virtual station names them so too).
// A Windows disk's identity by its letter: its volume's GUID name ("\\?\Volume{...}\"), which
// another disk that takes the letter does not have; empty when the letter has no volume.
inline std::string WindowsDiskIdentity(char16_t letter) {
    char16_t name[64] = {};
    const char16_t mountPoint[] = {letter, u':', u'\\', 0};
    if (!platform::VolumeNameForMountPoint(mountPoint, name))
        return {};
    return platform::ToUtf8(std::u16string(name));
}

inline std::vector<std::string> WindowsDiskNames(char16_t letter) {
    const std::string drive = platform::ToUtf8(std::u16string{letter, u':'});
    return {drive, drive + "\\"};
}

}  // namespace tools
