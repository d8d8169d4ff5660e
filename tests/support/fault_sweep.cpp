#include "tests/support/fault_sweep.h"

#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"

namespace faultsweep {

LeftOpen OpenNow() {
    auto& station = sim::Station::Get();
    return {station.OpenHandleCount(), station.Usb().OpenSetCount(), station.Usb().OpenKeyCount()};
}

void ExpectNothingOpen(const LeftOpen& open) {
    EXPECT_EQ(open.handles, 0u) << Join(sim::Station::Get().OpenHandlePaths());
    EXPECT_EQ(open.sets, 0u);
    EXPECT_EQ(open.keys, 0u);
}

}  // namespace faultsweep
