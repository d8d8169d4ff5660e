// The result log: its lines, its retries, and the record it leaves of a QC run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/clock.h"
#include "tests/qc/qc_run_fixture.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using namespace qctest;

constexpr platform::LocalTime kTime{2026, 3, 4, 5, 6, 7};

device::ValueSlots Values() {
    device::ValueSlots values;
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = kSampleValues[i];
    return values;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<unterminated>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(ResultLogLineTest, FieldsInOrderQuotedOnlyWhereNeeded) {
    device::ValueSlots values = Values();
    values[device::kSlotProductName] = u"Disk, \"8GB\"";
    values[device::kSlotVendorName] = u"G\u00e9n\u00e9ric";
    values[device::kSlotMpVer] = u"two\nlines";
    const std::string line = qc::FormatLogLine(kTime, 0, 3, u"E|F", false, values);
    EXPECT_EQ(line,
              "2026-03-04 05:06:07,,3,E|F,FAIL,1234,7730,1.00,G\xC3\xA9n\xC3\xA9ric,"
              "\"Disk, \"\"8GB\"\"\",30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,"
              "3814MB,\"two\nlines\",FW 7730.0412\r\n");
    const std::string station = qc::FormatLogLine(kTime, 16, 21, u"G", true, device::ValueSlots{});
    EXPECT_EQ(station, "2026-03-04 05:06:07,16,21,G,PASS,,,,,,,,,,,,,,,,,,,,,,,\r\n");
}

class ResultLogTest : public QcRunTest {
  protected:
    void SetUp() override {
        QcRunTest::SetUp();
        sim::SetClock(kTime);
    }
    void TearDown() override {
        sim::SetClock(std::nullopt);
        QcRunTest::TearDown();
    }
};

TEST_F(ResultLogTest, AFailedWriteWaitsForTheNextLine) {
    qc::ResultLog log;
    EXPECT_TRUE(log.Append("ignored\r\n"));  // no path: nothing is written
    log.SetPath(u"C:\\Logs\\results.csv");   // no such folder yet
    EXPECT_FALSE(log.Append("one\r\n"));
    EXPECT_GT(log.waitingBytes(), 0u);
    std::filesystem::create_directories(Host(u"C:\\Logs"));
    EXPECT_TRUE(log.Append("two\r\n"));
    EXPECT_EQ(log.waitingBytes(), 0u);
    EXPECT_TRUE(log.Append("three\r\n"));
    EXPECT_EQ(ReadFile(u"C:\\Logs\\results.csv"), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(ResultLogTest, EveryVerdictIsOnDiskBeforeItShows) {
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\n"
              "RESULT_LOG=logs\\results.csv\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", SampleCheckFile({u"vid", u"ProductName"}));
    std::filesystem::create_directories(Host(u"C:\\Tools\\Tavrin\\logs"));
    const std::u16string log = u"C:\\Tools\\Tavrin\\logs\\results.csv";
    RunSteps({
        [&](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E');
            Plug(2, 2, u'F', [](sim::VirtualDisk& disk) {
                disk.block = sim::SampleInfoBlock().WideNames(u"Generic", u"Disk, 8GB").Bytes();
            });
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
            // The verdicts are posted to the bars and not shown yet; the lines are written.
            EXPECT_EQ(Verdict(dialog, 0), 0);
            const std::vector<std::string> lines = Lines(ReadFile(log));
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[0].substr(0, 30), "2026-03-04 05:06:07,,1,E,PASS,");
            EXPECT_EQ(lines[1].substr(0, 30), "2026-03-04 05:06:07,,2,F,FAIL,");
            EXPECT_NE(lines[1].find(",\"Disk, 8GB\","), std::string::npos);
        },
        [&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Verdict(dialog, 0), 1);
            EXPECT_EQ(Verdict(dialog, 1), 2);
        },
    });
    // The key is read, never written.
    EXPECT_NE(ReadFile(maintest::kSettings).find("RESULT_LOG=logs\\results.csv"),
              std::string::npos);
    EXPECT_EQ(Lines(ReadFile(log)).size(), 2u);
}

#ifndef _WIN32
// The program ends at once right after a verdict, as when killed: the line is whole on disk.
TEST_F(ResultLogTest, ALineSurvivesTheProgramEndingRightAfterItsVerdict) {
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\nRESULT_LOG=results.csv\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", SampleCheckFile({u"vid"}));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RunSteps({[](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E');
            Notify(dialog);
            WaitForScans(dialog);
            _exit(Rows(dialog) == 1 ? 0 : 1);
        }});
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::vector<std::string> lines = Lines(ReadFile(u"C:\\Tools\\Tavrin\\results.csv"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 30), "2026-03-04 05:06:07,,1,E,PASS,");
}
#endif

}  // namespace
