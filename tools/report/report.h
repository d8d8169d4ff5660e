// tavrin-report: what a shift's result logs say, across stations.
//   tavrin-report [--since DATE] [--until DATE] [--target YIELD] [--check FILE [--codepage N]]
//                 [--html FILE] [--csv FILE] [--json FILE] [--records FILE] LOG|FOLDER...
// A FOLDER stands for every .csv file in it, whatever the case of the name. DATE is
// "YYYY-MM-DD", optionally with " HH:MM" or " HH:MM:SS"; --since and --until both include the
// moment they name (a day: the whole day). The summary goes to standard output; records that
// cannot be read are counted and named on standard error, control bytes escaped. Exit status:
// 0; 1 when a log could not be read at all, the period holds no verdict, or an output could not
// be written (the system's reason given); 2, before anything is read, for arguments that do not
// fit (a date that does not exist among them), a --check file that cannot be read, and for an
// output that is also an input.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tools::report {

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tools::report
