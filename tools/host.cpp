#include "tools/host.h"

namespace tools {

Host::Host(int argc, char** argv) : args_(platform::console::Arguments(argc, argv)) {}

Host::~Host() {
    if (stationLinks_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(stationLinks_ / "C", ignored);
    std::filesystem::remove(stationLinks_, ignored);
}

}  // namespace tools
