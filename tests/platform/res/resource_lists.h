// The drop-down entries a dialog gets from the resources, read the way the linked backend reads
// them: the generated tables (headless) or the LISTENTRIES resource (Win32).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ui_defs.h"

namespace testres {

// (control id, text) in list order, for the dialog found for `language` with the platform's
// fallback (that language, then English, then any).
std::vector<std::pair<int, std::u16string>> ResourceListEntries(ui::UINT dialogId,
                                                                ui::LANGID language);

}  // namespace testres
