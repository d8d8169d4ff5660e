#include <iostream>

#include "platform/console.h"
#include "tools/report/report.h"
#include "tools/standard_output.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const platform::console::Utf8Output utf8;
    platform::console::WatchedOutput output(std::cout);
    const int status =
        tools::report::RunReport(platform::console::Arguments(argc, argv), std::cout, std::cerr);
    return tools::CheckStandardOutput("tavrin-report", status, output, std::cerr);
}
