// The Win32 backend of what tests and the demo ask of the window system.
#include <algorithm>
#include <vector>

#include "platform/win32/ui_internal.h"

namespace ui::testing {

using namespace win32;

namespace {

// Windows the platform makes for itself: input-method windows, and the parts that controls
// create as top-level windows (tooltips, a drop-down list's list box).
bool IsHelperWindow(::HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    for (const wchar_t* helper : {L"IME", L"MSCTFIME UI", L"tooltips_class32", L"ComboLBox"}) {
        if (lstrcmpiW(name, helper) == 0)
            return true;
    }
    return false;
}

BOOL CALLBACK CollectOurs(::HWND window, ::LPARAM found) {
    ::DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && !IsHelperWindow(window))
        reinterpret_cast<std::vector<::HWND>*>(found)->push_back(window);
    return TRUE;
}

UINT_PTR SequenceOf(::HWND window) {
    return reinterpret_cast<UINT_PTR>(GetPropW(window, kSequenceProperty));
}

}  // namespace

// Our windows carry their place in creation order; others get theirs when first seen, the
// bottom of the Z order (the oldest, mostly) first.
std::vector<HWND> TopLevelWindows() {
    std::vector<::HWND> found;
    EnumWindows(CollectOurs, reinterpret_cast<LPARAM>(&found));
    for (auto w = found.rbegin(); w != found.rend(); ++w)
        Sequence(*w);
    std::stable_sort(found.begin(), found.end(),
                     [](::HWND a, ::HWND b) { return SequenceOf(a) < SequenceOf(b); });
    std::vector<HWND> windows;
    windows.reserve(found.size());
    for (::HWND w : found)
        windows.push_back(Ui(w));
    return windows;
}

// The title is read without a message: the window's thread may be busy.
HWND FindTopLevelWindow(std::u16string_view title) {
    for (HWND window : TopLevelWindows()) {
        std::u16string text(title.size() + 2, u'\0');
        const int length = InternalGetWindowText(Native(window), Native(text.data()),
                                                 static_cast<int>(text.size()));
        if (length >= 0 && static_cast<std::size_t>(length) == title.size() &&
            std::u16string_view(text.data(), title.size()) == title) {
            return window;
        }
    }
    return nullptr;
}

std::u16string ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(Native(window), name, 256);
    return std::u16string(Ui(name), static_cast<std::size_t>(length > 0 ? length : 0));
}

UINT DialogTemplateOf(HWND window) {
    return static_cast<UINT>(
        reinterpret_cast<UINT_PTR>(GetPropW(Native(window), kTemplateProperty)));
}

HWND GetFocus() {
    return Ui(::GetFocus());
}

// The platform's setting too, for whatever else honours it.
void SetUiLanguage(LANGID language) {
    SetThreadUiLanguage(language);
    SetThreadUILanguage(language);
}

void SetCursorPos(POINT point) {
    ::SetCursorPos(point.x, point.y);
}

}  // namespace ui::testing
