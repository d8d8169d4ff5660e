#include "tools/report/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

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
    // A check file that is nowhere: the disk failed, which items is not known.
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
    // Failed items: ProductName by three of ST-B's disks, FWVer by one; the old format's FAIL
    // and the one without its check file are not known.
    EXPECT_NE(text.find("failed items\n  ProductName 3\n  FWVer 1\n  (items not known) 2\n"),
              std::string::npos)
        << text;
    // Per station and port; port 7 of ST-B fails 4 of 5 against none of 20 elsewhere.
    EXPECT_NE(text.find("  ST-B: 25 checked, 4 failed, 16.00%\n"
                        "    port 1: 4 checked, 0 failed, 0.00%\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("    port 7: 5 checked, 4 failed, 80.00%, stands out\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("  st01: 2 checked, 1 failed, 50.00%\n"
                        "    ordinal 3: 2 checked, 1 failed, 50.00%\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("hours\n  2026-12-08 09:00 21 checked, yield 100.00%\n"
                        "  2026-12-08 10:00 5 checked, yield 20.00%\n"
                        "  2026-12-08 11:00 1 checked, yield 0.00%\n"),
              std::string::npos)
        << text;
    // SN-B3 passed at 09:13 and failed at 10:01; SN-X failed then passed. SN-Z's second record
    // was not read, so it was checked once.
    EXPECT_NE(text.find("checked more than once\n"
                        "  SN-B3: 2026-12-08 09:13:00 PASS, 2026-12-08 10:01:00 FAIL\n"
                        "  SN-X: 2026-12-08 10:02:00 FAIL, 2026-12-08 10:06:00 PASS\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("SN-Z:"), std::string::npos);

    std::ifstream csvFile(logs / "r.csv", std::ios::binary);
    const std::string csv{std::istreambuf_iterator<char>(csvFile), {}};
    EXPECT_NE(csv.find("port,ST-B,7,,,5,1,4,0.8000,yes\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("port,st01,,3,,2,1,1,0.5000,\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("hour,,,,2026-12-08 10:00,5,1,4,0.8000,\r\n"), std::string::npos) << csv;

    std::ifstream htmlFile(logs / "r.html", std::ios::binary);
    const std::string html{std::istreambuf_iterator<char>(htmlFile), {}};
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("id=\"yield-chart\""), std::string::npos);
    EXPECT_NE(html.find("id=\"pareto-chart\""), std::string::npos);
    EXPECT_NE(html.find("Checked 27, PASS 22, FAIL 5, yield 81.48%"), std::string::npos);
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

// An output that cannot be written says why, as the system words it; the summary is still given.
TEST_F(ReportTest, OutputsThatCannotBeWrittenSayWhy) {
    const std::string log = Write("st02.csv", StationB());
    const std::string missing = (folder.root / "no" / "r.out").string();
    const std::string noSuchFile =
        std::make_error_code(std::errc::no_such_file_or_directory).message();
    for (const std::string option : {"--html", "--csv", "--records"}) {
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
    for (const std::string option : {"--html", "--csv", "--records"}) {
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
    for (const std::string option : {"--html", "--csv", "--records"}) {
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
    const qc::LogTrail trail{u"SN-1", u"line16.chk", u"QC-07"};
    const qc::LogLine first =
        qc::FormatLogLine({2026, 12, 8, 9, 15, 2}, 3, 3, u"G", false, values, trail);
    values[4] = u"Flash Disk";
    const qc::LogLine second =
        qc::FormatLogLine({2026, 12, 8, 9, 16, 0}, 0, 5, u"E\r\nF", true, values, trail);
    const qc::LogLine later =
        qc::FormatLogLine({2026, 12, 9, 0, 0, 0}, 3, 3, u"G", true, values, trail);
    // What the trail's columns add to an older line.
    const std::string header = qc::LogHeader(), olderHeader = qc::OlderLogHeader();
    const auto trailColumns =
        static_cast<std::size_t>(std::count(header.begin(), header.end(), ',') -
                                 std::count(olderHeader.begin(), olderHeader.end(), ','));
    ASSERT_GT(trailColumns, 0u);
    // A field of bytes that are no UTF-8, and a NUL.
    const std::string broken =
        std::string("2026-12-08 09:17:00,4,4,G,PASS,1234,7730,1.00,Gen\xFF") +
        "ric,Flash Disk,30MHZ,40MHZ,ON,OFF,Quick,1,0,A,16384,1,1,0,0,0," +
        "3814MB,3814MB,MP 2.15.0.7,FW 7730.0412,SN\xC3,line16.chk," + std::string("QC\0", 3) +
        "\r\n";
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
        "SN\xEF\xBF\xBD,line16.chk,QC\xEF\xBF\xBD," +
        current + ",5\r\n" + "2026-12-08 09:59:59,,3,G,FAIL," + kBadName +
        std::string(trailColumns, ',') + "," + old + ",2\r\n";
    EXPECT_EQ(Read(records), expected);

    // Read back as a log: every record, none that does not fit.
    std::ifstream in(records, std::ios::binary);
    std::uint64_t bad = 0;
    std::vector<std::string> vols;
    const auto result = tools::report::ReadLog(
        in, [&](const tools::report::Record& r) { vols.emplace_back(r.vol); },
        [&](const tools::report::BadRecord&) { ++bad; });
    EXPECT_TRUE(result.read);
    EXPECT_EQ(bad, 0u);
    EXPECT_EQ(vols, (std::vector<std::string>{"G", "E\r\nF", "G", "G"}));
}

}  // namespace
