// The simulated backend of platform/log_file.h: files on the virtual workstation's file system
// and the host's clock, unless a test has set one.
//
// Only flushed bytes reach the host file. What was written and not yet flushed stays in this
// process and is lost when the file is closed, as it would be if the machine went down right
// after: so a test reads exactly what is sure to be on disk. A write or flush made to fail
// leaves half of its bytes in the file, as a real one can.
#include "platform/log_file.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/sim/clock.h"
#include "platform/sim/faults.h"
#include "platform/sim/files.h"

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

struct OpenLog {
    std::filesystem::path host;
    std::string unflushed;
};

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

}  // namespace sim

namespace platform {

TAVRIN_BACKEND_BEGIN

LogFile OpenLogFile(std::u16string_view path, std::uint64_t* length) {
    if (sim::Faults::Fail(sim::FaultCall::LogOpen))
        return kNoLogFile;
    const auto host = sim::Files::Get().HostPath(path);
    std::error_code ec;
    if (!host || !std::filesystem::is_directory(host->parent_path(), ec) ||
        std::filesystem::is_directory(*host, ec) || !sim::AppendToHost(*host, {}))
        return kNoLogFile;
    const std::uintmax_t size = std::filesystem::file_size(*host, ec);
    if (ec)
        return kNoLogFile;
    *length = size;
    sim::OpenLogs& logs = sim::Logs();
    const std::lock_guard lock(logs.mutex);
    const LogFile file = logs.next++;
    logs.files[file].host = *host;
    return file;
}

bool WriteLogFile(LogFile file, std::string_view bytes) {
    sim::OpenLogs& logs = sim::Logs();
    const bool fail = sim::Faults::Fail(sim::FaultCall::LogWrite);
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return false;
    sim::OpenLog& log = found->second;
    if (!fail) {
        log.unflushed += bytes;
        return true;
    }
    log.unflushed += bytes.substr(0, bytes.size() / 2);
    sim::AppendToHost(log.host, log.unflushed);
    log.unflushed.clear();
    return false;
}

bool FlushLogFile(LogFile file) {
    sim::OpenLogs& logs = sim::Logs();
    const bool fail = sim::Faults::Fail(sim::FaultCall::LogFlush);
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return false;
    sim::OpenLog& log = found->second;
    const std::size_t reaching = fail ? log.unflushed.size() / 2 : log.unflushed.size();
    const bool written =
        sim::AppendToHost(log.host, std::string_view(log.unflushed).substr(0, reaching));
    log.unflushed.clear();
    return written && !fail;
}

bool CutLogFile(LogFile file, std::uint64_t length) {
    sim::OpenLogs& logs = sim::Logs();
    if (sim::Faults::Fail(sim::FaultCall::LogCut))
        return false;
    const std::lock_guard lock(logs.mutex);
    const auto found = logs.files.find(file);
    if (found == logs.files.end())
        return false;
    found->second.unflushed.clear();
    std::error_code ec;
    std::filesystem::resize_file(found->second.host, length, ec);
    return !ec;
}

void CloseLogFile(LogFile file) {
    sim::OpenLogs& logs = sim::Logs();
    const std::lock_guard lock(logs.mutex);
    logs.files.erase(file);
}

LocalTime CurrentLocalTime() {
    {
        const std::lock_guard lock(sim::ClockMutex());
        if (sim::FixedTime())
            return *sim::FixedTime();
    }
    return HostLocalTime();
}

TAVRIN_BACKEND_END

}  // namespace platform
