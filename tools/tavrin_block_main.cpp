#include <iostream>

#include "platform/console.h"
#include "tools/block_tool.h"

// No machine: only the console, and the backend for the block's texts.
int main(int argc, char** argv) {
    const platform::console::Utf8Output output;
    return tools::RunBlockTool(platform::console::Arguments(argc, argv), std::cout, std::cerr);
}
