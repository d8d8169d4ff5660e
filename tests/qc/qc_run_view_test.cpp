// What the operator sees of the result list, read from what the list shows, on either backend
// (natively on the headless one, under wine on the real controls): a marked cell is one colour
// under its text, and every bar keeps to its "Check" cell when the list scrolls sideways.
#include <gtest/gtest.h>

#include "tests/qc/qc_run_fixture.h"
#include "tests/support/shown_pixels.h"

namespace {

using namespace ui;
using namespace qctest;

constexpr COLORREF kMark = RGB(222, 184, 135);
constexpr UINT kLvmScroll = 0x1014;  // LVM_SCROLL: dx, dy in pixels

// Free mode: "Vol", "Check", then the items.
constexpr int kCheckColumn = 1;
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

// Every row's bar lies over its "Check" cell while some of that cell is in the list's view, and
// is hidden while none of it is. `inView`: whether the cells are expected in view.
void BarsKeepToTheirCells(app::CTavrinDlg& dialog, bool inView) {
    CListCtrl& list = dialog.resultList;
    RECT client{};
    list.GetClientRect(&client);
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const qc::RowState* record = dialog.results.StateOf(row);
        ASSERT_NE(record, nullptr);
        RECT cell{};
        ASSERT_TRUE(list.GetSubItemRect(row, kCheckColumn, LVIR_BOUNDS, cell));
        ASSERT_EQ(cell.right > client.left && cell.left + 1 < client.right, inView) << row;
        if (!inView) {
            EXPECT_FALSE(record->bar->IsWindowVisible()) << row;
            continue;
        }
        ASSERT_TRUE(record->bar->IsWindowVisible()) << row;
        RECT bar{};
        record->bar->GetWindowRect(&bar);
        POINT topLeft{bar.left, bar.top};
        list.ScreenToClient(&topLeft);
        EXPECT_EQ(topLeft.x, cell.left + 1) << row;
        EXPECT_EQ(topLeft.y, cell.top) << row;
        EXPECT_EQ(Width(bar), Width(cell) - 1) << row;
    }
}

TEST_F(QcRunTest, TheBarsFollowTheirCellsWhenTheListScrollsSideways) {
    // More item columns than the list shows at once.
    WriteSettings(SampleCheckFile({device::kSlotKeys.begin(), device::kSlotKeys.end()}));
    int checkLeft = 0;
    const auto scroll = [&checkLeft](app::CTavrinDlg& dialog, int dx) {
        RECT cell{};
        ASSERT_TRUE(dialog.resultList.GetSubItemRect(0, kCheckColumn, LVIR_BOUNDS, cell));
        checkLeft = cell.left;
        dialog.resultList.SendMessage(kLvmScroll, static_cast<WPARAM>(dx), 0);
        ASSERT_TRUE(dialog.resultList.GetSubItemRect(0, kCheckColumn, LVIR_BOUNDS, cell));
        ASSERT_NE(cell.left, checkLeft) << "the list scrolled";
        checkLeft = cell.left;
    };
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            for (int i = 0; i < 3; ++i)
                Plug(i + 1, i + 1, static_cast<char16_t>(u'E' + i));
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 3);
            RECT client{}, last{};
            dialog.resultList.GetClientRect(&client);
            const int columns = dialog.resultList.GetColumnCount();
            ASSERT_TRUE(dialog.resultList.GetSubItemRect(0, columns - 1, LVIR_BOUNDS, last));
            ASSERT_GT(last.right, client.right + 200);
        },
        [&](app::CTavrinDlg& dialog) {
            BarsKeepToTheirCells(dialog, true);
            scroll(dialog, 30);  // the "Check" cells stay in view
        },
        [&](app::CTavrinDlg& dialog) {
            BarsKeepToTheirCells(dialog, true);
            scroll(dialog, 200);  // past them
        },
        [&](app::CTavrinDlg& dialog) {
            BarsKeepToTheirCells(dialog, false);
            scroll(dialog, -1000);  // back to the start
            EXPECT_EQ(checkLeft, 40) << "after the 40 pixels of the \"Vol\" column";
        },
        [](app::CTavrinDlg& dialog) { BarsKeepToTheirCells(dialog, true); },
    });
}

}  // namespace
