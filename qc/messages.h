// The private window messages of the main window.
#pragma once

#include "platform/ui_defs.h"

namespace qc {

// A check bar was clicked: select the row under the cursor. Sent by the bar.
inline constexpr ui::UINT kMsgBarClicked = ui::WM_USER + 1;
// A scan found a supported disk; wParam points to the scan's copy of the device entry.
inline constexpr ui::UINT kMsgAddDeviceRow = ui::WM_USER + 7;
// A scan no longer finds the disk of row wParam, whose "Vol" cell started with the letter
// lParam (0: empty) when the scan read it. A row that shows another since is left alone.
inline constexpr ui::UINT kMsgClearRow = ui::WM_USER + 8;
// A scan starts: take the expected values from the window's controls.
inline constexpr ui::UINT kMsgCollectCheckValues = ui::WM_USER + 9;
// A scan asks whether the drive letter wParam is listed (result 1) or not (0): one message, where
// reading every row's cell from the scan's thread would take one each.
inline constexpr ui::UINT kMsgIsDriveListed = ui::WM_USER + 10;

}  // namespace qc
