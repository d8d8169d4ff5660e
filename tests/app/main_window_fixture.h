// The whole program started from files on disk, on either window backend: the fixture of the
// main-window scenarios. The files are Windows paths on a host folder (sim::Files); the script
// of each run acts inside the main window's modal loop.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/check_items.h"
#include "app/res/resource.h"
#include "app/tavrin_app.h"
#include "app/tavrin_dlg.h"
#include "platform/sim/files.h"
#include "platform/sim/station.h"
#include "platform/ui_testing.h"
#include "tests/support/program_folder.h"
#include "usb/usb_port.h"

namespace maintest {

using testsupport::kProgram;
using testsupport::kSettings;
inline constexpr char16_t kTitle[] = u"RV7730 Tavrin (1.0.0.3)";
inline constexpr char16_t kElsewhere[] = u"C:\\Users\\Operator";

class MainWindowTest : public ::testing::Test, protected testsupport::ProgramFolder {
  protected:
    // Started from elsewhere (a shortcut, a prompt): nothing may depend on the current folder.
    MainWindowTest() : ProgramFolder("main") { sim::Files::Get().SetCurrentDirectory(kElsewhere); }
    void SetUp() override {
        sim::Station::Get().Reset();
        ui::testing::Reset();
        // A box the window shows (a log it could not write) must not wait for a click.
        ui::testing::KeepErrorBoxes();
        app::checkItems = app::MakeCheckItems();
    }
    void TearDown() override { ui::testing::Reset(); }

    // Runs the program; `script` runs inside the main window's modal loop and closes it.
    void Run(const std::function<void(app::CTavrinDlg&)>& script) {
        app::CTavrinApp program;
        bool ran = false;
        ui::WhenIdle([&] {
            auto* dialog = static_cast<app::CTavrinDlg*>(ui::AfxGetMainWnd());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            script(*dialog);
            const ui::HWND window = dialog->m_hWnd;
            ui::WhenIdle([window] {
                if (!ui::IsWindow(window))
                    return;
                ADD_FAILURE() << "the script left the window open";
                ui::SendMessage(window, ui::WM_COMMAND, ui::IDCANCEL, 0);
            });
        });
        EXPECT_EQ(program.InitInstance(), ui::FALSE);
        EXPECT_TRUE(ran);
    }

    static void Close(app::CTavrinDlg& dialog) {
        dialog.SendMessage(ui::WM_SYSCOMMAND, ui::SC_CLOSE, 0);
    }
    static ui::HWND Item(app::CTavrinDlg& dialog, int id) { return dialog.GetDlgItem(id); }
    static bool Enabled(app::CTavrinDlg& dialog, int id) {
        ui::CBorrowed<> control(Item(dialog, id));
        const bool enabled = ui::testing::IsWindowEnabled(control);
        return enabled;
    }
    static int Check(app::CTavrinDlg& dialog, int id) {
        return static_cast<int>(ui::SendMessage(Item(dialog, id), ui::BM_GETCHECK));
    }
    static void Click(app::CTavrinDlg& dialog, int id) {
        ui::SendMessage(Item(dialog, id), ui::BM_CLICK);
    }
    static int Selection(app::CTavrinDlg& dialog, int id) {
        return static_cast<int>(ui::SendMessage(Item(dialog, id), ui::CB_GETCURSEL));
    }
    static std::u16string Text(app::CTavrinDlg& dialog, int id) {
        ui::CBorrowed<> control(Item(dialog, id));
        std::u16string text = control.GetWindowText();
        return text;
    }
    static void SetText(app::CTavrinDlg& dialog, int id, std::u16string_view text) {
        ui::CBorrowed<> control(Item(dialog, id));
        control.SetWindowText(text);
    }
    static std::vector<std::u16string> Headings(app::CTavrinDlg& dialog) {
        std::vector<std::u16string> headings;
        for (int c = 0; c < dialog.resultList.GetColumnCount(); ++c)
            headings.push_back(ui::testing::GetColumnHeading(dialog.resultList, c));
        return headings;
    }
    // The port dialog, found among the top-level windows once it is up.
    static usb::CUsbPort* PortDialog() {
        for (ui::HWND window : ui::TopLevelWindows()) {
            if (ui::testing::DialogTemplateOf(window) == IDD_PORT_SELECT)
                return dynamic_cast<usb::CUsbPort*>(ui::CWnd::FromHandle(window));
        }
        return nullptr;
    }
};

// A check file with every item's "Value" and "Enable".
inline std::string CheckFile(const std::vector<std::pair<std::string, std::string>>& values,
                             const std::vector<std::pair<std::string, std::string>>& enables) {
    std::string text = "[Value]\r\n";
    for (const auto& [key, value] : values)
        text += key + "=" + value + "\r\n";
    text += "[Enable]\r\n";
    for (const auto& [key, value] : enables)
        text += key + "=" + value + "\r\n";
    return text;
}

}  // namespace maintest
