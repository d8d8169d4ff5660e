#include "device/selection_lists.h"

#include "device/controller.h"
#include "device/selection_entries.h"

// A UTF-8 entry as UTF-16: an unprefixed literal joined to u"" takes the prefix.
#define TAVRIN_U16_ENTRY(text) u"" text
#define TAVRIN_LISTS(LANG)                                                                      \
    SelectionLists {                                                                            \
        {TAVRIN_FREQ_##LANG(TAVRIN_U16_ENTRY)}, {TAVRIN_FREQ_##LANG(TAVRIN_U16_ENTRY)},         \
            {TAVRIN_ON_OFF_##LANG(TAVRIN_U16_ENTRY)}, {TAVRIN_ON_OFF_##LANG(TAVRIN_U16_ENTRY)}, \
            {TAVRIN_BLINK_##LANG(TAVRIN_U16_ENTRY)}, {TAVRIN_EFS(TAVRIN_U16_ENTRY)},            \
    }

namespace device {

const SelectionLists& SelectionListsFor(Language language) {
    static const SelectionLists english = TAVRIN_LISTS(EN);
    static const SelectionLists simplified = TAVRIN_LISTS(ZH_CN);
    static const SelectionLists traditional = TAVRIN_LISTS(ZH_TW);
    switch (language) {
        case Language::SimplifiedChinese:
            return simplified;
        case Language::TraditionalChinese:
            return traditional;
        case Language::English:
            break;
    }
    return english;
}

const LanguageEntry* LanguageNamed(std::string_view option) {
    for (const LanguageEntry& entry : kLanguages) {
        if (entry.option == option)
            return &entry;
    }
    return nullptr;
}

// Each language's row sits at its value, so that EntryOf is an index.
static_assert([] {
    for (std::size_t i = 0; i < kLanguages.size(); ++i) {
        if (static_cast<std::size_t>(kLanguages[i].language) != i)
            return false;
    }
    return true;
}());

const LanguageEntry& EntryOf(Language language) {
    return kLanguages.at(static_cast<std::size_t>(language));
}

std::string LanguageOptions() {
    std::string names;
    for (const LanguageEntry& entry : kLanguages)
        names += (names.empty() ? "" : "|") + std::string(entry.option);
    return names;
}

const std::vector<std::u16string>* ListOfSlot(const SelectionLists& lists, std::size_t slot) {
    switch (slot) {
        case kSlotRFreq:
            return &lists.rFreq;
        case kSlotWFreq:
            return &lists.wFreq;
        case kSlotIdle:
            return &lists.idle;
        case kSlotSleep:
            return &lists.sleep;
        case kSlotBlink:
            return &lists.blink;
        case kSlotEfs:
            return &lists.efs;
        default:
            return nullptr;
    }
}

}  // namespace device
