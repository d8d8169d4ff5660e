#include "platform/res_format.h"

#include <iterator>

#include "platform/bytes.h"
#include "platform/text.h"

namespace platform::res {
namespace {

using Reader = ByteReader;

std::int16_t S16(Reader& r) {
    return static_cast<std::int16_t>(r.U16Le());
}

bool AtEnd(const Reader& r) {
    return r.Remaining() == 0;
}

// To the next DWORD boundary of the data.
void Align4(Reader& r) {
    r.At((r.Offset() + 3) & ~std::size_t{3});
}

// A 0-terminated UTF-16 string.
std::u16string Text(Reader& r) {
    std::u16string text;
    for (char16_t c = r.U16Le(); r.Ok() && c != 0; c = r.U16Le())
        text += c;
    return text;
}

// A resource's type or name, or a dialog's menu, class or title: 0xFFFF and an ordinal, or a
// string (empty: none).
std::optional<std::uint16_t> OrdinalOr(Reader& r, std::u16string& text) {
    if (Reader(r).U16Le() == 0xFFFF) {
        r.U16Le();
        return r.U16Le();
    }
    text = Text(r);
    return std::nullopt;
}

std::u16string OrdinalText(std::uint16_t ordinal) {
    std::u16string text(1, u'#');
    return text.append(DecimalText(ordinal));
}

// https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-dlgitemtemplate
std::u16string ClassName(Reader& r) {
    static constexpr const char16_t* kPredefined[] = {u"Button",  u"Edit",      u"Static",
                                                      u"ListBox", u"ScrollBar", u"ComboBox"};
    std::u16string name;
    if (const auto ordinal = OrdinalOr(r, name)) {
        const std::size_t predefined = *ordinal - std::size_t{0x80};
        if (*ordinal >= 0x80 && predefined < std::size(kPredefined))
            return kPredefined[predefined];
        return OrdinalText(*ordinal);
    }
    return name;
}

std::u16string ItemText(Reader& r) {
    std::u16string text;
    if (const auto ordinal = OrdinalOr(r, text))
        return OrdinalText(*ordinal);
    return text;
}

ui::RECT Rect(Reader& r) {
    const int x = S16(r);
    const int y = S16(r);
    const int cx = S16(r);
    const int cy = S16(r);
    return {x, y, x + cx, y + cy};
}

constexpr ui::DWORD kDsSetFont = 0x40;

}  // namespace

std::optional<std::vector<Entry>> ReadResFile(Bytes file) {
    std::vector<Entry> entries;
    Reader r(file);
    while (!AtEnd(r)) {
        const std::size_t start = r.Offset();
        const std::uint32_t dataSize = r.U32Le();
        const std::uint32_t headerSize = r.U32Le();
        Entry e;
        for (Name* n : {&e.type, &e.name}) {
            if (const auto ordinal = OrdinalOr(r, n->text))
                n->ordinal = *ordinal;
        }
        Align4(r);
        r.U32Le();  // data version
        r.U16Le();  // memory flags
        e.language = r.U16Le();
        r.U32Le();  // version
        r.U32Le();  // characteristics
        if (!r.Ok() || headerSize < r.Offset() - start || headerSize > file.size() - start ||
            dataSize > file.size() - start - headerSize)
            return std::nullopt;
        e.data = file.subspan(start + headerSize, dataSize);
        r.At(start + headerSize + dataSize);
        Align4(r);
        if (!r.Ok())
            return std::nullopt;
        // The empty entry that opens a 32-bit .res file names no type.
        if (!(e.type.text.empty() && e.type.ordinal == 0))
            entries.push_back(std::move(e));
    }
    return entries;
}

std::optional<DialogTemplate> DecodeDialog(Bytes data) {
    Reader r(data);
    DialogTemplate d;
    const bool extended =
        data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    std::size_t count = 0;
    if (extended) {
        r.Skip(4);  // version and signature
        r.U32Le();  // help id
        d.exStyle = r.U32Le();
        d.style = r.U32Le();
    } else {
        d.style = r.U32Le();
        d.exStyle = r.U32Le();
    }
    count = r.U16Le();
    d.rect = Rect(r);
    std::u16string ignored;
    OrdinalOr(r, ignored);  // menu
    OrdinalOr(r, ignored);  // class
    d.caption = Text(r);
    if (d.style & kDsSetFont) {
        d.pointSize = r.U16Le();
        if (extended) {
            r.U16Le();  // weight
            r.U8();     // italic
            r.U8();     // character set
        }
        d.fontName = Text(r);
    }
    for (std::size_t i = 0; i < count && r.Ok(); ++i) {
        Align4(r);
        DialogItem item;
        if (extended) {
            r.U32Le();  // help id
            item.exStyle = r.U32Le();
            item.style = r.U32Le();
        } else {
            item.style = r.U32Le();
            item.exStyle = r.U32Le();
        }
        item.rect = Rect(r);
        item.id = extended ? static_cast<std::int32_t>(r.U32Le()) : S16(r);
        item.className = ClassName(r);
        item.text = ItemText(r);
        // Creation data: its size, which in a plain template counts the size word too.
        const std::uint16_t extra = r.U16Le();
        if (!extended && extra == 1)
            return std::nullopt;
        r.Skip(extended || extra == 0 ? extra : extra - 2u);
        d.items.push_back(std::move(item));
    }
    if (!r.Ok())
        return std::nullopt;
    return d;
}

std::optional<std::vector<std::u16string>> DecodeStringBlock(Bytes data) {
    Reader r(data);
    std::vector<std::u16string> strings;
    while (strings.size() < 16 && !AtEnd(r)) {
        std::u16string text(r.U16Le(), u'\0');
        for (char16_t& c : text) {
            c = r.U16Le();
            if (!r.Ok())
                return std::nullopt;
        }
        if (!r.Ok())
            return std::nullopt;
        strings.push_back(std::move(text));
    }
    strings.resize(16);
    return strings;
}

// https://devblogs.microsoft.com/oldnewthing/20120720-00/?p=7083
std::optional<std::vector<IconSize>> DecodeIconGroup(Bytes data) {
    Reader r(data);
    const std::uint16_t reserved = r.U16Le();
    const std::uint16_t type = r.U16Le();
    std::vector<IconSize> sizes(r.U16Le());
    for (IconSize& size : sizes) {
        const int width = r.U8();
        const int height = r.U8();
        size = {width == 0 ? 256 : width, height == 0 ? 256 : height};
        r.Skip(12);  // colours, reserved, planes, bits per pixel, bytes, image id
    }
    if (!r.Ok() || reserved != 0 || type != 1)
        return std::nullopt;
    return sizes;
}

std::optional<ListEntries> DecodeListEntries(Bytes data) {
    Reader r(data);
    ListEntries entries;
    for (int id = r.U16Le(); r.Ok() && id != 0; id = r.U16Le()) {
        std::string text;
        for (char c = static_cast<char>(r.U8()); r.Ok() && c != 0; c = static_cast<char>(r.U8()))
            text += c;
        entries.emplace_back(id, FromUtf8(text));
    }
    if (!r.Ok() || !AtEnd(r))
        return std::nullopt;
    return entries;
}

ui::LANGID ResourceLanguage(ui::LANGID uiLanguage) {
    constexpr ui::LANGID kChinese = 0x04;
    constexpr ui::LANGID kTaiwan = 0x01, kHongKong = 0x03, kMacao = 0x05;
    if ((uiLanguage & 0x3FF) != kChinese)
        return uiLanguage;
    switch (uiLanguage >> 10) {
        case kTaiwan:
        case kHongKong:
        case kMacao:
            return ui::kLangTraditionalChinese;
        default:
            return ui::kLangSimplifiedChinese;
    }
}

}  // namespace platform::res
