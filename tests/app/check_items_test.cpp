#include "app/check_items.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(CheckItemsTest, KeysAreTheSlotKeysInSlotOrder) {
    const auto items = app::MakeCheckItems();
    for (std::size_t i = 0; i < app::kItemCount; ++i) {
        EXPECT_EQ(items[i].key, device::kSlotKeys[i]) << i;
        EXPECT_EQ(items[i].value, u"");
        EXPECT_EQ(items[i].enabled, 0);
    }
}

TEST(CheckItemsTest, EveryItemHasItsOwnControlAndCapacityShareACaption) {
    const auto items = app::MakeCheckItems();
    std::set<std::int32_t> controls;
    std::set<std::uint32_t> captions;
    for (const auto& item : items) {
        controls.insert(item.controlId);
        captions.insert(item.captionId);
    }
    EXPECT_EQ(controls.size(), app::kItemCount);
    EXPECT_EQ(captions.size(), app::kItemCount - 1);
    EXPECT_EQ(items[app::kItemCapMin].captionId, items[app::kItemCapMax].captionId);
    // Caption ids are 104 to 120 and 123 to 127: 121 and 122 are the file filters.
    for (std::uint32_t id : captions)
        EXPECT_TRUE((id >= 104 && id <= 120) || (id >= 123 && id <= 127));
}

TEST(CheckItemsTest, ListItemsAreTheDropDownLists) {
    std::set<std::int32_t> listControls;
    const auto items = app::MakeCheckItems();
    for (std::size_t i = 0; i < app::kItemCount; ++i) {
        if (app::IsListItem(i))
            listControls.insert(items[i].controlId);
    }
    EXPECT_EQ(listControls, (std::set<std::int32_t>{1043, 1044, 1036, 1056, 1037, 1053}));
}

}  // namespace
