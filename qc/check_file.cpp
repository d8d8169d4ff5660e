#include "qc/check_file.h"

#include <algorithm>

#include "platform/ini.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace qc {

namespace {

constexpr std::size_t kValueBuffer = 50;
constexpr char16_t kValue[] = u"Value";
constexpr char16_t kEnable[] = u"Enable";

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
        stored.enabled[i] = platform::GetProfileInt(kEnable, key, 0, path) & 0xFF;
        if (IsListItem(i))
            stored.entry[i] = platform::GetProfileInt(kValue, key, 0, path);
        else
            stored.text[i] = platform::GetProfileString(kValue, key, u"", kValueBuffer, path);
    }
    return stored;
}

StoredCheck ReadCheckText(std::u16string_view text) {
    StoredCheck stored;
    for (std::size_t i = 0; i < device::kSlotCount; ++i) {
        const std::u16string_view key = device::kSlotKeys[i];
        stored.enabled[i] = static_cast<int>(platform::ini::GetInt(text, kEnable, key, 0)) & 0xFF;
        if (IsListItem(i))
            stored.entry[i] = static_cast<int>(platform::ini::GetInt(text, kValue, key, 0));
        else
            stored.text[i] = platform::ini::GetString(text, kValue, key, u"", kValueBuffer);
    }
    return stored;
}

bool IsCheckText(std::u16string_view text) {
    return platform::ini::HasSection(text, kValue) || platform::ini::HasSection(text, kEnable);
}

void WriteCheckFile(const std::u16string& path, const EnabledFlags& enabled,
                    const std::array<std::u16string, device::kSlotCount>& expected,
                    const device::SelectionLists& lists) {
    for (std::size_t i = 0; i < device::kSlotCount; ++i) {
        std::u16string stored = expected[i];
        if (const auto* list = device::ListOfSlot(lists, i); list != nullptr) {
            const auto at = std::find(list->begin(), list->end(), stored);
            if (at != list->end())
                stored = platform::DecimalText(at - list->begin());
        }
        const std::u16string_view key = device::kSlotKeys[i];
        platform::WriteProfileString(kValue, key, stored, path);
        platform::WriteProfileString(kEnable, key, platform::DecimalText(enabled[i]), path);
    }
}

bool IsCheckFile(const std::u16string& path) {
    return platform::HasProfileSection(kValue, path) || platform::HasProfileSection(kEnable, path);
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
