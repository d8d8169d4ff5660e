// The Linux backend of platform/log_file.h: a file descriptor, one past its number as the
// handle so that descriptor 0 is a file too.
#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

int ToDescriptor(LogFile file) {
    return static_cast<int>(file) - 1;
}

}  // namespace

TAVRIN_BACKEND_BEGIN

LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length) {
    const std::string name = ToUtf8(path);
    // Write access, not O_APPEND: cutting back after a failed write needs it.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return kNoLogFile;
    const off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0) {
        close(fd);
        return kNoLogFile;
    }
    *length = static_cast<std::uint64_t>(end);
    return static_cast<LogFile>(fd) + 1;
}

bool WriteLogFile(LogFile file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(ToDescriptor(file), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool FlushLogFile(LogFile file) {
    return fsync(ToDescriptor(file)) == 0;
}

bool CutLogFile(LogFile file, std::uint64_t length) {
    const auto at = static_cast<off_t>(length);
    return ftruncate(ToDescriptor(file), at) == 0 && lseek(ToDescriptor(file), at, SEEK_SET) == at;
}

void CloseLogFile(LogFile file) {
    close(ToDescriptor(file));
}

LocalTime CurrentLocalTime() {
    return HostLocalTime();
}

TAVRIN_BACKEND_END

}  // namespace platform
