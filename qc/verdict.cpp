#include "qc/verdict.h"

#include "platform/text.h"

namespace qc {

bool ItemMatches(const CheckRules& rules, std::size_t item, std::u16string_view shown) {
    if (item >= device::kSlotCount)
        return false;
    switch (item) {
        case device::kSlotCapMin:
            return CapMinMatches(shown, rules.expected[item]);
        case device::kSlotCapMax:
            return CapMaxMatches(shown, rules.expected[item]);
        case device::kSlotEfs:
            return EfsMatches(shown, rules.efsSelection, static_cast<int>(rules.lists.efs.size()));
        default:
            // A to Z equal a to z; every other character must be the same.
            return platform::EqualsNoCase(shown, rules.expected[item]);
    }
}

std::u16string_view ShownText(std::u16string_view value) {
    constexpr std::size_t kCellText = 259;  // a cell read into 260 characters
    return value.substr(0, kCellText);
}

Verdict Judge(const CheckRules& rules, const device::ValueSlots& values) {
    const std::vector<std::size_t> shown = ShownItems(rules.enabled);
    Verdict verdict;
    for (const CheckedItem& checked : CheckedItems(rules.enabled)) {
        // CapMax on CapMin's column reads what that column shows.
        if (!ItemMatches(rules, checked.item, ShownText(values[shown[checked.column]])))
            verdict.failed.push_back(checked.item);
    }
    verdict.pass = verdict.failed.empty();
    return verdict;
}

std::vector<std::size_t> FailedItems(const CheckRules& rules, const device::ValueSlots& values) {
    return Judge(rules, values).failed;
}

}  // namespace qc
