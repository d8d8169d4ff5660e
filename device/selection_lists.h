// The ordered entry lists of the main window's six drop-down controls, per user-interface language.
// Decoded indexes and a check file's stored indexes are read against them. Pure data, made from
// the entries that the resource scripts list too (device/selection_entries.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace device {

enum class Language { English, SimplifiedChinese, TraditionalChinese };

struct SelectionLists {
    std::vector<std::u16string> rFreq;  // control 1043, slot 5
    std::vector<std::u16string> wFreq;  // control 1044, slot 6
    std::vector<std::u16string> idle;   // control 1036, slot 7
    std::vector<std::u16string> sleep;  // control 1056, slot 8
    std::vector<std::u16string> blink;  // control 1037, slot 9
    std::vector<std::u16string> efs;    // control 1053, slot 13: not used in decoding
};

const SelectionLists& SelectionListsFor(Language language);

// The list of a drop-down item (slots 5 to 9 and 13), or null for an item of another kind.
const std::vector<std::u16string>* ListOfSlot(const SelectionLists& lists, std::size_t slot);

}  // namespace device
