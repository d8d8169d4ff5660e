// What a program may ask of its host beyond its own windows: its arguments, an error box, the
// user-interface language, a task for the next idle moment, the top-level windows. Implemented
// by both backends.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui_defs.h"

namespace ui {

// The program's arguments after its own name; none on the headless backend.
std::vector<std::u16string> ProgramArguments();
// A message box with an OK button and an error icon, owned by no window; the headless backend
// writes the text to the standard error stream instead.
void ShowError(std::u16string_view title, std::u16string_view text);
// Makes the calling thread's user-interface language `language` (resources, strings).
void SetUiLanguage(LANGID language);
// Runs `task` once, on the calling thread, the next time one of the class library's loops
// (RunMessageLoop, a modal dialog's) finds nothing to do: no sent, posted or paint message. A
// way to act inside a modal dialog.
void WhenIdle(std::function<void()> task);
// Top-level windows of this process, in creation order.
std::vector<HWND> TopLevelWindows();

}  // namespace ui
