// tavrin-usbtree: prints the USB tree as the port selection dialog shows it, then the devices
// the walk listed.
//   tavrin-usbtree [--strings] [--station FILE]
// Exit 0 with the listing on `out` (UTF-8); exit 1 when the walk found no host controller at
// all (one line on `err`, with the reason where the system gives one); exit 2 for arguments that
// do not fit or a station file that does not load (one line on `err`).
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tools {

// Installs the virtual station of a file; null where the tool walks the real machine.
using StationLoader = std::function<bool(const std::string& path, std::string* error)>;

// What differs between the systems the tree is walked on.
struct UsbTreeSystem {
    StationLoader loadStation;
    // A volume's name in the device lines (Linux: its device, "/dev/sdb1"); null or empty: its
    // drive letter.
    std::function<std::string(char16_t letter)> volumeName;
    // Why the system shows no host controller, where it tells more than its list of them does;
    // null or empty where not.
    std::function<std::string()> whyNoController;
};

int RunUsbTree(const std::vector<std::string>& args, const UsbTreeSystem& system, std::ostream& out,
               std::ostream& err);

}  // namespace tools
