// The initial entries of a dialog's drop-down lists, from the dialog's LISTENTRIES resource
// (layout in app/res/resource.h). The dialog base reads them when a dialog initialises.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ui_defs.h"

namespace win32 {

using ListEntries = std::vector<std::pair<int, std::u16string>>;

// Entries of dialog `dialogId` in `language`, with the platform's fallback: that language, then
// English (0x0409), then any. Empty when the dialog has none; (control id, text) in list order.
ListEntries ReadListEntries(ui::UINT dialogId, ui::LANGID language);

}  // namespace win32
