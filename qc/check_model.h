// The rules by which a disk's values are laid out in columns and compared with the expected
// ones. Pure functions: no window, no device.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/controller.h"

namespace qc {

using EnabledFlags = std::array<std::int32_t, device::kSlotCount>;

// The "Capacity" column rule, the one place it is made: CapMax while CapMin is enabled has no
// column of its own, for both hold the disk's capacity; it is shown, judged and marked on
// CapMin's. The item whose column shows `item`: CapMin for such a CapMax, else `item` itself.
std::size_t ColumnItemOf(const EnabledFlags& enabled, std::size_t item);

// The column layout rule: the items that get a column, in column order. Every enabled item in
// index order but those shown on another's column (ColumnItemOf).
std::vector<std::size_t> ShownItems(const EnabledFlags& enabled);

// Every enabled item in index order with the item column that shows it, counted from the first
// item column.
struct CheckedItem {
    std::size_t item;
    std::size_t column;
};
std::vector<CheckedItem> CheckedItems(const EnabledFlags& enabled);

// Whether the cell of `shownItem`'s column is marked: an item it shows did not match (`matches`
// 0 by item).
bool ColumnMarked(const EnabledFlags& enabled, std::size_t shownItem,
                  const std::array<std::int32_t, device::kSlotCount>& matches);

// The entry of the Efs drop-down list (of `entryCount` entries) that an EFS size in 512-byte
// sectors maps to; `entryCount` when it maps to none. Entry k stands for T(k) sectors: T(0) = 0,
// then nine steps of 16384 (to T(9) = 147456) and steps of 32768 after (T(12) = 245760). A size
// equal to T(k), or below T(k + 1) where entry k + 1 exists, maps to entry k; so the last entry
// takes its exact size only.
std::size_t EfsEntryOf(std::uint32_t sectors, std::size_t entryCount);

// ---- The check rules: a disk's value as its cell shows it against the expected one.

// "%dMB" of both: the disk's capacity must not be below (CapMin) or above (CapMax) the bound.
bool CapMinMatches(std::u16string_view shown, std::u16string_view expected);
bool CapMaxMatches(std::u16string_view shown, std::u16string_view expected);
// The disk's EFS sector count ("%u") maps to the entry selected in the Efs drop-down (of
// `entryCount` entries); no selection (-1) never matches.
bool EfsMatches(std::u16string_view shown, int selected, int entryCount);

// The "Vol" cell: the drive letters joined by "|", at most 19 characters. Past ten letters the
// ninth is followed by "|" and an ellipsis, so the cell says that there are more.
std::u16string VolText(std::u16string_view letters);
// The same rule over volume names (Linux names volumes, "sdb1|sdb2"): at most ten names, past ten
// the ninth followed by "|" and an ellipsis.
std::u16string VolText(const std::vector<std::u16string>& names);

// "%d" of a capacity text such as "3814MB": leading white space, a sign, the leading digits;
// 0 without digits.
std::int32_t ParseSigned(std::u16string_view text);
// "%u": as above, unsigned; a minus sign negates modulo 2^32.
std::uint32_t ParseUnsigned(std::u16string_view text);

}  // namespace qc
