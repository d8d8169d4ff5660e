// The check file (*.chk), read and written here alone: section "Value" with the expected value of
// each item (a list item's as the index of its entry, a text item's as the text) and section
// "Enable" with its flag, both keyed by the items' keys. The window puts what it reads into its
// controls and saves what they hold; the command line turns it into a setup the way those
// controls would.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "device/controller.h"
#include "device/selection_lists.h"
#include "qc/check_setup.h"

namespace qc {

// List items are shown in drop-down lists and stored as entry indexes; the rest are texts.
bool IsListItem(std::size_t item);

struct StoredCheck {
    EnabledFlags enabled{};                               // the low 8 bits of "Enable"
    std::array<int, device::kSlotCount> entry{};          // list items: "Value" as a number
    std::array<std::u16string, device::kSlotCount> text;  // text items: at most 49 characters
};

// Missing files, sections and keys give the defaults: nothing enabled, entry 0, empty texts. An
// empty path reads no file at all.
StoredCheck ReadCheckFile(const std::u16string& path);

// The same of a check file's text, decoded already (a file written in another station's code
// page): read as the profile functions read the file.
StoredCheck ReadCheckText(std::u16string_view text);
// Whether the text is a check file's: it has a "Value" or an "Enable" section.
bool IsCheckText(std::u16string_view text);

// Saves a check: for each item in index order its "Value" and then its "Enable" (so a new file
// holds "Value" first), keys that are there replaced where they stand. A list item's expected
// text is stored as the index of the first entry of its list in `lists` equal to it (case
// counts), or as it is when none is (nothing selected: empty). Write failures are not told.
void WriteCheckFile(const std::u16string& path, const EnabledFlags& enabled,
                    const std::array<std::u16string, device::kSlotCount>& expected,
                    const device::SelectionLists& lists);

// Whether the file is a check file at all: it has a "Value" or an "Enable" section.
bool IsCheckFile(const std::u16string& path);

// What the window's controls hold after loading `stored` with `lists` in its drop-downs: an entry
// beyond its list selects nothing, so its expected text is empty and Efs has no selection.
CheckSetup SetupFromCheckFile(const StoredCheck& stored, const device::SelectionLists& lists);

}  // namespace qc
