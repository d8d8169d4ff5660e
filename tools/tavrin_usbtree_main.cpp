#include <iostream>

#include "tools/host.h"
#include "tools/standard_output.h"
#include "tools/usbtree.h"

int main(int argc, char** argv) {
    tools::Host host(argc, argv);
    platform::console::WatchedOutput output(std::cout);
    const int status = tools::RunUsbTree(host.Arguments(), host.ForUsbTree(), std::cout, std::cerr);
    return tools::CheckStandardOutput("tavrin-usbtree", status, output, std::cerr);
}
