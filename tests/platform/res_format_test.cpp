// The decoder of compiled resources on what windres made of the test scripts (found through the
// linked backend: the embedded .res files natively, the executable's resources on Windows), and on
// malformed bytes: every truncation and bad length gives nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/res/resource.h"
#include "platform/res_format.h"
#include "platform/ui_resources.h"
#include "tests/platform/res/test_resource.h"

namespace {

using namespace platform::res;
using Data = std::vector<std::uint8_t>;

Bytes Find(std::uint16_t type, ui::WORD name, ui::LANGID language) {
    return ui::res::FindResourceData(Ordinal(type), name, language);
}

bool SameClass(std::u16string_view a, std::u16string_view b) {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](auto x, auto y) { return lower(x) == lower(y); });
}

struct ItemCase {
    std::size_t index;
    const char16_t* className;
    const char16_t* text;
    int id;
    ui::DWORD style;  // WS_CHILD | WS_VISIBLE and the statement's defaults included
    ui::DWORD exStyle;
    ui::RECT rect;
};

struct DialogCase {
    ui::WORD id;
    ui::LANGID language;
    const char16_t* caption;
    const char16_t* font;
    int pointSize;
    ui::DWORD style;
    ui::RECT rect;
    std::size_t items;
    std::vector<ItemCase> checked;
};

TEST(ResFormat, DialogTemplatesReadAsWritten) {
    const DialogCase cases[] = {
        {IDD_TEST,
         ui::kLangEnglish,
         u"Test Dialog",
         u"MS Shell Dlg",
         8,
         0x80C800C0,
         {10, 20, 310, 220},
         11,
         {{0, u"Button", u"Push", IDB_TEST_PUSH, 0x50010000, 0, {7, 7, 57, 21}},
          {1, u"Button", u"OK", ui::IDOK, 0x50010001, 0, {186, 179, 236, 193}},
          {4, u"Edit", u"", IDE_TEST_EDIT, 0x50810080, 0, {7, 40, 87, 52}},
          {6, u"ComboBox", u"", IDC_TEST_COMBO, 0x50210003, 0, {7, 72, 87, 132}},
          {7, u"SysListView32", u"", IDL_TEST_LIST, 0x50810009, 0, {100, 7, 293, 87}},
          {10, u"Static", u"Label:", ID_TEST_LABEL, 0x50020000, 0, {14, 114, 74, 122}}}},
        {IDD_TEST,
         ui::kLangSimplifiedChinese,
         u"测试对话框",
         u"宋体",
         9,
         0x80C800C0,
         {10, 20, 310, 220},
         11,
         {{9, u"Button", u"分组", ID_TEST_GROUP, 0x50000007, 0, {7, 100, 93, 140}}}},
        {IDD_TEST_SMALL,
         ui::kLangEnglish,
         u"Small",
         u"MS Shell Dlg",
         8,
         0x80C800C0,
         {0, 0, 120, 60},
         3,
         {{0, u"Edit", u"", IDE_TEST_SMALL_EDIT, 0x50010080, 0x200, {7, 7, 113, 19}}}},
        {IDD_TEST_PLAIN,
         ui::kLangEnglish,
         u"Plain",
         u"MS Shell Dlg",
         8,
         0x80C000C0,
         {5, 6, 105, 56},
         3,
         {{0, u"Static", u"Name:", -1, 0x50020000, 0, {4, 8, 34, 16}},
          {1, u"SysListView32", u"", IDL_TEST_LIST, 0x50800001, 0, {40, 6, 96, 36}},
          {2, u"Button", u"OK", ui::IDOK, 0x50010000, 0, {46, 36, 96, 48}}}},
        {IDD_ABOUT,
         ui::kLangEnglish,
         u"About Tavrin",
         u"MS Shell Dlg",
         9,
         0x80C800C0,
         {0, 0, 235, 55},
         3,
         // An icon sizes itself: windres keeps no size for it.
         {{0, u"Static", u"#128", -1, 0x50000003, 0, {11, 17, 11, 17}}}},
    };
    for (const DialogCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "dialog " << c.id << " language " << c.language);
        const auto d = DecodeDialog(Find(kTypeDialog, c.id, c.language));
        ASSERT_TRUE(d.has_value());
        EXPECT_EQ(d->caption, c.caption);
        EXPECT_EQ(d->fontName, c.font);
        EXPECT_EQ(d->pointSize, c.pointSize);
        EXPECT_EQ(d->style, c.style);
        EXPECT_EQ(d->exStyle, 0u);
        EXPECT_EQ(d->rect, c.rect);
        ASSERT_EQ(d->items.size(), c.items);
        for (const ItemCase& i : c.checked) {
            SCOPED_TRACE(testing::Message() << "item " << i.index);
            const DialogItem& item = d->items[i.index];
            EXPECT_TRUE(SameClass(item.className, i.className));
            EXPECT_EQ(item.text, i.text);
            EXPECT_EQ(item.id, i.id);
            EXPECT_EQ(item.style, i.style);
            EXPECT_EQ(item.exStyle, i.exStyle);
            EXPECT_EQ(item.rect, i.rect);
        }
    }
}

TEST(ResFormat, StringBlocksIconGroupsAndListsReadAsWritten) {
    const auto block = DecodeStringBlock(
        Find(kTypeString, StringBlockOf(IDS_TEST_ESCAPES), ui::kLangTraditionalChinese));
    ASSERT_TRUE(block.has_value());
    ASSERT_EQ(block->size(), 16u);
    EXPECT_EQ((*block)[IDS_TEST_HELLO & 15], u"您好");
    EXPECT_EQ((*block)[IDS_TEST_ESCAPES & 15], u"製表\t符, \"引號\", 反\\斜線\n下一行");
    EXPECT_EQ((*block)[(IDS_TEST_HELLO & 15) - 1], u"");

    const auto icon = DecodeIconGroup(Find(kTypeGroupIcon, IDI_APP, 0));  // language neutral
    ASSERT_TRUE(icon.has_value());
    ASSERT_EQ(icon->size(), 2u);
    EXPECT_EQ((std::pair{(*icon)[0].width, (*icon)[0].height}), (std::pair{16, 16}));
    EXPECT_EQ((std::pair{(*icon)[1].width, (*icon)[1].height}), (std::pair{32, 32}));

    const auto lists = DecodeListEntries(
        ui::res::FindResourceData({0, kTypeListEntries}, IDD_TEST, ui::kLangSimplifiedChinese));
    EXPECT_EQ(
        lists,
        (ListEntries{{IDC_TEST_COMBO, u"甲"}, {IDC_TEST_COMBO, u"乙"}, {IDC_TEST_COMBO, u"丙"}}));

    EXPECT_EQ(ui::res::ResourceLanguages(Ordinal(kTypeDialog), IDD_TEST),
              (std::vector<ui::LANGID>{ui::kLangEnglish, ui::kLangSimplifiedChinese}));
    EXPECT_TRUE(Find(kTypeDialog, IDD_TEST, ui::kLangTraditionalChinese).empty());
}

// A .res file of two entries: an ordinal type and name, then a string type.
Data SmallResFile() {
    Data file;
    const auto u16 = [&](unsigned v) {
        file.push_back(static_cast<std::uint8_t>(v));
        file.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto u32 = [&](unsigned v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const auto header = [&](unsigned dataSize, unsigned headerSize) {
        u32(dataSize);
        u32(headerSize);
    };
    const auto tail = [&](unsigned language) {
        u32(0);  // data version
        u16(0);  // memory flags
        u16(language);
        u32(0);  // version
        u32(0);  // characteristics
    };
    header(0, 32);  // the empty opening entry
    u16(0xFFFF), u16(0), u16(0xFFFF), u16(0), tail(0);
    header(3, 32);
    u16(0xFFFF), u16(kTypeString), u16(0xFFFF), u16(7), tail(0x0409);
    file.insert(file.end(), {'a', 'b', 'c', 0});  // 3 bytes and padding
    header(2, 36);
    for (char16_t c : std::u16string_view(u"XY\0", 3))
        u16(c);
    u16(0xFFFF), u16(9), u16(0), tail(0x0804);  // 0: padding to the DWORD
    file.insert(file.end(), {'h', 'i', 0, 0});
    return file;
}

TEST(ResFormat, ResFilesListTheirEntries) {
    const Data file = SmallResFile();
    const auto entries = ReadResFile(file);
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].type, Ordinal(kTypeString));
    EXPECT_EQ((*entries)[0].name, Ordinal(7));
    EXPECT_EQ((*entries)[0].language, 0x0409);
    EXPECT_EQ(Data((*entries)[0].data.begin(), (*entries)[0].data.end()), (Data{'a', 'b', 'c'}));
    EXPECT_EQ((*entries)[1].type, (Name{0, u"XY"}));
    EXPECT_EQ((*entries)[1].name, Ordinal(9));
    EXPECT_EQ((*entries)[1].language, 0x0804);
    EXPECT_EQ(Data((*entries)[1].data.begin(), (*entries)[1].data.end()), (Data{'h', 'i'}));
}

// Each case spoils valid bytes; the decoder must give nothing rather than read past the end.
struct Spoiled {
    const char* what;
    Data bytes;
};

Data Patched(Data bytes, std::size_t at, std::initializer_list<std::uint8_t> with) {
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

TEST(ResFormat, MalformedBytesGiveNothing) {
    const Bytes dialog = Find(kTypeDialog, IDD_TEST, ui::kLangEnglish);
    const Bytes plain = Find(kTypeDialog, IDD_TEST_PLAIN, ui::kLangEnglish);
    const Bytes strings = Find(kTypeString, StringBlockOf(IDS_TEST_HELLO), ui::kLangEnglish);
    const Bytes icon = Find(kTypeGroupIcon, IDI_APP, 0);
    const Bytes lists =
        ui::res::FindResourceData({0, kTypeListEntries}, IDD_TEST, ui::kLangEnglish);
    ASSERT_FALSE(dialog.empty() || plain.empty() || strings.empty() || icon.empty() ||
                 lists.empty());
    const Data file = SmallResFile();

    // Every cut short of the end, but for a .res file cut between entries.
    for (std::size_t n = 0; n < dialog.size(); ++n)
        EXPECT_FALSE(DecodeDialog(dialog.first(n))) << "dialog cut at " << n;
    for (std::size_t n = 0; n < plain.size(); ++n)
        EXPECT_FALSE(DecodeDialog(plain.first(n))) << "plain dialog cut at " << n;
    for (std::size_t n = 0; n < icon.size(); ++n)
        EXPECT_FALSE(DecodeIconGroup(icon.first(n))) << "icon group cut at " << n;
    for (std::size_t n = 0; n < lists.size(); ++n)
        EXPECT_FALSE(DecodeListEntries(lists.first(n))) << "list entries cut at " << n;
    for (std::size_t n = 1; n < strings.size(); n += 2)
        EXPECT_FALSE(DecodeStringBlock(strings.first(n))) << "string block cut at " << n;
    for (std::size_t n = 1; n < file.size(); ++n) {
        if (n != 32 && n != 68) {  // between entries
            EXPECT_FALSE(ReadResFile(Bytes(file).first(n))) << ".res file cut at " << n;
        }
    }

    const Data d(dialog.begin(), dialog.end());
    const Data s(strings.begin(), strings.end());
    const Data i(icon.begin(), icon.end());
    const Data l(lists.begin(), lists.end());
    const Spoiled res[] = {
        {"data past the end", Patched(file, 32, {0xFF, 0, 0, 0})},
        {"header past the end", Patched(file, 36, {0xFF, 0xFF, 0, 0})},
        {"header shorter than its fields", Patched(file, 36, {8, 0, 0, 0})},
    };
    for (const Spoiled& c : res)
        EXPECT_FALSE(ReadResFile(c.bytes)) << c.what;
    const Data p(plain.begin(), plain.end());
    const Spoiled dialogs[] = {
        {"more items than there are", Patched(d, 16, {0xFF, 0})},
        {"creation data past the end", Patched(d, d.size() - 2, {0x10, 0})},
        {"plain: creation data shorter than its size word", Patched(p, p.size() - 2, {1, 0})},
    };
    for (const Spoiled& c : dialogs)
        EXPECT_FALSE(DecodeDialog(c.bytes)) << c.what;
    EXPECT_FALSE(DecodeStringBlock(Patched(s, 0, {0xFF, 0x7F}))) << "a string past the end";
    EXPECT_FALSE(DecodeIconGroup(Patched(i, 4, {3, 0}))) << "more images than there are";
    EXPECT_FALSE(DecodeIconGroup(Patched(i, 2, {2, 0}))) << "a cursor group";
    EXPECT_FALSE(DecodeListEntries([&] {
        Data more = l;
        more.push_back(0);
        return more;
    }()))
        << "bytes after the closing 0";
}

TEST(ResFormat, LanguagesAreTriedInOrder) {
    struct LanguageCase {
        ui::LANGID ui;
        ui::LANGID resources;
    };
    const LanguageCase regions[] = {
        {0x0404, 0x0404}, {0x0C04, 0x0404}, {0x1404, 0x0404},  // Taiwan, Hong Kong, Macao
        {0x0804, 0x0804}, {0x1004, 0x0804},                    // PRC, Singapore
        {0x0409, 0x0409}, {0x0809, 0x0809}, {0x0411, 0x0411},
    };
    for (const LanguageCase& c : regions)
        EXPECT_EQ(ResourceLanguage(c.ui), c.resources) << std::hex << c.ui;

    // Whatever the available languages, each is tried once: the user-interface language, then
    // English, then the rest in the order given.
    struct OrderCase {
        ui::LANGID ui;
        std::vector<ui::LANGID> available;
        std::vector<ui::LANGID> tried;
        std::optional<ui::LANGID> found;
    };
    const OrderCase orders[] = {
        {0x0804, {0x0404, 0x0409, 0x0804}, {0x0804}, 0x0804},
        {0x1004, {0x0404, 0x0409, 0x0804}, {0x0804}, 0x0804},
        {0x0C04, {0x0404, 0x0409, 0x0804}, {0x0404}, 0x0404},
        {0x0411, {0x0404, 0x0409, 0x0804}, {0x0411, 0x0409}, 0x0409},
        {0x0411, {0x0404, 0x0804}, {0x0411, 0x0409, 0x0404}, 0x0404},
        {0x0409, {0x0404, 0x0804}, {0x0409, 0x0404}, 0x0404},
        {0x0411, {}, {0x0411, 0x0409}, std::nullopt},
    };
    for (const OrderCase& c : orders) {
        std::vector<ui::LANGID> tried;
        const auto found = FindInLanguageOrder(c.ui, c.available, [&](ui::LANGID l) {
            tried.push_back(l);
            const bool has = std::count(c.available.begin(), c.available.end(), l) != 0;
            return has ? std::optional<ui::LANGID>(l) : std::nullopt;
        });
        EXPECT_EQ(found, c.found) << std::hex << c.ui;
        EXPECT_EQ(tried, c.tried) << std::hex << c.ui;
    }
}

}  // namespace
