// The simulated backend of platform/log_file.h: files on the virtual workstation's file system
// and the host's clock, unless a test has set one.
//
// Only flushed bytes reach the host file. What was written and not yet flushed stays in this
// process and is lost when the file is closed, as it would be if the machine went down right
// after: so a test reads exactly what is sure to be on disk. A write or flush made to fail
// leaves half of its bytes in the file, as a real one can. Where the host has flock, an open
// log holds it on the host file, so that two processes of the station take turns as the real
// backends make them.
#include "platform/log_file.h"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/sim/clock.h"
#include "platform/sim/faults.h"
#include "platform/sim/files.h"
#include "platform/thread_own.h"

namespace sim {
namespace {

std::mutex& ClockMutex() {
    static std::mutex& mutex = *new std::mutex;
    return mutex;
}

std::optional<platform::LocalTime>& FixedTime() {
    static std::optional<platform::LocalTime>& time = *new std::optional<platform::LocalTime>;
    return time;
}

std::u16string& Name() {
    static std::u16string& name = *new std::u16string(kComputerName);
    return name;
}

struct OpenLog {
    std::filesystem::path host;
    std::string unflushed;
    int lock = -1;  // the host descriptor holding the lock, where there is one
};

// The station's words for a failure, as Windows words the usual one of each call.
constexpr char16_t kAccessDenied[] = u"Access is denied.";
constexpr char16_t kDiskFull[] = u"There is not enough space on the disk.";
constexpr char16_t kLockViolation[] =
    u"The process cannot access the file because another process has locked a portion of the "
    u"file.";
struct LastErrorSlot {};
std::u16string& LastError() {
    return platform::ThreadOwn<std::u16string, LastErrorSlot>();
}

bool Failed(std::u16string_view text) {
    LastError() = text;
    return false;
}

// Takes the host file's lock if no other writer holds it: -1 where the host has none to give,
// -2 where another writer holds it.
int LockHost(const std::filesystem::path& host) {
#if defined(__linux__)
    const int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EINTR) {
            close(fd);
            return error == EWOULDBLOCK ? -2 : -1;
        }
    }
    return fd;
#else
    (void)host;
    return -1;
#endif
}

void UnlockHost(int fd) {
#if defined(__linux__)
    if (fd >= 0)
        close(fd);
#else
    (void)fd;
#endif
}

struct OpenLogs {
    std::mutex mutex;
    platform::LogFile next = 1;
    std::map<platform::LogFile, OpenLog> files;
};

OpenLogs& Logs() {
    static OpenLogs& logs = *new OpenLogs;
    return logs;
}

bool AppendToHost(const std::filesystem::path& host, std::string_view bytes) {
    std::ofstream out(host, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

void SetClock(std::optional<platform::LocalTime> time) {
    const std::lock_guard lock(ClockMutex());
    FixedTime() = time;
}

void SetComputerName(std::u16string name) {
    const std::lock_guard lock(ClockMutex());
    Name() = std::move(name);
}

}  // namespace sim

namespace platform {

TAVRIN_BACKEND_BEGIN

LogPathKind LookAtLogPath(std::u16string_view path) {
    if (sim::Files::NamesDevice(path))
        return LogPathKind::Other;
    const auto host = sim::Files::Get().HostPath(path);
    std::error_code ec;
    const auto status = host ? std::filesystem::status(*host, ec) : std::filesystem::file_status{};
    if (!std::filesystem::exists(status))
        return LogPathKind::Nothing;
    return std::filesystem::is_regular_file(status) ? LogPathKind::File
           : std::filesystem::is_directory(status)  ? LogPathKind::Folder
                                                    : LogPathKind::Other;
}

LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length, bool* held) {
    *held = false;
    if (sim::Faults::Fail(sim::FaultCall::LogOpen)) {
        sim::Failed(sim::kAccessDenied);
        return kNoLogFile;
    }
    // As Windows: a device is opened, and found no disk file.
    if (sim::Files::NamesDevice(path)) {
        sim::Failed(u"not a regular file");
        return kNoLogFile;
    }
    const auto host = sim::Files::Get().HostPath(path);
    std::error_code ec;
    if (!host || !std::filesystem::is_directory(host->parent_path(), ec)) {
        sim::Failed(u"The system cannot find the path specified.");
        return kNoLogFile;
    }
    // A regular file or none: a pipe would hold the open, a device or a folder is no log.
    const auto status = std::filesystem::status(*host, ec);
    if ((std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) ||
        !sim::AppendToHost(*host, {})) {
        sim::Failed(sim::kAccessDenied);
        return kNoLogFile;
    }
    const int locked = sim::LockHost(*host);
    if (locked == -2) {
        *held = true;
        sim::Failed(sim::kLockViolation);
        return kNoLogFile;
    }
    const std::uintmax_t size = std::filesystem::file_size(*host, ec);
    if (ec) {
        sim::UnlockHost(locked);
        sim::Failed(sim::kAccessDenied);
        return kNoLogFile;
    }
    sim::OpenLogs& logs = sim::Logs();
    const std::lock_guard lock(logs.mutex);
    // A writer of this program holds it, where the host has no lock to tell.
    for (const auto& [other, log] : logs.files) {
        if (log.host == *host) {
            sim::UnlockHost(locked);
            *held = true;
            sim::Failed(sim::kLockViolation);
            return kNoLogFile;
        }
    }
    *length = size;
    const LogFile file = logs.next++;
    logs.files[file].host = *host;
    logs.files[file].lock = locked;
    return file;
}

bool LogFileLength(LogFile file, std::uint64_t* length) {
    sim::OpenLogs& logs = sim::Logs();
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return sim::Failed(u"The handle is invalid.");
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(found->second.host, ec);
    if (ec)
        return sim::Failed(sim::kAccessDenied);
    *length = size + found->second.unflushed.size();
    return true;
}

bool WriteLogFile(LogFile file, std::string_view bytes) {
    sim::OpenLogs& logs = sim::Logs();
    const bool fail = sim::Faults::Fail(sim::FaultCall::LogWrite);
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return sim::Failed(u"The handle is invalid.");
    sim::OpenLog& log = found->second;
    if (!fail) {
        log.unflushed += bytes;
        return true;
    }
    log.unflushed += bytes.substr(0, bytes.size() / 2);
    sim::AppendToHost(log.host, log.unflushed);
    log.unflushed.clear();
    return sim::Failed(sim::kDiskFull);
}

bool FlushLogFile(LogFile file) {
    sim::OpenLogs& logs = sim::Logs();
    const bool fail = sim::Faults::Fail(sim::FaultCall::LogFlush);
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return sim::Failed(u"The handle is invalid.");
    sim::OpenLog& log = found->second;
    const std::size_t reaching = fail ? log.unflushed.size() / 2 : log.unflushed.size();
    const bool written =
        sim::AppendToHost(log.host, std::string_view(log.unflushed).substr(0, reaching));
    log.unflushed.clear();
    return (written && !fail) || sim::Failed(sim::kDiskFull);
}

bool ReadLogFileAt(LogFile file, std::uint64_t offset, std::span<char> buffer, std::size_t* read) {
    sim::OpenLogs& logs = sim::Logs();
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return sim::Failed(u"The handle is invalid.");
    std::error_code ec;
    const std::uintmax_t onHost = std::filesystem::file_size(found->second.host, ec);
    if (ec)
        return sim::Failed(sim::kAccessDenied);
    std::size_t got = 0;
    if (offset < onHost) {
        std::ifstream in(found->second.host, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(buffer.data(), static_cast<std::streamsize>(
                                   std::min<std::uintmax_t>(buffer.size(), onHost - offset)));
        if (in.bad())
            return sim::Failed(sim::kAccessDenied);
        got = static_cast<std::size_t>(in.gcount());
    }
    // What was written and not yet flushed is part of the file as its writer reads it.
    const std::string& unflushed = found->second.unflushed;
    const std::uint64_t from = offset + got - onHost;
    if (offset + got >= onHost && from < unflushed.size()) {
        const std::size_t more =
            std::min<std::size_t>(buffer.size() - got, unflushed.size() - from);
        std::copy_n(unflushed.begin() + static_cast<std::ptrdiff_t>(from), more,
                    buffer.begin() + static_cast<std::ptrdiff_t>(got));
        got += more;
    }
    *read = got;
    return true;
}

bool CutLogFile(LogFile file, std::uint64_t length) {
    sim::OpenLogs& logs = sim::Logs();
    if (sim::Faults::Fail(sim::FaultCall::LogCut))
        return sim::Failed(sim::kAccessDenied);
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return sim::Failed(u"The handle is invalid.");
    found->second.unflushed.clear();
    std::error_code ec;
    std::filesystem::resize_file(found->second.host, length, ec);
    return !ec || sim::Failed(sim::kAccessDenied);
}

void CloseLogFile(LogFile file) {
    sim::OpenLogs& logs = sim::Logs();
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return;
    sim::UnlockHost(found->second.lock);
    logs.files.erase(found);
}

std::u16string LastLogError() {
    return sim::LastError();
}

LocalTime CurrentLocalTime() {
    {
        const std::lock_guard lock(sim::ClockMutex());
        if (sim::FixedTime())
            return *sim::FixedTime();
    }
    return HostLocalTime();
}

std::u16string ComputerName() {
    const std::lock_guard lock(sim::ClockMutex());
    return sim::Name();
}

TAVRIN_BACKEND_END

}  // namespace platform
