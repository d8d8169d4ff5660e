// The real result-log calls behind platform/log_file.h, by names of their own: the Win32 backend
// forwards to them, and the Windows test executable, whose platform:: log is the simulated one,
// runs its cases of two writers against them too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/log_file.h"

namespace win32api {

// GetFullPathNameW, which names a DOS device (NUL, C:\a\com1.txt) as one in \\.\, then the
// device namespace and other machines' pipes told by name, the rest by GetFileAttributesW.
platform::LogPathKind LookAtLog(std::u16string_view path);
// A device by its name refused first (a pipe is not opened), then CreateFileW (reading and writing,
// OPEN_ALWAYS, reading and writing shared), a disk file only, LockFileEx of the whole file
// (exclusive, failing at once), then SetFilePointerEx to the end. A sharing violation or a lock
// held elsewhere: kNoLogFile with *held set.
platform::LogFile OpenLog(std::u16string_view path, std::uint64_t* length, bool* held);
bool LogLength(platform::LogFile file, std::uint64_t* length);  // GetFileSizeEx
bool WriteLog(platform::LogFile file, std::string_view bytes);  // WriteFile
bool FlushLog(platform::LogFile file);                          // FlushFileBuffers
// ReadFile from `offset`, then SetFilePointerEx back to the end.
bool ReadLogAt(platform::LogFile file, std::uint64_t offset, std::span<char> buffer,
               std::size_t* read);
bool CutLog(platform::LogFile file, std::uint64_t length);  // SetEndOfFile there
void CloseLog(platform::LogFile file);                      // UnlockFileEx, CloseHandle
// FormatMessageW of the last failure's GetLastError, taken at the failure.
std::u16string LastLogErrorText();

}  // namespace win32api
