#include "app/check_items.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Key, control, kind, caption id and column width of each item, in index order: list items
// are the six drop-down lists, CapMin and CapMax share the caption "Capacity".
TEST(CheckItemsTest, TheTableOfTheTwentyThreeItems) {
    struct Row {
        const char16_t* key;
        std::int32_t controlId;
        bool list;
        std::uint32_t captionId;
        std::uint16_t columnWidth;
    };
    const Row rows[app::kItemCount] = {
        {u"vid", 1012, false, 104, 50},          {u"pid", 1013, false, 105, 50},
        {u"revision", 1022, false, 106, 75},     {u"VendorName", 1010, false, 107, 75},
        {u"ProductName", 1011, false, 108, 110}, {u"RFreq", 1043, true, 109, 75},
        {u"WFreq", 1044, true, 110, 75},         {u"Idle", 1036, true, 111, 63},
        {u"Sleep", 1056, true, 127, 63},         {u"Blink", 1037, true, 112, 93},
        {u"DiskType", 1049, false, 123, 75},     {u"Part", 1050, false, 124, 75},
        {u"Master", 1055, false, 126, 75},       {u"Efs", 1053, true, 125, 75},
        {u"MultiPlane", 1033, false, 113, 75},   {u"Interleave", 1030, false, 114, 75},
        {u"CacheProgram", 1031, false, 115, 90}, {u"DualMode", 1032, false, 116, 65},
        {u"Randomize", 1034, false, 117, 70},    {u"CapMin", 1026, false, 118, 65},
        {u"CapMax", 1027, false, 118, 65},       {u"MPVer", 1024, false, 119, 70},
        {u"FWVer", 1052, false, 120, 75},
    };
    const auto items = app::MakeCheckItems();
    for (std::size_t i = 0; i < app::kItemCount; ++i) {
        EXPECT_EQ(items[i].key, rows[i].key) << i;
        EXPECT_EQ(device::kSlotKeys[i], rows[i].key) << i;  // slot i is item i
        EXPECT_EQ(items[i].controlId, rows[i].controlId) << i;
        EXPECT_EQ(app::IsListItem(i), rows[i].list) << i;
        EXPECT_EQ(items[i].captionId, rows[i].captionId) << i;
        EXPECT_EQ(items[i].columnWidth, rows[i].columnWidth) << i;
        EXPECT_EQ(items[i].value, u"");
        EXPECT_EQ(items[i].enabled, 0);
    }
}

}  // namespace
