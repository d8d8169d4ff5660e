// The Win32 backend of platform/log_file.h: the real calls (platform/win32/log_file_api.cpp).
#include "platform/log_file.h"

#include <windows.h>

#include "platform/win32/log_file_api.h"

namespace platform {

LogPathKind LookAtLogPath(std::u16string_view path) {
    return win32api::LookAtLog(path);
}

LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length, bool* held) {
    return win32api::OpenLog(path, length, held);
}

bool LogFileLength(LogFile file, std::uint64_t* length) {
    return win32api::LogLength(file, length);
}

bool WriteLogFile(LogFile file, std::string_view bytes) {
    return win32api::WriteLog(file, bytes);
}

bool FlushLogFile(LogFile file) {
    return win32api::FlushLog(file);
}

bool ReadLogFileAt(LogFile file, std::uint64_t offset, std::span<char> buffer, std::size_t* read) {
    return win32api::ReadLogAt(file, offset, buffer, read);
}

bool CutLogFile(LogFile file, std::uint64_t length) {
    return win32api::CutLog(file, length);
}

void CloseLogFile(LogFile file) {
    win32api::CloseLog(file);
}

std::u16string LastLogError() {
    return win32api::LastLogErrorText();
}

LocalTime CurrentLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::u16string ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (GetComputerNameW(name, &size) == 0)
        return {};
    return std::u16string(reinterpret_cast<const char16_t*>(name), size);
}

}  // namespace platform
