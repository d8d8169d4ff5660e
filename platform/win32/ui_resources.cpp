// The Win32 backend of the class library: the executable's resources, the user-interface language.
#include <algorithm>

#include "platform/ui_resources.h"
#include "platform/win32/ui_internal.h"

namespace win32 {
namespace {

thread_local LANGID tUiLanguage = 0;  // 0: the platform's thread setting

// The resource functions take an ordinal type or name as MAKEINTRESOURCE.
struct ResName {
    explicit ResName(const platform::res::Name& name)
        : text(name.text.begin(), name.text.end()), ordinal(name.ordinal) {}
    const wchar_t* get() const { return text.empty() ? MAKEINTRESOURCEW(ordinal) : text.c_str(); }

    std::wstring text;
    WORD ordinal;
};

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<ui::LANGID>*>(languages)->push_back(language);
    return TRUE;
}

}  // namespace

HMODULE ResourceModule() {
    return GetModuleHandleW(nullptr);
}

void SetThreadUiLanguage(LANGID language) {
    tUiLanguage = language;
}

}  // namespace win32

namespace ui::res {

using namespace win32;

// https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-findresourceexw
platform::res::Bytes FindResourceData(const platform::res::Name& type, WORD name, LANGID language) {
    const HMODULE module = ResourceModule();
    const HRSRC found =
        FindResourceExW(module, ResName(type).get(), MAKEINTRESOURCEW(name), language);
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        return {};
    return {static_cast<const std::uint8_t*>(bytes), SizeofResource(module, found)};
}

// https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-enumresourcelanguagesw
std::vector<LANGID> ResourceLanguages(const platform::res::Name& type, WORD name) {
    std::vector<LANGID> languages;
    EnumResourceLanguagesW(ResourceModule(), ResName(type).get(), MAKEINTRESOURCEW(name),
                           AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    return languages;
}

}  // namespace ui::res

namespace ui {

using namespace win32;

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-loadiconw
HICON LoadIcon(UINT id) {
    return Ui(LoadIconW(ResourceModule(), MAKEINTRESOURCEW(id)));
}

// https://learn.microsoft.com/windows/win32/api/winnls/nf-winnls-getthreaduilanguage
LANGID GetUiLanguage() {
    return platform::res::ResourceLanguage(tUiLanguage != 0 ? tUiLanguage : GetThreadUILanguage());
}

}  // namespace ui
