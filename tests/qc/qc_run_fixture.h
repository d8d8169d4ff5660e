// The whole program on a virtual station: disks on the ports of one host controller, the main
// window run in steps, each step at the next idle moment of its loop (so that the verdicts the
// window posted to the bars have arrived).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/res/resource.h"
#include "app/tavrin_app.h"
#include "device/controller.h"
#include "platform/sim/info_block.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"
#include "tests/app/main_window_fixture.h"
#include "tests/support/ui_thread.h"

namespace qctest {

using Step = std::function<void(app::CTavrinDlg&)>;

// The texts of sim::SampleInfoBlock() on a volume with 4 000 000 000 free bytes.
inline constexpr const char16_t* kSampleValues[device::kSlotCount] = {
    u"1234", u"7730",  u"1.00", u"Generic", u"Flash Disk", u"30MHZ",       u"40MHZ",       u"ON",
    u"OFF",  u"Quick", u"1",    u"0",       u"A",          u"16384",       u"1",           u"1",
    u"0",    u"0",     u"0",    u"3814MB",  u"3814MB",     u"MP 2.15.0.7", u"FW 7730.0412"};

class QcRunTest : public maintest::MainWindowTest {
  protected:
    static constexpr int kRootPorts = 8;

    void SetUp() override {
        MainWindowTest::SetUp();
        UseController(kRootPorts);
    }
    // The station's one host controller, with `ports` root ports.
    static void UseController(int ports) {
        sim::UsbMachine machine;
        machine.controllers.push_back(sim::Controller(ports));
        sim::Station::Get().Usb().SetMachine(std::move(machine));
    }

    // A disk of the station's controller on root port `port` (its ordinal, with nothing
    // before it), drive `number`, volume `letter` (0: none yet); `configure` may change its
    // block or controller before it arrives.
    static void Plug(int port, int number, char16_t letter,
                     const std::function<void(sim::VirtualDisk&)>& configure = {}) {
        sim::VirtualDisk& disk = sim::Station::Get().AddDisk(number);
        disk.SetModel("RV7730");
        disk.block = sim::SampleInfoBlock().Bytes();
        if (configure)
            configure(disk);
        ASSERT_TRUE(sim::Station::Get().Usb().Plug({0, {port}}, sim::FlashDisk(number, letter)));
    }
    static void Unplug(int port) { ASSERT_TRUE(sim::Station::Get().Usb().Unplug({0, {port}})); }

    // The system's notice of an arrival or removal, as every top-level window gets it.
    static void Notify(app::CTavrinDlg& dialog, bool arrival = true) {
        EXPECT_EQ(
            dialog.SendMessage(ui::WM_DEVICECHANGE,
                               arrival ? ui::DBT_DEVICEARRIVAL : ui::DBT_DEVICEREMOVECOMPLETE, 0),
            ui::TRUE);
    }
    // Until every scan started so far has ended, serving what they send.
    static void WaitForScans(app::CTavrinDlg& dialog) {
        ASSERT_TRUE(ui::WaitServingSentMessages(
            [&dialog] { return dialog.scan != nullptr && dialog.scan->running() == 0; }, 20000));
    }

    // Runs the program; each step runs at the next idle moment after the one before, the first
    // once the start-up scan has ended. The window is closed after the last, unless a step has
    // closed it (only where `mayCloseEarly`).
    void RunSteps(std::vector<Step> steps, bool mayCloseEarly = false) {
        auto run = std::make_shared<StepRun>();
        run->steps = std::move(steps);
        app::CTavrinApp program;
        ui::WhenIdle([run] { Continue(run); });
        EXPECT_EQ(program.InitInstance(), ui::FALSE);
        // A task still queued belongs to this run and must not act on the next.
        run->over = true;
        if (!mayCloseEarly) {
            EXPECT_EQ(run->next, run->steps.size()) << "steps left";
        }
    }

  private:
    struct StepRun {
        std::vector<Step> steps;
        std::size_t next = 0;
        bool started = false;
        bool over = false;
    };

    static void Continue(const std::shared_ptr<StepRun>& run) {
        auto* dialog = static_cast<app::CTavrinDlg*>(ui::AfxGetMainWnd());
        if (run->over || dialog == nullptr || !ui::IsWindow(dialog->m_hWnd))
            return;
        if (!run->started) {
            // The start-up scan, then what it posted, before the first step.
            run->started = true;
            WaitForScans(*dialog);
        } else if (run->next < run->steps.size()) {
            run->steps[run->next++](*dialog);
        } else {
            WaitForScans(*dialog);
            Close(*dialog);
            return;
        }
        ui::WhenIdle([run] { Continue(run); });
    }

  protected:
    // A check file enabling `items` (slot keys) with the sample's values, except `values`.
    static std::string SampleCheckFile(
        const std::vector<std::u16string_view>& items,
        const std::vector<std::pair<std::string, std::string>>& values = {}) {
        std::vector<std::pair<std::string, std::string>> stored, enabled;
        for (std::u16string_view key : items) {
            const std::string narrow(key.begin(), key.end());
            enabled.emplace_back(narrow, "1");
        }
        for (std::size_t i = 0; i < device::kSlotCount; ++i) {
            const std::u16string_view key = device::kSlotKeys[i];
            const std::string narrow(key.begin(), key.end());
            if (app::IsListItem(i))
                continue;  // indexes: the tests that check them give them
            std::u16string_view text = kSampleValues[i];
            if (i == device::kSlotCapMin || i == device::kSlotCapMax)
                text = u"3814";
            stored.emplace_back(narrow, std::string(text.begin(), text.end()));
        }
        for (const auto& [key, value] : values) {
            bool replaced = false;
            for (auto& [k, v] : stored) {
                if (k == key) {
                    v = value;
                    replaced = true;
                }
            }
            if (!replaced)
                stored.emplace_back(key, value);
        }
        return maintest::CheckFile(stored, enabled);
    }

    // Settings with a check file and a port map file in the program folder.
    void WriteSettings(const std::string& check, const std::string& portMap = {},
                       bool autoCheck = true, bool infoCheck = true) {
        std::string settings = "[Setting]\r\nCHECK_FILE=a.chk\r\n";
        if (!portMap.empty()) {
            settings += "PORT_FILE=a.pfg\r\n";
            WriteFile(u"C:\\Tools\\Tavrin\\a.pfg", portMap);
        }
        settings += std::string("AutoCheck=") + (autoCheck ? "1" : "0") + "\r\n";
        settings += std::string("InfoCheck=") + (infoCheck ? "1" : "0") + "\r\n";
        WriteFile(maintest::kSettings, settings);
        WriteFile(u"C:\\Tools\\Tavrin\\a.chk", check);
    }

    static std::u16string Cell(app::CTavrinDlg& dialog, int row, int column) {
        return dialog.resultList.GetItemText(row, column);
    }
    static int Rows(app::CTavrinDlg& dialog) { return dialog.resultList.GetItemCount(); }
    // The verdict the row's bar shows: 0 none, 1 PASS, 2 FAIL; -1 without a record.
    static int Verdict(app::CTavrinDlg& dialog, int row) {
        const qc::RowState* record = dialog.results.StateOf(row);
        return record == nullptr || record->bar == nullptr ? -1 : record->bar->verdict();
    }
    static std::vector<int> Matches(app::CTavrinDlg& dialog, int row) {
        std::vector<int> flags;
        if (const qc::RowState* record = dialog.results.StateOf(row))
            flags.assign(record->matches.begin(), record->matches.end());
        return flags;
    }
};

}  // namespace qctest
