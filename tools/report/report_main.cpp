#include <iostream>

#include "tools/report/report.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return tools::report::RunReport({argv + 1, argv + argc}, std::cout, std::cerr);
}
