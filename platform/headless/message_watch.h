// Where the headless queue reports each message it gives a window (ui_message_watch.h).
#pragma once

#include "platform/ui.h"

namespace headless::detail {

using ui::HWND;
using ui::LPARAM;
using ui::UINT;
using ui::WPARAM;

void Watched(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool posted,
             bool fromOtherThread);

}  // namespace headless::detail
