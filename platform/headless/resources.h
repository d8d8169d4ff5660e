// The resource script as tables: what the headless backend builds dialogs and strings from. A
// build step turns each executable's .rc files into one generated source that defines
// `headless::res::kResources`; both backends therefore see the same ids, texts and styles.
#pragma once

#include <span>
#include <string_view>

#include "platform/ui_defs.h"

namespace headless::res {

struct Control {
    std::u16string_view className;  // "Button", "Edit", "ComboBox", "Static", "SysListView32", ...
    std::u16string_view text;
    int id;
    ui::DWORD style;  // as the resource compiler computes it, WS_CHILD | WS_VISIBLE included
    ui::DWORD exStyle;
    ui::RECT rect;  // dialog units: left, top, right = left + width, bottom = top + height
};

struct Dialog {
    ui::UINT id;
    ui::LANGID language;
    std::u16string_view caption;
    std::u16string_view fontName;
    int pointSize;
    ui::DWORD style;
    ui::DWORD exStyle;
    ui::RECT rect;  // dialog units
    std::span<const Control> controls;
};

struct String {
    ui::UINT id;
    ui::LANGID language;
    std::u16string_view text;
};

// Initial entries of a dialog's drop-down lists, in order.
struct ListEntry {
    ui::UINT dialogId;
    ui::LANGID language;
    int controlId;
    std::u16string_view text;
};

struct Icon {
    ui::UINT id;
    int width;
    int height;
};

struct Resources {
    std::span<const Dialog> dialogs;
    std::span<const String> strings;
    std::span<const ListEntry> listEntries;
    std::span<const Icon> icons;
};

// Defined by the generated source of each executable.
extern const Resources kResources;

// Lookups with the platform's language fallback: the exact language, then English (0x0409),
// then any. Null / empty when there is no such resource.
const Dialog* FindDialog(ui::UINT id, ui::LANGID language);
const String* FindString(ui::UINT id, ui::LANGID language);

}  // namespace headless::res
