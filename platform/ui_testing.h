// What tests and the demo need of the window system beyond what the system's windows use.
// Implemented by both backends.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

namespace ui::testing {

// Top-level windows of this process, in creation order.
std::vector<HWND> TopLevelWindows();
// A top-level window of this process whose title is exactly `title`, or null.
HWND FindTopLevelWindow(std::u16string_view title);
// The window class name ("Button", "SysListView32", "#32770", ...).
std::u16string ClassName(HWND window);
// The id of the dialog template a dialog window was made from; 0 for other windows.
UINT DialogTemplateOf(HWND window);
HWND GetFocus();
// Makes the calling thread's user-interface language `language` (resources, strings).
void SetUiLanguage(LANGID language);
// Moves the cursor to a screen position.
void SetCursorPos(POINT point);

// The program's arguments after its own name; none on the headless backend.
std::vector<std::u16string> ProgramArguments();
// A message box with an OK button and an error icon, owned by no window; the headless backend
// writes the text to the standard error stream instead.
void ShowError(std::u16string_view title, std::u16string_view text);

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

// ---- The calling thread's message loops

// Runs `task` once, on the calling thread, the next time one of the class library's loops
// (RunMessageLoop, a modal dialog's) finds nothing to do: no sent, posted or paint message. A
// way to act inside a modal dialog.
void WhenIdle(std::function<void()> task);

// ---- Simulated input

// A key press: posts WM_KEYDOWN to the window's thread, as the keyboard would.
void PressKey(HWND window, UINT virtualKey);
// The user drags the divider of a list view's column to `width`: HDN_BEGINTRACKW to the list's
// parent (a nonzero answer stops it), the new width, HDN_ENDTRACKW. True when the column took
// the width.
bool TrackColumn(HWND list, int column, int width);

// ---- Between tests

// Destroys the calling thread's windows, empties its queue and its idle tasks, forgets
// file-dialog answers and requests, puts the cursor at (0, 0) and the language back to English.
void Reset();

}  // namespace ui::testing
