// What a check goes by: the check configuration at one moment, as one value. The window builds it
// from its controls on its own thread when a row is added and at Run; the command line builds it
// from a check file. Pure data and rules: no window.
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

struct CheckSetup {
    EnabledFlags enabled{};
    // The expected texts; a list item's is its selected entry (empty: none).
    std::array<std::u16string, device::kSlotCount> expected;
    // The Efs drop-down at the moment of the check: its selection (-1: none).
    int efsSelection = -1;
    // The drop-down lists in the language in use: a block's indexes are decoded against them.
    device::SelectionLists lists;
    // The port map that places a disk on its station row (empty: none).
    std::u16string portFile;
    bool autoCheck = false;
};

// The item columns of the result list: a caption and a width per item, shown by the layout rule.
struct ItemColumns {
    EnabledFlags enabled{};
    std::array<std::u16string, device::kSlotCount> captions;
    std::array<int, device::kSlotCount> widths{};
};

// Whether a disk's value for `item`, as its cell shows it, meets the setup.
bool ItemMatches(const CheckSetup& setup, std::size_t item, std::u16string_view shown);

// Every enabled item in index order with the item column that shows it, counted from the first
// item column: CapMax shares CapMin's "Capacity" column when both are enabled.
struct CheckedItem {
    std::size_t item;
    std::size_t column;
};
std::vector<CheckedItem> CheckedItems(const EnabledFlags& enabled);

// The enabled items that a disk with `values` fails, in index order, each compared with what its
// column would show; none: PASS.
std::vector<std::size_t> FailedItems(const CheckSetup& setup, const device::ValueSlots& values);

}  // namespace qc
