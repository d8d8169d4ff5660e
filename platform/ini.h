// Private-profile (INI) text read and changed the way the Windows profile functions do it:
// section and key names without regard to case, white space around names and values ignored,
// a value replaced where it stands, a new key after its section's last line, a new section at
// the end, every other line (comments, blank lines, line breaks) kept as it was.
// The pure functions over UTF-16 text, then the same over files of the host, for the backends
// that keep profiles of their own (the virtual station, Linux).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::ini {

// White space around names and values: blanks, tabs, vertical tabs, form feeds and ^Z.
std::u16string_view Trim(std::u16string_view text);

// The value of `key` in the first section named `section`, white space trimmed, quotes kept;
// nullopt when the section or the key is missing.
std::optional<std::u16string> FindValue(std::u16string_view text, std::u16string_view section,
                                        std::u16string_view key);

// Whether a section of this name is in the text, with keys or without.
bool HasSection(std::u16string_view text, std::u16string_view section);

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

// A profile file is UTF-16LE when it starts with the FF FE mark, and ANSI (the backend's code
// page) otherwise, a UTF-8 mark included: Windows gives UTF-8 no special treatment.
enum class Encoding { Ansi, Utf16Le };

// The backend's ANSI code page both ways.
struct CodePage {
    std::u16string (*toWide)(std::string_view bytes);
    std::string (*fromWide)(std::u16string_view text);
};

struct Decoded {
    Encoding encoding = Encoding::Ansi;
    std::u16string text;
};

Decoded Decode(std::string_view bytes, const CodePage& ansi);
std::string Encode(std::u16string_view text, Encoding encoding,
                   const CodePage& ansi);  // the mark included

// ---- On files of the host ---------------------------------------------------------------------
// One operation at a time in every thread: each reads and rewrites a whole file.

// The backend's host path of a file; nullopt for a name that is no file.
using HostPath = std::optional<std::filesystem::path>;

// The file's text; an empty one when the file is missing or cannot be read (a folder, say).
Decoded LoadFile(const HostPath& path, const CodePage& ansi);

// SetValue on the file, kept in its encoding: written beside it, then renamed over it, so that
// a failed write leaves the old file whole. A missing file is made. False when the key is
// empty, or the file cannot be read or written.
bool StoreValue(const HostPath& path, std::u16string_view section, std::u16string_view key,
                std::u16string_view value, const CodePage& ansi);

// The file made empty (created or truncated). False when its folder is missing or it is a
// folder itself. `path` must be absolute.
bool MakeEmptyFile(const HostPath& path);

}  // namespace platform::ini
