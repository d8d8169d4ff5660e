// The command-line tools' host on a virtual station: tavrin-check's station with the machine's
// files, its stop requests, and nothing of it left after the run; tavrin-usbtree's station alone.
#include "tools/host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <sstream>

#include "platform/sim/files.h"
#include "platform/sim/station.h"
#include "tools/station_host.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDemo = fs::path(TAVRIN_DOCS_DIR) / "demo";

std::atomic<int> stopped{0};
void Stop(int exitStatus) {
    stopped = exitStatus;
}

class StationHost : public ::testing::Test {
  protected:
    void TearDown() override {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        sim::Station::Get().Reset();
        sim::Files::Get().Reset();
    }

    // argv as a program gets it.
    std::vector<char*> Argv(std::vector<std::string>& words) {
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        return argv;
    }
};

TEST_F(StationHost, ChecksAStationWithTheMachinesFilesAndLeavesNothingBehind) {
    std::vector<std::string> words = {"tavrin-check",
                                      "--station",
                                      (kDemo / "station16.station").string(),
                                      "--check",
                                      (kDemo / "line16.chk").string(),
                                      "--ports",
                                      (kDemo / "station16.pfg").string(),
                                      "G:"};
    std::vector<char*> argv = Argv(words);
    const fs::path links = tools::StationLinkFolder();
    {
        tools::Host host(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(host.Arguments(), std::vector<std::string>(words.begin() + 1, words.end()));
        const tools::CheckSystem system = host.ForCheck(Stop);
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(tools::RunCheck(host.Arguments(), system, out, err), 1) << err.str();
        EXPECT_NE(out.str().find("disk G: port 1.1.3 ordinal 3 station 3 vol G\n"),
                  std::string::npos)
            << out.str();
        EXPECT_NE(out.str().find("verdict FAIL ProductName\n"), std::string::npos);
#ifndef _WIN32
        // Windows' drives are the machine's own, and its stop requests are the console's events.
        EXPECT_TRUE(fs::is_symlink(links / "C"));

        stopped = 0;
        std::raise(SIGTERM);
        EXPECT_EQ(stopped.load(), 128 + SIGTERM);
        std::raise(SIGINT);
        EXPECT_EQ(stopped.load(), 128 + SIGINT);
#endif
    }
    EXPECT_FALSE(fs::exists(links));
}

TEST_F(StationHost, TheTreeIsTheStationsAlone) {
    std::vector<std::string> words = {"tavrin-usbtree", "--station", "x"};
    std::vector<char*> argv = Argv(words);
    tools::Host host(static_cast<int>(argv.size()), argv.data());
    const tools::UsbTreeSystem tree = host.ForUsbTree();
    const tools::StationLoader& load = tree.loadStation;
    ASSERT_TRUE(load);
    EXPECT_FALSE(tree.volumeName) << "the station's volumes keep their drive letters";
    std::string error;
    EXPECT_TRUE(load((kDemo / "station16.station").string(), &error)) << error;
    EXPECT_FALSE(load((kDemo / "missing.station").string(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(tools::StationLinkFolder())) << "no files of the machine are linked";
}

}  // namespace
