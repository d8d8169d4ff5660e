// One decoded value as tavrin-block writes it, shared with the kernel test's probe so that their
// lines compare as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tools {

// "<slot> <key>=<text>" in UTF-8; a control character of the text (a line break among them) is
// written as \xHH, so that a value is one line whatever the block holds.
std::string SlotLine(std::size_t slot, std::u16string_view text);

}  // namespace tools
