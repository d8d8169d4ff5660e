#include "platform/headless/resources.h"
#include "tests/platform/res/resource_lists.h"

namespace testres {

std::vector<std::pair<int, std::u16string>> ResourceListEntries(ui::UINT dialogId,
                                                                ui::LANGID language) {
    // The dialog's language decides, as when the headless dialog base fills its lists.
    const headless::res::Dialog* exact = nullptr;
    const headless::res::Dialog* english = nullptr;
    const headless::res::Dialog* any = nullptr;
    for (const auto& d : headless::res::kResources.dialogs) {
        if (d.id != dialogId)
            continue;
        if (d.language == language && !exact)
            exact = &d;
        if (d.language == ui::kLangEnglish && !english)
            english = &d;
        if (!any)
            any = &d;
    }
    const headless::res::Dialog* chosen = exact ? exact : english ? english : any;
    std::vector<std::pair<int, std::u16string>> entries;
    if (chosen == nullptr)
        return entries;
    for (const auto& e : headless::res::kResources.listEntries) {
        if (e.dialogId == dialogId && e.language == chosen->language)
            entries.emplace_back(e.controlId, std::u16string(e.text));
    }
    return entries;
}

}  // namespace testres
