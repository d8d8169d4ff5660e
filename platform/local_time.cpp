// HostLocalTime of platform/log_file.h.
#include "platform/log_file.h"

#include <ctime>

namespace platform {

LocalTime HostLocalTime() {
    const std::time_t now = std::time(nullptr);
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
