#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

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
}

}  // namespace
