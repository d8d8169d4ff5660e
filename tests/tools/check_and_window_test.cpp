// The window and tavrin-check judge and record a disk alike: every disk of the sample station
// through both, their records compared field by field (the time aside), and the items each
// found failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "platform/sim/station_file.h"
#include "platform/text.h"
#include "qc/log_reader.h"
#include "qc/result_log.h"
#include "tests/qc/qc_run_fixture.h"
#include "tools/check.h"
#include "tools/station_host.h"

namespace {

namespace fs = std::filesystem;
using qctest::QcRunTest;

const fs::path kDemo = fs::path(TAVRIN_DOCS_DIR) / "demo";

// The fields of the header line: quoted fields with doubled quotes, the line's CR LF gone.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else if (quoted || (c != '\r' && c != '\n')) {
            fields.back() += c;
        }
    }
    return fields;
}

// A log's records, read by the station's reader, by station port: the fields in the order of
// the current header.
std::map<std::string, std::vector<std::string>> Records(const std::string& log) {
    std::map<std::string, std::vector<std::string>> records;
    EXPECT_EQ(log.rfind(qc::LogHeader(), 0), 0u) << "the log starts with its header";
    std::istringstream in(log);
    const qc::LogReadResult result = qc::ReadResultLog(
        in,
        [&](const qc::LogLineFields& r) {
            EXPECT_TRUE(r.hasFailedItems);
            std::vector<std::string> fields = {std::string(r.time), std::string(r.stationPort),
                                               std::string(r.ordinal), std::string(r.vol),
                                               r.pass ? "PASS" : "FAIL"};
            for (const std::string_view value : r.values)
                fields.emplace_back(value);
            for (const std::string_view field : {r.serial, r.checkFile, r.station, r.failedItems})
                fields.emplace_back(field);
            EXPECT_EQ(records.count(fields[1]), 0u) << "one record per disk: " << r.line;
            records[fields[1]] = std::move(fields);
        },
        [](const qc::BadLogLine& bad) { ADD_FAILURE() << bad.line << ": " << bad.why; });
    EXPECT_TRUE(result.read) << result.why;
    return records;
}

class CheckAndWindowTest : public QcRunTest {
  protected:
    void TearDown() override {
        sim::Station::Get().Reset();
        fs::remove_all(dir);
        QcRunTest::TearDown();
    }
    const fs::path dir = root / "check";
};

TEST_F(CheckAndWindowTest, EveryDiskOfTheSampleStationIsRecordedAlike) {
    // The window: the sample's settings with a result log, every disk there from the start.
    for (const char* name : {"station16.pfg", "line16.chk"}) {
        std::ifstream in(kDemo / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        WriteFile(u"C:\\Tools\\Tavrin\\" + platform::FromUtf8(name), text.str());
    }
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=line16.chk\r\nPORT_FILE=station16.pfg\r\nAutoCheck=1\r\n"
              "InfoCheck=1\r\nRESULT_LOG=results.csv\r\n");
    const sim::StationFileResult loaded = sim::LoadStationFile(kDemo / "station16.station");
    ASSERT_TRUE(loaded.ok) << loaded.error;
    std::map<std::string, std::vector<std::string>> windowFailed;  // by station port
    RunSteps({[&](app::CTavrinDlg& dialog) {
        for (int row = 0; row < Rows(dialog); ++row) {
            const std::vector<int> matches = Matches(dialog, row);
            if (matches.empty())
                continue;
            std::vector<std::string>& failed = windowFailed[std::to_string(row + 1)];
            for (std::size_t i = 0; i < matches.size(); ++i) {
                if (matches[i] == 0)
                    failed.push_back(platform::ToUtf8(device::kSlotKeys[i]));
            }
        }
    }});
    const auto window = Records(ReadFile(u"C:\\Tools\\Tavrin\\results.csv"));

    // tavrin-check on the same station, check file and port map.
    sim::Station::Get().Reset();
    tools::CheckSystem system;
    system.diskNames = [](char16_t letter) {
        return std::vector<std::string>{std::string(1, static_cast<char>(letter)) + ":"};
    };
    system.loadStation = [this](const std::string& path, std::string* error) {
        return tools::LoadStationOnHostFiles(path, dir / "links", error);
    };
    fs::create_directories(dir);  // the log's folder (no station link is made there on Windows)
    const std::string log = (dir / "results.csv").string();
    std::ostringstream out, err;
    EXPECT_EQ(tools::RunCheck({"--station", (kDemo / "station16.station").string(), "--check",
                               (kDemo / "line16.chk").string(), "--ports",
                               (kDemo / "station16.pfg").string(), "--log", log},
                              system, out, err),
              1)
        << err.str();
    std::ifstream in(log, std::ios::binary);
    const auto check = Records(std::string((std::istreambuf_iterator<char>(in)), {}));

    // Ten disks each: the other controller's and the one off the map are in neither.
    ASSERT_EQ(window.size(), 10u);
    ASSERT_EQ(check.size(), window.size());
    const std::vector<std::string> names = Fields(qc::LogHeader().substr(3));
    int failing = 0, notRead = 0;
    for (const auto& [port, fields] : window) {
        SCOPED_TRACE("station port " + port);
        ASSERT_EQ(check.count(port), 1u);
        const std::vector<std::string>& other = check.at(port);
        // The check file aside: each names the one it read, as its settings would store it.
        const std::size_t checkFile = names.size() - 3;
        for (std::size_t f = 1; f < fields.size() && f < other.size(); ++f) {
            if (f != checkFile) {
                EXPECT_EQ(fields[f], other[f]) << names.at(f);
            }
        }
        EXPECT_EQ(fields[checkFile], "line16.chk");
        EXPECT_EQ(other[checkFile],
                  platform::ToUtf8(fs::absolute(kDemo / "line16.chk").u16string()));
        EXPECT_EQ(fields.at(checkFile - 1).rfind("7730A", 0), 0u) << "the disk's serial number";
        failing += fields[4] == "FAIL" ? 1 : 0;
        // The items the window marked failed, in column order; J's block is not read, whatever
        // its empty values fail.
        std::string items;
        for (const std::string& item : windowFailed[port])
            items += (items.empty() ? "" : "|") + item;
        EXPECT_EQ(names.back(), "Failed items");
        if (fields[3] == "J") {
            EXPECT_EQ(fields.back(), "(not read)");
            ++notRead;
        } else {
            EXPECT_EQ(fields.back(), items);
        }
    }
    EXPECT_EQ(failing, 4) << "G, H, J and L fail";
    EXPECT_EQ(notRead, 1);

    // The items each found failed, where tavrin-check read the disk and gave its verdict.
    std::istringstream lines(out.str());
    std::string line, station;
    int verdicts = 0;
    while (std::getline(lines, line)) {
        if (const auto at = line.find(" station "); line.rfind("disk ", 0) == 0)
            station = line.substr(at + 9, line.find(' ', at + 9) - at - 9);
        if (line.rfind("verdict ", 0) != 0)
            continue;
        std::istringstream words(line.substr(8));
        std::string verdict;
        words >> verdict;  // PASS or FAIL, then the failed items
        std::vector<std::string> failed;
        for (std::string word; words >> word;)
            failed.push_back(word);
        EXPECT_EQ(verdict, failed.empty() ? "PASS" : "FAIL");
        EXPECT_EQ(windowFailed[station], failed) << line;
        ++verdicts;
    }
    EXPECT_EQ(verdicts, 9) << "every disk read: all but J";
}

// A disk pulled between its identification and its block read was never judged: neither the
// window nor tavrin-check records it, and the window's row of it shows no verdict; the disks
// around it are recorded as ever.
TEST_F(CheckAndWindowTest, ADiskPulledBeforeItsReadIsRecordedByNeither) {
    for (const char* name : {"station16.pfg", "line16.chk"}) {
        std::ifstream in(kDemo / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        WriteFile(u"C:\\Tools\\Tavrin\\" + platform::FromUtf8(name), text.str());
    }
    WriteFile(maintest::kSettings,
              "[Setting]\r\nCHECK_FILE=line16.chk\r\nPORT_FILE=station16.pfg\r\nAutoCheck=1\r\n"
              "InfoCheck=1\r\nRESULT_LOG=results.csv\r\n");
    // G: (disk 3, station port 3) goes as its drive is opened for the block.
    const auto pullG = [] {
        sim::Station::Get().SetOpenHook([](std::u16string_view path) {
            if (path == u"\\\\.\\PHYSICALDRIVE3")
                sim::Station::Get().Usb().Unplug({0, {1, 3}});
        });
    };
    const sim::StationFileResult loaded = sim::LoadStationFile(kDemo / "station16.station");
    ASSERT_TRUE(loaded.ok) << loaded.error;
    pullG();
    std::vector<int> verdictRows;
    RunSteps({[&](app::CTavrinDlg& dialog) {
        for (int row = 0; row < Rows(dialog); ++row) {
            if (Verdict(dialog, row) > 0)  // PASS or FAIL on its bar
                verdictRows.push_back(row + 1);
        }
    }});
    const auto window = Records(ReadFile(u"C:\\Tools\\Tavrin\\results.csv"));
    EXPECT_EQ(window.size(), 9u);
    EXPECT_EQ(window.count("3"), 0u) << "no record of G:";
    EXPECT_EQ(std::count(verdictRows.begin(), verdictRows.end(), 3), 0);

    sim::Station::Get().Reset();
    tools::CheckSystem system;
    system.diskNames = [](char16_t letter) {
        return std::vector<std::string>{std::string(1, static_cast<char>(letter)) + ":"};
    };
    system.loadStation = [&](const std::string& path, std::string* error) {
        if (!tools::LoadStationOnHostFiles(path, dir / "links", error))
            return false;
        pullG();
        return true;
    };
    fs::create_directories(dir);  // the log's folder (no station link is made there on Windows)
    const std::string log = (dir / "results.csv").string();
    std::ostringstream out, err;
    EXPECT_EQ(tools::RunCheck({"--station", (kDemo / "station16.station").string(), "--check",
                               (kDemo / "line16.chk").string(), "--ports",
                               (kDemo / "station16.pfg").string(), "--log", log},
                              system, out, err),
              1);
    EXPECT_NE(err.str().find("G: port 1.1.3: not checked ("), std::string::npos) << err.str();
    std::ifstream in(log, std::ios::binary);
    const auto check = Records(std::string((std::istreambuf_iterator<char>(in)), {}));
    EXPECT_EQ(check.size(), 9u);
    EXPECT_EQ(check.count("3"), 0u);
}

}  // namespace
