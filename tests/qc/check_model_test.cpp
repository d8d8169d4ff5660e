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
    const Case cases[] = {
        {0, 0},
        {1, 0},
        {16383, 0},
        {16384, 1},
        {20000, 1},
        {32768, 2},
        {131072, 8},
        {147455, 8},
        {147456, 9},
        {163840, 9},
        {180223, 9},
        {180224, 10},
        {212992, 11},
        {245759, 11},
        {245760, 12},
        {245761, kEntries},
        {262144, kEntries},
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
