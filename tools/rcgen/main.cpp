// tavrin-rcgen: turns resource scripts into the headless backend's tables.
//   tavrin-rcgen [-I DIR]... -o OUT.cpp [--depfile OUT.d] SCRIPT.rc...
// Errors go to stderr as "file:line: error: message"; the exit status is then 1 (2 for usage).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "tools/rcgen/emit_tables.h"
#include "tools/rcgen/rc_parser.h"

namespace {

std::optional<std::string> ReadFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Leaves an unchanged output alone, so that nothing downstream rebuilds.
bool WriteIfChanged(const std::string& path, const std::string& text) {
    if (ReadFile(path) == text)
        return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

int Usage() {
    std::cerr << "usage: tavrin-rcgen [-I DIR]... -o OUT.cpp [--depfile OUT.d] SCRIPT.rc...\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    rcgen::Options options;
    options.read = ReadFile;
    std::string output;
    std::string depfile;
    std::vector<std::string> scripts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-I" || arg == "-o" || arg == "--depfile") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "-I")
                options.includeDirs.push_back(value);
            else if (arg == "-o")
                output = value;
            else
                depfile = value;
        } else if (arg.size() > 2 && arg.compare(0, 2, "-I") == 0) {
            options.includeDirs.push_back(arg.substr(2));
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else {
            scripts.push_back(arg);
        }
    }
    if (output.empty() || scripts.empty())
        return Usage();

    const rcgen::Result result = rcgen::Parse(scripts, options);
    if (!result.resources) {
        const std::size_t colon = result.error.find(": ");
        std::cerr << result.error.substr(0, colon) << ": error: " << result.error.substr(colon + 2)
                  << "\n";
        return 1;
    }
    if (!WriteIfChanged(output, rcgen::EmitTables(*result.resources, scripts))) {
        std::cerr << output << ": error: cannot write\n";
        return 1;
    }
    if (!depfile.empty() &&
        !WriteIfChanged(depfile, rcgen::EmitDepfile(output, *result.resources))) {
        std::cerr << depfile << ": error: cannot write\n";
        return 1;
    }
    return 0;
}
