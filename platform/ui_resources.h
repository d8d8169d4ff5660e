// The class library's resources. Each window backend finds compiled resources its own way (the
// headless one in the .res files that the build embeds, the Win32 one in the executable); what
// they hold is read by the portable decoder (platform/res_format.h), the same on both.
#pragma once

#include <vector>

#include "platform/res_format.h"
#include "platform/ui_defs.h"

namespace ui::res {

// Each backend: the data of resource (type, name) in exactly `language`; empty when there is none.
platform::res::Bytes FindResourceData(const platform::res::Name& type, WORD name, LANGID language);

// Each backend: the languages that resource (type, name) exists in, in ascending order.
std::vector<LANGID> ResourceLanguages(const platform::res::Name& type, WORD name);

// The data of resource (type, name) in the order of languages for `language`
// (platform::res::FindInLanguageOrder); empty when there is none.
platform::res::Bytes FindLocalizedData(const platform::res::Name& type, WORD name, LANGID language);

// The initial entries of dialog `dialogId`'s drop-down lists, found like the dialog's template;
// empty when it has none or they are malformed.
platform::res::ListEntries DropDownEntries(UINT dialogId, LANGID language);

}  // namespace ui::res
