// The generated tables of this executable against windres: the build compiles the same scripts
// with windres into .res files (TAVRIN_WINDRES_RES), and every dialog, string, drop-down entry
// and icon there must be in the tables with the same values, and nothing more.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "platform/headless/resources.h"
#include "platform/text.h"

namespace {

using Id = std::variant<std::uint16_t, std::u16string>;  // ordinal or name

struct Entry {
    Id type;
    Id name;
    std::uint16_t language;
    std::string data;
};

class Bytes {
  public:
    explicit Bytes(std::string_view data) : data_(data) {}
    std::size_t pos = 0;
    bool AtEnd() const { return pos >= data_.size(); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(U8() | (U8() << 8)); }
    std::uint32_t U32() { return U16() | (static_cast<std::uint32_t>(U16()) << 16); }
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
    std::uint8_t U8() {
        if (pos >= data_.size())
            throw std::out_of_range("past the end");
        return static_cast<std::uint8_t>(data_[pos++]);
    }
    void Align4() { pos = (pos + 3) & ~std::size_t{3}; }
    Id ReadId() {
        if (U16() == 0xFFFF)
            return U16();
        pos -= 2;
        return ReadText();
    }
    std::u16string ReadText() {
        std::u16string s;
        for (char16_t c; (c = U16()) != 0;)
            s += c;
        return s;
    }
    std::string_view Rest(std::size_t size) { return data_.substr(pos, size); }

  private:
    std::string_view data_;
};

std::vector<Entry> ReadRes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<Entry> entries;
    Bytes b(file);
    while (!b.AtEnd()) {
        const std::size_t start = b.pos;
        const std::uint32_t dataSize = b.U32();
        const std::uint32_t headerSize = b.U32();
        Entry e;
        e.type = b.ReadId();
        e.name = b.ReadId();
        b.Align4();
        b.U32();  // data version
        b.U16();  // memory flags
        e.language = b.U16();
        b.pos = start + headerSize;
        e.data = std::string(b.Rest(dataSize));
        b.pos += dataSize;
        b.Align4();
        if (dataSize != 0)  // the empty first entry that marks a 32-bit .res file
            entries.push_back(std::move(e));
    }
    return entries;
}

std::u16string Text(const Id& id) {
    if (const auto* name = std::get_if<std::u16string>(&id))
        return *name;
    return u"#" + [&] {
        const std::string n = std::to_string(std::get<std::uint16_t>(id));
        return std::u16string(n.begin(), n.end());
    }();
}

std::u16string Upper(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return out;
}

// The predefined classes are stored as ordinals.
std::u16string ClassName(const Id& id) {
    static const std::u16string kNames[] = {u"Button",  u"Edit",      u"Static",
                                            u"ListBox", u"ScrollBar", u"ComboBox"};
    if (const auto* ordinal = std::get_if<std::uint16_t>(&id))
        return *ordinal >= 0x80 && *ordinal <= 0x85 ? kNames[*ordinal - 0x80] : Text(id);
    return std::get<std::u16string>(id);
}

std::string Show(std::u16string_view s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items, compared field by field.
void CompareDialog(const Entry& e, std::uint16_t id) {
    SCOPED_TRACE("dialog " + std::to_string(id) + " language " + std::to_string(e.language));
    const headless::res::Dialog* table = nullptr;
    for (const auto& d : headless::res::kResources.dialogs) {
        if (d.id == id && d.language == e.language)
            table = &d;
    }
    ASSERT_NE(table, nullptr);
    Bytes b(e.data);
    ASSERT_EQ(b.U16(), 1);       // version
    ASSERT_EQ(b.U16(), 0xFFFF);  // extended template
    b.U32();                     // help id
    EXPECT_EQ(b.U32(), table->exStyle);
    const std::uint32_t style = b.U32();
    EXPECT_EQ(style, table->style);
    const std::uint16_t count = b.U16();
    const int x = b.S16(), y = b.S16(), cx = b.S16(), cy = b.S16();
    EXPECT_EQ(table->rect, (ui::RECT{x, y, x + cx, y + cy}));
    b.ReadId();  // menu
    b.ReadId();  // class
    EXPECT_EQ(b.ReadText(), table->caption);
    if (style & 0x40) {  // DS_SETFONT
        EXPECT_EQ(b.U16(), table->pointSize);
        b.U16();  // weight
        b.U8();   // italic
        b.U8();   // character set
        EXPECT_EQ(b.ReadText(), table->fontName);
    }
    ASSERT_EQ(count, table->controls.size());
    for (const auto& c : table->controls) {
        SCOPED_TRACE("control " + std::to_string(c.id));
        b.Align4();
        b.U32();  // help id
        EXPECT_EQ(b.U32(), c.exStyle);
        EXPECT_EQ(b.U32(), c.style);
        const int cx0 = b.S16(), cy0 = b.S16(), w = b.S16(), h = b.S16();
        EXPECT_EQ(c.rect, (ui::RECT{cx0, cy0, cx0 + w, cy0 + h}));
        EXPECT_EQ(static_cast<std::int32_t>(b.U32()), c.id);
        EXPECT_EQ(Upper(ClassName(b.ReadId())), Upper(c.className));
        EXPECT_EQ(Text(b.ReadId()), c.text);
        b.pos += b.U16();  // creation data
    }
}

std::vector<Entry> AllEntries() {
    std::vector<Entry> all;
    std::istringstream paths(TAVRIN_WINDRES_RES);
    for (std::string path; std::getline(paths, path, '|');) {
        auto entries = ReadRes(path);
        EXPECT_FALSE(entries.empty()) << path;
        all.insert(all.end(), entries.begin(), entries.end());
    }
    return all;
}

bool IsType(const Entry& e, std::uint16_t type) {
    return std::holds_alternative<std::uint16_t>(e.type) && std::get<std::uint16_t>(e.type) == type;
}

TEST(WindresAgreement, DialogsAreTheSame) {
    std::size_t dialogs = 0;
    for (const Entry& e : AllEntries()) {
        if (!IsType(e, 5))
            continue;
        ++dialogs;
        ASSERT_TRUE(std::holds_alternative<std::uint16_t>(e.name));
        CompareDialog(e, std::get<std::uint16_t>(e.name));
    }
    EXPECT_EQ(dialogs, headless::res::kResources.dialogs.size());
    EXPECT_GT(dialogs, 0u);
}

TEST(WindresAgreement, StringsAreTheSame) {
    std::size_t strings = 0;
    for (const Entry& e : AllEntries()) {
        if (!IsType(e, 6))
            continue;
        Bytes b(e.data);
        const auto block = std::get<std::uint16_t>(e.name);
        for (unsigned i = 0; i < 16; ++i) {
            std::u16string text(b.U16(), u'\0');
            for (char16_t& c : text)
                c = b.U16();
            if (text.empty())
                continue;
            ++strings;
            const unsigned id = (block - 1u) * 16 + i;
            const auto& all = headless::res::kResources.strings;
            const auto table = std::find_if(all.begin(), all.end(), [&](const auto& s) {
                return s.id == id && s.language == e.language;
            });
            ASSERT_NE(table, all.end()) << "string " << id;
            EXPECT_EQ(table->text, text) << "string " << id << ": " << Show(text);
        }
    }
    EXPECT_EQ(strings, headless::res::kResources.strings.size());
}

TEST(WindresAgreement, ListEntriesAreTheSame) {
    std::size_t entries = 0;
    for (const Entry& e : AllEntries()) {
        if (!std::holds_alternative<std::u16string>(e.type) ||
            std::get<std::u16string>(e.type) != u"LISTENTRIES")
            continue;
        const auto dialog = std::get<std::uint16_t>(e.name);
        std::vector<std::pair<int, std::u16string>> fromRes;
        Bytes b(e.data);
        for (int control; (control = b.U16()) != 0;) {
            std::string text;
            for (char c; (c = static_cast<char>(b.U8())) != 0;)
                text += c;
            fromRes.emplace_back(control, platform::FromUtf8(text));
        }
        EXPECT_TRUE(b.AtEnd());
        std::vector<std::pair<int, std::u16string>> fromTables;
        for (const auto& t : headless::res::kResources.listEntries) {
            if (t.dialogId == dialog && t.language == e.language)
                fromTables.emplace_back(t.controlId, std::u16string(t.text));
        }
        EXPECT_EQ(fromRes, fromTables) << "dialog " << dialog << " language " << e.language;
        entries += fromRes.size();
    }
    EXPECT_EQ(entries, headless::res::kResources.listEntries.size());
    EXPECT_GT(entries, 0u);
}

TEST(WindresAgreement, IconsAreTheSame) {
    std::size_t icons = 0;
    for (const Entry& e : AllEntries()) {
        if (!IsType(e, 14))  // RT_GROUP_ICON: the icon's directory
            continue;
        ++icons;
        const auto id = std::get<std::uint16_t>(e.name);
        Bytes b(e.data);
        b.U16();  // reserved
        b.U16();  // type
        int width = 0, height = 0;
        for (unsigned n = b.U16(); n > 0; --n) {
            const int w = b.U8(), h = b.U8();
            b.pos += 12;
            if ((w ? w : 256) * (h ? h : 256) > width * height) {
                width = w ? w : 256;
                height = h ? h : 256;
            }
        }
        const auto& all = headless::res::kResources.icons;
        const auto table =
            std::find_if(all.begin(), all.end(), [&](const auto& i) { return i.id == id; });
        ASSERT_NE(table, all.end()) << "icon " << id;
        EXPECT_EQ((std::pair{table->width, table->height}), (std::pair{width, height}))
            << "icon " << id;
    }
    EXPECT_EQ(icons, headless::res::kResources.icons.size());
}

}  // namespace
