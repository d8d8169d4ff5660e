// tavrin-report: what a shift's result logs say, across stations.
//   tavrin-report [--since DATE] [--until DATE] [--target YIELD] [--html FILE] [--csv FILE]
//                 [--json FILE] LOG|FOLDER...
// A FOLDER stands for every .csv file in it. DATE is "YYYY-MM-DD", optionally with " HH:MM" or
// " HH:MM:SS"; --since and --until both include the moment they name (a day: the whole day).
// The summary goes to standard output; records that cannot be read are counted and named on
// standard error. Exit status: 0; 1 when a log could not be read at all or a page, table or JSON
// could not be written; 2 for arguments that do not fit.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tools::report {

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tools::report
