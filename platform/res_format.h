// The resource compiler's output read back: the .res container, dialog templates, string-table
// blocks, icon groups and our drop-down entries, plus the order in which languages are tried.
// A model with no OS dependency: the headless backend reads its embedded .res files with it and
// the Win32 backend the bytes the platform's resource functions hand out. Every read is bounds-
// checked; malformed bytes give nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui_defs.h"

namespace platform::res {

using Bytes = std::span<const std::uint8_t>;

// A resource type or name: an ordinal, or a string when `text` is not empty.
struct Name {
    std::uint16_t ordinal = 0;
    std::u16string text;

    bool operator==(const Name&) const = default;
};

inline Name Ordinal(std::uint16_t ordinal) {
    return {ordinal, {}};
}

inline constexpr std::uint16_t kTypeDialog = 5;
inline constexpr std::uint16_t kTypeString = 6;
inline constexpr std::uint16_t kTypeGroupIcon = 14;

// Drop-down entries: a dialog template cannot hold them, so each dialog with drop-down lists has a
// resource of this type with the dialog's id, in each language of the dialog. Its data is a
// sequence of records, then a 16-bit 0:
//     16-bit control id (little-endian), the entry's text in UTF-8, one 0 byte
// one record per entry, entries in list order. UTF-8 because windres stores narrow strings of raw
// data byte for byte but garbles non-ASCII text in L"..." strings. A string table would not do:
// its 16-bit ids cannot name both the dialog and the control.
inline constexpr char16_t kTypeListEntries[] = u"LISTENTRIES";

// One resource of a .res file; `data` points into the file's bytes.
struct Entry {
    Name type;
    Name name;
    ui::LANGID language = 0;
    Bytes data;
};

// Every resource of a .res file (or of several, one after the other), in file order; nothing when
// the bytes are not such a file.
// https://learn.microsoft.com/windows/win32/menurc/resourceheader
std::optional<std::vector<Entry>> ReadResFile(Bytes file);

struct DialogItem {
    std::u16string className;  // the predefined ordinals by name: "Button", "Edit", ...
    std::u16string text;       // an ordinal as "#<number>" (the icon of an SS_ICON static)
    int id = 0;
    ui::DWORD style = 0;
    ui::DWORD exStyle = 0;
    ui::RECT rect;  // dialog units: right = left + width, bottom = top + height
};

struct DialogTemplate {
    std::u16string caption;
    std::u16string fontName;  // with DS_SETFONT only
    int pointSize = 0;
    ui::DWORD style = 0;
    ui::DWORD exStyle = 0;
    ui::RECT rect;  // dialog units
    std::vector<DialogItem> items;
};

// A DLGTEMPLATEEX or a plain DLGTEMPLATE with its items.
// https://learn.microsoft.com/windows/win32/dlgbox/dlgtemplateex
// https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-dlgtemplate
std::optional<DialogTemplate> DecodeDialog(Bytes data);

// The sixteen strings of a string-table block (block n holds ids 16 (n - 1) to 16 n - 1); empty
// ones are missing. A block that ends early lacks the rest.
// https://learn.microsoft.com/windows/win32/menurc/stringtable-resource
std::optional<std::vector<std::u16string>> DecodeStringBlock(Bytes data);

inline ui::WORD StringBlockOf(ui::UINT id) {
    return static_cast<ui::WORD>((id >> 4) + 1);
}

struct IconSize {
    int width = 0;
    int height = 0;
};

// The images of an icon group (GRPICONDIR), in directory order; 0 in a size byte means 256.
std::optional<std::vector<IconSize>> DecodeIconGroup(Bytes data);

using ListEntries = std::vector<std::pair<int, std::u16string>>;

// (control id, text) in list order.
std::optional<ListEntries> DecodeListEntries(Bytes data);

// The language whose resources serve a user-interface language: ours come in one Chinese of each
// script, so Hong Kong and Macao read the Traditional ones (as Taiwan does) and every other
// Chinese region the Simplified ones. Other languages stay as they are.
ui::LANGID ResourceLanguage(ui::LANGID uiLanguage);

// Tries `find(language)` for the user-interface language, then English (0x0409), then every
// other language of `available` in its order; the first result that holds a value wins.
template <class Find>
auto FindInLanguageOrder(ui::LANGID uiLanguage, std::span<const ui::LANGID> available, Find find)
    -> decltype(find(ui::LANGID{})) {
    const ui::LANGID first = ResourceLanguage(uiLanguage);
    if (auto found = find(first))
        return found;
    if (first != ui::kLangEnglish) {
        if (auto found = find(ui::kLangEnglish))
            return found;
    }
    for (const ui::LANGID language : available) {
        if (language == first || language == ui::kLangEnglish)
            continue;
        if (auto found = find(language))
            return found;
    }
    return {};
}

}  // namespace platform::res
