#include <iostream>

#include "tools/usbtree.h"

#if !defined(_WIN32) && !defined(TAVRIN_OS_LINUX)
#include "platform/sim/station_file.h"
#endif

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    tools::StationLoader loader;
#if !defined(_WIN32) && !defined(TAVRIN_OS_LINUX)
    // Built natively there is no real machine: the tree is a virtual station's.
    loader = [](const std::string& path, std::string* error) {
        const sim::StationFileResult result = sim::LoadStationFile(path);
        *error = result.error;
        return result.ok;
    };
#endif
    return tools::RunUsbTree(args, loader, std::cout, std::cerr);
}
