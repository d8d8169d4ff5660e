#include <iostream>

#include "platform/console.h"
#include "tools/block_tool.h"
#include "tools/standard_output.h"

// No machine: only the console, and the backend for the block's texts.
int main(int argc, char** argv) {
    const platform::console::Utf8Output utf8;
    platform::console::WatchedOutput output(std::cout);
    const int status =
        tools::RunBlockTool(platform::console::Arguments(argc, argv), std::cout, std::cerr);
    return tools::CheckStandardOutput("tavrin-block", status, output, std::cerr);
}
