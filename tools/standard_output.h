// The end of every tool's run: its standard output flushed and looked at, so that a run whose
// output went nowhere (a full disk, a closed pipe) does not look like one that did its work.
#pragma once

#include <ostream>
#include <string_view>

#include "platform/console.h"

namespace tools {

// The exit status of a run that ended with `status`: unchanged when everything the tool's
// standard output took reached the system; else 1, or `status` when it is worse (2 for
// arguments, 128 + a signal for a stop), with "<tool>: standard output: not written (<reason>)"
// on `err`.
int CheckStandardOutput(std::string_view tool, int status, platform::console::WatchedOutput& out,
                        std::ostream& err);

}  // namespace tools
