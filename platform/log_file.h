// What the result log asks of the operating system: appending a line so that it is on disk when
// the call returns, and the local time. Win32: platform/win32/log_file.cpp (CreateFileW with
// FILE_APPEND_DATA, WriteFile, FlushFileBuffers; GetLocalTime). Elsewhere: the virtual
// workstation's files and a clock tests can set (platform/sim/log_file.cpp).
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// Appends `bytes` to the file in one write, creating the file when it is missing (its folder
// must exist), and flushes them to the disk before returning. False when the file cannot be
// opened or not every byte was written.
bool AppendToFile(std::u16string_view path, std::string_view bytes);

struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;  // 1 to 12
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
};
LocalTime CurrentLocalTime();

}  // namespace platform
