// The executable's resources on the headless backend: the .res files that the build compiles
// with windres and embeds (cmake/resources.cmake), read with the portable decoder.
#include <algorithm>
#include <cstdint>
#include <span>

#include "platform/ui_resources.h"

namespace headless {
// Defined by the generated source of each executable: its .res files, one after the other.
extern const std::span<const std::uint8_t> kCompiledResources;
}  // namespace headless

namespace ui::res {
namespace {

using namespace platform::res;

const std::vector<Entry>& Index() {
    static const std::vector<Entry> index =
        ReadResFile(headless::kCompiledResources).value_or(std::vector<Entry>{});
    return index;
}

}  // namespace

Bytes FindResourceData(const Name& type, WORD name, LANGID language) {
    for (const Entry& e : Index()) {
        if (e.type == type && e.name == Ordinal(name) && e.language == language)
            return e.data;
    }
    return {};
}

std::vector<LANGID> ResourceLanguages(const Name& type, WORD name) {
    std::vector<LANGID> languages;
    for (const Entry& e : Index()) {
        if (e.type == type && e.name == Ordinal(name))
            languages.push_back(e.language);
    }
    std::sort(languages.begin(), languages.end());
    languages.erase(std::unique(languages.begin(), languages.end()), languages.end());
    return languages;
}

}  // namespace ui::res
