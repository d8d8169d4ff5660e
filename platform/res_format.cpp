#include "platform/res_format.h"

#include <iterator>

#include "platform/text.h"

namespace platform::res {
namespace {

// Little-endian reads that fail, and stay failed, instead of reading past the end.
class Reader {
  public:
    explicit Reader(Bytes data) : data_(data) {}

    bool ok() const { return ok_; }
    std::size_t pos() const { return pos_; }
    bool AtEnd() const { return pos_ >= data_.size(); }

    std::uint8_t U8() {
        if (!ok_ || pos_ >= data_.size()) {
            ok_ = false;
            return 0;
        }
        return data_[pos_++];
    }
    std::uint16_t U16() {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | (U8() << 8));
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }

    void Skip(std::size_t count) {
        if (!ok_ || count > data_.size() - pos_)
            ok_ = false;
        else
            pos_ += count;
    }
    void SeekTo(std::size_t pos) {
        if (pos > data_.size())
            ok_ = false;
        else
            pos_ = pos;
    }
    // To the next DWORD boundary of the data.
    void Align4() { SeekTo((pos_ + 3) & ~std::size_t{3}); }

    // A 0-terminated UTF-16 string.
    std::u16string Text() {
        std::u16string text;
        for (char16_t c = U16(); ok_ && c != 0; c = U16())
            text += c;
        return text;
    }
    // A resource's type or name, or a dialog's menu, class or title: 0xFFFF and an ordinal, or a
    // string (empty: none).
    std::optional<std::uint16_t> OrdinalOr(std::u16string& text) {
        if (Peek16() == 0xFFFF) {
            U16();
            return U16();
        }
        text = Text();
        return std::nullopt;
    }

  private:
    std::uint16_t Peek16() {
        const std::size_t at = pos_;
        const std::uint16_t word = U16();
        if (ok_)
            pos_ = at;
        return word;
    }

    Bytes data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

std::u16string OrdinalText(std::uint16_t ordinal) {
    std::u16string text(1, u'#');
    return text.append(DecimalText(ordinal));
}

// https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-dlgitemtemplate
std::u16string ClassName(Reader& r) {
    static constexpr const char16_t* kPredefined[] = {u"Button",  u"Edit",      u"Static",
                                                      u"ListBox", u"ScrollBar", u"ComboBox"};
    std::u16string name;
    if (const auto ordinal = r.OrdinalOr(name)) {
        const std::size_t predefined = *ordinal - std::size_t{0x80};
        if (*ordinal >= 0x80 && predefined < std::size(kPredefined))
            return kPredefined[predefined];
        return OrdinalText(*ordinal);
    }
    return name;
}

std::u16string ItemText(Reader& r) {
    std::u16string text;
    if (const auto ordinal = r.OrdinalOr(text))
        return OrdinalText(*ordinal);
    return text;
}

ui::RECT Rect(Reader& r) {
    const int x = r.S16();
    const int y = r.S16();
    const int cx = r.S16();
    const int cy = r.S16();
    return {x, y, x + cx, y + cy};
}

constexpr ui::DWORD kDsSetFont = 0x40;

}  // namespace

std::optional<std::vector<Entry>> ReadResFile(Bytes file) {
    std::vector<Entry> entries;
    Reader r(file);
    while (!r.AtEnd()) {
        const std::size_t start = r.pos();
        const std::uint32_t dataSize = r.U32();
        const std::uint32_t headerSize = r.U32();
        Entry e;
        for (Name* n : {&e.type, &e.name}) {
            if (const auto ordinal = r.OrdinalOr(n->text))
                n->ordinal = *ordinal;
        }
        r.Align4();
        r.U32();  // data version
        r.U16();  // memory flags
        e.language = r.U16();
        r.U32();  // version
        r.U32();  // characteristics
        if (!r.ok() || headerSize < r.pos() - start || headerSize > file.size() - start ||
            dataSize > file.size() - start - headerSize)
            return std::nullopt;
        e.data = file.subspan(start + headerSize, dataSize);
        r.SeekTo(start + headerSize + dataSize);
        r.Align4();
        if (!r.ok())
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
        r.U32();    // help id
        d.exStyle = r.U32();
        d.style = r.U32();
    } else {
        d.style = r.U32();
        d.exStyle = r.U32();
    }
    count = r.U16();
    d.rect = Rect(r);
    std::u16string ignored;
    r.OrdinalOr(ignored);  // menu
    r.OrdinalOr(ignored);  // class
    d.caption = r.Text();
    if (d.style & kDsSetFont) {
        d.pointSize = r.U16();
        if (extended) {
            r.U16();  // weight
            r.U8();   // italic
            r.U8();   // character set
        }
        d.fontName = r.Text();
    }
    for (std::size_t i = 0; i < count && r.ok(); ++i) {
        r.Align4();
        DialogItem item;
        if (extended) {
            r.U32();  // help id
            item.exStyle = r.U32();
            item.style = r.U32();
        } else {
            item.style = r.U32();
            item.exStyle = r.U32();
        }
        item.rect = Rect(r);
        item.id = extended ? static_cast<std::int32_t>(r.U32()) : r.S16();
        item.className = ClassName(r);
        item.text = ItemText(r);
        // Creation data: its size, which in a plain template counts the size word too.
        const std::uint16_t extra = r.U16();
        if (!extended && extra == 1)
            return std::nullopt;
        r.Skip(extended || extra == 0 ? extra : extra - 2u);
        d.items.push_back(std::move(item));
    }
    if (!r.ok())
        return std::nullopt;
    return d;
}

std::optional<std::vector<std::u16string>> DecodeStringBlock(Bytes data) {
    Reader r(data);
    std::vector<std::u16string> strings;
    while (strings.size() < 16 && !r.AtEnd()) {
        std::u16string text(r.U16(), u'\0');
        for (char16_t& c : text) {
            c = r.U16();
            if (!r.ok())
                return std::nullopt;
        }
        if (!r.ok())
            return std::nullopt;
        strings.push_back(std::move(text));
    }
    strings.resize(16);
    return strings;
}

// https://devblogs.microsoft.com/oldnewthing/20120720-00/?p=7083
std::optional<std::vector<IconSize>> DecodeIconGroup(Bytes data) {
    Reader r(data);
    const std::uint16_t reserved = r.U16();
    const std::uint16_t type = r.U16();
    std::vector<IconSize> sizes(r.U16());
    for (IconSize& size : sizes) {
        const int width = r.U8();
        const int height = r.U8();
        size = {width == 0 ? 256 : width, height == 0 ? 256 : height};
        r.Skip(12);  // colours, reserved, planes, bits per pixel, bytes, image id
    }
    if (!r.ok() || reserved != 0 || type != 1)
        return std::nullopt;
    return sizes;
}

std::optional<ListEntries> DecodeListEntries(Bytes data) {
    Reader r(data);
    ListEntries entries;
    for (int id = r.U16(); r.ok() && id != 0; id = r.U16()) {
        std::string text;
        for (char c = static_cast<char>(r.U8()); r.ok() && c != 0; c = static_cast<char>(r.U8()))
            text += c;
        entries.emplace_back(id, FromUtf8(text));
    }
    if (!r.ok() || !r.AtEnd())
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
