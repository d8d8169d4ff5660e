// The ordered entry lists of the main window's six drop-down controls, per user-interface language.
// Decoded indexes and a check file's stored indexes are read against them. Pure data, made from
// the entries that the resource scripts list too (device/selection_entries.h).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui_defs.h"

namespace device {

enum class Language { English, SimplifiedChinese, TraditionalChinese };

// A language as each layer names it: the tools' --lang value, the user-interface language whose
// resources the window takes, and the decoder's lists.
struct LanguageEntry {
    std::string_view option;
    ui::LANGID langId;
    Language language;
};

// Every language of the window and the tools, in the order they are tried and listed.
inline constexpr std::array<LanguageEntry, 3> kLanguages = {{
    {"en", ui::kLangEnglish, Language::English},
    {"zh-CN", ui::kLangSimplifiedChinese, Language::SimplifiedChinese},
    {"zh-TW", ui::kLangTraditionalChinese, Language::TraditionalChinese},
}};

// The entry of a --lang value; null for a name no language has.
const LanguageEntry* LanguageNamed(std::string_view option);
// The entry of a language.
const LanguageEntry& EntryOf(Language language);
// The --lang values joined by "|", as the usage lines list them.
std::string LanguageOptions();

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
