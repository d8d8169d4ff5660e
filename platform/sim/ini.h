// Private-profile (INI) text read and changed the way the Windows profile functions do it:
// section and key names without regard to case, white space around names and values ignored,
// a value replaced where it stands, a new key after its section's last line, a new section at
// the end, every other line (comments, blank lines, line breaks) kept as it was.
// The pure functions over UTF-16 text; platform/sim/profile.cpp puts files and encodings around
// them for the platform::GetProfile* functions of the simulated backend.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sim::ini {

// The value of `key` in the first section named `section`, white space trimmed, quotes kept;
// nullopt when the section or the key is missing.
std::optional<std::u16string> FindValue(std::u16string_view text, std::u16string_view section,
                                        std::u16string_view key);

// GetPrivateProfileStringW: the value with one pair of enclosing quotes (" or ') removed, or
// `fallback` less its trailing blanks; at most bufferSize - 1 characters of it.
std::u16string GetString(std::u16string_view text, std::u16string_view section,
                         std::u16string_view key, std::u16string_view fallback,
                         std::size_t bufferSize);

// GetPrivateProfileIntW: ParseInt of the value; `fallback` when the key is missing or its value
// is empty.
unsigned GetInt(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                int fallback);

// RtlUnicodeStringToInteger with base 0: leading control characters and blanks, one sign,
// "0x" / "0o" / "0b" (lower case) for base 16 / 8 / 2, then the digits that fit the base;
// the result wraps modulo 2^32. No digits give 0.
unsigned ParseInt(std::u16string_view text);

// The text after WritePrivateProfileStringW(section, key, value). Lines it adds end in CRLF.
std::u16string SetValue(std::u16string_view text, std::u16string_view section,
                        std::u16string_view key, std::u16string_view value);

// A profile file is UTF-16LE when it starts with the FF FE mark, and ANSI (the station's code
// page) otherwise, a UTF-8 mark included: Windows gives UTF-8 no special treatment.
enum class Encoding { Ansi, Utf16Le };

struct Decoded {
    Encoding encoding = Encoding::Ansi;
    std::u16string text;
};

Decoded Decode(std::string_view bytes);
std::string Encode(std::u16string_view text, Encoding encoding);  // the mark included

}  // namespace sim::ini
