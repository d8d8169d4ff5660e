// The built tools themselves with their standard output on a full device: each run that could
// not write what it printed fails and says so; the same run with somewhere to write succeeds.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct Ran {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    std::string err;
};

// Runs `program` with `args`, its standard output on `output`, and waits for its end.
Ran RunTool(const std::string& program, const std::vector<std::string>& args, const char* output) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(output, O_WRONLY);
        if (out < 0 || dup2(out, 1) < 0 || dup2(pipeEnds[1], 2) < 0)
            _exit(127);
        close(pipeEnds[0]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    Ran ran;
    char buffer[512];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        ran.err.append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        ran.status = WEXITSTATUS(status);
    return ran;
}

const fs::path kDemo = fs::path(TAVRIN_DOCS_DIR) / "demo";

class ToolOutput : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RunTool(TAVRIN_SAMPLE_BLOCK, {block}, "/dev/null").status, 0);
        // One log line of the window's format, enough for a summary.
        const Ran logged =
            RunTool(TAVRIN_CHECK, {"--station", station, "--log", log, "G:"}, "/dev/null");
        ASSERT_EQ(logged.status, 0) << logged.err;
    }

    // Every tool, in a run that succeeds and prints something.
    struct Case {
        std::string name;
        std::string program;
        std::vector<std::string> args;
    };
    std::vector<Case> Cases() const {
        return {
            {"tavrin-check", TAVRIN_CHECK, {"--station", station, "--format", "csv", "G:"}},
            {"tavrin-check", TAVRIN_CHECK, {"--help"}},
            {"tavrin-usbtree", TAVRIN_USBTREE, {"--station", station}},
            {"tavrin-block", TAVRIN_BLOCK, {block}},
            {"tavrin-report", TAVRIN_REPORT, {log}},
        };
    }

    const testsupport::TempFolder dir{"tool-output"};
    const std::string station = (kDemo / "station16.station").string();
    const std::string block = (dir / "block.bin").string();
    const std::string log = (dir / "st01.csv").string();
};

TEST_F(ToolOutput, ARunWhoseOutputCannotBeWrittenFailsAndSaysSo) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name + " " + c.args.back());
        const Ran written = RunTool(c.program, c.args, "/dev/null");
        EXPECT_EQ(written.status, 0) << written.err;
        EXPECT_EQ(written.err.find("standard output"), std::string::npos) << written.err;

        const Ran full = RunTool(c.program, c.args, "/dev/full");
        EXPECT_EQ(full.status, 1) << full.err;
        EXPECT_EQ(full.err, c.name + ": standard output: not written (No space left on device)\n");
    }
}

TEST_F(ToolOutput, ReportFilesThatCannotBeWrittenFailTheRun) {
    for (const char* option : {"--html", "--csv", "--json", "--records"}) {
        SCOPED_TRACE(option);
        const Ran full = RunTool(TAVRIN_REPORT, {option, "/dev/full", log}, "/dev/null");
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.err, "tavrin-report: /dev/full: not written (No space left on device)\n");
    }
}

}  // namespace
