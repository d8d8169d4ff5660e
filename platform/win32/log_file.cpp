// The Win32 backend of platform/log_file.h.
#include "platform/log_file.h"

#include <windows.h>

#include <string>

namespace platform {

namespace {

HANDLE ToHandle(LogFile file) {
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length) {
    const std::u16string name(path);
    // Write access, not append-only: cutting back after a failed write needs it.
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kNoLogFile;
    LARGE_INTEGER end{};
    if (SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END) == 0) {
        CloseHandle(file);
        return kNoLogFile;
    }
    *length = static_cast<std::uint64_t>(end.QuadPart);
    return reinterpret_cast<LogFile>(file);
}

bool WriteLogFile(LogFile file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(ToHandle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) != 0 &&
           written == bytes.size();
}

bool FlushLogFile(LogFile file) {
    return FlushFileBuffers(ToHandle(file)) != 0;
}

bool CutLogFile(LogFile file, std::uint64_t length) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    return SetFilePointerEx(ToHandle(file), at, nullptr, FILE_BEGIN) != 0 &&
           SetEndOfFile(ToHandle(file)) != 0;
}

void CloseLogFile(LogFile file) {
    CloseHandle(ToHandle(file));
}

LocalTime CurrentLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace platform
