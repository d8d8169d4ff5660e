// The 23 check items: the one numbering of the values the station checks. Item i is value
// slot i of a decoded disk, the tick box of item i and, by the column layout rule, a column of
// the result list. Pure data, no window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/controller.h"
#include "qc/check_file.h"

namespace app {

struct CheckItem {
    std::uint32_t captionId;  // string-table id of the column caption
    std::u16string value;     // the expected value, as the main window shows it
    std::u16string_view key;  // key in both sections of a check file: the value's slot key
    std::int32_t enabled;     // non-zero: the item takes part in the check
    std::int32_t controlId;   // the main window's control (and the selection dialog's tick box)
    std::uint16_t columnWidth;
};

inline constexpr std::size_t kItemCount = device::kSlotCount;
using CheckItems = std::array<CheckItem, kItemCount>;

// The program-wide table: every value empty and every item disabled until a check file loads.
extern CheckItems checkItems;

// A fresh table as the program starts with it.
CheckItems MakeCheckItems();

// List items are shown in drop-down lists and stored in check files as entry indexes.
using qc::IsListItem;

enum Item : std::size_t {
    kItemCapMin = device::kSlotCapMin,
    kItemCapMax = device::kSlotCapMax,
};

}  // namespace app
