// What the command-line tools write and read alike: a decoded value as tavrin-block writes it (so
// that the lines of tavrin-check and tavrin-block compare as they are), the language option, a
// device's port path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/selection_lists.h"

namespace tools {

// "<slot> <key>=<text>" in UTF-8; a control character of the text (a line break among them) is
// written as \xHH, so that a value is one line whatever the block holds.
std::string SlotLine(std::size_t slot, std::u16string_view text);
// "serial" and the disk's USB serial number, escaped as a slot's text; "serial" alone for none.
std::string SerialLine(std::u16string_view serial);

// --lang at args[i], the tools' one parser of it: its value "en", "zh-CN" or "zh-TW" as a
// language, `i` moved onto the value; nullopt with the reason ("--lang needs a value", "unknown
// language 'x'") when it does not fit.
std::optional<device::Language> LanguageOption(const std::vector<std::string>& args, std::size_t& i,
                                               std::string* why);

// The ports from the root hub down, joined by "." ("1.2"); the path ends at the first 0xFF.
std::string PortPathText(const std::uint8_t (&path)[10]);

}  // namespace tools
