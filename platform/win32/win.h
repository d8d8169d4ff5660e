// The platform headers as the Win32 backend of the class library sees them. Our header comes
// first: its constants (WM_CREATE, IDOK, ...) are declared before the platform's macros of the
// same names exist. Afterwards those names are the platform's macros (same values; checked in
// ui_checks.cpp), and the function-name macros that collide with our methods are gone.
#pragma once

#include "platform/ui.h"
#include "platform/ui_testing.h"

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

// Our methods of these names must not become their ...W versions.
#undef AppendMenu
#undef CreateDialog
#undef CreateWindow
#undef DefWindowProc
#undef DrawText
#undef FindWindow
#undef GetClassName
#undef GetMenuString
#undef GetWindowText
#undef LoadIcon
#undef LoadString
#undef NMHEADER  // our structure of that name; the platform's is NMHEADERW
#undef PostMessage
#undef SendMessage
#undef SetWindowText

namespace win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// Our opaque handles are the platform's, reinterpreted.
inline ::HWND Native(ui::HWND h) {
    return reinterpret_cast<::HWND>(h);
}
inline ::HDC Native(ui::HDC h) {
    return reinterpret_cast<::HDC>(h);
}
inline ::HICON Native(ui::HICON h) {
    return reinterpret_cast<::HICON>(h);
}
inline ::HFONT Native(ui::HFONT h) {
    return reinterpret_cast<::HFONT>(h);
}
inline ::HBITMAP Native(ui::HBITMAP h) {
    return reinterpret_cast<::HBITMAP>(h);
}
inline ::HMENU Native(ui::HMENU h) {
    return reinterpret_cast<::HMENU>(h);
}
inline ::HTREEITEM Native(ui::HTREEITEM h) {
    return reinterpret_cast<::HTREEITEM>(h);
}
inline ::HIMAGELIST Native(ui::HIMAGELIST h) {
    return reinterpret_cast<::HIMAGELIST>(h);
}
// Same layout: pinned in ui_checks.cpp.
inline ::RECT* Native(ui::RECT* r) {
    return reinterpret_cast<::RECT*>(r);
}
inline const ::RECT* Native(const ui::RECT* r) {
    return reinterpret_cast<const ::RECT*>(r);
}
inline ::POINT* Native(ui::POINT* p) {
    return reinterpret_cast<::POINT*>(p);
}
inline const wchar_t* Native(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* Native(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}

inline ui::HWND Ui(::HWND h) {
    return reinterpret_cast<ui::HWND>(h);
}
inline ui::HDC Ui(::HDC h) {
    return reinterpret_cast<ui::HDC>(h);
}
inline ui::HICON Ui(::HICON h) {
    return reinterpret_cast<ui::HICON>(h);
}
inline ui::HFONT Ui(::HFONT h) {
    return reinterpret_cast<ui::HFONT>(h);
}
inline ui::HBITMAP Ui(::HBITMAP h) {
    return reinterpret_cast<ui::HBITMAP>(h);
}
inline ui::HMENU Ui(::HMENU h) {
    return reinterpret_cast<ui::HMENU>(h);
}
inline ui::HTREEITEM Ui(::HTREEITEM h) {
    return reinterpret_cast<ui::HTREEITEM>(h);
}
inline ui::HIMAGELIST Ui(::HIMAGELIST h) {
    return reinterpret_cast<ui::HIMAGELIST>(h);
}
inline const char16_t* Ui(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}

}  // namespace win32
