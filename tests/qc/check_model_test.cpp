#include "qc/check_model.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "qc/check_setup.h"

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

// The shared "Capacity" column is marked when either bound failed; CapMax alone marks its own.
TEST(ColumnLayoutTest, TheCapacityColumnIsMarkedForEitherBound) {
    using device::kSlotCapMax;
    using device::kSlotCapMin;
    using device::kSlotVid;
    const EnabledFlags both = Enabled({kSlotVid, kSlotCapMin, kSlotCapMax});
    EXPECT_EQ(qc::ColumnItemOf(both, kSlotCapMax), kSlotCapMin);
    EXPECT_EQ(qc::ColumnItemOf(both, kSlotVid), kSlotVid);
    EXPECT_EQ(qc::ColumnItemOf(Enabled({kSlotCapMax}), kSlotCapMax), kSlotCapMax);

    std::array<std::int32_t, device::kSlotCount> matches{};
    matches.fill(1);
    EXPECT_FALSE(qc::ColumnMarked(both, kSlotCapMin, matches));
    matches[kSlotCapMax] = 0;
    EXPECT_TRUE(qc::ColumnMarked(both, kSlotCapMin, matches)) << "CapMax shows on CapMin's";
    EXPECT_FALSE(qc::ColumnMarked(both, kSlotVid, matches));
    EXPECT_FALSE(qc::ColumnMarked(Enabled({kSlotCapMin}), kSlotCapMin, matches))
        << "a CapMax not enabled is not on the column";
    EXPECT_TRUE(qc::ColumnMarked(Enabled({kSlotCapMax}), kSlotCapMax, matches));
    matches.fill(1);
    matches[kSlotCapMin] = 0;
    EXPECT_TRUE(qc::ColumnMarked(both, kSlotCapMin, matches));
    EXPECT_FALSE(qc::ColumnMarked(Enabled({kSlotCapMax}), kSlotCapMax, matches));
}

// The Efs drop-down's entries, in their order, as every language has them.
constexpr const char16_t* kEfsEntries[] = {u"0MB",  u"8MB",   u"16MB", u"24MB", u"32MB",
                                           u"40MB", u"48MB",  u"56MB", u"64MB", u"80MB",
                                           u"96MB", u"112MB", u"128MB"};
constexpr int kEfsCount = 13;

// Index of an entry by its text; kEfsCount for none.
int EfsEntry(const char16_t* text) {
    for (int k = 0; k < kEfsCount; ++k) {
        if (text != nullptr && std::u16string_view(kEfsEntries[k]) == text)
            return k;
    }
    return kEfsCount;
}

TEST(EfsCheckTest, SectorCountsMapToTheEntryTheyStandFor) {
    // T(0) to T(9) are 0, 16384, ... 147456 (nine steps of 16384), then T(10) = 180224,
    // T(11) = 212992, T(12) = 245760. A count equal to T(k), or below T(k + 1), is entry k;
    // past the last entry's own count there is none (nullptr). So 147456 (72 MB) and 163840
    // (80 MB) are both "80MB", 245760 (120 MB) is "128MB" and 262144 (128 MB) is none.
    struct Case {
        std::uint32_t sectors;
        const char16_t* entry;
    };
    const Case cases[] = {
        {0, u"0MB"},       {1, u"0MB"},        {16383, u"0MB"},       {16384, u"8MB"},
        {20000, u"8MB"},   {32768, u"16MB"},   {131072, u"64MB"},     {147455, u"64MB"},
        {147456, u"80MB"}, {163840, u"80MB"},  {180223, u"80MB"},     {180224, u"96MB"},
        {212991, u"96MB"}, {212992, u"112MB"}, {245759, u"112MB"},    {245760, u"128MB"},
        {245761, nullptr}, {262144, nullptr},  {0xFFFFFFFF, nullptr},
    };
    for (const Case& c : cases) {
        const int entry = EfsEntry(c.entry);
        EXPECT_EQ(qc::EfsEntryOf(c.sectors, kEfsCount), static_cast<std::size_t>(entry))
            << c.sectors;
        // The check passes with that entry selected and with no other; nothing selected fails.
        const std::u16string shown = platform::DecimalText(static_cast<long long>(c.sectors));
        for (int selected = -1; selected < kEfsCount; ++selected) {
            EXPECT_EQ(qc::EfsMatches(shown, selected, kEfsCount), selected == entry)
                << c.sectors << " with entry " << selected;
        }
    }
    // The shown text is read with "%u": no digits is 0.
    EXPECT_TRUE(qc::EfsMatches(u"", EfsEntry(u"0MB"), kEfsCount));
    EXPECT_TRUE(qc::EfsMatches(u"163840 ", EfsEntry(u"80MB"), kEfsCount));
    // Fewer entries: the last one takes its exact count only.
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
    qc::CheckSetup setup;
    setup.lists = device::SelectionListsFor(device::Language::English);
    // Texts: only A to Z fold.
    const auto text = [&](std::u16string_view shown, std::u16string_view expected) {
        setup.expected[device::kSlotProductName] = expected;
        return qc::ItemMatches(setup, device::kSlotProductName, shown);
    };
    EXPECT_TRUE(text(u"FLASH DISK", u"flash disk"));
    EXPECT_TRUE(text(u"", u""));
    EXPECT_FALSE(text(u"FLASH DISK", u"flash disk "));
    EXPECT_FALSE(text(u"\u00C9", u"\u00E9"));  // only ASCII letters fold
    EXPECT_FALSE(text(u"[", u"{"));
    // A list item is a text too: the selected entry's.
    setup.expected[device::kSlotBlink] = u"Quick";
    EXPECT_TRUE(qc::ItemMatches(setup, device::kSlotBlink, u"QUICK"));
    EXPECT_FALSE(qc::ItemMatches(setup, device::kSlotBlink, u"Slow"));
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
        setup.expected[device::kSlotCapMin] = b.expected;
        setup.expected[device::kSlotCapMax] = b.expected;
        EXPECT_EQ(qc::ItemMatches(setup, device::kSlotCapMin, b.shown), b.min)
            << "min, case " << (&b - bounds);
        EXPECT_EQ(qc::ItemMatches(setup, device::kSlotCapMax, b.shown), b.max)
            << "max, case " << (&b - bounds);
    }
    // Efs: the drop-down's selection, not its expected text.
    setup.expected[device::kSlotEfs] = u"0MB";
    setup.efsSelection = 9;  // "80MB"
    EXPECT_TRUE(qc::ItemMatches(setup, device::kSlotEfs, u"147456"));
    EXPECT_FALSE(qc::ItemMatches(setup, device::kSlotEfs, u"0"));
    setup.efsSelection = -1;
    EXPECT_FALSE(qc::ItemMatches(setup, device::kSlotEfs, u"0"));
}

// The window compares each enabled item with the cell of its column; the command line compares
// the values as those cells would show them, so the shared "Capacity" column must not shift
// the items after it.
TEST(CheckRulesTest, FailedItemsFollowTheColumnsCapacityShares) {
    qc::CheckSetup setup;
    setup.lists = device::SelectionListsFor(device::Language::English);
    setup.enabled = Enabled({device::kSlotVid, device::kSlotCapMin, device::kSlotCapMax,
                             device::kSlotMpVer, device::kSlotFwVer});
    const std::vector<qc::CheckedItem> checked = qc::CheckedItems(setup.enabled);
    const std::vector<std::pair<std::size_t, std::size_t>> columns = {
        {device::kSlotVid, 0},   {device::kSlotCapMin, 1}, {device::kSlotCapMax, 1},
        {device::kSlotMpVer, 2}, {device::kSlotFwVer, 3},
    };
    ASSERT_EQ(checked.size(), columns.size());
    for (std::size_t i = 0; i < checked.size(); ++i) {
        EXPECT_EQ(checked[i].item, columns[i].first) << i;
        EXPECT_EQ(checked[i].column, columns[i].second) << i;
    }

    device::ValueSlots values;
    values[device::kSlotVid] = u"abcd";
    values[device::kSlotCapMin] = values[device::kSlotCapMax] = u"3814MB";
    values[device::kSlotMpVer] = u"MP2.05";
    values[device::kSlotFwVer] = u"FW1";
    setup.expected[device::kSlotVid] = u"ABCD";
    setup.expected[device::kSlotCapMin] = u"3800";
    setup.expected[device::kSlotCapMax] = u"3900";
    setup.expected[device::kSlotMpVer] = u"MP2.05";
    setup.expected[device::kSlotFwVer] = u"FW2";
    EXPECT_EQ(qc::FailedItems(setup, values), (std::vector<std::size_t>{device::kSlotFwVer}));
    setup.expected[device::kSlotCapMax] = u"3000";
    setup.expected[device::kSlotFwVer] = u"fw1";
    EXPECT_EQ(qc::FailedItems(setup, values), (std::vector<std::size_t>{device::kSlotCapMax}));
    EXPECT_TRUE(qc::FailedItems(qc::CheckSetup{}, values).empty()) << "nothing enabled passes";
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
