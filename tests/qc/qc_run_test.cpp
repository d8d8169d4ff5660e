// The QC run end to end, on either window backend (natively on the headless one, under wine on
// the real controls): disks arrive on a virtual station, rows appear, are checked and go.
#include <gtest/gtest.h>

#include "tests/qc/qc_run_fixture.h"

namespace {

using namespace ui;
using namespace qctest;

TEST_F(QcRunTest, ADiskArrivesIsCheckedAndLeaves) {
    WriteSettings(SampleCheckFile({u"vid", u"ProductName", u"CapMin", u"CapMax"}));
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Rows(dialog), 0);
            Plug(1, 1, u'E');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 1);
            EXPECT_EQ(Cell(dialog, 0, 0), u"E");
            EXPECT_EQ(Cell(dialog, 0, 1), u"-");
            EXPECT_EQ(Cell(dialog, 0, 2), u"1234");
            EXPECT_EQ(Cell(dialog, 0, 3), u"Flash Disk");
            EXPECT_EQ(Cell(dialog, 0, 4), u"3814MB");
        },
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Verdict(dialog, 0), 1);
            Unplug(1);
            Notify(dialog, false);
            WaitForScans(dialog);
            EXPECT_EQ(Rows(dialog), 0);
        },
    });
}

}  // namespace
