#include "tools/report/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/code_page.h"
#include "platform/text.h"
#include "qc/result_log.h"
#include "tests/support/program_folder.h"
#include "tools/report/records.h"

namespace {

namespace fs = std::filesystem;

constexpr char kOldHeader[] =
    "\xEF\xBB\xBF"
    "Date and time,Station port,Ordinal,Vol,Verdict,vid,pid,revision,VendorName,ProductName,"
    "RFreq,WFreq,Idle,Sleep,Blink,DiskType,Part,Master,Efs,MultiPlane,Interleave,CacheProgram,"
    "DualMode,Randomize,CapMin,CapMax,MPVer,FWVer\r\n";
constexpr char kNewColumns[] = ",Serial number,Check file,Station";
// A disk that meets the check file below, and two that do not.
constexpr char kGood[] =
    "1234,7730,1.00,Generic,Flash Disk,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,"
    "3814MB,MP 2.15.0.7,FW 7730.0412";
constexpr char kBadName[] =
    "1234,7730,1.00,Generic,USB DISK,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,"
    "3814MB,MP 2.15.0.7,FW 7730.0412";
constexpr char kBadNameAndFirmware[] =
    "1234,7730,1.00,Generic,USB DISK,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,"
    "3814MB,MP 2.15.0.7,FW 7730.0399";
constexpr char kCheckFile[] =
    "[Value]\r\nvid=1234\r\nProductName=Flash Disk\r\nFWVer=FW 7730.0412\r\n"
    "[Enable]\r\nvid=1\r\nProductName=1\r\nFWVer=1\r\n";

// A line's comma-separated fields (none quoted).
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

class ReportTest : public ::testing::Test {
  protected:
    testsupport::ProgramFolder folder{"tavrin-report-"};
    fs::path logs = folder.root / "logs";

    void SetUp() override {
        fs::create_directories(logs);
        folder.WriteFile(u"C:\\Tools\\Tavrin\\line16.chk", kCheckFile);
    }

    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(logs / name, std::ios::binary) << text;
        return (logs / name).string();
    }

    int Run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return tools::report::RunReport(args, out, err);
    }

    std::ostringstream out, err;
};

std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Station "ST-B" in the newer format: 20 disks on ports 1 to 5 that pass, and port 7 failing
// four times out of four; the serials of two disks come back for a retest.
std::string StationB() {
    const std::string check = ",C:\\Tools\\Tavrin\\line16.chk,ST-B\r\n";
    std::string log = std::string(kOldHeader, sizeof kOldHeader - 3) + kNewColumns + "\r\n";
    for (int i = 0; i < 20; ++i)
        log += "2026-12-08 09:" + std::to_string(10 + i) + ":00," + std::to_string(1 + i % 5) +
               "," + std::to_string(1 + i % 5) + ",E,PASS," + kGood + ",SN-B" + std::to_string(i) +
               check;
    log += std::string("2026-12-08 10:01:00,7,9,E,FAIL,") + kBadName + ",SN-B3" + check;
    log += std::string("2026-12-08 10:02:00,7,9,E,FAIL,") + kBadNameAndFirmware + ",SN-X" + check;
    log += std::string("2026-12-08 10:03:00,7,9,E,FAIL,") + kBadName + ",SN-Y" + check;
    // A check file that is nowhere now: the disk failed all the same.
    log += std::string("2026-12-08 10:04:00,7,9,E,FAIL,") + kBadName + ",SN-Z,gone.chk,ST-B\r\n";
    // Records that cannot be read: a field short, and a time that is none.
    log += std::string("2026-12-08 10:05:00,7,9,E,FAIL,") + kBadName + ",SN-Z,ST-B\r\n";
    log += std::string("yesterday,7,9,E,FAIL,") + kBadName + ",SN-Z" + check;
    // A retest of SN-X: it passes now. Its Vol holds a comma and a line break, quoted.
    log += std::string("2026-12-08 10:06:00,7,9,\"E,\r\nF\",PASS,") + kGood + ",SN-X" + check;
    return log;
}

TEST_F(ReportTest, SumsUpLogsOfBothFormatsAndSeveralStations) {
    // The older format, from a station in free mode: its name is the file's.
    Write("st01.csv", std::string(kOldHeader) + "2026-12-08 09:59:59,,3,G,PASS," + kGood + "\r\n" +
                          "2026-12-08 11:00:00,,3,G,FAIL," + kBadName + "\r\n");
    Write("st02.csv", StationB());
    Write("notes.txt", "not a log");

    ASSERT_EQ(Run({logs.string(), "--html", (logs / "r.html").string(), "--csv",
                   (logs / "r.csv").string()}),
              0)
        << err.str();
    const std::string text = out.str();
    // 2 + 25 records read; two of st02.csv's passed over and named by line: a record spanning
    // two lines moves the count on by two.
    EXPECT_NE(text.find("logs 2, records not read 2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("checked 27, PASS 22, FAIL 5, yield 81.48%\n"), std::string::npos) << text;
    EXPECT_NE(err.str().find("st02.csv:26: not read (30 fields where the header names 31)"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("st02.csv:27: not read (not a date and time: \"yesterday\")"),
              std::string::npos)
        << err.str();
    // Neither format names its failed items, and no check file is given to judge them by: not
    // the one each record names, which may have changed since.
    EXPECT_NE(text.find("failed items (items not known for 100.00% of the failures)\n"
                        "  (not recorded) 5\n\n"),
              std::string::npos)
        << text;
    // Per station and port; port 7 of ST-B fails 4 of 5 against none of 20 elsewhere: four
    // failures are too few to send anyone to it.
    EXPECT_NE(text.find("  ST-B: 25 checked, 4 failed, 16.00%\n"
                        "    port 1: 4 checked, 0 failed, 0.00%\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("    port 7: 5 checked, 4 failed, 80.00%\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  st01: 2 checked, 1 failed, 50.00%\n"
                        "    ordinal 3: 2 checked, 1 failed, 50.00%\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("days\n  2026-12-08 27 checked, yield 81.48%\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("period 2026-12-08 09:10:00 to 2026-12-08 11:00:00\n"), std::string::npos)
        << text;
    // 23 serial numbers and two records without one. SN-B3 passed at 09:13 and failed at 10:01;
    // SN-X failed then passed. SN-Z's second record was not read, so it was checked once.
    EXPECT_NE(text.find("disks 25, first-pass yield 84.00%, final yield 84.00%, retested 2, FAIL "
                        "then PASS 1\n  (2 records without a serial number"),
              std::string::npos)
        << text;

    std::ifstream csvFile(logs / "r.csv", std::ios::binary);
    const std::string csv{std::istreambuf_iterator<char>(csvFile), {}};
    EXPECT_NE(csv.find("port,ST-B,7,,,5,1,4,0.8000,,,,\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("port,st01,,3,,2,1,1,0.5000,,,,\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("hour,,,,2026-12-08 10:00,5,1,4,0.8000,,,,\r\n"), std::string::npos) << csv;
    // The retests in full, in the CSV alone.
    EXPECT_NE(csv.find("check,,,,,,,,,,SN-B3,2026-12-08 09:13:00,PASS\r\n"
                       "check,,,,,,,,,,SN-B3,2026-12-08 10:01:00,FAIL\r\n"
                       "check,,,,,,,,,,SN-X,2026-12-08 10:02:00,FAIL\r\n"
                       "check,,,,,,,,,,SN-X,2026-12-08 10:06:00,PASS\r\n"),
              std::string::npos)
        << csv;
    EXPECT_EQ(csv.find("SN-Z"), std::string::npos);
    EXPECT_EQ(text.find("SN-X"), std::string::npos);

    std::ifstream htmlFile(logs / "r.html", std::ios::binary);
    const std::string html{std::istreambuf_iterator<char>(htmlFile), {}};
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("id=\"yield-chart\""), std::string::npos);
    EXPECT_NE(html.find("id=\"pareto-chart\""), std::string::npos);
    EXPECT_NE(html.find("Checked 27, PASS 22, FAIL 5, yield 81.48%"), std::string::npos);
}

// Records that do not name their failed items are judged by the check file given, whichever
// they name; one that names them is never judged again, whatever the check file says.
TEST_F(ReportTest, FailedItemsComeFromTheRecordOrTheCheckFileGiven) {
    Write("st01.csv",
          std::string(kOldHeader) + "2026-12-08 11:00:00,,3,G,FAIL," + kBadName + "\r\n");
    Write("st02.csv", StationB());
    const std::string check = Write("line16.chk", kCheckFile);
    ASSERT_EQ(Run({logs.string(), "--check", check}), 0) << err.str();
    EXPECT_NE(
        out.str().find("failed items (items not known for 0.00% of the failures)\n"
                       "  ProductName 5 (USB DISK: 5)\n  FWVer 1 (FW 7730.0399: 1)\n\nstations"),
        std::string::npos)
        << out.str();
    // A check file that finds nothing wrong with them: which items failed is not known.
    const std::string lenient =
        Write("lenient.chk", "[Value]\r\nvid=1234\r\n[Enable]\r\nvid=1\r\n");
    ASSERT_EQ(Run({logs.string(), "--check", lenient}), 0) << err.str();
    EXPECT_NE(out.str().find("failed items (items not known for 100.00% of the failures)\n"
                             "  (not recorded) 5\n\nstations"),
              std::string::npos)
        << out.str();

    // The current format, by the one record builder's rules: the items as the station judged
    // them, a block not read as such; the check file given would say ProductName of them all.
    device::ValueSlots bad;
    for (std::size_t slot = 0; slot < device::kSlotCount; ++slot)
        bad[slot] = platform::FromUtf8(Fields(kBadName)[slot]);
    const platform::LocalTime time{2026, 12, 8, 12, 0, 0};
    std::string current = qc::LogHeader();
    for (const std::u16string items : {u"FWVer", u"(not read)", u"", u"ProductName|FWVer"})
        current += qc::FormatLogLine(time, 2, 2, u"E", items.empty(), bad,
                                     {u"SN", u"C:\\Tools\\Tavrin\\line16.chk", u"ST-C", items})
                       .text;
    const std::string log = Write("st03.csv", current);
    for (const bool withCheck : {false, true}) {
        SCOPED_TRACE(withCheck);
        std::vector<std::string> args = {log};
        if (withCheck)
            args.insert(args.end(), {"--check", check});
        ASSERT_EQ(Run(args), 0) << err.str();
        EXPECT_NE(out.str().find("checked 4, PASS 1, FAIL 3"), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("failed items (items not known for 0.00% of the failures)\n"
                                 "  FWVer 2 (FW 7730.0412: 2)\n  ProductName 1 (USB DISK: 1)\n"
                                 "  (not read) 1\n\n"),
                  std::string::npos)
            << out.str();
    }
}

// A check file saved on a Chinese station holds its texts in GBK: read as UTF-8, every
// Chinese value would fail it. It is read in the code page given (936 where none is, on a
// system whose programs read UTF-8), and the report says so.
TEST_F(ReportTest, ACheckFileInAStationsCodePageIsReadInIt) {
    const std::string gbk = "\xC9\xC1\xB4\xE6\xC5\xCC";               // the product name in GBK
    const std::string utf8 = "\xE9\x97\xAA\xE5\xAD\x98\xE7\x9B\x98";  // and in UTF-8
    const std::string check = Write("gbk.chk", "[Value]\r\nvid=1234\r\nProductName=" + gbk +
                                                   "\r\n[Enable]\r\nvid=1\r\nProductName=1\r\n");
    std::string good = kGood;
    good.replace(good.find("Flash Disk"), 10, utf8);
    std::string otherVid = good;
    otherVid.replace(0, 4, "9999");
    const std::string log =
        Write("cn.csv", std::string(kOldHeader) + "2026-12-08 11:00:00,,3,G,FAIL," + otherVid +
                            "\r\n" + "2026-12-08 11:01:00,,3,G,FAIL," + kBadName + "\r\n" +
                            "2026-12-08 11:02:00,,3,G,PASS," + good + "\r\n");
    const auto judged = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {log, "--check", check};
        args.insert(args.end(), more.begin(), more.end());
        EXPECT_EQ(Run(args), 0) << err.str();
        EXPECT_NE(out.str().find("failed items (items not known for 0.00% of the failures)\n"
                                 "  vid 1 (9999: 1)\n  ProductName 1 (USB DISK: 1)\n\n"),
                  std::string::npos)
            << out.str();
        EXPECT_NE(err.str().find("gbk.chk: read in code page 936\n"), std::string::npos)
            << err.str();
    };
    judged({"--codepage", "936"});
    if (platform::SystemCodePage() == 65001)
        judged({});
    // Bytes that are no text in the code page given, and code pages that are none.
    EXPECT_EQ(Run({log, "--check", check, "--codepage", "65001"}), 2);
    EXPECT_NE(err.str().find("gbk.chk: not text in code page 65001"), std::string::npos)
        << err.str();
    EXPECT_EQ(Run({log, "--check", check, "--codepage", "GBK"}), 2);
    EXPECT_EQ(Run({log, "--codepage", "936"}), 2) << "a code page of no check file";
    EXPECT_EQ(Run({log, "--check", (logs / "gone.chk").string()}), 2);
    EXPECT_NE(err.str().find("gone.chk: cannot be read"), std::string::npos) << err.str();
    EXPECT_EQ(Run({log, "--check", log}), 2);
    EXPECT_NE(err.str().find("cn.csv: not a check file"), std::string::npos) << err.str();
}

TEST_F(ReportTest, DatesChooseTheRecords) {
    const std::string log = Write("st02.csv", StationB());
    ASSERT_EQ(Run({"--since", "2026-12-08 10:00", "--until", "2026-12-08 10:03", log}), 0);
    EXPECT_NE(out.str().find("checked 3, PASS 0, FAIL 3"), std::string::npos) << out.str();
    // A period without a verdict: the summary of nothing, and a run that says it did nothing.
    ASSERT_EQ(Run({"--until", "2026-12-07", log}), 1);
    EXPECT_NE(out.str().find("checked 0, PASS 0, FAIL 0"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("no verdict in the period until 2026-12-07\n"), std::string::npos)
        << err.str();
    // A log of no records at all is no period's report either.
    EXPECT_EQ(Run({Write("new.csv", kOldHeader)}), 1);
    EXPECT_NE(err.str().find("no verdict in the period\n"), std::string::npos) << err.str();
    // Days that exist, to the last second, leap days of leap years among them.
    EXPECT_EQ(Run({"--since", "2024-02-29", "--until", "2026-12-31 23:59:59", log}), 0)
        << err.str();
    EXPECT_EQ(Run({"--since", "2000-02-29T09:00", log}), 0) << err.str();
}

// A date or time that does not exist is refused by name, never taken for a period of nothing.
TEST_F(ReportTest, RefusesDatesThatDoNotExist) {
    const std::string log = Write("st02.csv", StationB());
    for (const auto& [option, date] :
         std::vector<std::pair<std::string, std::string>>{{"--since", "2026-13-45"},
                                                          {"--since", "2026-02-29"},
                                                          {"--until", "2026-11-10 25:00"},
                                                          {"--until", "2026-04-31"},
                                                          {"--since", "1900-02-29"},
                                                          {"--since", "2026-12-08 09:60"},
                                                          {"--until", "2026-12-08 09:59:60"},
                                                          {"--since", "2026-00-10"},
                                                          {"--since", "2026-12-00"}}) {
        EXPECT_EQ(Run({option, date, log}), 2) << date;
        EXPECT_NE(err.str().find(option + ": no such date or time: \"" + date + "\"\n"),
                  std::string::npos)
            << err.str();
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_EQ(Run({"--since", "8.12.2026", log}), 2);
    EXPECT_NE(
        err.str().find("--since: not a date and time (YYYY-MM-DD[ HH:MM[:SS]]): \"8.12.2026\""),
        std::string::npos)
        << err.str();
    // A period that ends before it begins.
    EXPECT_EQ(Run({"--since", "2026-12-09", "--until", "2026-12-08", log}), 2);
    EXPECT_NE(err.str().find("--since 2026-12-09 comes after --until 2026-12-08"),
              std::string::npos)
        << err.str();
}

// Folders copied from Windows name their logs in any case; every .csv counts, nothing else.
TEST_F(ReportTest, FindsEveryCsvWhateverItsCase) {
    const std::string record = std::string("2026-12-08 09:00:00,,3,G,PASS,") + kGood + "\r\n";
    Write("QC07.CSV", kOldHeader + record);
    Write("qc08.Csv", kOldHeader + record + record);
    Write("qc09.csv", kOldHeader + record);
    Write("qc10.csv.bak", kOldHeader + record);
    ASSERT_EQ(Run({logs.string()}), 0) << err.str();
    EXPECT_NE(out.str().find("logs 3, records not read 0\nchecked 4,"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("  QC07: 1 checked"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  qc08: 2 checked"), std::string::npos) << out.str();
}

// What a broken log holds reaches the console escaped: a zero-filled stretch, a terminal
// command, bytes that are no UTF-8.
TEST_F(ReportTest, EscapesControlBytesInMessages) {
    const std::string zeros(40, '\0');
    Write("st01.csv", std::string(kOldHeader) + zeros + ",,3,G,PASS," + kGood + "\r\n" +
                          "2026-12-08 09:00:00,,3,G,\x1B[2J\xC2\x9B\xFF," + kGood + "\r\n" +
                          "2026-12-08 09:00:00,,3,G,P\xC3\xA4SS\t," + kGood + "\r\n");
    EXPECT_EQ(Run({logs.string()}), 1);
    const std::string messages = err.str();
    EXPECT_EQ(messages.find('\0'), std::string::npos);
    EXPECT_EQ(messages.find('\x1B'), std::string::npos);
    EXPECT_EQ(messages.find("\xC2\x9B"), std::string::npos);
    EXPECT_EQ(messages.find('\xFF'), std::string::npos);
    std::string escaped;
    for (int i = 0; i < 40; ++i)
        escaped += "\\x00";
    EXPECT_NE(messages.find(":2: not read (not a date and time: \"" + escaped + "\")"),
              std::string::npos)
        << messages;
    // The field's own ordinary letters, "ä" among them, stay as they are.
    EXPECT_NE(messages.find(":4: not read (not a verdict: \"P\xC3\xA4SS\\x09\")"),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find(":3: not read (not a verdict: \"\\x1B[2J\\xC2\\x9B\\xFF\")"),
              std::string::npos)
        << messages;
    // Arguments are shown the same way.
    EXPECT_EQ(Run({"--since", std::string("2026\0\n", 6), logs.string()}), 2);
    EXPECT_NE(err.str().find("\"2026\\x00\\x0A\""), std::string::npos) << err.str();
}

TEST_F(ReportTest, SaysWhatItCouldNotDo) {
    const std::string good = Write("st02.csv", StationB());
    const std::string notLog = Write("notes.csv", "Date,Result\r\n1,2\r\n");
    // A log missing or not a log: the others are summed up, the status says some were not.
    EXPECT_EQ(Run({good, (logs / "gone.csv").string(), notLog}), 1);
    EXPECT_NE(err.str().find("gone.csv: not read (cannot be opened)"), std::string::npos);
    EXPECT_NE(err.str().find("notes.csv: not read (not a result log"), std::string::npos);
    EXPECT_NE(out.str().find("checked 25,"), std::string::npos);
    // A page that cannot be written.
    EXPECT_EQ(Run({good, "--html", (logs / "no" / "r.html").string()}), 1);
    EXPECT_NE(err.str().find("r.html: not written"), std::string::npos);
    // Arguments that do not fit.
    // A folder without a log: nothing to sum up is not a report.
    const fs::path empty = logs / "empty";
    fs::create_directories(empty);
    EXPECT_EQ(Run({empty.string()}), 1);
    EXPECT_NE(err.str().find("no result log found"), std::string::npos);
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"--since", "8.12.2026", good}), 2);
    EXPECT_EQ(Run({"--until"}), 2);
    EXPECT_EQ(Run({"--pdf", "x", good}), 2);
}

TEST_F(ReportTest, LogsWithoutAStationColumnAreNamedWithoutTheirDate) {
    const std::string header = kOldHeader;
    const std::string pass = std::string(",,3,G,PASS,") + kGood + "\r\n";
    Write("QC-07_2026-11-05.csv", header + "2026-11-05 08:00:00" + pass);
    Write("QC-07_2026-11-06.csv",
          header + "2026-11-06 08:00:00" + pass + "2026-11-06 09:00:00" + pass);
    Write("QC-07 20261107T0930.csv", header + "2026-11-07 09:30:00" + pass);
    Write("QC07.csv", header + "2026-11-07 08:00:00" + pass);
    Write("line-1_v2.csv", header + "2026-11-07 08:00:00" + pass);
    ASSERT_EQ(Run({logs.string()}), 0) << err.str();
    EXPECT_NE(out.str().find("  QC-07: 4 checked,"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  QC07: 1 checked,"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  line-1_v2: 1 checked,"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("QC-07_"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("QC-07 2026"), std::string::npos) << out.str();
}

// Whether `text` is one JSON value and nothing else.
class JsonCheck {
  public:
    explicit JsonCheck(std::string_view text) : t_(text) {}
    bool Whole() { return Value() && (Space(), i_ == t_.size()); }

  private:
    void Space() {
        while (i_ < t_.size() && std::string_view(" \t\r\n").find(t_[i_]) != std::string_view::npos)
            ++i_;
    }
    bool Eat(char c) { return Space(), i_ < t_.size() && t_[i_] == c ? (++i_, true) : false; }
    bool String() {
        if (!Eat('"'))
            return false;
        for (; i_ < t_.size() && t_[i_] != '"'; ++i_) {
            if (static_cast<unsigned char>(t_[i_]) < 0x20)
                return false;
            if (t_[i_] == '\\' && ++i_ < t_.size() && t_[i_] == 'u')
                i_ += 4;
        }
        return Eat('"');
    }
    bool Value() {
        Space();
        if (i_ >= t_.size())
            return false;
        if (t_[i_] == '"')
            return String();
        if (Eat('{')) {
            if (Eat('}'))
                return true;
            do {
                if (!String() || !Eat(':') || !Value())
                    return false;
            } while (Eat(','));
            return Eat('}');
        }
        if (Eat('[')) {
            if (Eat(']'))
                return true;
            do {
                if (!Value())
                    return false;
            } while (Eat(','));
            return Eat(']');
        }
        for (const std::string_view word : {"true", "false", "null"}) {
            if (t_.substr(i_, word.size()) == word)
                return i_ += word.size(), true;
        }
        const std::size_t start = i_;
        while (i_ < t_.size() &&
               std::string_view("+-.eE0123456789").find(t_[i_]) != std::string_view::npos)
            ++i_;
        return i_ > start;
    }
    std::string_view t_;
    std::size_t i_ = 0;
};

TEST_F(ReportTest, JsonHoldsTheWholeSummary) {
    // A station's name as a log may hold it: a control byte and a byte that is not UTF-8.
    std::string log = StationB();
    log += std::string("2026-12-08 10:07:00,1,1,E,PASS,") + kGood +
           ",SN-W,C:\\Tools\\Tavrin\\line16.chk,ST\x01\xff\r\n";
    Write("st02.csv", log);
    const std::string json = (logs / "r.json").string();
    // Its records name no failed items: the check file given judges them.
    const std::string check = Write("line16.chk", kCheckFile);
    ASSERT_EQ(Run({logs.string(), "--target", "98%", "--check", check, "--json", json}), 0)
        << err.str();
    std::ifstream file(json, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    EXPECT_TRUE(JsonCheck(text).Whole()) << text;
    for (const char* expected :
         {"\"logs\": 1,",
          "\"records_not_read\": 2,",
          "\"first\": \"2026-12-08 09:10:00\",",
          "\"last\": \"2026-12-08 10:07:00\",",
          "\"verdicts\": 26,",
          "\"pass\": 22,",
          "\"fail\": 4,",
          "\"yield\": 0.846154,",
          "\"target\": 0.98,",
          "\"disks\": 24,",
          "\"first_pass_yield\": 0.875,",
          "\"final_yield\": 0.875,",
          "\"fail_then_pass\": 1,",
          "{\"item\": \"ProductName\", \"failures\": 4, \"values\": [{\"value\": \"USB DISK\", "
          "\"count\": 4}]}",
          "{\"item\": \"FWVer\", \"failures\": 1, \"values\": [{\"value\": \"FW 7730.0399\", "
          "\"count\": 1}]}",
          "{\"station\": \"ST-B\", \"verdicts\": 25, \"fail\": 4}",
          "{\"station\": \"ST\\u0001\xEF\xBF\xBD\", \"verdicts\": 1, \"fail\": 0}",
          "{\"station\": \"ST-B\", \"port\": 7, \"free\": false, \"verdicts\": 5, \"fail\": 4, "
          "\"stands_out\": false,",
          "{\"day\": \"2026-12-08\", \"verdicts\": 26, \"pass\": 22}",
          "\"line\": 26, \"reason\": \"30 fields where the header names 31\"}"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    // A JSON file that cannot be made fails the run, the summary still written.
    EXPECT_EQ(Run({logs.string(), "--json", (logs / "no" / "r.json").string()}), 1);
    EXPECT_NE(err.str().find("r.json: not written"), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("checked 26,"), std::string::npos);
    // Yields aimed at: a fraction or a percentage, nothing past 100 %.
    EXPECT_EQ(Run({logs.string(), "--target", "0.9"}), 0);
    EXPECT_NE(out.str().find("below the target of 90.00%"), std::string::npos) << out.str();
    EXPECT_EQ(Run({logs.string(), "--target", "101%"}), 2);
    EXPECT_EQ(Run({logs.string(), "--target", "0.9x"}), 2);
    EXPECT_NE(err.str().find("not a yield: 0.9x"), std::string::npos);
}

// An output that cannot be written says why, as the system words it; the summary is still given.
TEST_F(ReportTest, OutputsThatCannotBeWrittenSayWhy) {
    const std::string log = Write("st02.csv", StationB());
    const std::string missing = (folder.root / "no" / "r.out").string();
    const std::string noSuchFile =
        std::make_error_code(std::errc::no_such_file_or_directory).message();
    for (const std::string option : {"--html", "--csv", "--json", "--records"}) {
        EXPECT_EQ(Run({log, option, missing}), 1) << option;
        EXPECT_NE(out.str().find("checked 25,"), std::string::npos) << out.str();
        EXPECT_NE(err.str().find(missing + ": not written (" + noSuchFile + ")\n"),
                  std::string::npos)
            << err.str();
        // A folder where the file belongs: the system's reason, whatever it calls it.
        EXPECT_EQ(Run({log, option, folder.root.path().string()}), 1) << option;
        EXPECT_NE(err.str().find(folder.root.path().string() + ": not written ("),
                  std::string::npos)
            << err.str();
        EXPECT_EQ(err.str().find("not written ()"), std::string::npos) << err.str();
    }
    // A disk without room: the open succeeds, the writes fail.
    if (!fs::exists("/dev/full"))
        return;
    const std::string full = std::make_error_code(std::errc::no_space_on_device).message();
    for (const std::string option : {"--html", "--csv", "--json", "--records"}) {
        EXPECT_EQ(Run({log, option, "/dev/full"}), 1) << option;
        EXPECT_NE(err.str().find("/dev/full: not written (" + full + ")\n"), std::string::npos)
            << err.str();
    }
}

// An output that is also an input, by any path, would be emptied before it is read: the run is
// refused before it reads or writes anything.
TEST_F(ReportTest, RefusesAnOutputThatIsAlsoAnInput) {
    const std::string log = Write("st02.csv", StationB());
    fs::create_directories(logs / "sub");
    const std::string same = (logs / "sub" / ".." / "st02.csv").string();
    for (const std::string option : {"--html", "--csv", "--json", "--records"}) {
        EXPECT_EQ(Run({log, option, same}), 2) << option;
        EXPECT_NE(err.str().find(same + ": an output that is also an input (" + log +
                                 "); nothing read, nothing written\n"),
                  std::string::npos)
            << err.str();
        EXPECT_EQ(out.str(), "");
        // One of a folder's logs.
        EXPECT_EQ(Run({logs.string(), option, same}), 2) << option;
        EXPECT_NE(err.str().find("an output that is also an input"), std::string::npos);
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_EQ(Read(log), StationB());
    // Two outputs naming one file, before it exists.
    EXPECT_EQ(Run({log, "--html", (folder.root / "r.out").string(), "--records",
                   (folder.root / "x" / ".." / "r.out").string()}),
              2);
    EXPECT_NE(err.str().find("--html and --records name one file"), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(folder.root / "r.out"));
}

// --records: every readable record in the period in the log's current columns, then "Log" and
// "Line", each field as the station wrote it; older records with those columns empty; valid
// UTF-8 whatever the log held.
TEST_F(ReportTest, RecordsHoldEveryReadableRecordInTheLogsColumns) {
    // Every column the log writes is one the table fills.
    EXPECT_TRUE(tools::report::RecordsTable().UnknownColumns().empty());

    device::ValueSlots values;
    for (std::size_t slot = 0; slot < values.size(); ++slot)
        values[slot] = u"v" + platform::DecimalText(static_cast<long long>(slot));
    values[4] = u"Flash Disk, \"16GB\"";
    const qc::LogTrail trail{u"SN-1", u"line16.chk", u"QC-07", u""};
    const qc::LogLine first = qc::FormatLogLine({2026, 12, 8, 9, 15, 2}, 3, 3, u"G", false, values,
                                                {u"SN-1", u"line16.chk", u"QC-07", u"ProductName"});
    values[4] = u"Flash Disk";
    const qc::LogLine second =
        qc::FormatLogLine({2026, 12, 8, 9, 16, 0}, 0, 5, u"E\r\nF", true, values, trail);
    const qc::LogLine later =
        qc::FormatLogLine({2026, 12, 9, 0, 0, 0}, 3, 3, u"G", true, values, trail);
    // What the trail's columns add to an older line.
    const std::string header = qc::LogHeader(), olderHeader = qc::LogHeader(qc::LogFormat::Values);
    const auto trailColumns =
        static_cast<std::size_t>(std::count(header.begin(), header.end(), ',') -
                                 std::count(olderHeader.begin(), olderHeader.end(), ','));
    ASSERT_GT(trailColumns, 0u);
    // A field of bytes that are no UTF-8, and a NUL.
    const std::string broken =
        std::string("2026-12-08 09:17:00,4,4,G,PASS,1234,7730,1.00,Gen\xFF") +
        "ric,Flash Disk,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0," +
        "3814MB,3814MB,MP 2.15.0.7,FW 7730.0412,SN\xC3,line16.chk," + std::string("QC\0", 3) +
        ",\r\n";
    const std::string current =
        Write("current.csv", qc::LogHeader() + first.text + second.text + broken +
                                 "2026-12-08 09:18:00,4,4,G,PASS,short\r\n" + later.text);
    const std::string old =
        Write("older.csv",
              std::string(kOldHeader) + "2026-12-08 09:59:59,,3,G,FAIL," + kBadName + "\r\n");
    const fs::path records = folder.root / "records.csv";

    ASSERT_EQ(Run({current, old, "--until", "2026-12-08", "--records", records.string()}), 0)
        << err.str();
    const auto withoutEnd = [](const std::string& line) { return line.substr(0, line.size() - 2); };
    std::string columns = header.substr(3);
    columns.insert(columns.size() - 2, ",Log,Line");
    const std::string expected =
        columns + withoutEnd(first.text) + "," + current + ",2\r\n" + withoutEnd(second.text) +
        "," + current + ",3\r\n" +
        "2026-12-08 09:17:00,4,4,G,PASS,1234,7730,1.00,Gen\xEF\xBF\xBDric,Flash Disk,30MHZ,"
        "40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0,3814MB,3814MB,MP 2.15.0.7,FW 7730.0412,"
        "SN\xEF\xBF\xBD,line16.chk,QC\xEF\xBF\xBD,," +
        current + ",5\r\n" + "2026-12-08 09:59:59,,3,G,FAIL," + kBadName +
        std::string(trailColumns, ',') + "," + old + ",2\r\n";
    EXPECT_EQ(Read(records), expected);

    // Read back as a log: every record but the older FAIL, whose failed items its log never
    // recorded; a log of the current format must name them.
    std::ifstream in(records, std::ios::binary);
    std::uint64_t bad = 0;
    std::vector<std::string> vols;
    const auto result = tools::report::ReadLog(
        in, [&](const tools::report::LogLineFields& r) { vols.emplace_back(r.vol); },
        [&](const tools::report::BadLogLine&) { ++bad; });
    EXPECT_TRUE(result.read);
    EXPECT_EQ(bad, 1u);
    EXPECT_EQ(vols, (std::vector<std::string>{"G", "E\r\nF", "G"}));
}

}  // namespace
