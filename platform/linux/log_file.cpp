// The Linux backend of platform/log_file.h: a file descriptor, one past its number as the
// handle so that descriptor 0 is a file too. Opened with O_APPEND, so every write lands at the
// end whoever wrote last; held with flock, so that another writer's lines never come between a
// length taken, a write and its cut-back; never waited for here (LOCK_NB): the log decides how
// long to try again.
#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace platform {
namespace {

thread_local std::u16string lastError;

int ToDescriptor(LogFile file) {
    return static_cast<int>(file) - 1;
}

bool Failed(int code) {
    lastError = FromUtf8(std::strerror(code));
    return false;
}

bool NotAFile() {
    lastError = u"not a regular file";
    return false;
}

}  // namespace

TAVRIN_BACKEND_BEGIN

LogPathKind LookAtLogPath(std::u16string_view path) {
    struct stat status {};
    if (stat(ToUtf8(path).c_str(), &status) != 0)
        return LogPathKind::Nothing;
    return S_ISREG(status.st_mode)   ? LogPathKind::File
           : S_ISDIR(status.st_mode) ? LogPathKind::Folder
                                     : LogPathKind::Other;
}

LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length, bool* held) {
    *held = false;
    const std::string name = ToUtf8(path);
    // Non-blocking: a FIFO without a reader would hold the open for ever. Read too: the header
    // says which line format the file takes.
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        struct stat status {};
        if (stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            NotAFile();
        else
            Failed(error);
        return kNoLogFile;
    }
    struct stat status {};
    const bool stated = fstat(fd, &status) == 0;
    if (!stated || !S_ISREG(status.st_mode)) {
        if (stated)
            NotAFile();
        else
            Failed(errno);
        close(fd);
        return kNoLogFile;
    }
    int locked = -1;
    while ((locked = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0 && errno == EWOULDBLOCK) {
        *held = true;
        lastError = u"another program is writing to it";
        close(fd);
        return kNoLogFile;
    }
    // The length only once it is ours: another writer may have appended until now.
    const off_t end = locked == 0 ? lseek(fd, 0, SEEK_END) : -1;
    if (end < 0) {
        Failed(errno);
        close(fd);
        return kNoLogFile;
    }
    *length = static_cast<std::uint64_t>(end);
    return static_cast<LogFile>(fd) + 1;
}

bool LogFileLength(LogFile file, std::uint64_t* length) {
    struct stat status {};
    if (fstat(ToDescriptor(file), &status) != 0)
        return Failed(errno);
    *length = static_cast<std::uint64_t>(status.st_size);
    return true;
}

bool WriteLogFile(LogFile file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(ToDescriptor(file), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed(errno);
        if (n == 0)
            return Failed(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool FlushLogFile(LogFile file) {
    return fsync(ToDescriptor(file)) == 0 || Failed(errno);
}

bool ReadLogFileAt(LogFile file, std::uint64_t offset, std::span<char> buffer, std::size_t* read) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = pread(ToDescriptor(file), buffer.data() + got, buffer.size() - got,
                                static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed(errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    *read = got;
    return true;
}

bool CutLogFile(LogFile file, std::uint64_t length) {
    // Writes go to the end in any case (O_APPEND): the cut end is where the next one lands.
    return ftruncate(ToDescriptor(file), static_cast<off_t>(length)) == 0 || Failed(errno);
}

void CloseLogFile(LogFile file) {
    // Closing the last descriptor of the open file lets the lock go.
    close(ToDescriptor(file));
}

std::u16string LastLogError() {
    return lastError;
}

LocalTime CurrentLocalTime() {
    return HostLocalTime();
}

std::u16string ComputerName() {
    struct utsname names {};
    // "(none)": the kernel's name for a machine that was never given one.
    if (uname(&names) != 0 || std::string_view(names.nodename) == "(none)")
        return {};
    return FromUtf8(names.nodename);
}

TAVRIN_BACKEND_END

}  // namespace platform
