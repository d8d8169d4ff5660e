#include "qc/check_setup.h"

#include "platform/text.h"

namespace qc {

bool ItemMatches(const CheckSetup& setup, std::size_t item, std::u16string_view shown) {
    if (item >= device::kSlotCount)
        return false;
    switch (item) {
        case device::kSlotCapMin:
            return CapMinMatches(shown, setup.expected[item]);
        case device::kSlotCapMax:
            return CapMaxMatches(shown, setup.expected[item]);
        case device::kSlotEfs:
            return EfsMatches(shown, setup.efsSelection, static_cast<int>(setup.lists.efs.size()));
        default:
            // A to Z equal a to z; every other character must be the same.
            return platform::EqualsNoCase(shown, setup.expected[item]);
    }
}

std::vector<CheckedItem> CheckedItems(const EnabledFlags& enabled) {
    std::vector<CheckedItem> items;
    std::size_t column = 0;
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        if (enabled[i] == 0)
            continue;
        items.push_back({i, column});
        if (!(i == device::kSlotCapMin && enabled[device::kSlotCapMax] != 0))
            ++column;
    }
    return items;
}

std::u16string_view ShownText(std::u16string_view value) {
    constexpr std::size_t kCellText = 259;  // a cell read into 260 characters
    return value.substr(0, kCellText);
}

Verdict Judge(const CheckSetup& setup, const device::ValueSlots& values) {
    const std::vector<std::size_t> shown = ShownItems(setup.enabled);
    Verdict verdict;
    for (const CheckedItem& checked : CheckedItems(setup.enabled)) {
        // CapMax on CapMin's column reads what that column shows.
        if (!ItemMatches(setup, checked.item, ShownText(values[shown[checked.column]])))
            verdict.failed.push_back(checked.item);
    }
    verdict.pass = verdict.failed.empty();
    return verdict;
}

std::vector<std::size_t> FailedItems(const CheckSetup& setup, const device::ValueSlots& values) {
    return Judge(setup, values).failed;
}

}  // namespace qc
