// The QC run under concurrency, on either window backend: scans racing disks that come and go on
// another thread, bursts of notices, Refresh and the port dialog; and the window closing while a
// scan waits in each of its messages. Built for the thread sanitizer above all.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qc/messages.h"
#include "tests/qc/qc_run_fixture.h"

namespace {

using namespace ui;
using namespace qctest;

constexpr int kPorts = 8;

char16_t LetterOf(int port) {
    return static_cast<char16_t>(u'D' + port);
}

class QcThreadsTest : public QcRunTest {
  protected:
    // What a round leaves: more rounds, the end (the window is closed for it), or a window it
    // closed itself.
    enum class Then { More, Done, Closed };

    // Runs the program; `round` runs at every idle moment of the window's loop, the first once
    // the start-up scan has ended.
    void RunRounds(std::function<Then(app::CTavrinDlg&, int)> round) {
        auto run = std::make_shared<Rounds>();
        run->round = std::move(round);
        app::CTavrinApp program;
        ui::WhenIdle([run] { Continue(run); });
        EXPECT_EQ(program.InitInstance(), ui::FALSE);
        run->over = true;  // a task still queued must not act on the next run
    }

  private:
    struct Rounds {
        std::function<Then(app::CTavrinDlg&, int)> round;
        int next = 0;
        bool over = false;
    };

    static void Continue(const std::shared_ptr<Rounds>& run) {
        auto* dialog = static_cast<app::CTavrinDlg*>(ui::AfxGetMainWnd());
        if (run->over || dialog == nullptr || !ui::IsWindow(dialog->m_hWnd))
            return;
        if (run->next == 0)
            WaitForScans(*dialog);
        switch (run->round(*dialog, run->next++)) {
            case Then::More:
                ui::WhenIdle([run] { Continue(run); });
                break;
            case Then::Done:
                WaitForScans(*dialog);
                Close(*dialog);
                break;
            case Then::Closed:
                break;
        }
    }

  protected:
    // The port dialog run from its button; inside it, notices for the main window (unless not
    // `notices`) and then `button`.
    static void PortDialog(app::CTavrinDlg& dialog, int button, bool notices = true) {
        const HWND main = dialog.m_hWnd;
        bool ran = false;
        ui::WhenIdle([&] {
            for (const HWND window : ui::TopLevelWindows()) {
                if (ui::testing::DialogTemplateOf(window) != IDD_PORT_SELECT ||
                    !ui::IsWindow(window))
                    continue;
                ran = true;
                if (notices) {
                    ui::PostMessage(main, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
                    ui::PostMessage(main, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
                }
                ui::SendMessage(window, WM_COMMAND, static_cast<WPARAM>(button), 0);
            }
        });
        Click(dialog, IDB_PORT_SELECT);
        EXPECT_TRUE(ran) << "the port dialog did not show";
    }

    static std::u16string Letters(app::CTavrinDlg& dialog) {
        std::u16string letters;
        for (int row = 0; row < Rows(dialog); ++row)
            letters += Cell(dialog, row, 0);
        std::sort(letters.begin(), letters.end());
        return letters;
    }
};

// Disks come and go on another thread, each change followed by a burst of notices posted to the
// window, while the window's thread clicks Refresh and runs the port dialog (cancelled, then
// confirmed), itself posting notices from inside it. The changes are paced by the window's
// rounds so that the two overlap. In the end one more notice: the rows are the disks present,
// each checked, and no handle is left open.
TEST_F(QcThreadsTest, ScansRaceArrivalsRefreshAndThePortDialog) {
    WriteSettings(SampleCheckFile({u"vid", u"ProductName"}), "[Setting]\r\nENABLE_PORT=0\r\n");
    bool plugged[kPorts + 1] = {};
    for (int port = 1; port <= 4; ++port) {
        Plug(port, port, LetterOf(port));
        plugged[port] = true;
    }

    constexpr int kChanges = 24;
    constexpr int kRounds = 36;  // of racing, at least
    std::atomic<int> rounds{0};
    std::atomic<bool> changed{false};
    std::thread operatorThread;
    std::shared_ptr<qc::ScanShared> shared;  // the window's scans, which outlive it
    int phase = 0;                           // racing; the last notice handled; its scan ended
    bool confirmed = false;
    RunRounds([&](app::CTavrinDlg& dialog, int round) {
        rounds = round;
        if (round == 0) {
            shared = dialog.scan;
            EXPECT_EQ(Letters(dialog), u"EFGH");
            const HWND window = dialog.m_hWnd;
            sim::Station::Get().Usb().SetDeviceChangeHook([window](sim::UsbChange change,
                                                                   const sim::UsbPortAddress&) {
                const WPARAM event = change == sim::UsbChange::Arrival ? DBT_DEVICEARRIVAL
                                                                       : DBT_DEVICEREMOVECOMPLETE;
                for (int i = 0; i < 3; ++i)
                    ui::PostMessage(window, WM_DEVICECHANGE, event, 0);
            });
            operatorThread = std::thread([&] {
                for (int k = 0; k < kChanges; ++k) {
                    while (rounds.load() < k * (kRounds - 4) / kChanges)
                        std::this_thread::yield();
                    const int port = (k * 5) % kPorts + 1;
                    if (plugged[port]) {
                        EXPECT_TRUE(sim::Station::Get().Usb().Unplug({0, {port}}));
                    } else {
                        EXPECT_TRUE(sim::Station::Get().Usb().Plug(
                            {0, {port}}, sim::FlashDisk(port, LetterOf(port))));
                    }
                    plugged[port] = !plugged[port];
                }
                changed = true;
            });
            return Then::More;
        }
        if (phase == 0) {
            if (round % 6 == 1)
                Click(dialog, IDB_REFRESH);
            if (round % 12 == 3)
                PortDialog(dialog, IDCANCEL);
            if (round % 12 == 9) {
                PortDialog(dialog, IDOK);
                confirmed = true;
            }
            if (round >= kRounds && changed.load()) {
                operatorThread.join();
                sim::Station::Get().Usb().SetDeviceChangeHook({});
                Notify(dialog);  // after every change, and after every notice (this is idle)
                phase = 1;
            }
            return Then::More;
        }
        if (phase == 1) {
            WaitForScans(dialog);
            phase = 2;  // the verdicts it posted arrive before the next round
            return Then::More;
        }
        std::u16string present;
        for (int port = 1; port <= kPorts; ++port) {
            if (plugged[port])
                present += LetterOf(port);
        }
        EXPECT_EQ(Letters(dialog), present);
        for (int row = 0; row < Rows(dialog); ++row)
            EXPECT_NE(Verdict(dialog, row), 0) << "row " << row << " was not checked";
        EXPECT_EQ(sim::Station::Get().OpenHandleCount(), 0u);
        return Then::Done;
    });
    if (operatorThread.joinable())
        operatorThread.join();
    sim::Station::Get().Usb().SetDeviceChangeHook({});
    ASSERT_NE(shared, nullptr);
    EXPECT_TRUE(uitest::WaitFor([&] { return shared->running() == 0; }));
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(phase, 2) << "the run did not reach its end";
}

// Wraps the window's sink: when the scan is about to send `held` it says so and waits until
// told to go on, then sends it. So the window's thread, which serves the scan's messages until
// then, stops serving before the held one can arrive.
class HoldingSink : public qc::ScanSink {
  public:
    HoldingSink(qc::ScanSink& window, UINT held) : window_(window), held_(held) {}

    void CollectCheckValues() override {
        Reach(qc::kMsgCollectCheckValues);
        window_.CollectCheckValues();
    }
    void AddDeviceRow(const usb::UsbDeviceEntry& entry) override {
        Reach(qc::kMsgAddDeviceRow);
        window_.AddDeviceRow(entry);
    }
    void ClearRow(int row, char16_t letter) override {
        Reach(qc::kMsgClearRow);
        window_.ClearRow(row, letter);
    }
    int RowCount() override { return window_.RowCount(); }
    std::u16string VolCell(int row, int bufferSize) override {
        return window_.VolCell(row, bufferSize);
    }
    bool IsDriveListed(char16_t letter) override { return window_.IsDriveListed(letter); }

    std::atomic<bool> reached{false};
    std::atomic<bool> go{false};

  private:
    void Reach(UINT message) {
        if (message != held_)
            return;
        reached = true;
        EXPECT_TRUE(uitest::WaitFor([this] { return go.load(); }));
    }
    qc::ScanSink& window_;
    const UINT held_;
};

// The window closes while a scan waits in each of its three messages: closing does not hang,
// the message is answered without effect, the scan ends without reaching the window again
// (the sanitizers watch for freed state), its count returns to 0 and its handles are closed.
// The window's scan is replaced, once idle, by one whose sink holds the scan at the message.
TEST_F(QcThreadsTest, ClosingWhileAScanWaitsInEachOfItsMessages) {
    for (const UINT held : {qc::kMsgCollectCheckValues, qc::kMsgAddDeviceRow, qc::kMsgClearRow}) {
        SCOPED_TRACE(held);
        sim::Station::Get().Reset();
        sim::UsbMachine machine;
        machine.controllers.push_back(sim::Controller(kRootPorts));
        sim::Station::Get().Usb().SetMachine(std::move(machine));
        WriteSettings(SampleCheckFile({u"vid"}));
        if (held == qc::kMsgClearRow)
            Plug(1, 1, u'E');  // listed at start-up, gone before the held scan

        std::unique_ptr<HoldingSink> sink;
        std::shared_ptr<qc::ScanShared> scan;
        RunRounds([&](app::CTavrinDlg& dialog, int) {
            sink = std::make_unique<HoldingSink>(*dialog.scanSink, held);
            scan = std::make_shared<qc::ScanShared>(*sink);
            dialog.scan = scan;
            if (held == qc::kMsgClearRow) {
                EXPECT_EQ(Rows(dialog), 1);
                Unplug(1);
            } else if (held == qc::kMsgAddDeviceRow) {
                Plug(2, 2, u'F');
            }
            Notify(dialog);
            EXPECT_TRUE(ui::WaitServingSentMessages([&] { return sink->reached.load(); }, 20000));
            EXPECT_EQ(scan->running(), 1);
            // Not served from here on: the scan's send waits until the window, closing, takes it.
            sink->go = true;
            // The close box's Cancel, at once: the box posts it, and a message sent meanwhile
            // would be served before it.
            dialog.SendMessage(WM_COMMAND, IDCANCEL, 0);
            return Then::Closed;
        });
        ASSERT_NE(scan, nullptr);
        EXPECT_TRUE(scan->detached());
        EXPECT_TRUE(uitest::WaitFor([&] { return scan->running() == 0; }));
        EXPECT_EQ(sim::Station::Get().OpenHandleCount(), 0u);
        if (held == qc::kMsgAddDeviceRow) {
            EXPECT_EQ(sim::Station::Get().Disk(2)->calls.size(), 1u)
                << "the scan asked the disk what it is; the window read nothing";
        }
    }
}

// A scan reads a row's "Vol" cell, finds the disk gone, and sends the clear a message later; the
// USB Port Select rebuild, forced in between, has put a disk that is present on that row. The
// clear leaves that row, and the scan goes on with the rows as they are.
TEST_F(QcThreadsTest, AClearAfterThePortSelectRebuildLeavesAPresentDisk) {
    WriteSettings(SampleCheckFile({u"vid"}), "[Setting]\r\nENABLE_PORT=0\r\n");
    Plug(1, 1, u'E');
    std::unique_ptr<HoldingSink> sink;
    std::shared_ptr<qc::ScanShared> scan;
    RunRounds([&](app::CTavrinDlg& dialog, int round) {
        if (round == 1) {
            EXPECT_EQ(Letters(dialog), u"F");
            EXPECT_EQ(Verdict(dialog, 0), 1);
            return Then::Done;
        }
        sink = std::make_unique<HoldingSink>(*dialog.scanSink, qc::kMsgClearRow);
        scan = std::make_shared<qc::ScanShared>(*sink);
        dialog.scan = scan;
        EXPECT_EQ(Letters(dialog), u"E");
        Unplug(1);
        Plug(2, 2, u'F');
        Notify(dialog);
        // The scan adds F after E, reads E's cell on row 0 and holds before clearing it.
        EXPECT_TRUE(ui::WaitServingSentMessages([&] { return sink->reached.load(); }, 20000));
        EXPECT_EQ(Cell(dialog, 0, 0), u"E");
        EXPECT_EQ(Cell(dialog, 1, 0), u"F");
        PortDialog(dialog, IDOK, false);
        EXPECT_EQ(Rows(dialog), 1);
        EXPECT_EQ(Cell(dialog, 0, 0), u"F");
        sink->go = true;
        WaitForScans(dialog);
        return Then::More;
    });
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(scan->running(), 0);
}

}  // namespace
