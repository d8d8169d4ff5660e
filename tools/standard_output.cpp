#include "tools/standard_output.h"

namespace tools {

int CheckStandardOutput(std::string_view tool, int status, platform::console::WatchedOutput& out,
                        std::ostream& err) {
    const std::optional<std::string> failure = out.Flush();
    if (!failure)
        return status;
    err << tool << ": standard output: not written ("
        << (failure->empty() ? "the output could not be written" : *failure) << ")\n";
    err.flush();
    return status > 1 ? status : 1;
}

}  // namespace tools
