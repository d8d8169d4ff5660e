// Every platform call of a QC run failing in turn, one per run: the window starts with two disks
// plugged, a third arrives and is scanned, the window closes. Whatever fails, the run ends, leaves
// nothing open, and its rows shrink only in the ways the failure allows.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/sim/clock.h"
#include "platform/sim/faults.h"
#include "qc/result_log.h"
#include "tests/qc/qc_run_fixture.h"
#include "tests/support/fault_sweep.h"

namespace {

using namespace qctest;

constexpr char16_t kLog[] = u"C:\\Tools\\Tavrin\\results.csv";

struct Outcome {
    std::map<char16_t, device::ValueSlots> rows;            // by the "Vol" cell
    std::map<char16_t, std::vector<std::u16string>> cells;  // the item cells, after "Check"
    std::vector<std::u16string> headings;
    int rowCount = 0;
    std::uint64_t callsBeforeArrival = 0;  // when the third disk was plugged
    std::optional<sim::FaultCall> failed;
    faultsweep::LeftOpen open;
    std::string log;
    std::size_t retries = 0;  // retry lines on the debugger
};

bool Empty(const device::ValueSlots& values) {
    for (const auto& v : values) {
        if (!v.empty())
            return false;
    }
    return true;
}

device::ValueSlots WithoutCapacity(device::ValueSlots values) {
    values[device::kSlotCapMin].clear();
    values[device::kSlotCapMax].clear();
    return values;
}

class ScanFaultsTest : public QcRunTest {
  protected:
    void TearDown() override {
        sim::SetClock(std::nullopt);
        QcRunTest::TearDown();
    }

    // One run with the k-th platform call failing (0: none).
    Outcome RunOnce(std::uint64_t k) {
        QcRunTest::SetUp();  // a fresh station and window system for each run
        sim::SetClock(platform::LocalTime{2026, 3, 4, 5, 6, 7});
        WriteFile(maintest::kSettings,
                  "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\nInfoCheck=1\r\n"
                  "RESULT_LOG=results.csv\r\n");
        WriteFile(u"C:\\Tools\\Tavrin\\a.chk",
                  SampleCheckFile({u"vid", u"ProductName", u"CapMin", u"CapMax"}));
        std::filesystem::remove(Host(kLog));
        Plug(1, 1, u'E');
        Plug(2, 2, u'F');

        Outcome out;
        sim::Faults::Reset();
        sim::Faults::Arm(k);
        RunSteps({[&](app::CTavrinDlg& dialog) {
            out.callsBeforeArrival = sim::Faults::Calls();
            Plug(3, 3, u'G');
            Notify(dialog);
            WaitForScans(dialog);
            out.rowCount = Rows(dialog);
            out.headings = Headings(dialog);
            for (int row = 0; row < out.rowCount; ++row) {
                const qc::RowState* record = dialog.results.StateOf(row);
                const std::u16string vol = Cell(dialog, row, 0);
                EXPECT_NE(record, nullptr) << row;
                EXPECT_EQ(vol.size(), 1u) << row;
                if (record != nullptr && vol.size() == 1) {
                    out.rows[vol[0]] = record->values;
                    std::vector<std::u16string>& cells = out.cells[vol[0]];
                    for (int c = 2; c < dialog.resultList.GetColumnCount(); ++c)
                        cells.push_back(Cell(dialog, row, c));
                }
            }
        }});
        out.failed = sim::Faults::FirstFailed();
        out.open = faultsweep::OpenNow();
        out.log = ReadFile(kLog);
        for (const std::u16string& line : sim::Station::Get().DebugLines())
            out.retries += line.find(u"retry") != std::u16string::npos;
        return out;
    }
};

TEST_F(ScanFaultsTest, FailingEachEarlyCallThenASampleShrinksTheRunAsItMay) {
    const auto checkClean = [](const Outcome& clean, std::uint64_t) {
        ASSERT_EQ(clean.rowCount, 3);
        ASSERT_EQ(clean.rows.size(), 3u);
        const device::ValueSlots full = clean.rows.at(u'E');
        ASSERT_EQ(full[device::kSlotCapMin], u"3814MB");
        for (const auto& [letter, values] : clean.rows)
            EXPECT_EQ(values, full) << static_cast<char>(letter);
        ASSERT_EQ(clean.cells.at(u'E'),
                  (std::vector<std::u16string>{u"1234", u"Flash Disk", u"3814MB"}));
        EXPECT_EQ(clean.open.total(), 0u);
        ASSERT_EQ(clean.log.substr(0, qc::LogHeader().size()), qc::LogHeader());
        ASSERT_EQ(faultsweep::Lines(clean.log).size(), 4u);  // the header and one line a disk
    };
    const auto checkFailure = [](const Outcome& clean, const Outcome& got, std::uint64_t k,
                                 sim::FaultCall kind) {
        const device::ValueSlots full = clean.rows.at(u'E');
        faultsweep::ExpectNothingOpen(got.open);
        EXPECT_EQ(static_cast<std::size_t>(got.rowCount), got.rows.size()) << "one row a disk";

        // A disk missed by the start-up scan is found by the next one; only a failure in the
        // last scan can leave its disk out.
        const bool inLastScan = k > got.callsBeforeArrival;
        EXPECT_EQ(got.rows.count(u'E'), 1u);
        EXPECT_EQ(got.rows.count(u'F'), 1u);
        if (!inLastScan || kind == sim::FaultCall::PassThrough) {
            EXPECT_EQ(got.rows.count(u'G'), 1u);
        }

        // A row read with a failing call keeps the slots that call would have written empty.
        int degraded = 0;
        for (const auto& [letter, values] : got.rows) {
            SCOPED_TRACE(static_cast<char>(letter));
            if (values == full)
                continue;
            ++degraded;
            if (kind == sim::FaultCall::FreeBytes) {
                EXPECT_EQ(values, WithoutCapacity(full));
            } else {
                EXPECT_EQ(kind, sim::FaultCall::Open) << "only a drive that did not open";
                EXPECT_TRUE(Empty(values));
            }
        }
        EXPECT_LE(degraded, 1);
        // The cells show the values: those of a whole read as in the run without a failure,
        // none of a drive that did not open.
        for (const auto& [letter, values] : got.rows) {
            SCOPED_TRACE(static_cast<char>(letter));
            const std::vector<std::u16string>& cells = got.cells.at(letter);
            if (Empty(values)) {
                EXPECT_EQ(cells, std::vector<std::u16string>(cells.size()));
            } else if (values == full && got.headings == clean.headings) {
                EXPECT_EQ(cells, clean.cells.at(letter));
            }
        }
        if (kind == sim::FaultCall::FreeBytes) {
            EXPECT_EQ(degraded, 1);
        }

        // One failed attempt of a pass-through is retried; a failed log write leaves the file as
        // it was and its line is written with the next one or at closing; settings not read
        // fall back; a failed write at closing goes unnoticed.
        const std::vector<std::string> lines = faultsweep::Lines(got.log);
        switch (kind) {
            case sim::FaultCall::PassThrough:
                EXPECT_EQ(got.retries, clean.retries + 1) << "the failed attempt's line";
                EXPECT_EQ(got.rows, clean.rows);
                EXPECT_EQ(got.log, clean.log);
                break;
            case sim::FaultCall::ProfileWrite:
            case sim::FaultCall::LogicalDrives:
            case sim::FaultCall::LogOpen:
            case sim::FaultCall::LogWrite:
            case sim::FaultCall::LogFlush:
                EXPECT_EQ(got.rows, clean.rows);
                EXPECT_EQ(got.log, clean.log);
                break;
            case sim::FaultCall::ProfileRead:
                EXPECT_EQ(got.rows, clean.rows);
                EXPECT_LE(lines.size(), 4u);
                break;
            default:
                EXPECT_LE(lines.size(), 4u);
                break;
        }
    };
    faultsweep::Sweep([this](std::uint64_t k) { return RunOnce(k); }, checkClean, checkFailure);
}

}  // namespace
