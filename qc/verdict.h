// The one verdict of a disk: its values, as their cells show them, against what the check
// expects. The window's Run and Auto Check, tavrin-check and tavrin-report's --check all judge
// here. Pure rules: no window, no device.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "device/controller.h"
#include "device/selection_lists.h"
#include "qc/check_model.h"

namespace qc {

// What a verdict reads: the check configuration's items and expected values.
struct CheckRules {
    EnabledFlags enabled{};
    // The expected texts; a list item's is its selected entry (empty: none).
    std::array<std::u16string, device::kSlotCount> expected;
    // The Efs drop-down at the moment of the check: its selection (-1: none).
    int efsSelection = -1;
    // The drop-down lists in the language in use: the Efs selection is read against its list,
    // and a block's indexes are decoded against them.
    device::SelectionLists lists;
};

struct Verdict {
    bool pass = true;
    std::vector<std::size_t> failed;  // the enabled items that failed, in index order
};

// Whether a disk's value for `item`, as its cell shows it, meets the rules.
bool ItemMatches(const CheckRules& rules, std::size_t item, std::u16string_view shown);

// A value as its cell shows it: the list gives back at most 259 characters of a cell.
std::u16string_view ShownText(std::u16string_view value);

// A disk's verdict: every enabled item compared, as its column shows the disk's `values`, with
// the rules.
Verdict Judge(const CheckRules& rules, const device::ValueSlots& values);

// Judge's failed items; none: PASS.
std::vector<std::size_t> FailedItems(const CheckRules& rules, const device::ValueSlots& values);

}  // namespace qc
