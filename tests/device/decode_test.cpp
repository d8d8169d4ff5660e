// Decoding stored information blocks: no device, no window.
#include <gtest/gtest.h>

#include <cwctype>
#include <vector>

#include "device/controller.h"
#include "platform/bytes.h"
#include "platform/sim/info_block.h"
#include "platform/sim/station.h"

namespace {

using namespace device;
using sim::InfoBlock;

DecodedSlots DecodeOk(const InfoBlock& block, Language language = Language::English,
                      std::optional<std::uint64_t> freeBytes = std::nullopt) {
    const auto& bytes = block.Bytes();
    const std::size_t size = platform::ByteReader(bytes).At(4).U16Le() >= 5 ? 1024 : 512;
    auto slots =
        DecodeInfoBlock(std::span(bytes.data(), size), SelectionListsFor(language), freeBytes);
    EXPECT_TRUE(slots.has_value());
    return slots.value_or(DecodedSlots{});
}

std::u16string Slot(const InfoBlock& block, std::size_t slot,
                    Language language = Language::English) {
    return DecodeOk(block, language)[slot].value_or(u"<absent>");
}

TEST(DecodeInfoBlockTest, OnlyABlockWithTheMagicAndItsLengthDecodes) {
    const auto& lists = SelectionListsFor(Language::English);
    const auto bad = InfoBlock(5).U32Le(0, 0x8B1CDBFA).Bytes();
    EXPECT_EQ(ExamineInfoBlock(bad), BlockStatus::BadMagic);
    EXPECT_FALSE(DecodeInfoBlock(bad, lists, 1).has_value());

    const auto older = InfoBlock(4).Bytes();
    EXPECT_EQ(ExamineInfoBlock(std::span(older.data(), 511)), BlockStatus::TooShort);
    EXPECT_EQ(ExamineInfoBlock(std::span(older.data(), 512)), BlockStatus::Ok);

    const auto newer = InfoBlock(5).Bytes();
    EXPECT_EQ(ExamineInfoBlock(std::span(newer.data(), 1023)), BlockStatus::TooShortForNewerLayout);
    EXPECT_FALSE(DecodeInfoBlock(std::span(newer.data(), 512), lists, 1).has_value());
    EXPECT_EQ(ExamineInfoBlock(newer), BlockStatus::Ok);
    EXPECT_EQ(ExamineInfoBlock(InfoBlock(0xFFFF).Bytes()), BlockStatus::Ok);
}

TEST(DecodeInfoBlockTest, Identifiers) {
    EXPECT_EQ(Slot(InfoBlock().Ids(0x1234, 0xABCD), kSlotVid), u"1234");
    EXPECT_EQ(Slot(InfoBlock().Ids(0x1234, 0xABCD), kSlotPid), u"ABCD");
    EXPECT_EQ(Slot(InfoBlock().Ids(0x000A, 0), kSlotVid), u"000A");
    EXPECT_EQ(Slot(InfoBlock().Ids(0, 0), kSlotPid), u"0000");
}

TEST(DecodeInfoBlockTest, TextFieldsStopAtNulOrTheirWidth) {
    // Revision: at most 4 characters, not trimmed.
    EXPECT_EQ(Slot(InfoBlock().Text8(70, 5, "1.00A"), kSlotRevision), u"1.00");
    EXPECT_EQ(Slot(InfoBlock().Text8(70, 4, " 1 "), kSlotRevision), u" 1 ");
    // MP and firmware versions: 16 characters with no NUL, not trimmed.
    EXPECT_EQ(Slot(InfoBlock().Text8(100, 16, "0123456789ABCDEF").Text8(116, 1, "X"), kSlotMpVer),
              u"0123456789ABCDEF");
    EXPECT_EQ(Slot(InfoBlock().Text8(124, 16, " FW 1.0 "), kSlotFwVer), u" FW 1.0 ");
    EXPECT_EQ(Slot(InfoBlock().Text8(124, 16, std::string_view("A\0B", 3)), kSlotFwVer), u"A");
}

TEST(DecodeInfoBlockTest, OlderLayoutNames) {
    const auto full = InfoBlock(4).Names("ABCDEFGH", "0123456789abcdef").Text8(70, 4, "rev1");
    EXPECT_EQ(Slot(full, kSlotVendorName), u"ABCDEFGH");  // 8 non-NUL bytes: all 8
    EXPECT_EQ(Slot(full, kSlotProductName), u"0123456789abcdef");
    EXPECT_EQ(Slot(full, kSlotRevision), u"rev1");
    EXPECT_EQ(Slot(InfoBlock(4).Names("  AB  ", "\t Disk \r\n"), kSlotVendorName), u"AB");
    EXPECT_EQ(Slot(InfoBlock(4).Names("  AB  ", "\t Disk \r\n"), kSlotProductName), u"Disk");
    EXPECT_EQ(Slot(InfoBlock(4).Names("        ", ""), kSlotVendorName), u"");
    // The newer layout's fields mean nothing to the older one.
    EXPECT_EQ(Slot(InfoBlock(4).WideNames(u"Wide", u"Wide"), kSlotVendorName), u"");
}

TEST(DecodeInfoBlockTest, NewerLayoutNamesAreUtf16) {
    const auto block = InfoBlock(5)
                           .Names("Narrow", "Narrow")
                           .WideNames(u"\u3000 金士顿 \u3000", u"U盘 Flash Drive\u00A0");
    EXPECT_EQ(Slot(block, kSlotVendorName), u"金士顿");
    EXPECT_EQ(Slot(block, kSlotProductName), u"U盘 Flash Drive");
    // The control U+0085 is no white space to the workstation.
    EXPECT_EQ(Slot(InfoBlock(5).WideNames(u"\u0085V\u0085", u"P"), kSlotVendorName),
              u"\u0085V\u0085");
    // 30 units with no NUL: all of them, not a unit of the next field.
    const std::u16string thirty(30, u'x');
    EXPECT_EQ(Slot(InfoBlock(5).WideNames(thirty, u"P"), kSlotVendorName), thirty);
}

#ifdef _WIN32
// The names are trimmed of what the platform's iswspace calls white space, and of nothing else.
TEST(DecodeInfoBlockTest, NamesAreTrimmedOfWhatIswspaceCallsSpace) {
    const auto& lists = SelectionListsFor(Language::English);
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        const std::u16string unit(1, static_cast<char16_t>(c));
        const auto bytes = InfoBlock(5).WideNames(unit + u"A" + unit, u"P").Bytes();
        const auto slots = DecodeInfoBlock(bytes, lists, std::nullopt);
        ASSERT_TRUE(slots.has_value());
        const bool space = iswspace(static_cast<wint_t>(c)) != 0;
        EXPECT_EQ((*slots)[kSlotVendorName], space ? u"A" : unit + u"A" + unit)
            << "U+" << std::hex << static_cast<unsigned>(c);
    }
}
#endif

TEST(DecodeInfoBlockTest, SelectionListsOfEachLanguage) {
    const auto block = InfoBlock(5).Byte(221, 1).Byte(222, 2).Byte(90, 1).Byte(628, 0).Byte(91, 2);
    const auto en = DecodeOk(block, Language::English);
    EXPECT_EQ(en[kSlotRFreq], u"30MHZ");
    EXPECT_EQ(en[kSlotWFreq], u"40MHZ");
    EXPECT_EQ(en[kSlotIdle], u"OFF");
    EXPECT_EQ(en[kSlotSleep], u"ON");
    EXPECT_EQ(en[kSlotBlink], u"Slow");
    const auto cn = DecodeOk(block, Language::SimplifiedChinese);
    EXPECT_EQ(cn[kSlotRFreq], u"26MHZ");
    EXPECT_EQ(cn[kSlotIdle], u"熄灭");
    EXPECT_EQ(cn[kSlotBlink], u"慢闪");
    const auto tw = DecodeOk(block, Language::TraditionalChinese);
    EXPECT_EQ(tw[kSlotRFreq], u"30MHZ");
    EXPECT_EQ(tw[kSlotIdle], u"熄滅");
    EXPECT_EQ(tw[kSlotBlink], u"慢閃");
    EXPECT_EQ(Slot(InfoBlock(5).Byte(221, 3), kSlotRFreq), u"15MHz");
}

TEST(DecodeInfoBlockTest, AnIndexPastItsListMatchesNoEntryAndDecodingGoesOn) {
    const auto block = InfoBlock(5).Byte(221, 3).Byte(91, 255).Ids(0x1234, 0);
    const auto cn = DecodeOk(block, Language::SimplifiedChinese);
    EXPECT_EQ(cn[kSlotRFreq], u"#3");
    EXPECT_EQ(cn[kSlotBlink], u"#255");
    EXPECT_EQ(cn[kSlotVid], u"1234");
    EXPECT_EQ(cn[kSlotFwVer], u"");
}

TEST(DecodeInfoBlockTest, OlderLayoutHasNoSleepMode) {
    // Offset 628 lies beyond the 512 bytes an older-layout block is read in.
    EXPECT_EQ(Slot(InfoBlock(4).Byte(628, 1), kSlotSleep), u"");
    EXPECT_EQ(Slot(InfoBlock(5).Byte(628, 1), kSlotSleep), u"OFF");
}

TEST(DecodeInfoBlockTest, Numbers) {
    EXPECT_EQ(Slot(InfoBlock().Byte(39, 2), kSlotDiskType), u"2");
    EXPECT_EQ(Slot(InfoBlock().Byte(40, 255), kSlotPart), u"255");
    EXPECT_EQ(Slot(InfoBlock().Byte(398, 0), kSlotMaster), u"A");
    EXPECT_EQ(Slot(InfoBlock().Byte(398, 2), kSlotMaster), u"C");
    EXPECT_EQ(Slot(InfoBlock().Byte(398, 191), kSlotMaster), std::u16string(1, char16_t{0}));
    EXPECT_EQ(Slot(InfoBlock().Byte(398, 255), kSlotMaster), u"@");
}

TEST(DecodeInfoBlockTest, EfsSectorCount) {
    EXPECT_EQ(Slot(InfoBlock().Efs(0x100, 0x4100), kSlotEfs), u"16384");
    EXPECT_EQ(Slot(InfoBlock().Efs(0, 0), kSlotEfs), u"0");
    EXPECT_EQ(Slot(InfoBlock().Efs(2, 1), kSlotEfs), u"4294967295");  // wrapped, unsigned
    EXPECT_EQ(Slot(InfoBlock().Efs(0, 0xFFFFFFFF), kSlotEfs), u"4294967295");
}

TEST(DecodeInfoBlockTest, FeatureFlags) {
    struct Case {
        std::uint8_t byte220;
        const char16_t* expected;  // MultiPlane Interleave CacheProgram DualMode Randomize
    };
    for (const Case c : {Case{0x28, u"11000"}, Case{0x04, u"00001"}, Case{0x83, u"00000"},
                         Case{0x7C, u"11111"}, Case{0x10, u"00100"}, Case{0x40, u"00010"}}) {
        const auto s = DecodeOk(InfoBlock().Flags(c.byte220));
        std::u16string got;
        for (std::size_t slot :
             {kSlotMultiPlane, kSlotInterleave, kSlotCacheProgram, kSlotDualMode, kSlotRandomize}) {
            got += s[slot].value();
        }
        EXPECT_EQ(got, c.expected) << "byte 220 = " << int(c.byte220);
    }
    // Bytes 217 to 219 hold no flag the station reads.
    EXPECT_EQ(Slot(InfoBlock().U32Be(217, 0xFFFFFF00), kSlotMultiPlane), u"0");
}

TEST(DecodeInfoBlockTest, CapacityFromFreeBytes) {
    const auto s = DecodeOk(InfoBlock(), Language::English, 4'000'000'000ull);
    EXPECT_EQ(s[kSlotCapMin], u"3814MB");
    EXPECT_EQ(s[kSlotCapMax], u"3814MB");
    EXPECT_EQ(DecodeOk(InfoBlock(), Language::English, 1048575)[kSlotCapMin], u"0MB");
    EXPECT_EQ(DecodeOk(InfoBlock(), Language::English, ~0ull)[kSlotCapMin], u"17592186044415MB");
    const auto none = DecodeOk(InfoBlock());
    EXPECT_FALSE(none[kSlotCapMin].has_value());
    EXPECT_FALSE(none[kSlotCapMax].has_value());
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        if (i != kSlotCapMin && i != kSlotCapMax) {
            EXPECT_TRUE(none[i].has_value()) << i;
        }
    }
}

TEST(DecodeInfoBlockTest, EightBitTextsGoThroughTheAnsiCodePage) {
    auto& station = sim::Station::Get();
    station.SetAnsiCodePage(1252);
    EXPECT_EQ(Slot(InfoBlock().Text8(124, 16, "\x80 \xE9"), kSlotFwVer), u"€ é");
    station.SetAnsiCodePage(65001);
    EXPECT_EQ(Slot(InfoBlock().Text8(124, 16, "\xE2\x82\xAC"), kSlotFwVer), u"€");
    station.SetAnsiCodePage(1252);
}

TEST(DecodeInfoBlockTest, StoredSampleBlock) {
    // A whole configured disk, as a stored block, against the texts an operator expects.
    const std::vector<std::u16string> expected = {
        u"1234",  u"7730",   u"1.00",   u"Generic",     u"Flash Disk",  u"30MHZ",
        u"40MHZ", u"ON",     u"OFF",    u"Quick",       u"1",           u"0",
        u"A",     u"16384",  u"1",      u"1",           u"0",           u"0",
        u"0",     u"3814MB", u"3814MB", u"MP 2.15.0.7", u"FW 7730.0412"};
    const auto slots = DecodeOk(sim::SampleInfoBlock(), Language::English, 4'000'000'000ull);
    for (std::size_t i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(slots[i], expected[i])
            << "slot " << i << " " << std::string(kSlotKeys[i].begin(), kSlotKeys[i].end());
    }
}

}  // namespace
