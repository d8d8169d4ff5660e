// The result log: its lines, its retries, and the record it leaves of a QC run.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/clock.h"
#include "platform/sim/faults.h"
#include "platform/text.h"
#include "platform/usb_requests.h"
#include "tests/qc/qc_run_fixture.h"

#include "platform/ui_testing.h"

#ifndef _WIN32
#include <sys/stat.h>
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
    const qc::LogLine line =
        qc::FormatLogLine(kTime, 0, 3, u"E|F", false, values,
                          {u"7730A,01", u"C:\\QC\\line.chk", u"QC-7", u"VendorName|ProductName"});
    const std::string values28 =
        "2026-03-04 05:06:07,,3,E|F,FAIL,1234,7730,1.00,G\xC3\xA9n\xC3\xA9ric,"
        "\"Disk, \"\"8GB\"\"\",30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,"
        "3814MB,\"two\nlines\",FW 7730.0412";
    const std::string trail31 = values28 + ",\"7730A,01\",C:\\QC\\line.chk,QC-7";
    EXPECT_EQ(line.text, trail31 + ",VendorName|ProductName\r\n");
    EXPECT_EQ(line.In(qc::LogFormat::FailedItems), line.text);
    EXPECT_EQ(line.In(qc::LogFormat::Trail), trail31 + "\r\n") << "ends at Station";
    EXPECT_EQ(line.In(qc::LogFormat::Values), values28 + "\r\n") << "ends at FWVer";
    const qc::LogLine station =
        qc::FormatLogLine(kTime, 16, 21, u"G", true, device::ValueSlots{}, {});
    EXPECT_EQ(station.text, "2026-03-04 05:06:07,16,21,G,PASS,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n");
    EXPECT_EQ(station.In(qc::LogFormat::Values),
              "2026-03-04 05:06:07,16,21,G,PASS,,,,,,,,,,,,,,,,,,,,,,,\r\n");
}

// The failed items' text: the keys in the order given (the judge's: column order), joined by a
// bar; a slot past the items names nothing. Each key reads back as its slot.
TEST(ResultLogLineTest, FailedItemsAreTheirKeys) {
    EXPECT_EQ(qc::FailedItemsText({}), u"");
    EXPECT_EQ(qc::FailedItemsText({device::kSlotVid, device::kSlotFwVer}), u"vid|FWVer");
    EXPECT_EQ(qc::FailedItemsText({device::kSlotCount}), u"");
    for (std::size_t slot = 0; slot < device::kSlotCount; ++slot)
        EXPECT_EQ(qc::ItemOfKey(platform::ToUtf8(device::kSlotKeys[slot])), slot);
    EXPECT_EQ(qc::ItemOfKey("fwver"), std::nullopt) << "keys are as the header writes them";
    EXPECT_EQ(qc::ItemOfKey(""), std::nullopt);
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

// A spreadsheet takes the encoding from the mark and the column names from the first line:
// date and time, station port, ordinal, Vol, verdict, the 23 keys as tavrin-block prints them,
// then serial number, check file and station, then the failed items. Logs begun before the
// later columns keep their header.
TEST(ResultLogLineTest, TheHeaderNamesEveryColumn) {
    const std::string values =
        "\xEF\xBB\xBF"
        "Date and time,Station port,Ordinal,Vol,Verdict,vid,pid,revision,VendorName,"
        "ProductName,RFreq,WFreq,Idle,Sleep,Blink,DiskType,Part,Master,Efs,MultiPlane,"
        "Interleave,CacheProgram,DualMode,Randomize,CapMin,CapMax,MPVer,FWVer";
    EXPECT_EQ(qc::LogHeader(qc::LogFormat::Values), values + "\r\n");
    EXPECT_EQ(qc::LogHeader(qc::LogFormat::Trail),
              values + ",Serial number,Check file,Station\r\n");
    EXPECT_EQ(qc::LogHeader(), values + ",Serial number,Check file,Station,Failed items\r\n");
}

constexpr char16_t kLog[] = u"C:\\Logs\\results.csv";

// A missing or empty file gets the header first; one with lines (even of an older log without a
// header) is appended to as it is. A line that cannot be written waits for the next; a write
// or flush that fails after part of it reached the file leaves the file as it was, so every
// line ends up in it once and whole.
TEST_F(ResultLogTest, EveryLineOnceAndWholeWhateverFails) {
    qc::ResultLog unset;
    EXPECT_TRUE(unset.Append("ignored\r\n"));  // no path: nothing is written
    EXPECT_TRUE(unset.WriteWaiting()) << "nothing waits";

    struct Case {
        const char* name;
        std::optional<std::string> before;    // nullopt: no file
        std::optional<sim::FaultCall> fault;  // armed
        bool noFolder = false;
        bool cutFails = false;  // the cut-back after the failure fails too
    };
    const std::string header = qc::LogHeader();
    for (const Case& c : std::vector<Case>{
             {"new file", std::nullopt, std::nullopt},
             {"empty file", "", std::nullopt},
             {"older log", "old\r\n", std::nullopt},
             {"no folder", std::nullopt, std::nullopt, true},
             {"short write to a new file", std::nullopt, sim::FaultCall::LogWrite},
             {"short write", "old\r\n", sim::FaultCall::LogWrite},
             {"failed flush to a new file", std::nullopt, sim::FaultCall::LogFlush},
             {"failed flush", "old\r\n", sim::FaultCall::LogFlush},
             {"short write, then a failed cut", "old\r\n", sim::FaultCall::LogWrite, false, true},
             {"failed flush, then a failed cut", "old\r\n", sim::FaultCall::LogFlush, false, true},
         }) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(Host(u"C:\\Logs"));
        if (!c.noFolder)
            std::filesystem::create_directories(Host(u"C:\\Logs"));
        if (c.before)
            WriteFile(kLog, *c.before);
        const std::string before = c.before.value_or("");
        qc::ResultLog log;
        log.SetPath(kLog);
        sim::Faults::Reset();
        // The open, the write and the flush, in this order.
        const std::uint64_t failing = c.fault == sim::FaultCall::LogWrite ? 2 : 3;
        if (c.fault)
            sim::Faults::Arm(failing);
        if (c.cutFails)
            sim::Faults::ArmAlso(failing + 1);
        const bool written = log.Append("one,\"a\nb\"\r\n");
        EXPECT_EQ(sim::Faults::FirstFailed(), c.fault);
        EXPECT_EQ(written, !c.fault && !c.noFolder);
        EXPECT_EQ(log.WaitingLines(), written ? 0u : 1u);
        // The system's reason, as the station words it.
        EXPECT_EQ(log.LastFailure(), written      ? u""
                                     : c.noFolder ? u"The system cannot find the path specified."
                                                  : u"There is not enough space on the disk.");
        if (!written) {
            // A cut that fails leaves part of the line, to be cut with the next try.
            if (!c.cutFails) {
                EXPECT_EQ(ReadFile(kLog), before) << "the file as it was";
            }
        }
        if (c.noFolder)
            std::filesystem::create_directories(Host(u"C:\\Logs"));
        EXPECT_TRUE(log.Append("two\r\n")) << "both lines written";
        EXPECT_EQ(log.WaitingLines(), 0u);
        EXPECT_EQ(ReadFile(kLog), (before.empty() ? header : before) + "one,\"a\nb\"\r\ntwo\r\n");
    }
}

// Never two line formats in one file: a log begun with an older header keeps taking lines of
// its format, whoever appends; any other file takes the current ones.
TEST_F(ResultLogTest, ALogKeepsTheLineFormatOfItsHeader) {
    std::filesystem::create_directories(Host(u"C:\\Logs"));
    const qc::LogLine line = qc::FormatLogLine(kTime, 2, 2, u"F", false, Values(),
                                               {u"SN-2", u"line.chk", u"QC-7", u"FWVer"});
    using qc::LogFormat;
    for (const LogFormat older : {LogFormat::Values, LogFormat::Trail}) {
        const std::string header = qc::LogHeader(older);
        const std::string bare = header.substr(3, header.size() - 5);  // no mark, no CR LF
        const struct {
            const char* name;
            std::optional<std::string> before;
            LogFormat takes;
        } cases[] = {
            {"new file", std::nullopt, LogFormat::FailedItems},
            {"empty file", "", LogFormat::FailedItems},
            {"current header", qc::LogHeader(), LogFormat::FailedItems},
            {"older header", header, older},
            {"older header and lines", header + line.In(older), older},
            {"older header without its mark, LF only", bare + "\n", older},
            {"older header, nothing after it", bare, older},
            {"lines without a header", "old\r\n", LogFormat::FailedItems},
            {"a longer header that starts as the older one", bare + ",Notes\r\n",
             LogFormat::FailedItems},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(int(older)));
            std::filesystem::remove(Host(kLog));
            if (c.before)
                WriteFile(kLog, *c.before);
            qc::ResultLog log;
            log.SetPath(kLog);
            ASSERT_TRUE(log.Append(line));
            const std::string before = c.before.value_or("");
            // A file that ends without a line end gets one before the line.
            const std::string start = before.empty()           ? qc::LogHeader()
                                      : before.ends_with('\n') ? before
                                                               : before + "\r\n";
            EXPECT_EQ(ReadFile(kLog), start + line.In(c.takes));
        }
    }
}

// A cut-back that failed is made with the next try only while the file ends where the failed
// write left it: lines another program appended since are kept. That program's line starts on a
// line of its own, after the fragment, and so does ours: no two records run together.
TEST_F(ResultLogTest, ACutLeftForLaterSparesAnotherWritersLines) {
    std::filesystem::create_directories(Host(u"C:\\Logs"));
    WriteFile(kLog, "old\r\n");
    qc::ResultLog log;
    log.SetPath(kLog);
    sim::Faults::Reset();
    sim::Faults::Arm(2);      // the write: half of it reaches the file
    sim::Faults::ArmAlso(3);  // and its cut-back fails
    EXPECT_FALSE(log.Append("one\r\n"));
    EXPECT_EQ(ReadFile(kLog), "old\r\non");
    sim::Faults::Reset();
    const auto appendOther = [] {
        qc::ResultLog other;
        other.SetPath(kLog);
        return other.Append("other\r\n");
    };
#ifndef _WIN32
    // Another program, with a log of its own.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(appendOther() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
#else
    EXPECT_TRUE(appendOther());
#endif
    EXPECT_EQ(ReadFile(kLog), "old\r\non\r\nother\r\n");
    EXPECT_TRUE(log.Append("two\r\n"));
    EXPECT_EQ(ReadFile(kLog), "old\r\non\r\nother\r\none\r\ntwo\r\n");

    // A file that ends without a line end, whoever left it so, gets one before the next line.
    WriteFile(kLog, "old\r\nhalf a li");
    EXPECT_TRUE(log.Append("three\r\n"));
    EXPECT_EQ(ReadFile(kLog), "old\r\nhalf a li\r\nthree\r\n");
}

#ifndef _WIN32
// Only a regular file is a log: a FIFO is refused at once, not waited on, and its line waits.
TEST_F(ResultLogTest, AFifoIsNoLog) {
    std::filesystem::create_directories(Host(u"C:\\Logs"));
    ASSERT_EQ(mkfifo(Host(kLog).c_str(), 0600), 0);
    qc::ResultLog log;
    log.SetPath(kLog);
    EXPECT_FALSE(log.Append("one\r\n"));
    EXPECT_EQ(log.WaitingLines(), 1u);
    EXPECT_FALSE(log.LastFailure().empty());
    std::filesystem::remove(Host(kLog));
    EXPECT_TRUE(log.WriteWaiting());
    EXPECT_EQ(ReadFile(kLog), qc::LogHeader() + "one\r\n");
}
#endif

// Lines wait for a log that cannot be written up to 16 MB, the oldest going first: whole lines,
// though a quoted field may hold line breaks.
TEST_F(ResultLogTest, WaitingLinesAreDroppedWholeBeyondTheirCap) {
    qc::ResultLog log;
    log.SetPath(kLog);  // no such folder yet
    std::string breaks;
    for (int k = 0; k < 20000; ++k)
        breaks += "x\n";
    std::vector<std::string> lines;
    std::size_t total = 0;
    for (int i = 0; total <= qc::ResultLog::kMaxWaitingBytes + 100000; ++i) {
        std::string line = std::to_string(i) + ",\"" + breaks + "\"\r\n";
        total += line.size();
        EXPECT_FALSE(log.Append(line));
        lines.push_back(std::move(line));
    }
    std::filesystem::create_directories(Host(u"C:\\Logs"));
    EXPECT_TRUE(log.WriteWaiting());

    const std::string text = ReadFile(kLog);
    const std::string header = qc::LogHeader();
    ASSERT_EQ(text.substr(0, header.size()), header);
    // The newest lines, as many as fit, each whole.
    std::size_t first = lines.size();
    for (std::size_t size = 0;
         first > 0 && size + lines[first - 1].size() <= qc::ResultLog::kMaxWaitingBytes;)
        size += lines[--first].size();
    EXPECT_GT(first, 0u);
    EXPECT_EQ(log.DroppedLines(), first) << "each line given up is counted as lost";
    std::string kept;
    for (std::size_t i = first; i < lines.size(); ++i)
        kept += lines[i];
    EXPECT_TRUE(text.substr(header.size()) == kept)
        << "the log starts with: " << text.substr(header.size(), 40);
}

// A disk's second volume without a letter is left out of the "Vol" text, in the cell and in the
// log, where it would have cut the text short.
TEST_F(ResultLogTest, EveryVerdictIsOnDiskBeforeItShows) {
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\n"
              "RESULT_LOG=logs\\results.csv\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", SampleCheckFile({u"vid", u"ProductName"}));
    std::filesystem::create_directories(Host(u"C:\\Tools\\Tavrin\\logs"));
    const std::u16string log = u"C:\\Tools\\Tavrin\\logs\\results.csv";
    // The serial number is asked of each disk once, when its row is made; not by later scans.
    std::atomic<int> serialAsked = 0;
    sim::Station::Get().Usb().SetReplyFilter(
        [&](std::uint32_t code, std::span<std::uint8_t> output, std::uint32_t*, bool ok) {
            if (code == platform::kIoctlUsbGetDescriptorFromNodeConnection &&
                output[platform::kUsbSetupWValueOffset] == 3)
                ++serialAsked;
            return ok;
        });
    RunSteps({
        [&](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E');
            sim::VirtualDisk& disk = sim::Station::Get().AddDisk(2);
            disk.SetModel("RV7730");
            disk.block = sim::SampleInfoBlock().WideNames(u"Generic", u"Disk, 8GB").Bytes();
            sim::UsbDevice device = sim::FlashDisk(2, u'F');
            for (const char16_t letter : {u'\0', u'H'}) {
                sim::UsbVolume volume = device.disks[0].volumes[0];
                volume.mountPaths.clear();
                if (letter != 0)
                    volume.mountPaths.push_back(std::u16string(1, letter) + u":\\");
                volume.volumeName.clear();
                volume.interfacePath.clear();
                device.disks[0].volumes.push_back(volume);
            }
            ASSERT_TRUE(sim::Station::Get().Usb().Plug({0, {2}}, device));
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
            EXPECT_EQ(Cell(dialog, 1, 0), u"F|H");
            // The verdicts are posted to the bars and not shown yet; the lines are written.
            EXPECT_EQ(Verdict(dialog, 0), 0);
            const std::vector<std::string> lines = Lines(ReadFile(log));
            ASSERT_EQ(lines.size(), 3u);
            EXPECT_EQ(lines[0] + "\r\n", qc::LogHeader());
            EXPECT_EQ(lines[1].substr(0, 30), "2026-03-04 05:06:07,,1,E,PASS,");
            EXPECT_EQ(lines[2].substr(0, 32), "2026-03-04 05:06:07,,2,F|H,FAIL,");
            EXPECT_NE(lines[2].find(",\"Disk, 8GB\","), std::string::npos);
            // Its disk, check file (as the settings store it), station and failed items (none).
            EXPECT_TRUE(lines[1].ends_with(",FW 7730.0412,0123456789AB,a.chk,STATION-1,"))
                << lines[1];
            EXPECT_TRUE(lines[2].ends_with(",a.chk,STATION-1,ProductName")) << lines[2];
        },
        [&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Verdict(dialog, 0), 1);
            EXPECT_EQ(Verdict(dialog, 1), 2);
            Notify(dialog);
            WaitForScans(dialog);
            EXPECT_EQ(serialAsked.load(), 2);
        },
    });
    sim::Station::Get().Usb().SetReplyFilter({});
    // The key is read, never written.
    EXPECT_NE(ReadFile(maintest::kSettings).find("RESULT_LOG=logs\\results.csv"),
              std::string::npos);
    EXPECT_EQ(Lines(ReadFile(log)).size(), 3u);
}

// A line that could not be written is tried once more when the window closes.
TEST_F(ResultLogTest, ALineStillWaitingIsWrittenAtClosing) {
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\n"
              "RESULT_LOG=logs\\results.csv\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", SampleCheckFile({u"vid"}));
    const std::u16string log = u"C:\\Tools\\Tavrin\\logs\\results.csv";
    RunSteps({[&](app::CTavrinDlg& dialog) {
        Plug(1, 1, u'E');
        Notify(dialog);
        WaitForScans(dialog);
        ASSERT_EQ(Rows(dialog), 1);
        EXPECT_FALSE(Exists(log));  // no folder for it yet
        std::filesystem::create_directories(Host(u"C:\\Tools\\Tavrin\\logs"));
    }});
    const std::vector<std::string> lines = Lines(ReadFile(log));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 30), "2026-03-04 05:06:07,,1,E,PASS,");
    EXPECT_TRUE(ui::testing::ErrorBoxes().empty()) << "nothing to tell";
}

// Another station holding a shared log costs a verdict a bounded wait, never the window: the
// verdict shows, its line waits, and goes with the last try once the other lets go. Held through
// the closing too, the lines are told lost with the reason.
TEST_F(ResultLogTest, ALogHeldByAnotherStationNeverHoldsTheWindow) {
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\n"
              "RESULT_LOG=results.csv\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", SampleCheckFile({u"vid"}));
    const std::u16string path = u"C:\\Tools\\Tavrin\\results.csv";
    ui::testing::KeepErrorBoxes();
    for (const bool letGo : {true, false}) {
        SCOPED_TRACE(letGo ? "let go before closing" : "held through closing");
        std::filesystem::remove(Host(path));
        std::uint64_t length = 0;
        bool held = false;
        platform::LogFile other = platform::OpenLogFile(path, &length, &held);
        ASSERT_NE(other, platform::kNoLogFile);
        RunSteps({[&](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 1);
            EXPECT_EQ(ReadFile(path), "") << "nothing written past the other writer";
            if (letGo) {
                platform::CloseLogFile(other);
                other = platform::kNoLogFile;
            }
        }});
        if (other != platform::kNoLogFile)
            platform::CloseLogFile(other);
        const std::vector<std::string> lines = Lines(ReadFile(path));
        const auto boxes = ui::testing::ErrorBoxes();
        if (letGo) {
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[1].substr(0, 30), "2026-03-04 05:06:07,,1,E,PASS,");
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_TRUE(lines.empty());
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text,
                      u"The result log could not be written. Lines lost: 1.\n\n" + path +
                          u"\nThe process cannot access the file because another process has "
                          u"locked a portion of the file.");
        }
        Unplug(1);
    }
}

// When the last try at closing fails too, the operator is told how many lines are lost, where
// and why, rather than the lines going in silence.
TEST_F(ResultLogTest, LinesTheLastTryCannotWriteAreTold) {
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=a.chk\r\nAutoCheck=1\r\n"
              "RESULT_LOG=logs\\results.csv\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk", SampleCheckFile({u"vid"}));
    ui::testing::KeepErrorBoxes();
    RunSteps({[&](app::CTavrinDlg& dialog) {
        Plug(1, 1, u'E');
        Plug(2, 2, u'F');
        Notify(dialog);
        WaitForScans(dialog);
        ASSERT_EQ(Rows(dialog), 2);
    }});
    EXPECT_FALSE(Exists(u"C:\\Tools\\Tavrin\\logs\\results.csv"));
    const auto boxes = ui::testing::ErrorBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, u"RV7730 Tavrin");
    EXPECT_EQ(boxes[0].text,
              u"The result log could not be written. Lines lost: 2.\n\n"
              u"C:\\Tools\\Tavrin\\logs\\results.csv\n"
              u"The system cannot find the path specified.");
}

#ifndef _WIN32
// The program ends at once right after a verdict, as when killed, with no chance to close
// anything: the line is whole on disk. The virtual workstation's files hold only what was
// flushed, so a line written and not flushed, or written later, is not there.
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
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 30), "2026-03-04 05:06:07,,1,E,PASS,");
}
#endif

}  // namespace
