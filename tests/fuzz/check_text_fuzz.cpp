// A check file given to tavrin-report --check, in any bytes: tried as UTF-8 and in the code pages
// of the stations that write them, then read as the window reads check files.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/code_page.h"
#include "platform/text.h"
#include "qc/check_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool utf8 = platform::IsUtf8(bytes);
    for (const unsigned page : {936u, 950u, 1252u, 65001u}) {
        const auto text = platform::FromCodePage(bytes, page);
        // Valid UTF-8 is text in code page 65001, and the same text as the program's own reading.
        if (page == 65001u && utf8 && (!text || *text != platform::FromUtf8(bytes)))
            __builtin_trap();
        if (text && qc::IsCheckText(*text))
            (void)qc::ReadCheckText(*text);
    }
    return 0;
}
