#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace platform {
namespace {

// Bytes fold as the UTF-16 units of the same value.
template <class Char>
bool SameNoCase(Char a, Char b) {
    return AsciiLower(static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(a))) ==
           AsciiLower(static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(b)));
}

template <class Text>
bool EqualsNoCaseOf(Text a, Text b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), SameNoCase<typename Text::value_type>);
}

template <class Text>
bool StartsWithNoCaseOf(Text text, Text prefix) {
    return text.size() >= prefix.size() && EqualsNoCaseOf(text.substr(0, prefix.size()), prefix);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

}  // namespace

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    return EqualsNoCaseOf(a, b);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return EqualsNoCaseOf(a, b);
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return StartsWithNoCaseOf(text, prefix);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return StartsWithNoCaseOf(text, prefix);
}

bool LessNoCase(std::u16string_view a, std::u16string_view b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](char16_t x, char16_t y) { return AsciiLower(x) < AsciiLower(y); });
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string DecimalText(long long value, int digits) {
    // The magnitude unsigned, so that the most negative number has one too.
    unsigned long long magnitude = value < 0 ? 0 - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    std::u16string text;
    for (; magnitude != 0 || digits > 0; magnitude /= 10, --digits)
        text.insert(text.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    if (value < 0)
        text.insert(text.begin(), u'-');
    return text;
}

std::u16string HexText(unsigned long long value, int digits, bool upper) {
    const char16_t* const figures = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
    std::u16string text;
    for (; value != 0 || digits > 0; value >>= 4, --digits)
        text.insert(text.begin(), figures[value & 0xF]);
    return text;
}

bool IsUtf8(std::string_view text) {
    // Well-formed exactly when no sequence turns into U+FFFD that was not one already.
    std::size_t marks = 0;
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if (text.substr(i, 3) == "\xEF\xBF\xBD")
            ++marks;
    }
    const std::u16string units = FromUtf8(text);
    return static_cast<std::size_t>(std::count(units.begin(), units.end(), u'\uFFFD')) == marks;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t min = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, min = 0x10000;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= text.size() || (static_cast<std::uint8_t>(text[j]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (static_cast<std::uint8_t>(text[j]) & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\uFFFD';
            i = j;  // j > i: resume at the first byte that did not fit
            continue;
        }
        AppendUtf16(out, c);
        i = j;
    }
    return out;
}

std::uint32_t PackDriveStrings(std::u16string_view letters, std::uint32_t length,
                               char16_t* buffer) {
    std::u16string strings;
    for (char16_t letter : letters)
        strings += std::u16string{letter, u':', u'\\', u'\0'};
    const auto needed = static_cast<std::uint32_t>(strings.size());
    if (buffer == nullptr || length < needed + 1)
        return needed + 1;
    strings.copy(buffer, strings.size());
    buffer[needed] = u'\0';
    return needed;
}

}  // namespace platform
