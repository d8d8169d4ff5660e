#include <iostream>

#include "platform/console.h"
#include "tools/report/report.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const platform::console::Utf8Output output;
    return tools::report::RunReport(platform::console::Arguments(argc, argv), std::cout, std::cerr);
}
