// What only the headless window system shows of the main window: what it paints.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/res/resource.h"
#include "platform/headless/headless.h"
#include "qc/progress_x.h"
#include "tests/app/main_window_fixture.h"

namespace {

using namespace ui;
using namespace maintest;

TEST_F(MainWindowTest, TheMinimisedWindowPaintsItsIconCentred) {
    Run([&](app::CTavrinDlg& dialog) {
        EXPECT_EQ(headless::IconId(dialog.icon), UINT{IDI_APP});
        dialog.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        ASSERT_TRUE(dialog.IsIconic());
        dialog.Invalidate();
        dialog.UpdateWindow();
        const auto icons = headless::Icons(dialog.m_hWnd);
        ASSERT_FALSE(icons.empty());
        EXPECT_EQ(icons.back().icon, dialog.icon);
        RECT client;
        dialog.GetClientRect(&client);
        const int cx = GetSystemMetrics(SM_CXICON);
        EXPECT_EQ(icons.back().rect.left, (Width(client) - cx + 1) / 2);
        EXPECT_EQ(icons.back().rect.top, (Height(client) - GetSystemMetrics(SM_CYICON) + 1) / 2);
        Close(dialog);
    });
}

// A row as the scan leaves it: a record with its check bar.
HWND AddRowWithRecord(app::CTavrinDlg& dialog, int row, bool insert) {
    CListCtrl& list = dialog.resultList;
    if (insert)
        list.InsertItem(row, u"");
    auto* record = new qc::RowState;
    record->bar = std::make_unique<qc::CProgressX>();
    record->bar->Create(WS_CHILD | PBS_VERTICAL, {0, 0, 0, 0}, &list, 3);
    record->barWindow = record->bar->m_hWnd;
    list.SetItemData(row, reinterpret_cast<DWORD_PTR>(record));
    return record->barWindow;
}

TEST_F(MainWindowTest, ChangingTheLayoutFreesTheRowsRecordsAndBars) {
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", CheckFile({}, {{"vid", "1"}}));
    WriteFile(kSettings, "[Setting]\r\nCHECK_FILE=a.chk\r\n");
    Run([&](app::CTavrinDlg& dialog) {
        CListCtrl& list = dialog.resultList;
        const std::vector<HWND> freeBars = {AddRowWithRecord(dialog, 0, true),
                                            AddRowWithRecord(dialog, 1, true)};
        dialog.results.SetPortMode(1, dialog.ItemColumnsNow());
        for (HWND bar : freeBars)
            EXPECT_FALSE(IsWindow(bar));
        ASSERT_EQ(list.GetItemCount(), 16);
        EXPECT_EQ(Headings(dialog),
                  (std::vector<std::u16string>{u"Port", u"Vol", u"Check", u"VID"}));
        for (int row = 0; row < 16; ++row)
            EXPECT_EQ(dialog.results.StateOf(row), nullptr) << row;

        const HWND stationBar = AddRowWithRecord(dialog, 4, false);
        dialog.results.SetPortMode(0, dialog.ItemColumnsNow());
        EXPECT_FALSE(IsWindow(stationBar));
        EXPECT_EQ(list.GetItemCount(), 0);
        EXPECT_EQ(Headings(dialog), (std::vector<std::u16string>{u"Vol", u"Check", u"VID"}));
        Close(dialog);
    });
}

TEST_F(MainWindowTest, AListThatRefusesDeletionsCannotHoldTheWindowInALoop) {
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", CheckFile({}, {{"vid", "1"}, {"pid", "1"}}));
    WriteFile(kSettings, "[Setting]\r\nCHECK_FILE=a.chk\r\n");
    Run([&](app::CTavrinDlg& dialog) {
        CListCtrl& list = dialog.resultList;
        // Far more refusals than the list has columns or rows: a loop that retried until the
        // count dropped would use them all up and then delete everything.
        constexpr int kRefusals = 1000;
        headless::RefuseMessages(list, LVM_DELETECOLUMN, kRefusals);
        dialog.results.RebuildItemColumns(dialog.ItemColumnsNow());
        EXPECT_EQ(Headings(dialog),
                  (std::vector<std::u16string>{u"Vol", u"Check", u"VID", u"PID", u"VID", u"PID"}))
            << "the refused columns stay, each tried once";
        dialog.results.SetPortMode(1, dialog.ItemColumnsNow());
        EXPECT_EQ(list.GetColumnCount(), 6 + 5) << "Port, Vol, Check and the items appended";
        EXPECT_EQ(list.GetItemCount(), 16);
        headless::RefuseMessages(list, LVM_DELETECOLUMN, 0);

        dialog.results.SetPortMode(0, dialog.ItemColumnsNow());
        const std::vector<HWND> bars = {AddRowWithRecord(dialog, 0, true),
                                        AddRowWithRecord(dialog, 1, true)};
        headless::RefuseMessages(list, LVM_DELETEITEM, kRefusals);
        dialog.results.ClearAllRows();
        EXPECT_EQ(list.GetItemCount(), 2) << "the refused rows stay, each cleared once";
        for (int row = 0; row < 2; ++row)
            EXPECT_EQ(dialog.results.StateOf(row), nullptr) << row;
        for (HWND bar : bars)
            EXPECT_FALSE(IsWindow(bar));
        headless::RefuseMessages(list, LVM_DELETEITEM, 0);
        Close(dialog);
    });
}

}  // namespace
