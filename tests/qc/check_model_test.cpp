#include "qc/check_model.h"

#include <gtest/gtest.h>

namespace {

using qc::EnabledFlags;

EnabledFlags Enabled(std::initializer_list<std::size_t> items) {
    EnabledFlags flags{};
    for (std::size_t i : items)
        flags[i] = 1;
    return flags;
}

TEST(ColumnLayoutTest, EnabledItemsInIndexOrderWithOneCapacityColumn) {
    using V = std::vector<std::size_t>;
    EXPECT_EQ(qc::ShownItems(Enabled({})), V{});
    EXPECT_EQ(qc::ShownItems(Enabled({9, 8, 10, 7})), (V{7, 8, 9, 10}));
    EXPECT_EQ(qc::ShownItems(Enabled({19, 20, 21})), (V{19, 21}));
    EXPECT_EQ(qc::ShownItems(Enabled({20, 21})), (V{20, 21}));  // CapMax alone has its column
    EXPECT_EQ(qc::ShownItems(Enabled({19})), (V{19}));
    EnabledFlags any{};
    any[3] = 7;  // any non-zero flag enables
    EXPECT_EQ(qc::ShownItems(any), (V{3}));
}

TEST(EfsMappingTest, SectorCountsToDropDownEntries) {
    constexpr std::size_t kEntries = 13;  // "0MB" ... "128MB"
    struct Case {
        std::uint32_t sectors;
        std::size_t entry;
    };
    // Each entry stands for its own size: 8 MB steps to "64MB", then 16 MB steps to "128MB";
    // a size between two entries maps to the lower one.
    const Case cases[] = {
        {0, 0},
        {1, 0},
        {16383, 0},
        {16384, 1},
        {20000, 1},
        {32768, 2},
        {131072, 8},
        {147456, 8},  // 72 MB: below "80MB"
        {163839, 8},
        {163840, 9},  // 80 MB
        {196607, 9},
        {196608, 10},
        {229376, 11},
        {245760, 11},  // 120 MB
        {262143, 11},
        {262144, 12},  // 128 MB
        {262145, kEntries},
        {0xFFFFFFFF, kEntries},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qc::EfsEntryOf(c.sectors, kEntries), c.entry) << c.sectors;
    // Fewer entries: the last one matches its exact size only.
    EXPECT_EQ(qc::EfsEntryOf(16384, 2), 1u);
    EXPECT_EQ(qc::EfsEntryOf(16385, 2), 2u);
    EXPECT_EQ(qc::EfsEntryOf(0, 0), 0u);
}

TEST(ParseTest, LeadingNumbersAsScanfReadsThem) {
    EXPECT_EQ(qc::ParseSigned(u"3814MB"), 3814);
    EXPECT_EQ(qc::ParseSigned(u"  -12MB"), -12);
    EXPECT_EQ(qc::ParseSigned(u"+7"), 7);
    EXPECT_EQ(qc::ParseSigned(u"MB"), 0);
    EXPECT_EQ(qc::ParseSigned(u""), 0);
    EXPECT_EQ(qc::ParseSigned(u"99999999999MB"), 2147483647);
    EXPECT_EQ(qc::ParseUnsigned(u"16384"), 16384u);
    EXPECT_EQ(qc::ParseUnsigned(u"4294967295"), 4294967295u);
    EXPECT_EQ(qc::ParseUnsigned(u"-1"), 4294967295u);
    EXPECT_EQ(qc::ParseUnsigned(u"x1"), 0u);
}

}  // namespace

namespace {

TEST(CheckRulesTest, EachItemKindAgainstItsExpectation) {
    // Texts: only A to Z fold.
    EXPECT_TRUE(qc::TextsMatch(u"FLASH DISK", u"flash disk"));
    EXPECT_TRUE(qc::TextsMatch(u"", u""));
    EXPECT_FALSE(qc::TextsMatch(u"FLASH DISK", u"flash disk "));
    EXPECT_FALSE(qc::TextsMatch(u"\u00C9", u"\u00E9"));  // only ASCII letters fold
    EXPECT_FALSE(qc::TextsMatch(u"[", u"{"));
    // Capacity bounds, "%dMB" of both sides.
    struct Bound {
        const char16_t* shown;
        const char16_t* expected;
        bool min, max;
    };
    const Bound bounds[] = {
        {u"999MB", u"1000", false, true}, {u"1000MB", u"1000", true, true},
        {u"8000MB", u"8000", true, true}, {u"8001MB", u"8000", true, false},
        {u"3814MB", u"", true, false},    {u"", u"", true, true},
        {u"", u"1", false, true},         {u"0MB", u"-5", true, false},
    };
    for (const Bound& b : bounds) {
        EXPECT_EQ(qc::CapMinMatches(b.shown, b.expected), b.min) << "min, case " << (&b - bounds);
        EXPECT_EQ(qc::CapMaxMatches(b.shown, b.expected), b.max) << "max, case " << (&b - bounds);
    }
    // Efs: the disk's sector count against the drop-down's selection at the moment.
    EXPECT_TRUE(qc::EfsMatches(u"0", 0, 13));
    EXPECT_TRUE(qc::EfsMatches(u"16384", 1, 13));
    EXPECT_TRUE(qc::EfsMatches(u"20000", 1, 13));
    EXPECT_TRUE(qc::EfsMatches(u"262144", 12, 13));
    EXPECT_FALSE(qc::EfsMatches(u"16384", 2, 13));
    EXPECT_FALSE(qc::EfsMatches(u"16384", -1, 13));  // nothing selected
    EXPECT_FALSE(qc::EfsMatches(u"300000", 12, 13));
    EXPECT_TRUE(qc::EfsMatches(u"", 0, 13));  // no digits: 0 sectors
}

TEST(CheckRulesTest, VolTextJoinsLettersWithinNineteenCharacters) {
    EXPECT_EQ(qc::VolText(u"E"), u"E");
    EXPECT_EQ(qc::VolText(u"EF"), u"E|F");
    EXPECT_EQ(qc::VolText(u"DEFGHIJKLM"), u"D|E|F|G|H|I|J|K|L|M");
    const std::u16string many = qc::VolText(u"DEFGHIJKLMNOP");
    EXPECT_EQ(many, u"D|E|F|G|H|I|J|K|L|\u2026");
    EXPECT_LE(many.size(), 19u);
    EXPECT_EQ(qc::VolText(u""), u"");
}

}  // namespace
