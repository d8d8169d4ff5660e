#include "platform/win32/profile_api.h"

#include <windows.h>

#include <vector>

namespace win32api {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// The API wants NUL-terminated strings; the views need not be.
std::wstring Z(std::u16string_view text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

}  // namespace

unsigned ReadProfileInt(std::u16string_view section, std::u16string_view key, int fallback,
                        std::u16string_view file) {
    return GetPrivateProfileIntW(Z(section).c_str(), Z(key).c_str(), fallback, Z(file).c_str());
}

std::u16string ReadProfileString(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view fallback, std::size_t bufferSize,
                                 std::u16string_view file) {
    if (bufferSize == 0)
        return {};
    std::vector<wchar_t> buffer(bufferSize, L'\0');
    const DWORD n =
        GetPrivateProfileStringW(Z(section).c_str(), Z(key).c_str(), Z(fallback).c_str(),
                                 buffer.data(), static_cast<DWORD>(bufferSize), Z(file).c_str());
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                          n < bufferSize ? n : bufferSize - 1);
}

std::vector<std::u16string> ReadSectionNames(std::u16string_view file) {
    // Each name ends in a NUL, the list in one more; a list that does not fit is cut.
    std::vector<wchar_t> buffer(1u << 16, L'\0');
    const DWORD n = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()),
                                                   Z(file).c_str());
    std::vector<std::u16string> names;
    for (DWORD i = 0; i < n && buffer[i] != L'\0';) {
        const std::wstring name(buffer.data() + i);
        names.emplace_back(reinterpret_cast<const char16_t*>(name.data()), name.size());
        i += static_cast<DWORD>(name.size()) + 1;
    }
    return names;
}

bool WriteProfileValue(std::u16string_view section, std::u16string_view key,
                       std::u16string_view value, std::u16string_view file) {
    return WritePrivateProfileStringW(Z(section).c_str(), Z(key).c_str(), Z(value).c_str(),
                                      Z(file).c_str()) != FALSE;
}

bool CreateEmptyFile(std::u16string_view path) {
    const HANDLE file = CreateFileW(Z(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool FlushProfileFile(std::u16string_view file) {
    // The cache's flush answers FALSE whether it wrote or not: the file's own flush tells.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, Z(file).c_str());
    const HANDLE handle = CreateFileW(Z(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(handle) != FALSE;
    CloseHandle(handle);
    return flushed;
}

bool MoveFileReplacing(std::u16string_view from, std::u16string_view to) {
    // NTFS refuses to replace a read-only file, wine and some other file systems do not: the
    // attribute keeps the file everywhere.
    const DWORD attributes = GetFileAttributesW(Z(to).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(Z(from).c_str(), Z(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RemoveFile(std::u16string_view path) {
    return DeleteFileW(Z(path).c_str()) != FALSE;
}

std::u16string ExecutablePath() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer),
                          n < MAX_PATH ? n : MAX_PATH - 1);
}

unsigned AnsiCodePage() {
    return GetACP();
}

}  // namespace win32api
