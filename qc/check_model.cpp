#include "qc/check_model.h"

#include <algorithm>
#include <limits>

namespace qc {
namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Sign and magnitude of the leading number, saturated at 2^32 - 1.
std::uint64_t LeadingNumber(std::u16string_view text, bool* negative) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    *negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        *negative = text[i] == u'-';
        ++i;
    }
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = std::min<std::uint64_t>(value * 10 + (text[i] - u'0'), 0xFFFFFFFFull);
    }
    return value;
}

}  // namespace

std::size_t ColumnItemOf(const EnabledFlags& enabled, std::size_t item) {
    if (item == device::kSlotCapMax && enabled[device::kSlotCapMin] != 0)
        return device::kSlotCapMin;
    return item;
}

std::vector<std::size_t> ShownItems(const EnabledFlags& enabled) {
    std::vector<std::size_t> items;
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        if (enabled[i] != 0 && ColumnItemOf(enabled, i) == i)
            items.push_back(i);
    }
    return items;
}

std::vector<CheckedItem> CheckedItems(const EnabledFlags& enabled) {
    const std::vector<std::size_t> shown = ShownItems(enabled);
    std::vector<CheckedItem> items;
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        if (enabled[i] == 0)
            continue;
        const auto column = std::find(shown.begin(), shown.end(), ColumnItemOf(enabled, i));
        items.push_back({i, static_cast<std::size_t>(column - shown.begin())});
    }
    return items;
}

bool ColumnMarked(const EnabledFlags& enabled, std::size_t shownItem,
                  const std::array<std::int32_t, device::kSlotCount>& matches) {
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        // The column's own item, and any shown on it.
        const bool onColumn =
            i == shownItem || (enabled[i] != 0 && ColumnItemOf(enabled, i) == shownItem);
        if (onColumn && matches[i] == 0)
            return true;
    }
    return false;
}

std::size_t EfsEntryOf(std::uint32_t sectors, std::size_t entryCount) {
    std::uint32_t size = 0;  // T(k)
    for (std::size_t k = 0; k < entryCount; ++k) {
        const std::uint32_t step = k <= 8 ? 16384u : 32768u;  // nine small steps, not eight
        const std::uint32_t next = size + step;               // T(k + 1)
        if (sectors == size)
            return k;
        if (k + 1 < entryCount && sectors < next)
            return k;
        size = next;
    }
    return entryCount;
}

std::int32_t ParseSigned(std::u16string_view text) {
    bool negative = false;
    const std::uint64_t magnitude = LeadingNumber(text, &negative);
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, -kMax - 1, kMax));
}

std::uint32_t ParseUnsigned(std::u16string_view text) {
    bool negative = false;
    const auto magnitude = static_cast<std::uint32_t>(LeadingNumber(text, &negative));
    return negative ? 0u - magnitude : magnitude;
}

bool CapMinMatches(std::u16string_view shown, std::u16string_view expected) {
    return ParseSigned(shown) >= ParseSigned(expected);
}

bool CapMaxMatches(std::u16string_view shown, std::u16string_view expected) {
    return ParseSigned(shown) <= ParseSigned(expected);
}

bool EfsMatches(std::u16string_view shown, int selected, int entryCount) {
    if (selected < 0 || entryCount <= 0)
        return false;
    return EfsEntryOf(ParseUnsigned(shown), static_cast<std::size_t>(entryCount)) ==
           static_cast<std::size_t>(selected);
}

namespace {
constexpr std::size_t kMaxLetters = 10;  // 19 characters with their separators
}  // namespace

std::u16string VolText(const std::vector<std::u16string>& names) {
    std::u16string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += u'|';
        if (names.size() > kMaxLetters && i == kMaxLetters - 1) {
            text += u'\u2026';
            break;
        }
        text += names[i];
    }
    return text;
}

std::u16string VolText(std::u16string_view letters) {
    std::vector<std::u16string> names;
    for (const char16_t letter : letters)
        names.emplace_back(1, letter);
    return VolText(names);
}

}  // namespace qc
