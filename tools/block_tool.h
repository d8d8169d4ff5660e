// tavrin-block: decodes a stored controller information block without a disk.
//   tavrin-block [--lang en|zh-CN|zh-TW] [--free BYTES] FILE
// Exit 0: one "<index> <key>=<text>" line per slot on `out` (UTF-8; control characters of a
// text as \xHH). Exit 1: the bytes are not a block (one line on `err`). Exit 2: arguments that
// do not fit or an unreadable file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tools {

// Arguments in UTF-8.
int RunBlockTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tools
