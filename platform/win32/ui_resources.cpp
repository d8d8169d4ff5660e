// The Win32 backend of the class library: resources in the user-interface language.
#include "platform/win32/ui_internal.h"

namespace win32 {
namespace {

thread_local LANGID tUiLanguage = 0;  // 0: the platform's thread setting

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Entry `index` of a string-table block: sixteen counted strings, empty ones of length 0.
// https://learn.microsoft.com/windows/win32/menurc/stringtable-resource
std::u16string StringOfBlock(HRSRC resource, UINT index) {
    const HMODULE module = ResourceModule();
    const HGLOBAL loaded = LoadResource(module, resource);
    const auto* p = static_cast<const WCHAR*>(LockResource(loaded));
    if (p == nullptr)
        return {};
    const WCHAR* const end = p + SizeofResource(module, resource) / sizeof(WCHAR);
    for (UINT i = 0; p < end; ++i) {
        const std::size_t length = *p++;
        if (length > static_cast<std::size_t>(end - p))
            return {};
        if (i == index)
            return std::u16string(Ui(p), length);
        p += length;
    }
    return {};
}

}  // namespace

HMODULE ResourceModule() {
    return GetModuleHandleW(nullptr);
}

void SetThreadUiLanguage(LANGID language) {
    tUiLanguage = language;
}

HRSRC FindLocalizedResource(const wchar_t* type, const wchar_t* name) {
    const HMODULE module = ResourceModule();
    for (const LANGID language : {static_cast<LANGID>(ui::GetUiLanguage()), kEnglish}) {
        if (HRSRC found = FindResourceExW(module, type, name, language))
            return found;
    }
    return FindResourceW(module, name, type);
}

}  // namespace win32

namespace ui {

using namespace win32;

// Looked up in our order of languages (LoadStringW leaves the choice to the platform), string
// by string: an entry missing in one language comes from the next.
std::u16string LoadString(UINT id) {
    const HMODULE module = ResourceModule();
    const auto block = MAKEINTRESOURCEW((id >> 4) + 1);
    const UINT index = id & 15;
    for (const ::LANGID language : {static_cast<::LANGID>(GetUiLanguage()), kEnglish}) {
        if (HRSRC found = FindResourceExW(module, RT_STRING, block, language)) {
            std::u16string text = StringOfBlock(found, index);
            if (!text.empty())
                return text;
        }
    }
    if (HRSRC found = FindResourceW(module, block, RT_STRING))
        return StringOfBlock(found, index);
    return {};
}

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-loadiconw
HICON LoadIcon(UINT id) {
    return Ui(LoadIconW(ResourceModule(), MAKEINTRESOURCEW(id)));
}

// https://learn.microsoft.com/windows/win32/api/winnls/nf-winnls-getthreaduilanguage
// Our resources come in one Chinese of each script: Hong Kong and Macao read the Traditional
// ones, Singapore the Simplified ones.
LANGID GetUiLanguage() {
    if (tUiLanguage != 0)
        return tUiLanguage;
    const ::LANGID language = GetThreadUILanguage();
    if (PRIMARYLANGID(language) != LANG_CHINESE)
        return language;
    switch (SUBLANGID(language)) {
        case SUBLANG_CHINESE_TRADITIONAL:
        case SUBLANG_CHINESE_HONGKONG:
        case SUBLANG_CHINESE_MACAU:
            return kLangTraditionalChinese;
        default:
            return kLangSimplifiedChinese;
    }
}

}  // namespace ui
