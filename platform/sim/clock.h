// The virtual workstation's clock, the host's unless a test fixes it, and its computer name.
#pragma once

#include <optional>
#include <string>

#include "platform/log_file.h"

namespace sim {

// A fixed time for CurrentLocalTime; nullopt: the host's clock again.
void SetClock(std::optional<platform::LocalTime> time);

// The name ComputerName gives (at first kComputerName).
inline constexpr char16_t kComputerName[] = u"STATION-1";
void SetComputerName(std::u16string name);

}  // namespace sim
