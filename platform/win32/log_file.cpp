// The Win32 backend of platform/log_file.h.
#include "platform/log_file.h"

#include <windows.h>

#include <string>

namespace platform {

bool AppendToFile(std::u16string_view path, std::string_view bytes) {
    const std::u16string name(path);
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), FILE_APPEND_DATA,
                    FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
        written == bytes.size() && FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return ok;
}

LocalTime CurrentLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace platform
