#include "platform/win32/list_init.h"
#include "tests/platform/res/resource_lists.h"

namespace testres {

std::vector<std::pair<int, std::u16string>> ResourceListEntries(ui::UINT dialogId,
                                                                ui::LANGID language) {
    return win32::ReadListEntries(dialogId, language);
}

}  // namespace testres
