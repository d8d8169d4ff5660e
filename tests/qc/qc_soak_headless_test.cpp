// A long run of random events against the whole program on a virtual station: disks of every
// kind plugged and pulled, hubs with disks, notices in bursts, Refresh, Run with changed
// expectations, the port dialog, the window closed while scans run. After every event the rows
// must be the disks present, with their values and the verdicts the rules give.
//
// TAVRIN_SOAK_EVENTS (default 300) and TAVRIN_SOAK_SEED (default printed) replay a run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/qc/qc_run_fixture.h"
#include "usb/usb_port.h"

namespace {

using namespace ui;
using namespace qctest;

enum class Kind { Supported, OtherValue, Unreadable, Foreign };

struct Disk {
    int number = 0;
    char16_t letter = 0;
    Kind kind = Kind::Supported;
};

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == '\0' ? fallback : std::strtoul(text, nullptr, 10);
}

class SoakTest : public QcRunTest {
  protected:
    static constexpr int kPorts = 10;

    void SetUp() override {
        QcRunTest::SetUp();
        UseController(kPorts);
        WriteFile(
            maintest::kSettings,
            "[Setting]\r\nCHECK_FILE=a.chk\r\nPORT_FILE=a.pfg\r\nAutoCheck=1\r\nInfoCheck=1\r\n");
        WriteFile(u"C:\\Tools\\Tavrin\\a.pfg", "[Setting]\r\nENABLE_PORT=0\r\n");
        WriteFile(u"C:\\Tools\\Tavrin\\a.chk",
                  SampleCheckFile({u"vid", u"ProductName", u"CapMin", u"CapMax", u"FWVer"}));
    }

    char16_t FreeLetter() {
        std::set<char16_t> used;
        for (const auto& [where, disk] : present)
            used.insert(disk.letter);
        std::vector<char16_t> free;
        for (char16_t l = u'E'; l <= u'Z'; ++l) {
            if (!used.count(l))
                free.push_back(l);
        }
        return free.empty() ? 0 : free[random() % free.size()];
    }

    // Drive numbers run from 0 to 99 on the platform: a number is taken again once its disk
    // has gone.
    sim::UsbDevice MakeDisk(Kind kind, char16_t letter) {
        std::set<int> used;
        for (const auto& [where, disk] : present)
            used.insert(disk.number);
        int number = 1;
        while (used.count(number))
            ++number;
        lastNumber = number;
        sim::VirtualDisk& disk = sim::Station::Get().AddDisk(number);
        disk.SetModel(kind == Kind::Foreign ? "QX9100" : "RV7730");
        disk.block = kind == Kind::OtherValue ? sim::SampleInfoBlock().Ids(0x9999, 0x7730).Bytes()
                                              : sim::SampleInfoBlock().Bytes();
        if (kind == Kind::Unreadable)
            disk.block[0] ^= 0xFF;  // wrong magic
        return sim::FlashDisk(number, letter);
    }

    // One random change of the station, or one thing the operator does.
    void Event(app::CTavrinDlg& dialog) {
        const int what = static_cast<int>(random() % 100);
        history.push_back(what);
        const int port = 1 + static_cast<int>(random() % kPorts);
        const bool occupied = ports.count(port) != 0;
        if (what < 35 && !occupied) {
            const Kind kind = static_cast<Kind>(random() % 4);
            if (random() % 5 == 0) {  // a hub with two disks
                sim::UsbHub hub = sim::Hub(2);
                for (int sub = 1; sub <= 2; ++sub) {
                    const char16_t letter = FreeLetter();
                    if (letter == 0)
                        continue;
                    hub.ports[static_cast<std::size_t>(sub - 1)] =
                        sim::UsbPort::With(MakeDisk(kind, letter));
                    present[{port, sub}] = {lastNumber, letter, kind};
                }
                ASSERT_TRUE(sim::Station::Get().Usb().PlugHub({0, {port}}, std::move(hub)));
            } else {
                const char16_t letter = FreeLetter();
                if (letter == 0)
                    return;
                ASSERT_TRUE(sim::Station::Get().Usb().Plug({0, {port}}, MakeDisk(kind, letter)));
                present[{port, 0}] = {lastNumber, letter, kind};
            }
            ports.insert(port);
            Notify(dialog);
        } else if (what < 60 && occupied) {
            ASSERT_TRUE(sim::Station::Get().Usb().Unplug({0, {port}}));
            for (auto it = present.begin(); it != present.end();)
                it = it->first.first == port ? present.erase(it) : std::next(it);
            ports.erase(port);
            Notify(dialog, false);
        } else if (what < 70) {
            for (unsigned n = 1 + random() % 3; n > 0; --n)
                Notify(dialog, random() % 2 == 0);
        } else if (what < 78) {
            Click(dialog, IDB_REFRESH);
        } else if (what < 88) {
            expectedVid = random() % 2 == 0 ? u"1234" : u"9999";
            SetText(dialog, IDE_VID, expectedVid);
            Click(dialog, IDB_RUN);
        } else if (what < 95) {
            // The port dialog: cancelled, or confirmed in free mode (the rows are rebuilt from
            // its walk), sometimes before its walk has ended.
            const bool ok = random() % 2 == 0;
            const bool early = random() % 2 == 0;
            ui::WhenIdle([ok, early] {
                for (HWND window : ui::TopLevelWindows()) {
                    if (ui::testing::DialogTemplateOf(window) != IDD_PORT_SELECT)
                        continue;
                    auto* ports = dynamic_cast<usb::CUsbPort*>(CWnd::FromHandle(window));
                    if (!early)
                        WaitServingSentMessages([&] { return !ports->IsWorkerRunning(); }, 10000);
                    SendMessage(window, WM_COMMAND, static_cast<WPARAM>(ok ? IDOK : IDCANCEL), 0);
                }
            });
            Click(dialog, IDB_PORT_SELECT);
        } else {
            // The window closes while a scan runs; the program starts again.
            restart = true;
            lastScan = dialog.scan;
            Notify(dialog);
            Close(dialog);
            return;
        }
        WaitForScans(dialog);
    }

    // The rows are the disks present, with their values and verdicts.
    void Check(app::CTavrinDlg& dialog, int event) {
        std::string recent;
        for (std::size_t i = history.size() > 8 ? history.size() - 8 : 0; i < history.size(); ++i)
            recent += " " + std::to_string(history[i]);
        SCOPED_TRACE("event " + std::to_string(event) + ", the last kinds" + recent + ", columns " +
                     std::to_string(dialog.resultList.GetColumnCount()) + ", auto check " +
                     std::to_string(dialog.autoCheck));
        std::map<char16_t, Disk> listed;
        for (const auto& [where, disk] : present) {
            if (disk.kind != Kind::Foreign)
                listed[disk.letter] = disk;
        }
        ASSERT_EQ(Rows(dialog), static_cast<int>(listed.size()));
        for (int row = 0; row < Rows(dialog); ++row) {
            const std::u16string vol = Cell(dialog, row, 0);
            ASSERT_EQ(vol.size(), 1u) << row;
            const auto it = listed.find(vol[0]);
            ASSERT_NE(it, listed.end()) << row;
            const Disk& disk = it->second;
            const qc::RowState* record = dialog.results.StateOf(row);
            ASSERT_NE(record, nullptr);
            const std::u16string vid = disk.kind == Kind::Unreadable   ? u""
                                       : disk.kind == Kind::OtherValue ? u"9999"
                                                                       : u"1234";
            EXPECT_EQ(record->values[device::kSlotVid], vid) << row;
            EXPECT_EQ(Cell(dialog, row, 2), vid) << row;
            const bool pass = disk.kind != Kind::Unreadable && vid == expectedVid;
            EXPECT_EQ(Verdict(dialog, row), pass ? 1 : 2) << row;
            listed.erase(it);
        }
        for (const std::u16string& path : sim::Station::Get().OpenHandlePaths())
            ADD_FAILURE() << "open: " << platform::ToUtf8(path);
    }

    unsigned long random() { return engine(); }

    std::mt19937 engine;
    std::map<std::pair<int, int>, Disk> present;  // (root port, hub port or 0)
    std::set<int> ports;
    int lastNumber = 0;
    std::u16string expectedVid = u"1234";
    bool restart = false;
    std::vector<int> history;                  // the kinds of the events so far (0 to 99, as drawn)
    std::shared_ptr<qc::ScanShared> lastScan;  // of a window closed while its scans ran
};

TEST_F(SoakTest, RandomEventsKeepTheRowsTrue) {
    const unsigned long events = EnvNumber("TAVRIN_SOAK_EVENTS", 300);
    const unsigned long seed = EnvNumber("TAVRIN_SOAK_SEED", 20261208);
    std::cout << "soak: " << events << " events, seed " << seed << "\n";
    RecordProperty("seed", std::to_string(seed));
    engine.seed(static_cast<std::mt19937::result_type>(seed));
    unsigned long done = 0;
    int starts = 0;
    while (done < events && !HasFailure()) {
        restart = false;
        ++starts;
        std::vector<Step> steps;
        // Each step checks the state the last event left, then makes the next one.
        for (unsigned long i = 0; i < events - done; ++i) {
            steps.push_back([this, &done](app::CTavrinDlg& dialog) {
                if (restart || HasFailure())
                    return;
                Check(dialog, static_cast<int>(done));
                if (HasFailure())
                    return;
                Event(dialog);
                ++done;
            });
        }
        RunSteps(std::move(steps), true);
        // What the closed window's scans still do is theirs alone; they end by themselves.
        if (lastScan != nullptr) {
            ASSERT_TRUE(uitest::WaitFor([&] { return lastScan->running() == 0; }));
            lastScan.reset();
        }
        if (!restart)
            break;
        expectedVid = u"1234";  // a new start shows the check file's values again
    }
    std::cout << "soak: " << done << " events in " << starts << " starts\n";
    EXPECT_EQ(done, events);
}

}  // namespace
