// The real private-profile functions, by names of their own: the Win32 backend of
// platform/profile.h forwards to them, and the Windows test executable, whose platform::
// functions are the simulated ones, runs the profile conformance cases against them too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace win32api {

// GetPrivateProfileIntW.
unsigned ReadProfileInt(std::u16string_view section, std::u16string_view key, int fallback,
                        std::u16string_view file);

// GetPrivateProfileStringW into a buffer of exactly bufferSize characters.
std::u16string ReadProfileString(std::u16string_view section, std::u16string_view key,
                                 std::u16string_view fallback, std::size_t bufferSize,
                                 std::u16string_view file);

// GetPrivateProfileSectionNamesW: the names of the file's sections.
std::vector<std::u16string> ReadSectionNames(std::u16string_view file);

// WritePrivateProfileStringW.
bool WriteProfileValue(std::u16string_view section, std::u16string_view key,
                       std::u16string_view value, std::u16string_view file);

// CreateFileW with CREATE_ALWAYS and no sharing, then CloseHandle.
bool CreateEmptyFile(std::u16string_view path);

// WritePrivateProfileStringW(nullptr, nullptr, nullptr, file), then FlushFileBuffers.
bool FlushProfileFile(std::u16string_view file);

// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH.
bool MoveFileReplacing(std::u16string_view from, std::u16string_view to);

// DeleteFileW.
bool RemoveFile(std::u16string_view path);

// GetModuleFileNameW(nullptr, buffer, 260).
std::u16string ExecutablePath();

// GetACP: the code page the real functions read and write ANSI files in.
unsigned AnsiCodePage();

}  // namespace win32api
