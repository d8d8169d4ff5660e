// Resources of the class library on every backend: strings and drop-down entries in the user-
// interface language.
#include "platform/ui_resources.h"

#include "platform/ui.h"

namespace ui::res {

using namespace platform::res;

Bytes FindLocalizedData(const Name& type, WORD name, LANGID language) {
    const std::vector<LANGID> languages = ResourceLanguages(type, name);
    return FindInLanguageOrder(language, languages,
                               [&](LANGID candidate) -> std::optional<Bytes> {
                                   const Bytes data = FindResourceData(type, name, candidate);
                                   if (data.empty())
                                       return std::nullopt;
                                   return data;
                               })
        .value_or(Bytes{});
}

ListEntries DropDownEntries(UINT dialogId, LANGID language) {
    const Bytes data =
        FindLocalizedData({0, kTypeListEntries}, static_cast<WORD>(dialogId), language);
    return DecodeListEntries(data).value_or(ListEntries{});
}

}  // namespace ui::res

namespace ui {

// String by string (LoadStringW leaves the choice of language to the platform): an entry missing
// in one language comes from the next.
std::u16string LoadString(UINT id) {
    using namespace platform::res;
    const Name type = Ordinal(kTypeString);
    const WORD block = StringBlockOf(id);
    const std::vector<LANGID> languages = res::ResourceLanguages(type, block);
    return FindInLanguageOrder(
               GetUiLanguage(), languages,
               [&](LANGID language) -> std::optional<std::u16string> {
                   auto strings = DecodeStringBlock(res::FindResourceData(type, block, language));
                   if (!strings || (*strings)[id & 15].empty())
                       return std::nullopt;
                   return std::move((*strings)[id & 15]);
               })
        .value_or(std::u16string());
}

}  // namespace ui
