// platform/code_page.h with MultiByteToWideChar.
#include "platform/code_page.h"

#include <windows.h>

#include <climits>

namespace platform {

std::optional<std::u16string> FromCodePage(std::string_view bytes, unsigned codePage) {
    if (bytes.empty())
        return std::u16string();
    if (bytes.size() > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    const int length = static_cast<int>(bytes.size());
    const int units =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (units <= 0)
        return std::nullopt;
    std::u16string text(static_cast<std::size_t>(units), u'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length,
                            reinterpret_cast<wchar_t*>(text.data()), units) != units)
        return std::nullopt;
    return text;
}

unsigned SystemCodePage() {
    return GetACP();
}

}  // namespace platform
