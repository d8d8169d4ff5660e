// What the operator sees of a verdict, read from the recorded painting of the headless window
// system: the bars' colours and texts, and the marked cells.
#include <gtest/gtest.h>

#include "platform/headless/headless.h"
#include "tests/qc/qc_run_fixture.h"

namespace {

using namespace ui;
using namespace qctest;

constexpr COLORREF kMark = RGB(222, 184, 135);
constexpr COLORREF kWindow = RGB(255, 255, 255);  // the list's background

// The one colour a cell shows inside its grid lines, around its text too (no glyphs are drawn
// here, text drawn opaque fills its extent); kMixed when it shows more than one.
constexpr COLORREF kMixed = 0xFFFFFFFE;
COLORREF CellColour(app::CTavrinDlg& dialog, int row, int column) {
    RECT cell{};
    EXPECT_TRUE(dialog.resultList.GetSubItemRect(row, column, LVIR_BOUNDS, cell));
    const HWND list = dialog.resultList.m_hWnd;
    const COLORREF colour = headless::Pixel(list, cell.left + 1, cell.top);
    for (int y = cell.top; y < cell.bottom - 1; ++y) {
        for (int x = cell.left + 1; x < cell.right; ++x) {
            if (headless::Pixel(list, x, y) != colour)
                return kMixed;
        }
    }
    return colour;
}

COLORREF BarPixel(app::CTavrinDlg& dialog, int row) {
    return headless::Pixel(dialog.results.StateOf(row)->barWindow, 2, 2);
}

// The texts drawn in a cell's rectangle, with the format they were drawn with.
std::vector<headless::TextRecord> CellTexts(app::CTavrinDlg& dialog, int row, int column) {
    RECT cell{};
    EXPECT_TRUE(dialog.resultList.GetSubItemRect(row, column, LVIR_BOUNDS, cell));
    std::vector<headless::TextRecord> found;
    for (const auto& text : headless::Texts(dialog.resultList.m_hWnd)) {
        if (text.rect.left == cell.left && text.rect.top == cell.top &&
            text.rect.right == cell.right && text.rect.bottom == cell.bottom)
            found.push_back(text);
    }
    return found;
}

void Repaint(app::CTavrinDlg& dialog) {
    dialog.resultList.Invalidate();
    dialog.resultList.UpdateWindow();
}

TEST_F(QcRunTest, VerdictsAndMarkedCellsAsPainted) {
    // VID, one "Capacity" column for CapMin and CapMax, and the firmware version. Auto Check
    // off at first: the bars are new.
    WriteSettings(SampleCheckFile({u"vid", u"CapMin", u"CapMax", u"FWVer"},
                                  {{"CapMin", "3000"}, {"CapMax", "4000"}}),
                  {}, false, true);
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E');
            Plug(2, 2, u'F', [](sim::VirtualDisk& disk) {
                disk.block = sim::SampleInfoBlock().Ids(0x9999, 0x7730).Bytes();
            });
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
        },
        [](app::CTavrinDlg& dialog) {
            for (int row = 0; row < 2; ++row) {
                EXPECT_EQ(BarPixel(dialog, row), RGB(255, 255, 255)) << row;
                const auto texts = headless::Texts(dialog.results.StateOf(row)->barWindow);
                ASSERT_FALSE(texts.empty());
                EXPECT_EQ(texts.back().text, u"\u2014");
            }
            Click(dialog, IDB_RUN);
        },
        [](app::CTavrinDlg& dialog) {
            Repaint(dialog);
            EXPECT_EQ(BarPixel(dialog, 0), RGB(152, 251, 152));
            EXPECT_EQ(headless::Texts(dialog.results.StateOf(0)->barWindow).back().text, u"PASS");
            EXPECT_EQ(BarPixel(dialog, 1), RGB(255, 192, 203));
            EXPECT_EQ(headless::Texts(dialog.results.StateOf(1)->barWindow).back().text, u"FAIL");
            // Only the failed VID of the second disk is marked, its text centred on one line.
            EXPECT_EQ(CellColour(dialog, 0, 2), kWindow);
            EXPECT_EQ(CellColour(dialog, 1, 2), kMark);
            EXPECT_EQ(CellColour(dialog, 1, 3), kWindow);
            EXPECT_EQ(CellColour(dialog, 1, 4), kWindow);
            const auto vid = CellTexts(dialog, 1, 2);
            ASSERT_FALSE(vid.empty());
            EXPECT_EQ(vid.back().text, u"9999");
            EXPECT_EQ(vid.back().format, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            // An upper bound below the disk's capacity: the shared column is marked.
            SetText(dialog, IDE_CAP_MAX, u"3000");
            Click(dialog, IDB_RUN);
        },
        [](app::CTavrinDlg& dialog) {
            Repaint(dialog);
            EXPECT_EQ(CellColour(dialog, 0, 3), kMark);
            EXPECT_EQ(Matches(dialog, 0)[device::kSlotCapMin], 1);
            EXPECT_EQ(BarPixel(dialog, 0), RGB(255, 192, 203));
            // A selected row keeps the list's highlight while the list has the focus.
            dialog.resultList.SetFocus();
            dialog.resultList.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
        },
        [](app::CTavrinDlg& dialog) {
            Repaint(dialog);
            EXPECT_EQ(CellColour(dialog, 1, 2), GetSysColor(COLOR_HIGHLIGHT));
            EXPECT_EQ(BarPixel(dialog, 1), GetSysColor(COLOR_HIGHLIGHT));
            EXPECT_EQ(CellColour(dialog, 0, 3), kMark);
        },
    });
}

TEST_F(QcRunTest, WithoutCapMinEachColumnIsMarkedByItsOwnItem) {
    WriteSettings(
        SampleCheckFile({u"CapMax", u"MPVer", u"FWVer"}, {{"CapMax", "4000"}, {"MPVer", "other"}}));
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 1);
            EXPECT_EQ(Headings(dialog).size(), 5u);
        },
        [](app::CTavrinDlg& dialog) {
            Repaint(dialog);
            EXPECT_EQ(CellColour(dialog, 0, 2), kWindow);  // CapMax: 3814 within 4000
            EXPECT_EQ(CellColour(dialog, 0, 3), kMark);    // MPVer
            EXPECT_EQ(CellColour(dialog, 0, 4), kWindow);  // FWVer
        },
    });
}

}  // namespace
