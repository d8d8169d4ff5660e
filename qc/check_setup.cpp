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

std::vector<std::size_t> FailedItems(const CheckSetup& setup, const device::ValueSlots& values) {
    const std::vector<std::size_t> shown = ShownItems(setup.enabled);
    std::vector<std::size_t> failed;
    for (const CheckedItem& checked : CheckedItems(setup.enabled)) {
        if (!ItemMatches(setup, checked.item, values[shown[checked.column]]))
            failed.push_back(checked.item);
    }
    return failed;
}

}  // namespace qc
