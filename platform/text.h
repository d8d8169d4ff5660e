// Portable text helpers: UTF-16 <-> UTF-8, decimal text, ASCII case. No OS dependency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// ASCII case: only A to Z and a to z change; every other unit, in any script, is itself. What
// the platform's own names (window classes, device paths, drive letters) and the check rules
// ignore the case of.
constexpr char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
constexpr char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Equal, or starting so, but for ASCII case. The 8-bit forms compare bytes the same way.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Lexicographic order of the ASCII-lower-cased texts.
bool LessNoCase(std::u16string_view a, std::u16string_view b);

// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);

// Malformed sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);
// Whether the bytes are well-formed UTF-8 throughout (no overlong form, surrogate or code point
// past U+10FFFF).
bool IsUtf8(std::string_view text);

// "%.*d": the number in decimal, with zeros in front up to `digits` digits.
std::u16string DecimalText(long long value, int digits = 1);
// "%.*X" (or "%.*x"): the number in hexadecimal, with zeros in front up to `digits` digits.
std::u16string HexText(unsigned long long value, int digits = 1, bool upper = true);

// A fixed-width text field up to its first NUL; the whole field when it has none.
constexpr std::u16string_view UpToNul(std::u16string_view field) {
    return field.substr(0, field.find(u'\0'));
}
template <std::size_t N>
constexpr std::u16string_view UpToNul(const char16_t (&field)[N]) {
    return UpToNul(std::u16string_view(field, N));
}

// GetLogicalDriveStringsW's answer, for the backends that make it up from drive letters: one
// "X:\\" string per letter, each with its NUL, and a last NUL; the length without that last NUL,
// or, when `buffer` is missing or too short, the length it needs.
std::uint32_t PackDriveStrings(std::u16string_view letters, std::uint32_t length, char16_t* buffer);

}  // namespace platform
