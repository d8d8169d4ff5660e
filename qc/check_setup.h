// What a check goes by: the check configuration at one moment, as one value, and the one verdict
// of a disk against it. The window builds it from its controls once per scan and at Run (the Efs
// selection at each check); the command line builds it from a check file. Pure data and rules:
// no window.
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
    // The check file the expected values came from, its path as the settings store it: below the
    // program's folder relative to it (empty: none). The records name it.
    std::u16string checkFile;
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

// A value as its cell shows it: the list gives back at most 259 characters of a cell.
std::u16string_view ShownText(std::u16string_view value);

struct Verdict {
    bool pass = true;
    std::vector<std::size_t> failed;  // the enabled items that failed, in index order
};

// A disk's verdict: every enabled item compared, as its column shows the disk's `values`, with
// the setup. The window's Run and Auto Check and tavrin-check all judge here.
Verdict Judge(const CheckSetup& setup, const device::ValueSlots& values);

// Judge's failed items; none: PASS.
std::vector<std::size_t> FailedItems(const CheckSetup& setup, const device::ValueSlots& values);

}  // namespace qc
