#include <iostream>

#include "tools/host.h"
#include "tools/usbtree.h"

int main(int argc, char** argv) {
    tools::Host host(argc, argv);
    return tools::RunUsbTree(host.Arguments(), host.ForUsbTree(), std::cout, std::cerr);
}
