#include "tools/check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/sim/clock.h"
#include "platform/sim/files.h"
#include "platform/sim/info_block.h"
#include "platform/sim/station.h"
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

// What another thread writes, read while it writes.
class SharedText : public std::streambuf {
  public:
    std::string Text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

  protected:
    int overflow(int c) override {
        if (c != EOF) {
            std::lock_guard lock(mutex_);
            text_ += static_cast<char>(c);
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard lock(mutex_);
        text_.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    mutable std::mutex mutex_;
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
        dir = fs::temp_directory_path() /
              ("tavrin-check-test-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        system.diskNames = DriveNames;
        system.loadStation = [this](const std::string& path, std::string* error) {
            return tools::LoadStationOnHostFiles(path, dir / "links", error);
        };
    }
    void TearDown() override {
        sim::SetClock(std::nullopt);
        sim::Station::Get().Reset();
        sim::Files::Get().Reset();
        fs::remove_all(dir);
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

    fs::path dir;
    tools::CheckSystem system;
    std::string out;
    std::string err;
};

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
        {"J:", "error the information block could not be read"},
        {"K:", "verdict PASS"},
        {"L:", "verdict FAIL Efs"},
        {"M:", "verdict PASS"},
        {"N:", "verdict PASS"},
        {"O:", "verdict PASS"},
    };
    std::map<std::string, std::string> verdicts = Verdicts();
    EXPECT_EQ(verdicts.count("I:"), 0u) << "another controller's disk is passed over";
    verdicts.erase("P:");  // on a port the map leaves out: see below
    EXPECT_EQ(verdicts, expected) << out;
    EXPECT_NE(err.find("passed over I: (not the supported controller)\n"), std::string::npos) << err;
    EXPECT_NE(out.find("disk E: port 1.1.1 ordinal 1 station 1\n"), std::string::npos);
    EXPECT_NE(out.find("disk O: port 1.4.3 ordinal 15 station 15\n"), std::string::npos);
    EXPECT_NE(out.find("disk P: port 1.5 ordinal 17 station 0\n"), std::string::npos);
    EXPECT_EQ(Count(err, "time "), 11u) << "a time per disk checked";
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
        EXPECT_EQ(out, "disk E: port 1.1.1 ordinal 1\n" + block.str() + "\n") << lang;
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
        {Station({"--ports", dir.string()}), ": not a file"},
        {Station({"--check", (dir / "a.chk").string(), "--check", (dir / "a.chk").string()}),
         "--check given twice"},
        {{"E:"}, "--station FILE is needed"},
        {{"--station", (dir / "none.station").string()}, "none.station"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), 2) << c.reason;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(out, "") << c.reason;
    }
    EXPECT_EQ(Run(Station({"E:", "Q:"})), 1);
    EXPECT_NE(err.find("no USB disk Q:\n"), std::string::npos) << err;
    EXPECT_EQ(Count(out, "disk "), 1u);
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
        for (int i = 0; i < 1000 && Count(out.Text() + err.Text(), part) < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Count(out.Text() + err.Text(), part);
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
    tools::StopCheckWatch();
    watch.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Count(out.Text(), "disk G:"), 1u) << "G: stayed and is not checked again";
    EXPECT_EQ(Count(out.Text(), "disk "), 3u) << out.Text();
    EXPECT_EQ(Count(err.Text(), "passed over I:"), 1u) << "said once while it stays";
}

}  // namespace
