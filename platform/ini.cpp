// The private-profile text functions and their files (platform/ini.h).
#include "platform/ini.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "platform/bytes.h"

namespace platform::ini {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0x1A;
}

}  // namespace

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

namespace {

// Case folding for names: ASCII, Latin-1, Greek and Cyrillic cover what profile names hold.
char16_t Fold(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    if (c == 0xFF)
        return 0x178;
    return c;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    }
    return true;
}

enum class Kind { Blank, Comment, Section, Key, Other };

struct Line {
    std::size_t begin = 0;  // first character
    std::size_t end = 0;    // one past the last character before the line break
    std::size_t next = 0;   // where the next line starts (== end: no line break, end of text)
    Kind kind = Kind::Blank;
    std::u16string_view name;  // section or key name, trimmed
    std::size_t eq = 0;        // Key: position of the '='
};

// CRLF, CR and LF all end a line.
std::vector<Line> Parse(std::u16string_view text) {
    std::vector<Line> lines;
    std::size_t i = 0;
    while (i < text.size()) {
        Line line;
        line.begin = i;
        std::size_t j = i;
        while (j < text.size() && text[j] != u'\r' && text[j] != u'\n')
            ++j;
        line.end = j;
        if (j < text.size())
            j += (text[j] == u'\r' && j + 1 < text.size() && text[j + 1] == u'\n') ? 2 : 1;
        line.next = j;
        i = j;

        const std::u16string_view raw = text.substr(line.begin, line.end - line.begin);
        const std::u16string_view content = Trim(raw);
        const std::size_t offset = line.begin + (content.data() - raw.data());
        if (content.empty()) {
            line.kind = Kind::Blank;
        } else if (content.front() == u';') {
            line.kind = Kind::Comment;
        } else if (content.front() == u'[' && content.rfind(u']') != std::u16string_view::npos) {
            line.kind = Kind::Section;
            line.name = Trim(content.substr(1, content.rfind(u']') - 1));
        } else if (const std::size_t eq = content.find(u'='); eq != std::u16string_view::npos) {
            line.kind = Kind::Key;
            line.name = Trim(content.substr(0, eq));
            line.eq = offset + eq;
        } else {
            line.kind = Kind::Other;
        }
        lines.push_back(line);
    }
    return lines;
}

struct Location {
    std::optional<std::size_t> section;  // index of the header line
    std::size_t sectionEnd = 0;          // index of the line after the section
    std::optional<std::size_t> key;      // index of the key line
};

// Only the first section of that name is searched, as the real functions do.
Location Locate(const std::vector<Line>& lines, std::u16string_view section,
                std::u16string_view key) {
    Location at;
    section = Trim(section);
    key = Trim(key);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Kind::Section || !EqualNoCase(lines[i].name, section))
            continue;
        at.section = i;
        std::size_t j = i + 1;
        for (; j < lines.size() && lines[j].kind != Kind::Section; ++j) {
            if (!at.key && lines[j].kind == Kind::Key && EqualNoCase(lines[j].name, key))
                at.key = j;
        }
        at.sectionEnd = j;
        break;
    }
    return at;
}

std::u16string_view Unquote(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::u16string Cut(std::u16string_view s, std::size_t bufferSize) {
    if (bufferSize == 0)
        return {};
    return std::u16string(s.substr(0, bufferSize - 1));
}

}  // namespace

bool HasSection(std::u16string_view text, std::u16string_view section) {
    return Locate(Parse(text), section, u"").section.has_value();
}

std::optional<std::u16string> FindValue(std::u16string_view text, std::u16string_view section,
                                        std::u16string_view key) {
    if (Trim(key).empty())
        return std::nullopt;
    const auto lines = Parse(text);
    const Location at = Locate(lines, section, key);
    if (!at.key)
        return std::nullopt;
    const Line& line = lines[*at.key];
    return std::u16string(Trim(text.substr(line.eq + 1, line.end - line.eq - 1)));
}

std::u16string GetString(std::u16string_view text, std::u16string_view section,
                         std::u16string_view key, std::u16string_view fallback,
                         std::size_t bufferSize) {
    if (const auto value = FindValue(text, section, key))
        return Cut(Unquote(*value), bufferSize);
    while (!fallback.empty() && fallback.back() == u' ')
        fallback.remove_suffix(1);
    return Cut(fallback, bufferSize);
}

unsigned GetInt(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                int fallback) {
    const auto value = FindValue(text, section, key);
    if (!value || Unquote(*value).empty())
        return static_cast<unsigned>(fallback);
    return ParseInt(Unquote(*value));
}

unsigned ParseInt(std::u16string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] <= u' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        negative = s[i++] == u'-';
    unsigned base = 10;
    if (i + 1 < s.size() && s[i] == u'0') {
        switch (s[i + 1]) {
            case u'x':
                base = 16;
                break;
            case u'o':
                base = 8;
                break;
            case u'b':
                base = 2;
                break;
            default:
                break;
        }
        if (base != 10)
            i += 2;
    }
    std::uint32_t total = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        unsigned digit = 36;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'A' && c <= u'Z')
            digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'z')
            digit = c - u'a' + 10;
        if (digit >= base)
            break;
        total = total * base + digit;  // wraps, as the real parser does
    }
    return negative ? 0u - total : total;
}

std::u16string SetValue(std::u16string_view text, std::u16string_view section,
                        std::u16string_view key, std::u16string_view value) {
    const auto lines = Parse(text);
    const Location at = Locate(lines, section, key);
    const std::u16string entry = std::u16string(Trim(key)) + u'=' + std::u16string(value);
    std::u16string out(text);

    if (at.key) {
        // Keep "name =" and the blanks after it; the old value goes up to the line break.
        const Line& line = lines[*at.key];
        std::size_t from = line.eq + 1;
        while (from < line.end && IsBlank(text[from]))
            ++from;
        out.replace(from, line.end - from, value);
        return out;
    }
    if (at.section) {
        // After the section's last non-blank line: blank lines before the next section stay
        // where they are.
        std::size_t last = *at.section;
        for (std::size_t i = *at.section + 1; i < at.sectionEnd; ++i) {
            if (lines[i].kind != Kind::Blank)
                last = i;
        }
        const Line& line = lines[last];
        if (line.next == line.end)  // the text ends without a line break
            out.insert(line.end, u"\r\n" + entry + u"\r\n");
        else
            out.insert(line.next, entry + u"\r\n");
        return out;
    }
    if (!out.empty() && out.back() != u'\n' && out.back() != u'\r')
        out += u"\r\n";
    out += u'[';
    out += Trim(section);
    out += u"]\r\n" + entry + u"\r\n";
    return out;
}

Decoded Decode(std::string_view bytes, const CodePage& ansi) {
    Decoded d;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        d.encoding = Encoding::Utf16Le;
        // An odd last byte is no unit.
        ByteReader r(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        r.Skip(2);
        d.text = r.Utf16Le(r.Remaining() / 2);
        return d;
    }
    d.text = ansi.toWide(bytes);
    return d;
}

std::string Encode(std::u16string_view text, Encoding encoding, const CodePage& ansi) {
    if (encoding == Encoding::Ansi)
        return ansi.fromWide(text);
    std::string bytes("\xFF\xFE");
    bytes.reserve(2 + text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// ---- On files of the host ---------------------------------------------------------------------

namespace {

namespace fs = std::filesystem;

std::mutex& FileMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

// The file's bytes; an empty string for a missing file, nullopt when it cannot be read.
std::optional<std::string> ReadBytes(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        return std::string();
    if (ec || status.type() != fs::file_type::regular)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

bool ReplaceFile(const fs::path& path, const std::string& bytes) {
    static unsigned counter = 0;  // under FileMutex()
    fs::path temp = path;
    temp += ".tmp" + std::to_string(counter++);
    std::error_code ec;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
    return true;
}

}  // namespace

Decoded LoadFile(const HostPath& path, const CodePage& ansi) {
    if (!path)
        return {};
    const std::lock_guard lock(FileMutex());
    const auto bytes = ReadBytes(*path);
    return bytes ? Decode(*bytes, ansi) : Decoded{};
}

bool StoreValue(const HostPath& path, std::u16string_view section, std::u16string_view key,
                std::u16string_view value, const CodePage& ansi) {
    if (!path || Trim(key).empty())
        return false;
    const std::lock_guard lock(FileMutex());
    const auto bytes = ReadBytes(*path);
    if (!bytes)
        return false;
    const Decoded old = Decode(*bytes, ansi);
    return ReplaceFile(*path, Encode(SetValue(old.text, section, key, value), old.encoding, ansi));
}

bool MakeEmptyFile(const HostPath& path) {
    if (!path)
        return false;
    const std::lock_guard lock(FileMutex());
    // As the platform: the folder must exist, and a folder is not a file.
    std::error_code ec;
    if (!fs::is_directory(path->parent_path(), ec) || fs::is_directory(*path, ec))
        return false;
    std::ofstream out(*path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out);
}

}  // namespace platform::ini
