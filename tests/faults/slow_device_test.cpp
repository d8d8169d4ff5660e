// A controller that never answers takes the whole timeout on every attempt: notices and Refresh
// arriving meanwhile queue their scans behind the one that waits, and the other disks are still
// listed once each.
#include <gtest/gtest.h>

#include <chrono>

#include "app/res/resource.h"
#include "tests/qc/qc_run_fixture.h"

namespace {

using namespace qctest;

// Each second of a request's timeout lasts this long on the virtual station.
constexpr std::chrono::microseconds kSecond{2000};

TEST_F(QcRunTest, AHungControllerKeepsScansOneAtATime) {
    WriteSettings(SampleCheckFile({u"vid"}));
    RunSteps({[](app::CTavrinDlg& dialog) {
        Plug(1, 1, u'E', [](sim::VirtualDisk& disk) { disk.timesOut = kSecond; });
        Plug(2, 2, u'F');
        // Five scans asked for while the first still waits on the hung controller.
        Notify(dialog);
        Notify(dialog);
        Notify(dialog);
        Click(dialog, IDB_REFRESH);
        Notify(dialog);
        WaitForScans(dialog);

        ASSERT_EQ(Rows(dialog), 1);
        EXPECT_EQ(Cell(dialog, 0, 0), u"F");
        EXPECT_EQ(sim::Station::Get().MostCommandsAtOnce(), 1)
            << "two scans reached the disks at once";
        // Every scan asked the hung disk again, with four attempts of the full timeout.
        const sim::VirtualDisk* hung = sim::Station::Get().Disk(1);
        ASSERT_NE(hung, nullptr);
        EXPECT_EQ(hung->calls.size(), 5u * 4u);
        for (const sim::PassThroughCall& call : hung->calls)
            EXPECT_EQ(call.timeout, 10u);
    }});
}

}  // namespace
