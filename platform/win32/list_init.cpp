#include "platform/win32/list_init.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <span>

#include "platform/bytes.h"

namespace win32 {

namespace {

constexpr const wchar_t* kType = L"LISTENTRIES";

HRSRC Find(UINT dialogId, LANGID language) {
    return FindResourceExW(nullptr, kType, MAKEINTRESOURCEW(dialogId), language);
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    *reinterpret_cast<int*>(found) = language;
    return FALSE;
}

std::u16string FromUtf8(const char* text, int size) {
    if (size == 0)
        return {};
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, size, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(units), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, size, reinterpret_cast<wchar_t*>(out.data()), units);
    return out;
}

// The resource's data as entries; nothing when it is malformed (no closing 0, a text without its
// 0 byte, bytes after the end).
std::optional<ListEntries> DecodeListEntries(std::span<const unsigned char> data) {
    ListEntries entries;
    platform::ByteReader r(data);
    for (;;) {
        const int id = r.U16Le();
        if (!r.Ok())
            return std::nullopt;
        if (id == 0)
            break;
        const auto rest = data.subspan(r.Offset());
        const auto end = std::find(rest.begin(), rest.end(), 0);
        if (end == rest.end())
            return std::nullopt;
        const auto text = r.Bytes(static_cast<std::size_t>(end - rest.begin()));
        r.Skip(1);
        entries.emplace_back(id, FromUtf8(reinterpret_cast<const char*>(text.data()),
                                          static_cast<int>(text.size())));
    }
    if (r.Remaining() != 0)
        return std::nullopt;
    return entries;
}

}  // namespace

// https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-findresourceexw
ListEntries ReadListEntries(ui::UINT dialogId, ui::LANGID language) {
    HRSRC found = Find(dialogId, language);
    if (!found)
        found = Find(dialogId, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found) {
        int any = -1;  // the neutral language is 0
        EnumResourceLanguagesW(nullptr, kType, MAKEINTRESOURCEW(dialogId), FirstLanguage,
                               reinterpret_cast<LONG_PTR>(&any));
        if (any >= 0)
            found = Find(dialogId, static_cast<LANGID>(any));
    }
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return {};
    const auto size = static_cast<std::size_t>(SizeofResource(nullptr, found));
    return DecodeListEntries({static_cast<const unsigned char*>(bytes), size})
        .value_or(ListEntries{});
}

}  // namespace win32
