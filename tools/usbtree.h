// tavrin-usbtree: prints the USB tree as the port selection dialog shows it, then the devices
// the walk listed.
//   tavrin-usbtree [--strings] [--station FILE]
// Exit 0 with the listing on `out` (UTF-8); exit 2 for arguments that do not fit or a station
// file that does not load (one line on `err`).
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tools {

// Installs the virtual station of a file; null where the tool walks the real machine.
using StationLoader = std::function<bool(const std::string& path, std::string* error)>;

int RunUsbTree(const std::vector<std::string>& args, const StationLoader& loadStation,
               std::ostream& out, std::ostream& err);

}  // namespace tools
