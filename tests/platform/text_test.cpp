#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::EqualsNoCase;
using platform::LessNoCase;
using platform::StartsWithNoCase;

TEST(TextTest, Utf8RoundTrip) {
    const std::u16string text = u"PASS 常亮 快閃 \U0001F600 é";
    EXPECT_EQ(platform::FromUtf8(platform::ToUtf8(text)), text);
    EXPECT_EQ(platform::ToUtf8(u"熄灭"), "\xE7\x86\x84\xE7\x81\xAD");
}

TEST(TextTest, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(platform::ToUtf8(std::u16string(1, char16_t{0xD800}) + u"a"),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(platform::FromUtf8("a\xC3"), u"a\uFFFD");  // cut short
    EXPECT_EQ(platform::FromUtf8("\xC0\xAF"
                                 "b"),
              u"\uFFFD"
              "b");  // overlong
    EXPECT_EQ(platform::FromUtf8("\xFF\xE2\x82"
                                 "c"),
              u"\uFFFD\uFFFD"
              "c");
}

TEST(TextTest, DecimalText) {
    EXPECT_EQ(platform::DecimalText(0), u"0");
    EXPECT_EQ(platform::DecimalText(-17), u"-17");
    EXPECT_EQ(platform::DecimalText(4294967296LL), u"4294967296");
    EXPECT_EQ(platform::DecimalText(-9223372036854775807LL - 1), u"-9223372036854775808");
    // Zeros in front, as "%.2d" and "%04u" give them; a longer number is never cut.
    EXPECT_EQ(platform::DecimalText(7, 2), u"07");
    EXPECT_EQ(platform::DecimalText(0, 4), u"0000");
    EXPECT_EQ(platform::DecimalText(12345, 4), u"12345");
    EXPECT_EQ(platform::DecimalText(-5, 3), u"-005");
}

TEST(TextTest, HexText) {
    EXPECT_EQ(platform::HexText(0), u"0");
    EXPECT_EQ(platform::HexText(0x1B, 4), u"001B");
    EXPECT_EQ(platform::HexText(0xABCDEF, 2), u"ABCDEF");
    EXPECT_EQ(platform::HexText(0xA0, 12, false), u"0000000000a0");
    EXPECT_EQ(platform::HexText(0xFFFFFFFFFFFFFFFFULL), u"FFFFFFFFFFFFFFFF");
}

TEST(TextTest, AFieldEndsAtItsFirstNulOrItsWidth) {
    const char16_t full[4] = {u'A', u'B', u'C', u'D'};
    const char16_t cut[4] = {u'A', u'\0', u'C', u'\0'};
    const char16_t empty[4] = {};
    EXPECT_EQ(platform::UpToNul(full), u"ABCD");
    EXPECT_EQ(platform::UpToNul(cut), u"A");
    EXPECT_EQ(platform::UpToNul(empty), u"");
    EXPECT_EQ(platform::UpToNul(std::u16string_view(full, 2)), u"AB");
}

TEST(TextTest, AsciiCaseFoldsTheLatinLettersAndNothingElse) {
    struct Case {
        char16_t c, lower, upper;
    };
    const Case cases[] = {
        {u'A', u'a', u'A'},    {u'Z', u'z', u'Z'},    {u'a', u'a', u'A'},
        {u'z', u'z', u'Z'},    {u'@', u'@', u'@'},    {u'[', u'[', u'['},
        {u'`', u'`', u'`'},    {u'{', u'{', u'{'},    {u'5', u'5', u'5'},
        {u'É', u'É', u'É'},    {u'é', u'é', u'é'},    {u'Ａ', u'Ａ', u'Ａ'},  // fullwidth
        {u'常', u'常', u'常'}, {u'\0', u'\0', u'\0'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::AsciiLower(c.c), c.lower) << int(c.c);
        EXPECT_EQ(platform::AsciiUpper(c.c), c.upper) << int(c.c);
    }
}

TEST(TextTest, ComparisonsWithoutAsciiCase) {
    struct Case {
        std::u16string a, b;
        bool equal, aStartsWithB, less;
    };
    const Case cases[] = {
        {u"", u"", true, true, false},
        {u"FLASH DISK", u"flash disk", true, true, false},
        {u"Flash", u"Flash ", false, false, true},  // one short
        {u"Flash ", u"flash", false, true, false},  // one past
        {u"\\\\.\\physicalDrive3", u"\\\\.\\PHYSICALDRIVE", false, true, false},
        {u"C", u"", false, true, false},
        {u"", u"c", false, false, true},
        {u"É", u"é", false, false, true},
        {u"常亮", u"常亮", true, true, false},
        {u"alpha", u"BETA", false, false, true},
        {u"_", u"a", false, false, true},  // '_' sorts before the letters folded to lower case
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << platform::ToUtf8(c.a);
        EXPECT_EQ(EqualsNoCase(c.b, c.a), c.equal) << platform::ToUtf8(c.a);
        EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.aStartsWithB) << platform::ToUtf8(c.a);
        EXPECT_EQ(LessNoCase(c.a, c.b), c.less) << platform::ToUtf8(c.a);
    }
    // The 8-bit forms fold bytes the same way and leave bytes past 0x7F alone.
    EXPECT_TRUE(StartsWithNoCase(std::string_view("rv7730\0\xC9", 8), "RV7730"));
    EXPECT_FALSE(StartsWithNoCase(std::string_view("RV773"), "RV7730"));
    EXPECT_TRUE(EqualsNoCase(std::string_view("\xC9x"), std::string_view("\xC9X")));
    EXPECT_FALSE(EqualsNoCase(std::string_view("\xC9"), std::string_view("\xE9")));
}

}  // namespace
