// platform/code_page.h with the C library's iconv.
#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace platform {

std::optional<std::u16string> FromCodePage(std::string_view bytes, unsigned codePage) {
    const std::string name = codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
    const iconv_t converter = iconv_open("UTF-16LE", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    // Each byte gives at most one UTF-16 unit, or a pair for four bytes.
    std::string out(bytes.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    const std::size_t done = iconv(converter, &in, &inLeft, &to, &toLeft);
    iconv_close(converter);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0)
        return std::nullopt;
    const std::size_t units = (out.size() - toLeft) / 2;
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                        static_cast<unsigned char>(out[2 * i + 1]) << 8);
    return text;
}

unsigned SystemCodePage() {
    return 65001;
}

}  // namespace platform
