#include "tools/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "app/version.h"
#include "platform/log_file.h"
#include "platform/sim/clock.h"
#include "platform/sim/files.h"
#include "platform/sim/info_block.h"
#include "platform/sim/station.h"
#include "platform/text.h"
#include "qc/check_model.h"
#include "qc/result_log.h"
#include "tests/support/temp_folder.h"
#include "tools/block_tool.h"
#include "tools/demo/demo_station.h"
#include "tools/station_host.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDemo = fs::path(TAVRIN_DOCS_DIR) / "demo";

std::vector<std::string> DriveNames(char16_t letter) {
    const std::string drive(1, static_cast<char>(letter));
    return {drive + ":", drive + ":\\"};
}

std::size_t Count(const std::string& text, const std::string& part);

// What another thread writes, read while it writes; a reader waits for a text to appear, woken
// by each write. The waits' bound (30 s) only ends a test whose run hangs.
class SharedText : public std::streambuf {
  public:
    std::string Text() const {
        std::lock_guard lock(mutex());
        return text_;
    }
    // How often `part` stands in the texts together once it does `count` times, or the bound
    // passed.
    static std::size_t WaitFor(std::initializer_list<const SharedText*> texts,
                               const std::string& part, std::size_t count) {
        std::unique_lock lock(mutex());
        const auto seen = [&] {
            std::string all;
            for (const SharedText* text : texts)
                all += text->text_;
            return Count(all, part);
        };
        changed().wait_for(lock, std::chrono::seconds(30), [&] { return seen() >= count; });
        return seen();
    }

  protected:
    int overflow(int c) override {
        if (c != EOF) {
            std::lock_guard lock(mutex());
            text_ += static_cast<char>(c);
        }
        changed().notify_all();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        {
            std::lock_guard lock(mutex());
            text_.append(s, static_cast<std::size_t>(n));
        }
        changed().notify_all();
        return n;
    }

  private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::condition_variable& changed() {
        static std::condition_variable c;
        return c;
    }
    std::string text_;
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class CheckTool : public ::testing::Test {
  protected:
    void SetUp() override {
        system.diskNames = DriveNames;
        system.loadStation = [this](const std::string& path, std::string* error) {
            return tools::LoadStationOnHostFiles(path, dir / "links", error);
        };
    }
    void TearDown() override {
        sim::SetClock(std::nullopt);
        sim::Station::Get().Reset();
        sim::Files::Get().Reset();
    }

    int Run(std::vector<std::string> args) {
        std::ostringstream o;
        std::ostringstream e;
        const int rc = tools::RunCheck(args, system, o, e);
        out = o.str();
        err = e.str();
        return rc;
    }

    std::vector<std::string> Station(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"--station", (kDemo / "station16.station").string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    // "disk E: ... station 3" and its verdict line, by drive.
    std::map<std::string, std::string> Verdicts() const {
        std::map<std::string, std::string> verdicts;
        std::istringstream lines(out);
        std::string line, drive;
        while (std::getline(lines, line)) {
            if (line.rfind("disk ", 0) == 0)
                drive = line.substr(5, 2);
            else if (line.rfind("verdict ", 0) == 0 || line.rfind("error ", 0) == 0)
                verdicts[drive] = line;
        }
        return verdicts;
    }

    const testsupport::TempFolder dir{"check"};
    tools::CheckSystem system;
    std::string out;
    std::string err;
};

// Whether a station is asked for is the run's own parser's answer: an option's value is never
// taken for one, and arguments that do not fit ask for none.
TEST(StationAsked, OnlyTheStationOptionAsksForOne) {
    const std::vector<std::pair<std::vector<std::string>, std::optional<std::string>>> cases = {
        {{"--station", "a.station", "G:"}, "a.station"},
        {{"G:", "--check", "x.chk", "--station", "b.station"}, "b.station"},
        {{"--station", "--station"}, "--station"},
        {{"--log", "--station"}, std::nullopt},
        {{"--check", "--station", "G:"}, std::nullopt},
        {{"--lang", "--station", "a.station"}, std::nullopt},
        {{"--station"}, std::nullopt},
        {{"--station", ""}, std::nullopt},
        {{"--station", "a", "--station", "b"}, std::nullopt},
        {{"G:", "H:"}, std::nullopt},
    };
    for (const auto& [args, station] : cases)
        EXPECT_EQ(tools::StationAsked(args), station) << ::testing::PrintToString(args);
}

// The sample station's own account of its disks against the line's check file.
TEST_F(CheckTool, TheSampleStationGetsTheVerdictsItsFileDescribes) {
    const std::string chk = (kDemo / "line16.chk").string();
    const std::string pfg = (kDemo / "station16.pfg").string();
    EXPECT_EQ(Run(Station({"--check", chk, "--ports", pfg, "--verbose"})), 1) << err;
    const std::map<std::string, std::string> expected = {
        {"E:", "verdict PASS"},
        {"F:", "verdict PASS"},
        {"G:", "verdict FAIL ProductName"},
        {"H:", "verdict FAIL RFreq Blink CapMax FWVer"},
        {"J:", "error the information block could not be read (wrong magic)"},
        {"K:", "verdict PASS"},
        {"L:", "verdict FAIL Efs"},
        {"M:", "verdict PASS"},
        {"N:", "verdict PASS"},
        {"O:", "verdict PASS"},
    };
    const std::map<std::string, std::string> verdicts = Verdicts();
    EXPECT_EQ(verdicts.count("I:"), 0u) << "another controller's disk is passed over";
    EXPECT_EQ(verdicts, expected) << out;
    EXPECT_NE(err.find("passed over I: (not the supported controller)\n"), std::string::npos)
        << err;
    EXPECT_NE(out.find("disk E: port 1.1.1 ordinal 1 station 1 vol E\nserial 7730A0000001\n"),
              std::string::npos);
    EXPECT_NE(out.find("disk O: port 1.4.3 ordinal 15 station 15 vol O\n"), std::string::npos);
    // As the window ignores it: a port the map gives no station port is not checked.
    EXPECT_EQ(Count(out, "disk P:"), 0u) << out;
    EXPECT_NE(err.find("passed over P: (port outside the station's map)\n"), std::string::npos);
    EXPECT_EQ(Count(err, "time "), 10u) << "a time per disk checked";
    EXPECT_EQ(Count(err, "not checked"), 0u) << err;
}

// The lines of a disk are tavrin-block's for the disk's block and free space.
TEST_F(CheckTool, ValuesAreTheBlockDecodersLines) {
    const sim::InfoBlock sample = sim::SampleInfoBlock();
    const auto& bytes = sample.Bytes();
    std::ofstream(dir / "sample.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    for (const char* lang : {"en", "zh-CN"}) {
        std::ostringstream block, ignored;
        ASSERT_EQ(tools::RunBlockTool({"--lang", lang, "--free", std::to_string(3814ull << 20),
                                       (dir / "sample.bin").string()},
                                      block, ignored),
                  0);
        ASSERT_EQ(Run(Station({"--lang", lang, "E:"})), 0) << err;
        EXPECT_EQ(out,
                  "disk E: port 1.1.1 ordinal 1 vol E\nserial 7730A0000001\n" + block.str() + "\n")
            << lang;
    }
}

// The log line is the window's, kept as the window keeps its log; --format csv prints the same.
TEST_F(CheckTool, TheLogTakesTheCsvLinesAfterItsHeader) {
    sim::SetClock(platform::LocalTime{2026, 12, 9, 8, 30, 5});
    const std::string log = (dir / "results.csv").string();
    const std::vector<std::string> check = {"--check", (kDemo / "line16.chk").string(), "--ports",
                                            (kDemo / "station16.pfg").string()};
    std::vector<std::string> args = Station(check);
    args.insert(args.end(), {"--format", "csv", "G:", "H:"});
    ASSERT_EQ(Run(args), 1) << err;
    const std::string csv = out;
    EXPECT_EQ(Count(csv, "\r\n"), 2u);
    EXPECT_EQ(csv.rfind("2026-12-09 08:30:05,3,3,G,FAIL,1234,7730,", 0), 0u) << csv;
    // Each line ends with the items its verdict names, in column order.
    EXPECT_EQ(csv.find(",ProductName\r\n"), csv.find("\r\n") - 12) << csv;
    EXPECT_TRUE(csv.ends_with(",RFreq|Blink|CapMax|FWVer\r\n")) << csv;

    args = Station(check);
    args.insert(args.end(), {"--log", log, "G:", "H:"});
    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(Run(args), 1) << err;
    std::ifstream in(log, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    const std::string header =
        "\xEF\xBB\xBF"
        "Date and time,";
    ASSERT_EQ(written.rfind(header, 0), 0u);
    EXPECT_EQ(Count(written, header), 1u) << "the header only in a new log";
    EXPECT_EQ(written.substr(written.find("\r\n") + 2), csv + csv);
}

TEST_F(CheckTool, ArgumentsThatDoNotFitAndUnreadableFilesExitTwo) {
    std::ofstream(dir / "a.chk") << "[Value]\r\n";
    std::ofstream(dir / "empty.chk") << "";
    std::ofstream(dir / "b.chk") << "[Value]\r\nvid=1234\r\n[Enable]\r\nvid=0\r\n";
    const std::string pfg = (kDemo / "station16.pfg").string();
    const std::string chk = (kDemo / "line16.chk").string();
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {Station({"--bogus"}), "unknown option '--bogus'"},
        {Station({"--lang", "fr"}), "unknown language 'fr'"},
        {Station({"--format", "xml"}), "--format is text or csv, not 'xml'"},
        {Station({"--check"}), "--check needs a value"},
        {Station({"--watch", "E:"}), "no DISK with it"},
        {Station({"--check", (dir / "missing.chk").string()}), "missing.chk: no such file"},
        {Station({"--ports", dir.path().string()}), ": not a file"},
        {Station({"--check", (dir / "a.chk").string(), "--check", (dir / "a.chk").string()}),
         "--check given twice"},
        {{"E:"}, "--station FILE is needed"},
        {{"--station", (dir / "none.station").string()}, "none.station"},
        // Files that are not what the option wants would judge every disk PASS.
        {Station({"--check", pfg}), "station16.pfg: not a check file (no [Value] or [Enable]"},
        {Station({"--check", (dir / "empty.chk").string()}), "empty.chk: not a check file"},
        {Station({"--check", (dir / "a.chk").string()}), "a.chk: enables no item"},
        {Station({"--check", (dir / "b.chk").string()}), "b.chk: enables no item"},
        {Station({"--ports", chk}), "line16.chk: not a port map (no [PortMap] section)"},
        // A log that is no file is refused without opening it: a FIFO's open would wait.
        {Station({"--log", dir.path().string()}), "a folder, not a file"},
        // A device and a pipe by their Windows names, whoever serves the pipe.
        {Station({"--log", "NUL"}), "NUL: not a regular file"},
        {Station({"--log", "C:\\x\\nul.csv"}), "nul.csv: not a regular file"},
        {Station({"--log", "\\\\.\\pipe\\tavrin-log"}), "tavrin-log: not a regular file"},
#ifndef _WIN32
        {Station({"--log", "/dev/null"}), "/dev/null: not a regular file"},
#endif
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), 2) << c.reason;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(out, "") << c.reason;
        EXPECT_EQ(sim::Station::Get().Opens().size(), 0u) << c.reason << ": a disk was asked";
        sim::Station::Get().Reset();
    }
    EXPECT_EQ(Run(Station({"E:", "Q:"})), 1);
    EXPECT_NE(err.find("no USB disk Q:\n"), std::string::npos) << err;
    EXPECT_EQ(Count(out, "disk "), 1u);
}

TEST_F(CheckTool, HelpVersionAndOptionsAfterDisks) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_EQ(out.rfind("usage: tavrin-check ", 0), 0u) << out;
    EXPECT_EQ(err, "");
    // Every option the command takes is in its usage, with what it takes.
    for (const char* option :
         {"[--lang en|zh-CN|zh-TW]", "[--check FILE.chk]", "[--ports FILE.pfg]",
          "[--format text|csv]", "[--log FILE]", "[--station FILE]", "[--watch]", "[--verbose]",
          "[DISK...]", "--help | --version"})
        EXPECT_NE(out.find(option), std::string::npos) << option << " in\n" << out;
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(out, "tavrin-check " TAVRIN_VERSION_TEXT "\n");
    // Options after the DISK arguments count as before them.
    sim::SetClock(platform::LocalTime{2026, 12, 9, 8, 30, 5});
    ASSERT_EQ(Run(Station({"E:", "--format", "csv", "F:"})), 0) << err;
    EXPECT_EQ(Count(out, "\r\n"), 2u) << out;
    EXPECT_EQ(out.rfind("2026-12-09 08:30:05,,1,E,PASS,", 0), 0u) << out;
}

// A disk that could not be opened or asked is never a silent success: said always, exit 1.
TEST_F(CheckTool, ADiskThatCannotBeOpenedOrAskedIsNotChecked) {
    // A user who may not open the volume.
    system.adviceFor = tools::WindowsAdvice;
    const auto args = Station({"G:", "H:"});
    // The station is installed by the run: its faults with it.
    system.loadStation = [this](const std::string& path, std::string* error) {
        if (!tools::LoadStationOnHostFiles(path, dir / "links", error))
            return false;
        sim::Station::Get().DenyOpen(u"\\\\.\\G:");
        // H:'s controller never hears the identification: the call fails each time.
        for (int i = 0; i < 4; ++i)
            sim::Station::Get().Disk(4)->script.push_back(sim::Reply::Transport());
        return true;
    };
    EXPECT_EQ(Run(args), 1);
    EXPECT_EQ(out, "") << "neither disk gets a verdict";
    EXPECT_NE(err.find("tavrin-check: G: port 1.1.3: not checked (Access is denied.): run "
                       "tavrin-check as administrator\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("tavrin-check: H: port 1.1.4: not checked (The request could not be "
                       "performed because of an I/O device error.)\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(Count(err, "no disk found"), 0u) << "the disks were found";
    // The retry lines stay as they were: one per failed call.
    const auto lines = sim::Station::Get().DebugLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), u"r retry 1\n"), 4);

    // A disk that answers with sense data is another controller's: said with --verbose only.
    system.loadStation = [this](const std::string& path, std::string* error) {
        if (!tools::LoadStationOnHostFiles(path, dir / "links", error))
            return false;
        for (int i = 0; i < 4; ++i)
            sim::Station::Get().Disk(4)->script.push_back(sim::Reply::Sense(5, 0x20, 0));
        return true;
    };
    EXPECT_EQ(Run(Station({"--check", (kDemo / "line16.chk").string()})), 1);
    EXPECT_EQ(Count(out, "disk H:"), 0u);
    EXPECT_EQ(err, "") << "passed over in silence";
    EXPECT_EQ(Run(Station({"--verbose", "E:", "H:"})), 1) << "H: was asked for by name";
    EXPECT_NE(err.find("passed over H: (not the supported controller)\n"), std::string::npos);
    EXPECT_EQ(Count(err, "not checked"), 0u) << err;
}

// A station of one port: a disk of another controller, or one without a mounted volume.
TEST_F(CheckTool, ARunThatFindsNoDiskFailsAndSaysWhy) {
    const auto station = [this](const std::string& disk) {
        const fs::path file = dir / "one.station";
        std::ofstream(file) << "disk 0\n    model \"SYSDISK\"\n    volume C\n        type fixed\n"
                               "        free 120GB\ncontroller\n    root-hub\n        ports 1\n"
                               "        port 1 device\n            vid 1234\n            pid 7730\n"
                               "            disk 1\n"
                            << disk;
        return std::vector<std::string>{"--station", file.string()};
    };
    const struct {
        std::string disk;
        std::string said;
    } cases[] = {
        {"                model \"QX9100\"\n                volume E\n                    free "
         "1GB\n",
         "tavrin-check: no disk found (1 of another controller)\n"},
        {"                block sample\n",
         "tavrin-check: no disk found (1 USB disk without a mounted volume)\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(station(c.disk)), 1) << c.said;
        EXPECT_EQ(err, c.said);
        EXPECT_EQ(out, "");
    }
    // A port map that leaves the one disk out of the station.
    std::ofstream(dir / "none.pfg") << "[Setting]\r\nENABLE_PORT=1\r\n[PortMap]\r\nusb01=17\r\n";
    EXPECT_EQ(Run(Station({"--ports", (dir / "none.pfg").string(), "--format", "csv"})), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("no disk found ("), std::string::npos) << err;
    EXPECT_NE(err.find("on ports outside the station's map)"), std::string::npos) << err;
}

// A disk without a usable mount: named on the command line it is "not checked (no mounted
// volume)", not a disk that is not there; mounted where the user may not look it is not checked,
// named or not, and never silently one without a mount.
TEST_F(CheckTool, ADiskWithoutAUsableMountIsSaidNotChecked) {
    const fs::path file = dir / "one.station";
    std::ofstream(file) << "disk 0\n    model \"SYSDISK\"\n    volume C\n        type fixed\n"
                           "        free 120GB\ncontroller\n    root-hub\n        ports 1\n"
                           "        port 1 device\n            vid 1234\n            pid 7730\n"
                           "            disk 1\n                block sample\n";
    const auto args = [&](std::vector<std::string> more) {
        more.insert(more.begin(), {"--station", file.string()});
        return more;
    };
    system.unmountedDiskNames = [](int number) {
        return std::vector<std::string>{"/dev/sd" +
                                        std::string(1, static_cast<char>('a' + number))};
    };
    std::string unusable;
    system.unusableMount = [&](int) { return unusable; };

    EXPECT_EQ(Run(args({"/dev/sdb"})), 1);
    EXPECT_EQ(err, "tavrin-check: /dev/sdb port 1.1: not checked (no mounted volume)\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(Run(args({})), 1);
    EXPECT_EQ(err, "tavrin-check: no disk found (1 USB disk without a mounted volume)\n");

    unusable = "mount point not readable: Permission denied";
    for (const auto& more : {std::vector<std::string>{}, std::vector<std::string>{"/dev/sdb"}}) {
        EXPECT_EQ(Run(args(more)), 1);
        EXPECT_EQ(err,
                  "tavrin-check: /dev/sdb port 1.1: not checked (mount point not readable: "
                  "Permission denied)\n");
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(Run(args({"/dev/sdc"})), 1);
    EXPECT_EQ(err, "tavrin-check: no USB disk /dev/sdc\n") << "only the disks asked for";
}

// The window's record of a block it cannot read: FAIL, no values and "(not read)", in the CSV
// and the log, with no item enabled at all.
TEST_F(CheckTool, AnUnreadableBlockIsRecordedAsTheWindowRecordsIt) {
    const platform::LocalTime time{2026, 12, 9, 8, 30, 5};
    sim::SetClock(time);
    const std::string log = (dir / "results.csv").string();
    const std::string expected =
        qc::FormatLogLine(time, 6, 6, u"J", false, device::ValueSlots{},
                          {u"7730A0000006", u"", sim::kComputerName, u"(not read)"})
            .text;
    EXPECT_EQ(Run(Station({"--ports", (kDemo / "station16.pfg").string(), "--log", log, "--format",
                           "csv", "J:"})),
              1);
    EXPECT_EQ(out, expected);
    EXPECT_NE(err.find("the information block could not be read"), std::string::npos) << err;
    std::ifstream in(log, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, qc::LogHeader() + expected);
}

// Linux names volumes: "Vol" holds their names, joined as the window joins letters.
TEST_F(CheckTool, VolumeNamesTakeTheLettersPlaceInEveryRecord) {
    sim::SetClock(platform::LocalTime{2026, 12, 9, 8, 30, 5});
    system.volumeName = [](char16_t letter) {
        return u"sd" + std::u16string(1, static_cast<char16_t>(letter - u'A' + u'a')) + u"1";
    };
    const std::string log = (dir / "results.csv").string();
    ASSERT_EQ(Run(Station({"--log", log, "G:"})), 0) << err;
    EXPECT_EQ(out.rfind("disk G: port 1.1.3 ordinal 3 vol sdg1\n", 0), 0u) << out;
    std::ifstream in(log, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(written.find("\r\n2026-12-09 08:30:05,,3,sdg1,PASS,"), std::string::npos) << written;
    std::vector<std::u16string> eleven;
    for (int i = 1; i <= 11; ++i)
        eleven.push_back(u"sdb" + platform::DecimalText(i));
    EXPECT_EQ(qc::VolText(eleven), u"sdb1|sdb2|sdb3|sdb4|sdb5|sdb6|sdb7|sdb8|sdb9|\u2026");
}

// A log line that could not be written by the end of the run is not lost in silence.
TEST_F(CheckTool, LogLinesNotWrittenByTheEndGoToStandardErrorAndFailTheRun) {
    sim::SetClock(platform::LocalTime{2026, 12, 9, 8, 30, 5});
    const std::string log = (dir / "no-such-folder" / "results.csv").string();
    EXPECT_EQ(Run(Station({"--log", log, "E:", "F:"})), 1);
    ASSERT_EQ(Count(out, "disk "), 2u) << "the disks were checked";
    EXPECT_NE(err.find(log + ": 2 lines not written ("), std::string::npos) << err;
    EXPECT_NE(err.find("\n2026-12-09 08:30:05,,1,E,PASS,"), std::string::npos) << err;
    EXPECT_NE(err.find("\n2026-12-09 08:30:05,,2,F,PASS,"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(log));
}

// A log another writer holds is waited for a bounded time, never for ever, and a stop ends the
// wait: either way the lines not written are told whole and the run fails with its status.
TEST_F(CheckTool, ALogHeldByAnotherWriterIsWaitedForABoundedTime) {
    sim::SetClock(platform::LocalTime{2026, 12, 9, 8, 30, 5});
    const std::string log = (dir / "results.csv").string();
    // The station's files first, where the other writer's path is the run's.
    std::string error;
    ASSERT_TRUE(system.loadStation((kDemo / "station16.station").string(), &error)) << error;
    std::uint64_t length = 0;
    bool held = false;
    const platform::LogFile other =
        platform::OpenLogFile(fs::path(log).u16string(), &length, &held);
    ASSERT_NE(other, platform::kNoLogFile);

    EXPECT_EQ(Run(Station({"--log", log, "E:"})), 1);
    EXPECT_EQ(Count(out, "disk E:"), 1u);
    EXPECT_NE(err.find(log + ": 1 line not written ("), std::string::npos) << err;
    EXPECT_NE(err.find("\n2026-12-09 08:30:05,,1,E,PASS,"), std::string::npos) << err;

    SharedText runOut, runErr;
    std::ostream outStream(&runOut), errStream(&runErr);
    int status = -1;
    std::thread run([&] {
        status = tools::RunCheck(Station({"--log", log, "E:", "F:"}), system, outStream, errStream);
    });
    EXPECT_EQ(SharedText::WaitFor({&runErr}, "not written now", 1), 1u);
    tools::StopCheck(143);
    run.join();
    platform::CloseLogFile(other);
    EXPECT_EQ(status, 143);
    // E:, and F: where the stop came after it was taken in hand: each line told.
    const std::size_t checked = Count(runOut.Text(), "disk ");
    EXPECT_NE(runErr.Text().find(log + ": " + std::to_string(checked) + " line"), std::string::npos)
        << runErr.Text();
    EXPECT_EQ(Count(runErr.Text(), "\n2026-12-09 08:30:05,,"), checked) << runErr.Text();
    EXPECT_EQ(fs::file_size(log), 0u) << "nothing was written past the other writer";
}

// DISK arguments as the system resolves them; one that names no disk is named in the error.
TEST_F(CheckTool, DiskArgumentsAreResolvedByTheSystem) {
    system.resolveDisk = [](const std::string& arg,
                            std::string* why) -> std::optional<std::string> {
        if (arg == "/dev/disk/by-id/usb-G")
            return "G:";
        if (arg == "E:")
            return arg;
        if (arg == "/dev/sda")
            return "/dev/sda";
        *why = "not a block device";
        return std::nullopt;
    };
    ASSERT_EQ(Run(Station({"/dev/disk/by-id/usb-G"})), 0) << err;
    EXPECT_EQ(out.rfind("disk G: ", 0), 0u) << out;
    EXPECT_EQ(Run(Station({"E:", "/etc/passwd"})), 2);
    EXPECT_EQ(err, "tavrin-check: /etc/passwd: not a block device\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(Run(Station({"/dev/sda"})), 1);
    EXPECT_EQ(err, "tavrin-check: no USB disk /dev/sda\n");
}

// Ctrl+C or SIGTERM during a run: the disk in hand is finished whole, no other is asked.
TEST_F(CheckTool, AStopEndsARunAfterTheDiskInHand) {
    SharedText out, err;
    std::ostream outStream(&out), errStream(&err);
    int status = -1;
    std::thread run([&] {
        status = tools::RunCheck(Station({"--check", (kDemo / "line16.chk").string()}), system,
                                 outStream, errStream);
    });
    // K: after J: answers slowly: stopped while it is in hand, once the run has opened it.
    const auto kInHand = [] {
        for (const std::u16string& path : sim::Station::Get().OpenedPaths()) {
            if (path == u"\\\\.\\K:")
                return true;
        }
        return false;
    };
    // Bounded only so that a run that hangs ends the test.
    for (int i = 0; i < 30000 && !kInHand(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(kInHand());
    tools::StopCheck(143);
    run.join();
    EXPECT_EQ(status, 143);
    const std::string text = out.Text();
    EXPECT_EQ(Count(text, "disk K:"), 1u) << text;
    EXPECT_EQ(Count(text, "disk L:"), 0u) << "no disk is asked after the stop";
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n") << "the disk in hand was finished whole";
    EXPECT_EQ(Count(text, "disk "), Count(text, "verdict ") + Count(text, "error "));
    EXPECT_EQ(Count(err.Text(), "no disk found"), 0u);
}

// A disk pulled, or swapped for another, between its identification and its block read was
// never judged: it is said not checked, with no record, no verdict and no values, and the run
// fails; the disks around it are checked as ever.
TEST_F(CheckTool, ADiskPulledOrSwappedBeforeItsReadHasNoRecord) {
    const platform::LocalTime time{2026, 12, 9, 8, 30, 5};
    sim::SetClock(time);
    const sim::UsbPortAddress portOfG{0, {1, 3}};
    const std::map<std::string, std::function<void()>> changes = {
        {"pulled", [&] { sim::Station::Get().Usb().Unplug(portOfG); }},
        {"swapped", [&] {
             sim::Station::Get().Usb().Unplug(portOfG);
             sim::Station::Get().Usb().Plug(portOfG, sim::FlashDisk(9, u'G'));
         }}};
    for (const auto& [what, change] : changes) {
        for (const bool csv : {false, true}) {
            SCOPED_TRACE(what + (csv ? " csv" : " text"));
            const std::string log = (dir / (what + (csv ? ".csv" : ".log"))).string();
            std::vector<std::string> args =
                Station({"--check", (kDemo / "line16.chk").string(), "--ports",
                         (kDemo / "station16.pfg").string(), "--log", log, "E:", "G:", "H:"});
            if (csv)
                args.insert(args.end(), {"--format", "csv"});
            // At G's block read: after the walk and the identification.
            system.loadStation = [&](const std::string& path, std::string* error) {
                if (!tools::LoadStationOnHostFiles(path, dir / "links", error))
                    return false;
                sim::Station::Get().SetOpenHook([&](std::u16string_view opened) {
                    if (opened == u"\\\\.\\PHYSICALDRIVE3")
                        change();
                });
                return true;
            };
            EXPECT_EQ(Run(args), 1);
            EXPECT_EQ(err,
                      "tavrin-check: G: port 1.1.3: not checked (The system cannot find the file "
                      "specified.)\n");
            std::ifstream in(log, std::ios::binary);
            const std::string written((std::istreambuf_iterator<char>(in)), {});
            EXPECT_EQ(Count(written, "\n"), 3u) << "the header, E: and H:\n" << written;
            EXPECT_EQ(Count(written, "7730A0000003"), 0u) << written;
            EXPECT_EQ(Count(written, ",G,"), 0u) << written;
            if (csv) {
                EXPECT_EQ(out, written.substr(qc::LogHeader().size()));
            } else {
                EXPECT_EQ(Verdicts(), (std::map<std::string, std::string>{
                                          {"E:", "verdict PASS"},
                                          {"H:", "verdict FAIL RFreq Blink CapMax FWVer"}}));
                EXPECT_EQ(Count(out, "G:"), 0u) << out;
            }
        }
    }
}

// Windows and the virtual station know a disk by its volume's GUID name and its device instance,
// not its letter: another disk that took the letter and the drive number between the walk and
// the read is not read under the walked disk's port; in a watch, a disk that took a freed letter
// between two walks is checked.
TEST_F(CheckTool, ADiskIsItsVolumeNotItsLetter) {
    system.diskIdentity = tools::WindowsDiskIdentity;
    const auto swapAt = [&](const std::u16string& drive, sim::UsbPortAddress port, int number,
                            char16_t letter) {
        system.loadStation = [=, this](const std::string& path, std::string* error) {
            if (!tools::LoadStationOnHostFiles(path, dir / "links", error))
                return false;
            sim::Station::Get().SetOpenHook([=](std::u16string_view opened) {
                if (opened != drive)
                    return;
                sim::Station::Get().SetOpenHook({});
                sim::Station::Get().Usb().Unplug(port);
                sim::Station::Get().Usb().Plug(port, sim::FlashDisk(number, letter));
            });
            return true;
        };
    };
    // G: swapped at its own read for another disk on drive 3 that takes G:.
    swapAt(u"\\\\.\\PHYSICALDRIVE3", {0, {1, 3}}, 3, u'G');
    const std::string log = (dir / "swapped.csv").string();
    EXPECT_EQ(Run(Station({"--log", log, "E:", "G:"})), 1);
    EXPECT_EQ(err, "tavrin-check: G: port 1.1.3: not checked (the disk changed during the run)\n");
    EXPECT_EQ(Count(out, "disk G:"), 0u) << out;
    std::ifstream in(log, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(Count(written, "\n"), 2u) << "the header and E: only\n" << written;

    // E: swapped for another disk on drive 1 while the first walk reads F:.
    swapAt(u"\\\\.\\PHYSICALDRIVE2", {0, {1, 1}}, 1, u'E');
    SharedText watchOut, watchErr;
    std::ostream outStream(&watchOut), errStream(&watchErr);
    std::thread watch([&] { tools::RunCheck(Station({"--watch"}), system, outStream, errStream); });
    EXPECT_EQ(SharedText::WaitFor({&watchOut}, "disk E:", 2), 2u) << watchOut.Text();
    tools::StopCheck(130);
    watch.join();
}

// --watch knows a disk by its identity: a new disk under a freed name is checked.
TEST_F(CheckTool, WatchingTellsDisksApartByIdentity) {
    demo::DemoStation demo;
    system.loadStation = [&demo](const std::string& path, std::string* error) {
        const sim::StationFileResult result = demo.Load(path);
        *error = result.error;
        return result.ok;
    };
    std::mutex mutex;
    std::string identityOfE = "first";
    system.diskIdentity = [&](char16_t letter) {
        std::lock_guard lock(mutex);
        return letter == u'E' ? identityOfE : std::string();
    };
    SharedText out, err;
    std::ostream outStream(&out), errStream(&err);
    std::thread watch([&] { tools::RunCheck(Station({"--watch"}), system, outStream, errStream); });
    const auto waitFor = [&](const std::string& part, std::size_t count) {
        return SharedText::WaitFor({&out, &err}, part, count);
    };
    const auto plug = [&demo](char16_t letter) {
        for (std::size_t i = 0; i < demo.Disks().size(); ++i) {
            if (demo.Disks()[i].letters.find(letter) != std::u16string::npos)
                return demo.Plug(i);
        }
        return false;
    };
    ASSERT_EQ(waitFor("watching\n", 1), 1u);
    ASSERT_TRUE(plug(u'E'));
    ASSERT_EQ(waitFor("disk E:", 1), 1u);
    ASSERT_TRUE(plug(u'F'));
    ASSERT_EQ(waitFor("disk F:", 1), 1u);
    EXPECT_EQ(Count(out.Text(), "disk E:"), 1u) << "the same disk is not checked again";
    {
        std::lock_guard lock(mutex);
        identityOfE = "second";  // another disk took E:'s name between two walks
    }
    ASSERT_TRUE(plug(u'G'));
    ASSERT_EQ(waitFor("disk G:", 1), 1u);
    EXPECT_EQ(waitFor("disk E:", 2), 2u) << out.Text();
    tools::StopCheck(130);
    watch.join();
}

// --watch asks a disk it could not check again once its time is up, not at every wake: a wake
// for another disk leaves it alone, and it is said not checked once while the reason stays.
TEST_F(CheckTool, WatchingAsksADiskNotCheckedAgainWhenItsTimeIsUp) {
    demo::DemoStation demo;
    system.loadStation = [&demo](const std::string& path, std::string* error) {
        const sim::StationFileResult result = demo.Load(path);
        *error = result.error;
        return result.ok;
    };
    const auto plug = [&demo](char16_t letter) {
        for (std::size_t i = 0; i < demo.Disks().size(); ++i) {
            if (demo.Disks()[i].letters.find(letter) != std::u16string::npos)
                return demo.Plug(i);
        }
        return false;
    };
    std::atomic<int> asksOfE{0};  // opens of E:, refused ones too
    const auto opensOfE = [&] { return asksOfE.load(); };
    for (const std::uint32_t retryMs : {600000u, 20u}) {
        SCOPED_TRACE(retryMs);
        system.retryMs = retryMs;
        SharedText out, err;
        std::ostream outStream(&out), errStream(&err);
        std::thread watch(
            [&] { tools::RunCheck(Station({"--watch"}), system, outStream, errStream); });
        const auto waitFor = [&](const std::string& part, std::size_t count) {
            for (int i = 0; i < 1000 && Count(out.Text() + err.Text(), part) < count; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return Count(out.Text() + err.Text(), part);
        };
        ASSERT_EQ(waitFor("watching\n", 1), 1u);
        asksOfE = 0;
        sim::Station::Get().SetOpenHook([&](std::u16string_view path) {
            if (path == u"\\\\.\\E:")
                ++asksOfE;
        });
        sim::Station::Get().DenyOpen(u"\\\\.\\E:");
        ASSERT_TRUE(plug(u'E'));
        ASSERT_EQ(waitFor("not checked (Access is denied.)", 1), 1u);
        if (retryMs > 1000) {
            ASSERT_TRUE(plug(u'F'));
            ASSERT_EQ(waitFor("disk F:", 1), 1u);
            EXPECT_EQ(opensOfE(), 1) << "the wake for F: left E: alone";
        } else {
            // Asked again, silently, until it can be opened.
            for (int i = 0; i < 1000 && opensOfE() < 3; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_GE(opensOfE(), 3);
            sim::Station::Get().AllowOpen(u"\\\\.\\E:");
            EXPECT_EQ(waitFor("disk E:", 1), 1u) << err.Text();
        }
        tools::StopCheck(130);
        watch.join();
        EXPECT_EQ(Count(err.Text(), "not checked"), 1u) << err.Text();
        sim::Station::Get().Reset();
    }
}

// --watch checks each disk once as it arrives; one pulled and plugged again is checked again.
TEST_F(CheckTool, WatchingChecksEachArrivalOnce) {
    demo::DemoStation demo;
    system.loadStation = [&demo](const std::string& path, std::string* error) {
        const sim::StationFileResult result = demo.Load(path);
        *error = result.error;
        return result.ok;
    };
    SharedText out, err;
    std::ostream outStream(&out), errStream(&err);
    int status = -1;
    std::thread watch([&] {
        status = tools::RunCheck(Station({"--watch", "--verbose"}), system, outStream, errStream);
    });
    const auto waitFor = [&](const std::string& part, std::size_t count) {
        return SharedText::WaitFor({&out, &err}, part, count);
    };
    const auto plug = [&demo](char16_t letter, bool in) {
        for (std::size_t i = 0; i < demo.Disks().size(); ++i) {
            if (demo.Disks()[i].letters.find(letter) != std::u16string::npos)
                return in ? demo.Plug(i) : demo.Unplug(i);
        }
        return false;
    };
    ASSERT_EQ(waitFor("watching\n", 1), 1u);
    EXPECT_EQ(Count(out.Text(), "disk "), 0u) << "every disk is off its port at the start";
    ASSERT_TRUE(plug(u'E', true));
    EXPECT_EQ(waitFor("disk E:", 1), 1u);
    ASSERT_TRUE(plug(u'G', true));
    EXPECT_EQ(waitFor("disk G:", 1), 1u);
    ASSERT_TRUE(plug(u'E', false));
    ASSERT_TRUE(plug(u'I', true));  // another controller's
    EXPECT_EQ(waitFor("passed over I:", 1), 1u);
    ASSERT_TRUE(plug(u'E', true));
    EXPECT_EQ(waitFor("disk E:", 2), 2u);
    tools::StopCheck(130);
    watch.join();
    EXPECT_EQ(status, 130) << "ended by Ctrl+C";
    EXPECT_EQ(Count(out.Text(), "disk G:"), 1u) << "G: stayed and is not checked again";
    EXPECT_EQ(Count(out.Text(), "disk "), 3u) << out.Text();
    EXPECT_EQ(Count(err.Text(), "passed over I:"), 1u) << "said once while it stays";
}

// Stop requests at any moment of a watch's life, as a signal or the console's thread sends
// them: before it begins, while it walks, while it waits, while it ends. Each run ends with the
// first stop's status, a later one is kept for the next run, and no stop reaches a watch that is
// gone (ThreadSanitizer watches that).
TEST_F(CheckTool, AStopAtAnyMomentEndsTheWatchItFinds) {
    demo::DemoStation demo;
    system.loadStation = [&demo](const std::string& path, std::string* error) {
        const sim::StationFileResult result = demo.Load(path);
        *error = result.error;
        return result.ok;
    };
    std::mt19937 random(7);
    // A busy wait: a yield would hand a loaded machine's time slices away.
    std::atomic<unsigned> spun{0};
    const auto spin = [&spun](unsigned turns) {
        for (unsigned i = 0; i < turns; ++i)
            spun.fetch_add(1, std::memory_order_relaxed);
    };
    int waited = 0;
    for (int round = 0; round < 1000; ++round) {
        // A third of the stops come once the watch waits; the rest at any moment.
        const bool whileWaiting = round % 3 == 0;
        const unsigned first = random() % 200000, second = random() % 2000;
        SharedText out, err;
        std::ostream outStream(&out), errStream(&err);
        int status = -1;
        std::thread run(
            [&] { status = tools::RunCheck(Station({"--watch"}), system, outStream, errStream); });
        std::thread stopper([&] {
            if (whileWaiting)
                SharedText::WaitFor({&err}, "watching\n", 1);
            spin(first);
            tools::StopCheck(130);
            spin(second);  // often while the watch ends, or after it
            tools::StopCheck(143);
        });
        run.join();
        stopper.join();
        ASSERT_EQ(status, 130) << "round " << round << ": " << err.Text();
        waited += Count(err.Text(), "watching\n") == 1;
        // The second stop, when it came after the run, is the next run's.
        const int next = Run({"--version"});
        ASSERT_TRUE(next == 0 || next == 143) << next;
    }
    EXPECT_GE(waited, 333);
}

// A stop before a run begins (the signal between the program's start and its run) ends it before
// any disk is asked, and is taken up by it: the next run is whole.
TEST_F(CheckTool, AStopBeforeTheRunBeginsEndsIt) {
    tools::StopCheck(143);
    EXPECT_EQ(Run(Station({"E:"})), 143);
    EXPECT_EQ(Count(out, "disk "), 0u) << out;
    EXPECT_EQ(Run(Station({"E:"})), 0) << err;
    EXPECT_EQ(Count(out, "disk E:"), 1u) << out;
}

}  // namespace
