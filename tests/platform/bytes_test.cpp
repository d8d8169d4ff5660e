#include "platform/bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

using platform::ByteReader;
using platform::ByteWriter;

const std::vector<std::uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
const std::span<const std::uint8_t> kAll(kBytes);

TEST(ByteReaderTest, ReadsEachWidthAndOrderUpToTheEndAndNoFurther) {
    struct Case {
        const char* what;
        std::size_t start;  // offset of the read
        std::function<std::uint64_t(ByteReader&)> read;
        std::size_t width;
        std::uint64_t expected;  // when the read fits
    };
    const Case cases[] = {
        {"u8", 0, [](ByteReader& r) { return r.U8(); }, 1, 0x01},
        {"u16le", 1, [](ByteReader& r) { return r.U16Le(); }, 2, 0x0302},
        {"u16be", 1, [](ByteReader& r) { return r.U16Be(); }, 2, 0x0203},
        {"u32le", 0, [](ByteReader& r) { return r.U32Le(); }, 4, 0x04030201},
        {"u32be", 0, [](ByteReader& r) { return r.U32Be(); }, 4, 0x01020304},
        {"u64le", 1, [](ByteReader& r) { return r.U64Le(); }, 8, 0x0908070605040302},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ByteReader fits(kBytes);
        EXPECT_EQ(c.read(fits.At(c.start)), c.expected);
        EXPECT_TRUE(fits.Ok());
        EXPECT_EQ(fits.Offset(), c.start + c.width);

        // The last byte at the very end of the buffer, then one past it.
        ByteReader exact(kAll.first(c.start + c.width));
        c.read(exact.At(c.start));
        EXPECT_TRUE(exact.Ok());
        EXPECT_EQ(exact.Remaining(), 0u);
        ByteReader short_(kAll.first(c.start + c.width - 1));
        EXPECT_EQ(c.read(short_.At(c.start)), 0u);
        EXPECT_FALSE(short_.Ok());

        ByteReader empty({});
        EXPECT_EQ(c.read(empty), 0u);
        EXPECT_FALSE(empty.Ok());
    }
}

TEST(ByteReaderTest, AFailureSticks) {
    ByteReader r(kAll.first(3));
    EXPECT_EQ(r.U16Le(), 0x0201);
    EXPECT_EQ(r.U16Le(), 0u);  // one past the end
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.At(0).U8(), 0u) << "a later read that would fit fails too";
    EXPECT_TRUE(r.Bytes(1).empty());
    EXPECT_EQ(r.Remaining(), 0u);

    ByteReader seek(kBytes);
    seek.At(kBytes.size());  // the end is a position
    EXPECT_TRUE(seek.Ok());
    seek.At(kBytes.size() + 1);
    EXPECT_FALSE(seek.Ok());

    ByteReader skip(kBytes);
    EXPECT_FALSE(skip.Skip(kBytes.size() + 1).Ok());
}

TEST(ByteReaderTest, RecordsOfTheirOwnLengthAndUtf16Text) {
    // Two records as devices describe themselves: a length byte, a type, then the rest; the
    // second claims more than there is.
    const std::vector<std::uint8_t> bytes = {6, 3, 'O', 0, 'K', 0, 9, 3, 'X', 0};
    ByteReader r(bytes);
    ByteReader first = r.Take(ByteReader(r).U8());  // a copy reads the length ahead
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(first.Remaining(), 6u);
    EXPECT_EQ(first.Skip(2).Utf16Le(2), u"OK");
    EXPECT_EQ(first.Utf16Le(1), u"") << "the record ends where it says";
    EXPECT_FALSE(first.Ok());

    EXPECT_EQ(r.Offset(), 6u);
    ByteReader rest = r.Take(ByteReader(r).U8());
    EXPECT_FALSE(r.Ok());
    EXPECT_FALSE(rest.Ok());
    EXPECT_EQ(rest.U8(), 0u);

    ByteReader text(bytes);
    EXPECT_EQ(text.At(2).Utf16Le(2), std::u16string(u"OK"));
    EXPECT_EQ(text.At(8).Utf16Le(1), std::u16string(u"X"));
    EXPECT_EQ(text.Utf16Le(0), u"");
    EXPECT_TRUE(text.Ok());
    EXPECT_EQ(text.At(9).Utf16Le(1), u"") << "half a unit";
    EXPECT_FALSE(text.Ok());
}

TEST(ByteWriterTest, WritesWhatFitsAndNothingOnceOneDoesNot) {
    std::array<std::uint8_t, 12> bytes{};
    ByteWriter w(bytes);
    w.U8(0xA1).U16Le(0x0302).U16Be(0x0405).U32Le(0x09080706).U32Be(0x0A0B0C0D);
    EXPECT_FALSE(w.Ok()) << "13 bytes into 12";
    const std::array<std::uint8_t, 12> expected = {0xA1, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                   0x07, 0x08, 0x09, 0,    0,    0};
    EXPECT_EQ(bytes, expected) << "the write that did not fit left its bytes alone";
    EXPECT_FALSE(w.At(0).U8(0xFF).Ok());
    EXPECT_EQ(bytes[0], 0xA1);

    ByteWriter exact(bytes);
    exact.At(8).U32Be(0x0A0B0C0D).At(1).Utf16Le(u"\u0102").Fill(2, 0xEE);
    EXPECT_TRUE(exact.Ok());
    EXPECT_EQ(exact.Offset(), 5u);
    const std::array<std::uint8_t, 12> rewritten = {0xA1, 0x02, 0x01, 0xEE, 0xEE, 0x06,
                                                    0x07, 0x08, 0x0A, 0x0B, 0x0C, 0x0D};
    EXPECT_EQ(bytes, rewritten);
    EXPECT_TRUE(exact.At(12).Ok()) << "the end is a position";
    EXPECT_FALSE(exact.Utf16Le(u"x").Ok());
    EXPECT_FALSE(ByteWriter(bytes).At(13).Ok());
}

}  // namespace
