// What the result log asks of the operating system: a file opened at its end and held for this
// writer alone, bytes written to it and flushed to the disk, the file cut back after a failure,
// and the local time; and what a log's path names, before any of it. One call deep each, so that
// the log itself decides what a failure leaves.
// Win32: platform/win32/log_file.cpp (GetFullPathNameW, GetFileAttributesW; CreateFileW with
// OPEN_ALWAYS and shared writing, LockFileEx, SetFilePointerEx, ReadFile, WriteFile,
// FlushFileBuffers, SetEndOfFile, CloseHandle; GetLocalTime, GetComputerNameW).
// Linux: platform/linux/log_file.cpp (stat; open with O_APPEND, flock).
// Elsewhere: the virtual workstation's files and a clock tests can set (platform/sim/log_file.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/backend.h"

namespace platform {

using LogFile = std::uintptr_t;
inline constexpr LogFile kNoLogFile = 0;

// What a log's path names: nothing (yet), a file, a folder, or something else (a pipe, a device).
enum class LogPathKind { Nothing, File, Folder, Other };

TAVRIN_BACKEND_BEGIN
// Looks at what the path names without opening it: an open would take a pipe from its reader, or
// wait for one. Nothing also where the system cannot tell; the open then says why.
LogPathKind LookAtLogPath(std::u16string_view path);
// Opens the file for writing at its end, creating it when missing (its folder must exist), takes
// it for this writer alone until closed, and gives its length in bytes then: two programs
// appending to one log take turns. Never waits: when another writer holds the file it answers
// kNoLogFile at once with *held set, and the caller decides how long to try again. Only a
// regular file: a pipe, a device or a folder is refused at once. kNoLogFile when it cannot be
// opened.
LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length, bool* held);
// The file's length now.
bool LogFileLength(LogFile file, std::uint64_t* length);
// Writes `bytes` at the end. False when not every byte was written: some may have been.
bool WriteLogFile(LogFile file, std::string_view bytes);
// Flushes what was written to the disk. False when it may not all be there.
bool FlushLogFile(LogFile file);
// Reads the file's bytes from `offset`, up to buffer.size(), into `buffer`; *read: how many came.
// The next write still goes to the end.
bool ReadLogFileAt(LogFile file, std::uint64_t offset, std::span<char> buffer, std::size_t* read);
// Cuts the file back to `length` bytes; the next write goes there.
bool CutLogFile(LogFile file, std::uint64_t length);
// Lets other writers have the file.
void CloseLogFile(LogFile file);
// Why this thread's last failed call above failed, as the system words it (the virtual
// station: a fixed text per call). Kept from the failure itself.
std::u16string LastLogError();
TAVRIN_BACKEND_END

struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;  // 1 to 12
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
};
TAVRIN_BACKEND_BEGIN
LocalTime CurrentLocalTime();
// The computer's name as the system gives it, for the station's records; empty when it cannot
// be had.
std::u16string ComputerName();
TAVRIN_BACKEND_END

// The host's local time by the C library: CurrentLocalTime of the backends without a clock of
// their own to ask (portable, platform/local_time.cpp).
LocalTime HostLocalTime();

}  // namespace platform
