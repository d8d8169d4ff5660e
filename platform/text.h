// Portable text helpers: UTF-16 <-> UTF-8. No OS dependency.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);

// Malformed sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

// "%d": the number in decimal.
std::u16string DecimalText(long long value);

}  // namespace platform
