#include <iostream>

#include "tools/check.h"
#include "tools/host.h"
#include "tools/standard_output.h"

int main(int argc, char** argv) {
    tools::Host host(argc, argv);
    platform::console::WatchedOutput output(std::cout);
    const tools::CheckSystem system = host.ForCheck(tools::StopCheck);
    const int status = tools::RunCheck(host.Arguments(), system, std::cout, std::cerr);
    return tools::CheckStandardOutput("tavrin-check", status, output, std::cerr);
}
