#include <iostream>

#include "tools/block_tool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tools::RunBlockTool(args, std::cout, std::cerr);
}
