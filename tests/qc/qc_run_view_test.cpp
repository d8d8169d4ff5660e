// What the operator sees of the result list, read from what the list shows, on either backend
// (natively on the headless one, under wine on the real controls): a marked cell is one colour
// under its text.
#include <gtest/gtest.h>

#include "tests/qc/qc_run_fixture.h"
#include "tests/support/shown_pixels.h"

namespace {

using namespace ui;
using namespace qctest;

constexpr COLORREF kMark = RGB(222, 184, 135);

// Free mode: "Vol", "Check", then the items.
constexpr int kVidColumn = 2;

TEST_F(QcRunTest, AMarkedCellIsTheMarkColourAllAroundItsText) {
    WriteSettings(SampleCheckFile({u"vid", u"pid"}));
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E', [](sim::VirtualDisk& disk) {
                disk.block = sim::SampleInfoBlock().Ids(0x9999, 0x7730).Bytes();
            });
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 1);
            ASSERT_EQ(Cell(dialog, 0, kVidColumn), u"9999");
            ASSERT_EQ(Matches(dialog, 0)[device::kSlotVid], 0);
            dialog.resultList.Invalidate();
        },
        [](app::CTavrinDlg& dialog) {
            RECT cell{};
            ASSERT_TRUE(dialog.resultList.GetSubItemRect(0, kVidColumn, LVIR_BOUNDS, cell));
            // Inside the grid lines: no pixel of the list's own background, the text's
            // surroundings included; the text is drawn on the mark.
            int marked = 0, background = 0;
            const COLORREF window = GetSysColor(COLOR_WINDOW);
            for (int y = cell.top + 1; y < cell.bottom - 2; ++y) {
                for (int x = cell.left + 2; x < cell.right - 2; ++x) {
                    const COLORREF pixel = uitest::ShownPixel(dialog.resultList.m_hWnd, x, y);
                    marked += pixel == kMark;
                    background += pixel == window;
                }
            }
            EXPECT_EQ(background, 0);
            EXPECT_GT(marked, (Width(cell) - 4) * (Height(cell) - 3) / 2);
            // The PID cell beside it met the configuration: it keeps the list's drawing.
            ASSERT_TRUE(dialog.resultList.GetSubItemRect(0, kVidColumn + 1, LVIR_BOUNDS, cell));
            EXPECT_EQ(uitest::ShownPixel(dialog.resultList.m_hWnd, cell.left + 3, cell.top + 2),
                      window);
        },
    });
}

}  // namespace
