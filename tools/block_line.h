// What the command-line tools write and read alike: a decoded value as tavrin-block writes it (so
// that the lines of tavrin-check and tavrin-block compare as they are), the language option, a
// device's port path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/selection_lists.h"

namespace tools {

// "<slot> <key>=<text>" in UTF-8; a control character of the text (a line break among them) is
// written as \xHH, so that a value is one line whatever the block holds.
std::string SlotLine(std::size_t slot, std::u16string_view text);

// --lang: "en", "zh-CN" or "zh-TW".
std::optional<device::Language> ParseLanguage(const std::string& text);

// The ports from the root hub down, joined by "." ("1.2"); the path ends at the first 0xFF.
std::string PortPathText(const std::uint8_t (&path)[10]);

}  // namespace tools
