// 8-bit text in a Windows code page, turned into UTF-16 by the system's own converter
// (MultiByteToWideChar on Windows, the C library's iconv elsewhere), for files written on a
// station whose code page is not this machine's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The text of `bytes` in code page `codePage` (936: GBK, 1252: Western, 65001: UTF-8, ...);
// nullopt when the system cannot convert from that code page or the bytes are no text in it.
std::optional<std::u16string> FromCodePage(std::string_view bytes, unsigned codePage);

// The code page this system's programs read 8-bit text in where it names none: the ANSI code
// page on Windows, 65001 (UTF-8) elsewhere.
unsigned SystemCodePage();

}  // namespace platform
