// The virtual workstation's clock: the host's, unless a test fixes it.
#pragma once

#include <optional>

#include "platform/log_file.h"

namespace sim {

// A fixed time for CurrentLocalTime; nullopt: the host's clock again.
void SetClock(std::optional<platform::LocalTime> time);

}  // namespace sim
