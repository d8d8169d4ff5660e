// The built tavrin-check as a process of its own, its log held by another process: the wait for
// the log is bounded and a SIGTERM ends it, with every line not written told whole.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const fs::path kDemo = fs::path(TAVRIN_DOCS_DIR) / "demo";

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(CheckProcess, ASigtermEndsTheWaitForALogAnotherProcessHolds) {
    const testsupport::TempFolder dir{"check-process"};
    const std::string log = (dir / "results.csv").string();
    const int held = open(log.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    int errEnds[2];
    ASSERT_EQ(pipe(errEnds), 0);
    std::vector<std::string> words = {
        TAVRIN_CHECK, "--station", (kDemo / "station16.station").string(), "--log", log,
        "G:",         "H:"};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int out = open("/dev/null", O_WRONLY);
        if (out < 0 || dup2(out, 1) < 0 || dup2(errEnds[1], 2) < 0)
            _exit(127);
        close(errEnds[0]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(errEnds[1]);
    // The stop comes once the run says its first line waits: it is then waiting or about to.
    // A run that outlives its stop by 30 s is killed, so that a wait without bound fails the test
    // rather than hanging it.
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog;
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = read(errEnds[0], buffer, sizeof buffer)) > 0;) {
        err.append(buffer, static_cast<std::size_t>(n));
        if (!watchdog.joinable() && err.find("not written now") != std::string::npos) {
            ASSERT_EQ(kill(child, SIGTERM), 0);
            watchdog = std::thread([&] {
                std::unique_lock lock(mutex);
                if (!ended.wait_for(lock, std::chrono::seconds(30), [&] { return done; }))
                    kill(child, SIGKILL);
            });
        }
    }
    close(errEnds[0]);
    int status = 0;
    const pid_t waited = waitpid(child, &status, 0);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_all();
    const bool stopped = watchdog.joinable();
    if (stopped)
        watchdog.join();
    close(held);
    ASSERT_EQ(waited, child);
    EXPECT_TRUE(stopped) << err;
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal, not by the run";
    EXPECT_EQ(WEXITSTATUS(status), 143) << err;
    // G:, and H: where the stop came after it was in hand: each line told whole.
    const std::size_t lines = Count(err, "\n20");
    EXPECT_GE(lines, 1u) << err;
    EXPECT_NE(err.find(log + ": " + std::to_string(lines) + " line" + (lines == 1 ? "" : "s") +
                       " not written (The process cannot access the file"),
              std::string::npos)
        << err;
    EXPECT_EQ(fs::file_size(log), 0u) << "nothing written past the other process";
}

}  // namespace
