// Every platform call failing in turn, one per run, in station mode: the window starts with a
// port map and two mapped disks, a third is plugged unnoticed, the port selection dialog is
// opened from the window and closed with OK, the rows are rebuilt from the dialog's walk, and
// the window closes. Whatever fails, the run ends, leaves nothing open, and each disk's row is
// its mapped one or none.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/res/resource.h"
#include "platform/sim/faults.h"
#include "tests/qc/qc_run_fixture.h"
#include "tests/support/fault_sweep.h"
#include "usb/usb_port.h"

namespace {

using namespace qctest;

struct Row {
    int index = 0;
    device::ValueSlots values;
    friend bool operator==(const Row&, const Row&) = default;
};

struct Outcome {
    int portMode = -1;
    int rowCount = 0;
    std::map<char16_t, Row> rows;  // the rows with a record, by their "Vol" cell
    bool dialogShown = false;
    std::optional<sim::FaultCall> failed;
    faultsweep::LeftOpen open;
    std::string settings;
};

class StationModeFaultsTest : public QcRunTest {
  protected:
    Outcome RunOnce(std::uint64_t k) {
        QcRunTest::SetUp();  // a fresh station and window system for each run
        WriteSettings(
            SampleCheckFile({u"vid", u"CapMin"}),
            "[PortMap]\r\nusb01=1\r\nusb02=2\r\nusb03=3\r\n[Setting]\r\nENABLE_PORT=1\r\n");
        Plug(1, 1, u'E');
        Plug(2, 2, u'F');

        // Where Save leads when the map cannot be made on OK.
        ui::testing::QueueFileDialogAnswer(u"C:\\Tools\\Tavrin\\a.pfg");

        Outcome out;
        sim::Faults::Reset();
        sim::Faults::Arm(k);
        RunSteps({[&](app::CTavrinDlg& dialog) {
            ui::WhenIdle([&out] {
                usb::CUsbPort* ports = PortDialog();
                ASSERT_NE(ports, nullptr);
                out.dialogShown = true;
                ASSERT_TRUE(
                    ui::WaitServingSentMessages([&] { return !ports->IsWorkerRunning(); }, 10000));
                const ui::HWND window = ports->m_hWnd;
                ui::SendMessage(window, ui::WM_COMMAND, ui::IDOK, 0);
                // OK without a port file does nothing.
                ui::WhenIdle([window] {
                    if (ui::IsWindow(window))
                        ui::SendMessage(window, ui::WM_COMMAND, ui::IDCANCEL, 0);
                });
            });
            // Plugged unnoticed: only the rows rebuilt from the dialog's walk can list it.
            Plug(3, 3, u'G');
            Click(dialog, IDB_PORT_SELECT);
            WaitForScans(dialog);
            out.portMode = dialog.results.portMode();
            out.rowCount = Rows(dialog);
            const int vol = out.portMode == 1 ? 1 : 0;
            for (int row = 0; row < out.rowCount; ++row) {
                const qc::RowState* record = dialog.results.StateOf(row);
                const std::u16string letter = Cell(dialog, row, vol);
                if (record == nullptr) {
                    EXPECT_EQ(letter, u"") << row;
                    continue;
                }
                EXPECT_EQ(letter.size(), 1u) << row;
                EXPECT_EQ(out.rows.count(letter[0]), 0u) << "listed twice";
                if (letter.size() == 1)
                    out.rows[letter[0]] = {row, record->values};
            }
        }});
        out.failed = sim::Faults::FirstFailed();
        out.open = faultsweep::OpenNow();
        out.settings = ReadFile(maintest::kSettings);
        return out;
    }
};

TEST_F(StationModeFaultsTest, FailingEachEarlyCallThenASampleKeepsEveryDiskOnItsMappedRowOrOff) {
    const auto checkClean = [](const Outcome& clean, std::uint64_t) {
        ASSERT_TRUE(clean.dialogShown);
        ASSERT_EQ(clean.portMode, 1);
        ASSERT_EQ(clean.rowCount, 16);
        ASSERT_EQ(clean.rows.size(), 3u);
        EXPECT_EQ(clean.rows.at(u'E').index, 0);
        EXPECT_EQ(clean.rows.at(u'F').index, 1);
        EXPECT_EQ(clean.rows.at(u'G').index, 2);
        const device::ValueSlots full = clean.rows.at(u'E').values;
        EXPECT_EQ(clean.rows.at(u'F').values, full);
        EXPECT_EQ(clean.rows.at(u'G').values, full);
        EXPECT_EQ(clean.open.total(), 0u);
    };
    const auto checkFailure = [](const Outcome& clean, const Outcome& got, std::uint64_t,
                                 sim::FaultCall kind) {
        const device::ValueSlots full = clean.rows.at(u'E').values;
        EXPECT_TRUE(got.dialogShown);
        faultsweep::ExpectNothingOpen(got.open);
        // The mode comes from the map the dialog wrote: a failure can only cost ticks, not the
        // switch, unless the switch itself was not read or written.
        if (got.portMode == 1) {
            EXPECT_EQ(got.rowCount, 16);
        } else {
            EXPECT_TRUE(kind == sim::FaultCall::ProfileRead || kind == sim::FaultCall::ProfileWrite)
                << got.portMode;
        }
        int degraded = 0;
        for (const auto& [letter, row] : got.rows) {
            SCOPED_TRACE(static_cast<char>(letter));
            ASSERT_TRUE(letter == u'E' || letter == u'F' || letter == u'G');
            if (got.portMode == 1) {
                EXPECT_EQ(row.index, letter - u'E') << "its mapped row";
            }
            if (row.values == full)
                continue;
            ++degraded;
            device::ValueSlots capacityless = full;
            capacityless[device::kSlotCapMin].clear();
            capacityless[device::kSlotCapMax].clear();
            if (kind == sim::FaultCall::FreeBytes) {
                EXPECT_EQ(row.values, capacityless);
            } else {
                EXPECT_EQ(kind, sim::FaultCall::Open) << "only a drive that did not open";
                EXPECT_EQ(row.values, device::ValueSlots{});
            }
        }
        EXPECT_LE(degraded, 1);
        switch (kind) {
            case sim::FaultCall::PassThrough:
            case sim::FaultCall::LogicalDrives:
            case sim::FaultCall::CreateFile:
                // Retried, not needed by a rebuild, or the map saved through the file dialog.
                EXPECT_EQ(got.rows, clean.rows);
                break;
            default:
                break;
        }
        if (kind != sim::FaultCall::ProfileWrite && kind != sim::FaultCall::ProfileRead) {
            EXPECT_EQ(got.settings, clean.settings);
        }
    };
    faultsweep::Sweep([this](std::uint64_t k) { return RunOnce(k); }, checkClean, checkFailure);
}

}  // namespace
