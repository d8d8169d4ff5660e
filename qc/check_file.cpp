#include "qc/check_file.h"

#include "platform/profile.h"

namespace qc {

namespace {

constexpr std::size_t kValueBuffer = 50;

}  // namespace

bool IsListItem(std::size_t item) {
    static const device::SelectionLists kNone;
    return device::ListOfSlot(kNone, item) != nullptr;
}

StoredCheck ReadCheckFile(const std::u16string& path) {
    StoredCheck stored;
    if (path.empty())
        return stored;
    for (std::size_t i = 0; i < device::kSlotCount; ++i) {
        const std::u16string_view key = device::kSlotKeys[i];
        stored.enabled[i] = platform::GetProfileInt(u"Enable", key, 0, path) & 0xFF;
        if (IsListItem(i))
            stored.entry[i] = platform::GetProfileInt(u"Value", key, 0, path);
        else
            stored.text[i] = platform::GetProfileString(u"Value", key, u"", kValueBuffer, path);
    }
    return stored;
}

bool IsCheckFile(const std::u16string& path) {
    return platform::HasProfileSection(u"Value", path) ||
           platform::HasProfileSection(u"Enable", path);
}

CheckSetup SetupFromCheckFile(const StoredCheck& stored, const device::SelectionLists& lists) {
    CheckSetup setup;
    setup.enabled = stored.enabled;
    setup.lists = lists;
    for (std::size_t i = 0; i < device::kSlotCount; ++i) {
        const auto* list = device::ListOfSlot(lists, i);
        if (list == nullptr) {
            setup.expected[i] = stored.text[i];
            continue;
        }
        const int entry = stored.entry[i];
        const bool selected = entry >= 0 && static_cast<std::size_t>(entry) < list->size();
        setup.expected[i] = selected ? (*list)[static_cast<std::size_t>(entry)] : u"";
        if (i == device::kSlotEfs)
            setup.efsSelection = selected ? entry : -1;
    }
    return setup;
}

}  // namespace qc
