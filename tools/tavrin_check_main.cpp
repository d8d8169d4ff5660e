#include <iostream>

#include "tools/check.h"
#include "tools/host.h"

int main(int argc, char** argv) {
    tools::Host host(argc, argv);
    const tools::CheckSystem system = host.ForCheck(tools::StopCheck);
    return tools::RunCheck(host.Arguments(), system, std::cout, std::cerr);
}
