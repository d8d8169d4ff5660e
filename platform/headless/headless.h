// What tests can reach of the headless window system beyond ui.h and ui_testing.h: the recorded
// painting of each window, window state, and simulated mouse input.
//
// Units and fixed values of this backend:
//  - 96 DPI. Dialog units convert with base units 6 x 13 pixels: x * 6 / 4, y * 13 / 8.
//  - A font of P points is MulDiv(P, 96, 72) pixels high; a line of text takes that plus 2, a
//    character below U+2E80 is half the height wide (rounded up), a wider (CJK) one height + 1.
//    The default font is "MS Shell Dlg" 8 pt: 11 pixels, 13 per line, 6 per character.
//  - Non-client area: caption 23 pixels, dialog frame 3, thin border 1, client edge 2.
//  - System colours: see ui::GetSysColor in drawing.cpp (COLOR_HIGHLIGHT is RGB(0, 120, 215)).
//  - List view: header height = line height + 8; row height = max(line height, small image
//    list height) + 1. Tree view: rows line height + 3 apart (an item's rectangle leaves out the
//    last pixel row), indent 19, check boxes 13 wide once the tree has painted.
#pragma once

#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_testing.h"

namespace headless {

// ---- Painting

struct TextRecord {
    std::u16string text;
    ui::RECT rect;  // as given to DrawText
    ui::COLORREF color;
    ui::UINT format;
    ui::HFONT font;
    int bkMode;
    ui::COLORREF bkColor;
};

struct IconRecord {
    ui::HICON icon;
    ui::RECT rect;
};

// The window's canvas (client coordinates). Pixels outside the canvas read as 0xFFFFFFFF.
ui::COLORREF Pixel(ui::HWND window, int x, int y);
std::vector<TextRecord> Texts(ui::HWND window);
std::vector<IconRecord> Icons(ui::HWND window);
ui::SIZE CanvasSize(ui::HWND window);
// The same for a bitmap (a memory context's surface).
ui::COLORREF BitmapPixel(ui::HBITMAP bitmap, int x, int y);
std::vector<TextRecord> BitmapTexts(ui::HBITMAP bitmap);

struct FontInfo {
    std::u16string face;
    int pointSize = 0;
};
FontInfo DescribeFont(ui::HFONT font);
ui::UINT IconId(ui::HICON icon);  // the resource id LoadIcon was given; 0 for none

// ---- Window state

struct WindowInfo {
    std::u16string className;
    std::u16string text;
    int id = 0;
    ui::DWORD style = 0;
    ui::DWORD exStyle = 0;
    ui::RECT windowRect{};  // screen coordinates
    ui::RECT clientRect{};  // screen coordinates
    ui::HWND parent = nullptr;
    ui::HWND owner = nullptr;
};
// Empty class name for a window that does not exist.
WindowInfo Describe(ui::HWND window);
std::vector<ui::HWND> Children(ui::HWND window);
// True while part of the window awaits painting.
bool HasUpdateRegion(ui::HWND window);
// True while the image list exists: a list view without LVS_SHAREIMAGELISTS destroys its own
// when it goes, and destroying one twice stops the program.
bool ImageListExists(ui::HIMAGELIST list);

// ---- Simulated input

// A left click at a client position: moves the cursor there, then sends WM_LBUTTONDOWN and
// WM_LBUTTONUP to the window.
void Click(ui::HWND window, ui::POINT clientPoint);
// The user picks an entry of a drop-down list: selection, then CBN_SELCHANGE to the parent.
void ChooseComboItem(ui::HWND combo, int index);

// ---- Faults

// The next `count` `message`s that reach `window` get 0 and nothing else, as from a control that
// refuses a request (LVM_DELETECOLUMN, say); those after them are handled again. A count of 0
// ends the refusals at once.
void RefuseMessages(ui::HWND window, ui::UINT message, int count);

}  // namespace headless
