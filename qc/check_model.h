// The rules by which a disk's values are laid out in columns and compared with the expected
// ones. Pure functions: no window, no device.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "device/controller.h"

namespace qc {

using EnabledFlags = std::array<std::int32_t, device::kSlotCount>;

// The column layout rule: the items that get a column, in column order. Every enabled item in
// index order, except CapMax while CapMin is enabled: both hold the disk's capacity, so one
// "Capacity" column serves both.
std::vector<std::size_t> ShownItems(const EnabledFlags& enabled);

// The entry of the Efs drop-down list (of `entryCount` entries) that an EFS size in 512-byte
// sectors maps to; `entryCount` when it maps to none. Entries stand for 0, 8, 16, ... 72 MB
// (steps of 16384 sectors) and then 80, 96, ... MB (steps of 32768); a size between two
// entries maps to the lower one, and only the last entry's exact size maps to it.
std::size_t EfsEntryOf(std::uint32_t sectors, std::size_t entryCount);

// "%d" of a capacity text such as "3814MB": leading white space, a sign, the leading digits;
// 0 without digits.
std::int32_t ParseSigned(std::u16string_view text);
// "%u": as above, unsigned; a minus sign negates modulo 2^32.
std::uint32_t ParseUnsigned(std::u16string_view text);

}  // namespace qc
