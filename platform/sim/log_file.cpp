// The simulated backend of platform/log_file.h: files on the virtual workstation's file system
// and the host's clock, unless a test has set one.
#include "platform/log_file.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

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

}  // namespace

void SetClock(std::optional<platform::LocalTime> time) {
    const std::lock_guard lock(ClockMutex());
    FixedTime() = time;
}

}  // namespace sim

namespace platform {

bool AppendToFile(std::u16string_view path, std::string_view bytes) {
    if (sim::Faults::Fail(sim::FaultCall::Append))
        return false;
    const auto host = sim::Files::Get().HostPath(path);
    std::error_code ec;
    if (!host || !std::filesystem::is_directory(host->parent_path(), ec) ||
        std::filesystem::is_directory(*host, ec))
        return false;
    std::ofstream out(*host, std::ios::binary | std::ios::app);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return static_cast<bool>(out);
}

LocalTime CurrentLocalTime() {
    {
        const std::lock_guard lock(sim::ClockMutex());
        if (sim::FixedTime())
            return *sim::FixedTime();
    }
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &now);
#else
    localtime_r(&now, &parts);
#endif
    return {static_cast<std::uint16_t>(parts.tm_year + 1900),
            static_cast<std::uint16_t>(parts.tm_mon + 1),
            static_cast<std::uint16_t>(parts.tm_mday),
            static_cast<std::uint16_t>(parts.tm_hour),
            static_cast<std::uint16_t>(parts.tm_min),
            static_cast<std::uint16_t>(parts.tm_sec)};
}

}  // namespace platform
