// What only the headless window system shows of the main window: what it paints.
#include <gtest/gtest.h>

#include "app/res/resource.h"
#include "platform/headless/headless.h"
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

}  // namespace
