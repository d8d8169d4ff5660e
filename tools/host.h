// The machine a command-line tool runs on, and its console. One implementation per machine,
// chosen by tools/CMakeLists.txt (tavrin_tool_host), so that a tool's main is the same on all:
//   host_win32.cpp   Windows' console and its real machine;
//   host_linux.cpp   the kernel's disks (the kernel test's static guest programs);
//   host_station.cpp a virtual station of a file, with the machine's files;
//   host_native.cpp  built natively on Linux: the machine's disks, or a virtual station's when
//                    --station asks for one (both backends in one program).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/console.h"
#include "tools/check.h"
#include "tools/usbtree.h"

namespace tools {

class Host {
  public:
    // The console set up for the tool's UTF-8 output; the arguments taken in UTF-8.
    Host(int argc, char** argv);
    // The console put back; what the machine set up for the run removed.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const std::vector<std::string>& Arguments() const { return args_; }

    // What tavrin-check needs of this machine for the arguments. From now on a stop request
    // (Ctrl+C, Ctrl+Break; SIGINT, SIGTERM) calls `stop` with its exit status, and no more is
    // sent to a disk. A program with two backends chooses one here, before any other platform
    // call.
    CheckSystem ForCheck(void (*stop)(int exitStatus));

    // tavrin-usbtree's: the loader of a station file (null where the real machine is walked), and
    // the machine's names of volumes.
    UsbTreeSystem ForUsbTree();

  private:
    platform::console::Utf8Output output_;
    std::vector<std::string> args_;
    // Where a station's drive C: links to the machine's root; empty without a station.
    std::filesystem::path stationLinks_;
};

}  // namespace tools
