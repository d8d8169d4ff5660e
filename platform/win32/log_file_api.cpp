// The real result-log calls, by names of their own. The file is opened with writing shared and
// then locked whole (LockFileEx), so two writers take turns; neither the lock nor a program that
// holds the file unshared is waited for here: the log decides how long to try again.
#include "platform/win32/log_file_api.h"

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/thread_own.h"

namespace win32api {

using platform::kNoLogFile;
using platform::LogFile;

namespace {

struct LastErrorSlot {};
std::u16string& LastError() {
    return platform::ThreadOwn<std::u16string, LastErrorSlot>();
}

HANDLE ToHandle(LogFile file) {
    return reinterpret_cast<HANDLE>(file);
}

// GetLastError's text, taken at the failure: closing the handle after it may change it.
bool Failed(DWORD code = GetLastError()) {
    std::u16string& reason = LastError();
    reason.clear();
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n > 0 && text != nullptr)
        reason.assign(reinterpret_cast<const char16_t*>(text), n);
    LocalFree(text);
    while (!reason.empty() &&
           (reason.back() == u'\n' || reason.back() == u'\r' || reason.back() == u' '))
        reason.pop_back();
    if (reason.empty())
        reason = u"error " + platform::DecimalText(static_cast<long long>(code));
    return false;
}

bool StartsWith(std::wstring_view text, std::wstring_view start) {
    return text.size() >= start.size() &&
           CompareStringOrdinal(text.data(), static_cast<int>(start.size()), start.data(),
                                static_cast<int>(start.size()), TRUE) == CSTR_EQUAL;
}

// A full path that names no file of a drive or a share: \\.\NUL, \\.\pipe\x, \\?\pipe\x;
// \\server\pipe\x and \\server\mailslot\x.
bool NamesDevice(std::wstring_view full) {
    if (StartsWith(full, L"\\\\.\\") || StartsWith(full, L"\\\\?\\")) {
        const std::wstring_view rest = full.substr(4);
        const bool drive = rest.size() >= 3 && rest[1] == L':' && rest[2] == L'\\';
        return !drive && !StartsWith(rest, L"UNC\\");
    }
    if (!StartsWith(full, L"\\\\"))
        return false;
    const std::size_t share = full.find(L'\\', 2);
    if (share == std::wstring_view::npos)
        return false;
    const std::wstring_view name = full.substr(share + 1);
    return StartsWith(name, L"PIPE\\") || StartsWith(name, L"MAILSLOT\\");
}

}  // namespace

platform::LogPathKind LookAtLog(std::u16string_view path) {
    const std::u16string name(path);
    const auto* wide = reinterpret_cast<const wchar_t*>(name.c_str());
    const DWORD size = GetFullPathNameW(wide, 0, nullptr, nullptr);
    if (size == 0)
        return platform::LogPathKind::Nothing;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide, size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return platform::LogPathKind::Nothing;
    full.resize(length);
    if (NamesDevice(full))
        return platform::LogPathKind::Other;
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return platform::LogPathKind::Nothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? platform::LogPathKind::Folder
                                                        : platform::LogPathKind::File;
}

LogFile OpenLog(std::u16string_view path, std::uint64_t* length, bool* held) {
    *held = false;
    // Opening a pipe would connect to it, taking it from the reader it waits for.
    if (LookAtLog(path) == platform::LogPathKind::Other) {
        LastError() = u"not a regular file";
        return kNoLogFile;
    }
    const std::u16string name(path);
    // Write access, not append-only: cutting back after a failed write needs it. Read access: the
    // header says which line format the file takes.
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()),
                              GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *held = error == ERROR_SHARING_VIOLATION;
        Failed(error);
        return kNoLogFile;
    }
    // A pipe, a console or a device is no log.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        LastError() = u"not a regular file";
        CloseHandle(file);
        return kNoLogFile;
    }
    OVERLAPPED whole{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole) == 0) {
        const DWORD error = GetLastError();
        *held = error == ERROR_LOCK_VIOLATION;
        Failed(error);
        CloseHandle(file);
        return kNoLogFile;
    }
    // The end only once the file is ours: another writer may have appended until now.
    LARGE_INTEGER end{};
    if (SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END) == 0) {
        Failed();
        CloseHandle(file);
        return kNoLogFile;
    }
    *length = static_cast<std::uint64_t>(end.QuadPart);
    return reinterpret_cast<LogFile>(file);
}

bool LogLength(LogFile file, std::uint64_t* length) {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(ToHandle(file), &size) == 0)
        return Failed();
    *length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool WriteLog(LogFile file, std::string_view bytes) {
    DWORD written = 0;
    if (WriteFile(ToHandle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  nullptr) == 0)
        return Failed();
    return written == bytes.size() || Failed(ERROR_DISK_FULL);
}

bool FlushLog(LogFile file) {
    return FlushFileBuffers(ToHandle(file)) != 0 || Failed();
}

bool ReadLogAt(LogFile file, std::uint64_t offset, std::span<char> buffer, std::size_t* read) {
    const HANDLE handle = ToHandle(file);
    std::size_t got = 0;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    bool ok = SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) != 0;
    while (ok && got < buffer.size()) {
        DWORD n = 0;
        ok = ReadFile(handle, buffer.data() + got, static_cast<DWORD>(buffer.size() - got), &n,
                      nullptr) != 0;
        if (!ok || n == 0)
            break;
        got += n;
    }
    if (!ok)
        Failed();
    // Writes go where the file pointer is: back to the end, whatever the read did.
    if (SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END) == 0)
        return Failed();
    *read = got;
    return ok;
}

bool CutLog(LogFile file, std::uint64_t length) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    return (SetFilePointerEx(ToHandle(file), at, nullptr, FILE_BEGIN) != 0 &&
            SetEndOfFile(ToHandle(file)) != 0) ||
           Failed();
}

void CloseLog(LogFile file) {
    OVERLAPPED whole{};
    UnlockFileEx(ToHandle(file), 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(ToHandle(file));
}

std::u16string LastLogErrorText() {
    return LastError();
}

}  // namespace win32api
