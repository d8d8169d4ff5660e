// What tests and the demo need of the window system beyond what the system's windows use.
// Implemented by both backends.
#pragma once

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

}  // namespace ui::testing
