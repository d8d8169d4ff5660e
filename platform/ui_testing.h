// What only tests ask of the window system, beyond what the system's windows use (ui.h) and what
// a program may ask of its host (ui_host.h). Implemented by both backends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_host.h"

namespace ui::testing {

// A top-level window of this process whose title is exactly `title`, or null.
HWND FindTopLevelWindow(std::u16string_view title);
// The window class name ("Button", "SysListView32", "#32770", ...).
std::u16string ClassName(HWND window);
// The id of the dialog template a dialog window was made from; 0 for other windows.
UINT DialogTemplateOf(HWND window);
// Moves the cursor to a screen position.
void SetCursorPos(POINT point);

// ---- Window state that only tests read

int GetDlgCtrlID(HWND window);
DWORD GetExStyle(HWND window);
bool IsWindowEnabled(HWND window);
void ClientToScreen(HWND window, POINT* point);
// True while part of the window awaits painting.
bool GetUpdateRect(HWND window, RECT* rect);
COLORREF GetTextColor(HDC dc);

int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int position);  // 0 for a separator
std::u16string GetMenuString(HMENU menu, int position);

// A list view's.
std::u16string GetColumnHeading(HWND list, int column);
int GetColumnWidth(HWND list, int column);
HIMAGELIST GetImageList(HWND list, int which);
bool EnsureVisible(HWND list, int row, bool partialOk);  // scrolls the row into view

// A tree view's.
bool ItemHasChildren(HWND tree, HTREEITEM item);
bool IsExpanded(HWND tree, HTREEITEM item);
HTREEITEM GetSelectedItem(HWND tree);
bool GetItemRect(HWND tree, HTREEITEM item, RECT* rect, bool textOnly);

// ---- File dialogs

struct FileDialogRequest {
    bool open = true;
    std::u16string filter;
    std::u16string defaultExtension;
    std::u16string fileName;
    DWORD flags = 0;
    HWND owner = nullptr;
};

// Answers for the next file dialogs, in order. Once a test has queued one (since the last
// Reset), every file dialog takes the next answer instead of showing, and one with no answer
// left is cancelled; until then the headless backend cancels and the Win32 one shows the
// platform's dialog.
void QueueFileDialogAnswer(std::u16string path);
void QueueFileDialogCancel();
// Every file dialog answered from the queue since the last Reset (all of them on headless), in
// order.
std::vector<FileDialogRequest> FileDialogRequests();

// ---- Error boxes

struct ErrorBox {
    std::u16string title;
    std::u16string text;
};
// From now until the next Reset, error boxes (ui::ShowError) are kept for ErrorBoxes() instead of
// shown; the headless backend keeps them always, and writes them to the standard error stream
// unless asked this.
void KeepErrorBoxes();
// The error boxes kept since the last Reset, in order.
std::vector<ErrorBox> ErrorBoxes();

// ---- Simulated input

// A key press: posts WM_KEYDOWN to the window's thread, as the keyboard would.
void PressKey(HWND window, UINT virtualKey);
// The user drags the divider of a list view's column to `width`: HDN_BEGINTRACKW to the list's
// parent (a nonzero answer stops it), the new width, HDN_ENDTRACKW. True when the column took
// the width.
bool TrackColumn(HWND list, int column, int width);

// ---- Between tests

// Destroys the calling thread's windows, empties its queue and its idle tasks, forgets
// file-dialog answers and requests and error boxes, puts the cursor at (0, 0) and the language back
// to English.
void Reset();

}  // namespace ui::testing
