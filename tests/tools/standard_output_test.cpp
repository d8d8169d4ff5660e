#include "tools/standard_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

// Standard output as a full disk or a closed pipe takes it: writes held in a small buffer, and
// each write that should hand them over fails, with the C library's error number where it sets
// one.
class RefusingOutput : public std::streambuf {
  public:
    explicit RefusingOutput(int code) : code_(code) { setp(buffer_, buffer_ + sizeof buffer_); }

  protected:
    int_type overflow(int_type) override {
        Refuse();
        return traits_type::eof();
    }
    int sync() override { return Refuse(); }

  private:
    int Refuse() {
        if (code_ != 0)
            errno = code_;
        return -1;
    }
    int code_;
    char buffer_[8];
};

struct Ended {
    int status;
    std::string err;
};

Ended End(int status, platform::console::WatchedOutput& out) {
    std::ostringstream err;
    const int ended = tools::CheckStandardOutput("tavrin-x", status, out, err);
    return {ended, err.str()};
}

std::string Said(const std::string& reason) {
    return "tavrin-x: standard output: not written (" + reason + ")\n";
}

TEST(StandardOutput, WrittenOutputKeepsTheRunsStatus) {
    for (const int status : {0, 1, 2, 130}) {
        std::ostringstream out;
        {
            platform::console::WatchedOutput watched(out);
            out << "disk E:\n" << 'x';
            const Ended ended = End(status, watched);
            EXPECT_EQ(ended.status, status);
            EXPECT_EQ(ended.err, "");
        }
        EXPECT_EQ(out.str(), "disk E:\nx");
    }
}

TEST(StandardOutput, OutputThatCannotBeWrittenFailsTheRunUnlessItFailedWorse) {
    for (const auto& [status, expected] : {std::pair{0, 1}, {1, 1}, {2, 2}, {130, 130}}) {
        SCOPED_TRACE(status);
        // A short line waits in the buffer: only the flush at the end finds it refused.
        RefusingOutput refusing(ENOSPC);
        std::ostream out(&refusing);
        platform::console::WatchedOutput watched(out);
        out << "disk";
        ASSERT_TRUE(out.good());
        const Ended ended = End(status, watched);
        EXPECT_EQ(ended.status, expected);
        EXPECT_EQ(ended.err, Said(std::strerror(ENOSPC)));
    }

    // Refused while the run wrote on, errno set by other calls since: the first reason is told.
    RefusingOutput pipe(EPIPE);
    std::ostream out(&pipe);
    {
        platform::console::WatchedOutput watched(out);
        out << "a line longer than the buffer\n";
        errno = EINVAL;
        out << "and another\n";
        EXPECT_FALSE(out.good());
        const Ended ended = End(0, watched);
        EXPECT_EQ(ended.status, 1);
        EXPECT_EQ(ended.err, Said(std::strerror(EPIPE)));
    }
    EXPECT_EQ(out.rdbuf(), &pipe);
    EXPECT_FALSE(out.good()) << "the stream's state is left as the run left it";

    // Refused without a reason: the stream's state still tells.
    RefusingOutput silent(0);
    std::ostream quiet(&silent);
    platform::console::WatchedOutput watchedQuiet(quiet);
    quiet << "a line longer than the buffer\n";
    const Ended ended = End(0, watchedQuiet);
    EXPECT_EQ(ended.status, 1);
    EXPECT_EQ(ended.err, Said("the output could not be written"));

    // Nothing written by the run, and yet the flush fails: the same.
    RefusingOutput empty(0);
    std::ostream nothing(&empty);
    platform::console::WatchedOutput watchedNothing(nothing);
    EXPECT_EQ(End(0, watchedNothing).status, 1);
}

}  // namespace
