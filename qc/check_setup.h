// What a check goes by: the check configuration at one moment, as one value. The window builds
// it from its controls once per scan and at Run (the Efs selection at each check); the command
// line builds it from a check file. The verdict reads its rules alone (qc/verdict.h); the rest
// is the run's: where disks go, what the records name, whether they are checked on arrival.
// Pure data: no window.
#pragma once

#include <array>
#include <string>

#include "device/controller.h"
#include "qc/check_model.h"
#include "qc/verdict.h"

namespace qc {

struct CheckSetup : CheckRules {
    // The port map that places a disk on its station row (empty: none).
    std::u16string portFile;
    // The check file the expected values came from, its path as the settings store it: below the
    // program's folder relative to it (empty: none). The records name it.
    std::u16string checkFile;
    bool autoCheck = false;
};

// The item columns of the result list: a caption and a width per item, shown by the layout rule.
struct ItemColumns {
    EnabledFlags enabled{};
    std::array<std::u16string, device::kSlotCount> captions;
    std::array<int, device::kSlotCount> widths{};
};

}  // namespace qc
