// The Linux backend's profile files and result log on real paths, in a temporary folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/log_file.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class LinuxFilesTest : public ::testing::Test {
  protected:
    std::u16string Path(const std::string& name) const {
        return platform::FromUtf8((root_ / name).string());
    }

    const testsupport::TempFolder root_{"files"};
};

// ---- Profile files -----------------------------------------------------------------------------

TEST_F(LinuxFilesTest, ProfileWrittenThenReadBackWithKeysReplacedWhereTheyStand) {
    const std::u16string file = Path("Check.chk");
    ASSERT_TRUE(platform::WriteProfileString(u"Value", u"Model", u"Old", file));
    ASSERT_TRUE(platform::WriteProfileString(u"Enable", u"Model", u"1", file));
    ASSERT_TRUE(platform::WriteProfileString(u"Value", u"Capacity", u"0x20", file));
    ASSERT_TRUE(platform::WriteProfileString(u"value", u" MODEL ", u"New Disk", file));
    EXPECT_EQ(root_.Read("Check.chk"),
              "[Value]\r\nModel=New Disk\r\nCapacity=0x20\r\n[Enable]\r\nModel=1\r\n");

    EXPECT_EQ(platform::GetProfileString(u"Value", u"Model", u"-", 64, file), u"New Disk");
    EXPECT_EQ(platform::GetProfileString(u"Value", u"Model", u"-", 4, file), u"New");
    EXPECT_EQ(platform::GetProfileInt(u"Value", u"Capacity", -1, file), 32);
    EXPECT_EQ(platform::GetProfileInt(u"Enable", u"Model", 0, file), 1);
    EXPECT_EQ(platform::GetProfileInt(u"Enable", u"Serial", 7, file), 7);
}

TEST_F(LinuxFilesTest, Utf16FileKeepsItsMarkAndEncoding) {
    // FF FE, then "[Value]\r\nName=\u00e9\u4e2d\r\n" in UTF-16LE.
    std::string bytes("\xFF\xFE", 2);
    for (char16_t c : std::u16string(u"[Value]\r\nName=\u00e9\u4e2d\r\n")) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    root_.Write("Ports.pfg", bytes);
    const std::u16string file = Path("Ports.pfg");
    EXPECT_EQ(platform::GetProfileString(u"Value", u"Name", u"", 64, file), u"\u00e9\u4e2d");

    ASSERT_TRUE(platform::WriteProfileString(u"Value", u"Port", u"\u00fc2", file));
    const std::string after = root_.Read("Ports.pfg");
    ASSERT_EQ(after.size(), bytes.size() + 2 * std::u16string_view(u"Port=\u00fc2\r\n").size());
    EXPECT_EQ(after.substr(0, bytes.size()), bytes);
    EXPECT_EQ(after.substr(bytes.size(), 4), std::string("P\0o\0", 4));
    EXPECT_EQ(platform::GetProfileString(u"Value", u"Port", u"", 64, file), u"\u00fc2");
}

TEST_F(LinuxFilesTest, ProfileThatCannotBeReadGivesTheDefaults) {
    fs::create_directory(root_ / "Folder.chk");
    for (const std::u16string& file : {Path("Missing.chk"), Path("Folder.chk")}) {
        SCOPED_TRACE(platform::ToUtf8(file));
        EXPECT_EQ(platform::GetProfileInt(u"Value", u"Model", 5, file), 5);
        EXPECT_EQ(platform::GetProfileString(u"Value", u"Model", u"none  ", 64, file), u"none");
    }
    EXPECT_FALSE(platform::WriteProfileString(u"Value", u"Model", u"x", Path("Folder.chk")));
    EXPECT_FALSE(platform::WriteProfileString(u"Value", u"Model", u"x", Path("No/Check.chk")));
    EXPECT_FALSE(platform::CreateEmptyFile(Path("No/Log.csv")));
    EXPECT_FALSE(platform::CreateEmptyFile(Path("Folder.chk")));
    EXPECT_FALSE(fs::exists(root_ / "No"));
    EXPECT_EQ(platform::GetProfileString(u"Value", u"Model", u"d", 64, u""), u"d");
}

TEST_F(LinuxFilesTest, BareNamesAreFilesOfTheCurrentDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(root_.path());
    const bool written = platform::WriteProfileString(u"Value", u"Model", u"A", u"Bare.ini");
    root_.Write("Empty.csv", "old");
    const bool emptied = platform::CreateEmptyFile(u"Empty.csv");
    fs::current_path(before);
    EXPECT_TRUE(written);
    EXPECT_EQ(root_.Read("Bare.ini"), "[Value]\r\nModel=A\r\n");
    EXPECT_TRUE(emptied);
    EXPECT_EQ(root_.Read("Empty.csv"), "");
}

// A map written beside the old one replaces it in one step; a read-only one, a folder or a
// missing file is refused and changes nothing.
TEST_F(LinuxFilesTest, AFileReplacesAnotherWholeOrNotAtAll) {
    root_.Write("a.pfg", "old");
    root_.Write("a.pfg.new", "new");
    EXPECT_TRUE(platform::FlushProfileFile(Path("a.pfg.new")));
    EXPECT_FALSE(platform::FlushProfileFile(Path("none.pfg")));
    EXPECT_TRUE(platform::MoveFileReplacing(Path("a.pfg.new"), Path("a.pfg")));
    EXPECT_EQ(root_.Read("a.pfg"), "new");
    EXPECT_FALSE(fs::exists(root_ / "a.pfg.new"));
    EXPECT_FALSE(platform::MoveFileReplacing(Path("a.pfg.new"), Path("a.pfg"))) << "no file";
    EXPECT_EQ(root_.Read("a.pfg"), "new");

    root_.Write("b.pfg.new", "newer");
    fs::permissions(root_ / "a.pfg", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_FALSE(platform::MoveFileReplacing(Path("b.pfg.new"), Path("a.pfg"))) << "read-only";
    fs::permissions(root_ / "a.pfg", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(root_.Read("a.pfg"), "new");
    fs::create_directory(root_ / "Folder.pfg");
    EXPECT_FALSE(platform::MoveFileReplacing(Path("b.pfg.new"), Path("Folder.pfg")));
    EXPECT_TRUE(platform::RemoveFile(Path("b.pfg.new")));
    EXPECT_FALSE(fs::exists(root_ / "b.pfg.new"));
    EXPECT_FALSE(platform::RemoveFile(Path("b.pfg.new")));
}

TEST(LinuxModuleFileName, IsTheRunningProgram) {
    const std::string path = platform::ToUtf8(platform::ModuleFileName());
    EXPECT_EQ(fs::path(path), fs::canonical("/proc/self/exe"));
}

// ---- The result log --------------------------------------------------------------------------

TEST_F(LinuxFilesTest, LogAppendsAndGivesTheLengthOfAnExistingFile) {
    const std::u16string file = Path("Result.csv");
    std::uint64_t length = 99;
    bool held = false;
    platform::LogFile log = platform::OpenLogFile(file, &length, &held);
    ASSERT_NE(log, platform::kNoLogFile);
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(platform::WriteLogFile(log, "Time,Result\r\n"));
    EXPECT_TRUE(platform::FlushLogFile(log));
    platform::CloseLogFile(log);

    log = platform::OpenLogFile(file, &length, &held);
    ASSERT_NE(log, platform::kNoLogFile);
    EXPECT_EQ(length, 13u);
    // The header is read back from the start; the next write still goes to the end.
    char start[64] = {};
    std::size_t read = 0;
    ASSERT_TRUE(platform::ReadLogFileAt(log, 0, start, &read));
    EXPECT_EQ(std::string(start, read), "Time,Result\r\n");
    ASSERT_TRUE(platform::ReadLogFileAt(log, 0, std::span(start, 4), &read));
    EXPECT_EQ(std::string(start, read), "Time");
    ASSERT_TRUE(platform::ReadLogFileAt(log, 12, std::span(start, 4), &read));
    EXPECT_EQ(std::string(start, read), "\n");
    EXPECT_TRUE(platform::WriteLogFile(log, "1,PASS\r\n"));
    platform::CloseLogFile(log);
    EXPECT_EQ(root_.Read("Result.csv"), "Time,Result\r\n1,PASS\r\n");
}

TEST_F(LinuxFilesTest, LogCutBackTakesTheNextWriteThere) {
    root_.Write("Result.csv", "head\r\n");
    std::uint64_t length = 0;
    bool held = false;
    const platform::LogFile log = platform::OpenLogFile(Path("Result.csv"), &length, &held);
    ASSERT_NE(log, platform::kNoLogFile);
    ASSERT_TRUE(platform::WriteLogFile(log, "half a li"));
    EXPECT_TRUE(platform::CutLogFile(log, length));
    EXPECT_EQ(root_.Read("Result.csv"), "head\r\n");
    EXPECT_TRUE(platform::WriteLogFile(log, "line\r\n"));
    platform::CloseLogFile(log);
    EXPECT_EQ(root_.Read("Result.csv"), "head\r\nline\r\n");
}

// A log another writer holds is answered at once, never waited for: the caller bounds its wait.
TEST_F(LinuxFilesTest, LogHeldByAnotherWriterIsAnsweredAtOnce) {
    std::uint64_t length = 0;
    bool held = true;
    const platform::LogFile first = platform::OpenLogFile(Path("Result.csv"), &length, &held);
    ASSERT_NE(first, platform::kNoLogFile);
    EXPECT_FALSE(held);
    EXPECT_EQ(platform::OpenLogFile(Path("Result.csv"), &length, &held), platform::kNoLogFile);
    EXPECT_TRUE(held);
    EXPECT_EQ(platform::LastLogError(), u"another program is writing to it");
    platform::CloseLogFile(first);
    const platform::LogFile second = platform::OpenLogFile(Path("Result.csv"), &length, &held);
    EXPECT_NE(second, platform::kNoLogFile);
    EXPECT_FALSE(held);
    platform::CloseLogFile(second);
}

TEST_F(LinuxFilesTest, LogFailsWhereThereIsNoFile) {
    fs::create_directory(root_ / "Folder.csv");
    std::uint64_t length = 0;
    bool held = false;
    EXPECT_EQ(platform::OpenLogFile(Path("No/Result.csv"), &length, &held), platform::kNoLogFile);
    EXPECT_EQ(platform::OpenLogFile(Path("Folder.csv"), &length, &held), platform::kNoLogFile);
    EXPECT_FALSE(fs::exists(root_ / "No"));

    EXPECT_FALSE(platform::WriteLogFile(platform::kNoLogFile, "x"));
    EXPECT_FALSE(platform::FlushLogFile(platform::kNoLogFile));
    EXPECT_FALSE(platform::CutLogFile(platform::kNoLogFile, 0));
    const platform::LogFile log = platform::OpenLogFile(Path("Result.csv"), &length, &held);
    ASSERT_NE(log, platform::kNoLogFile);
    platform::CloseLogFile(log);
    EXPECT_FALSE(platform::WriteLogFile(log, "x"));
}

TEST_F(LinuxFilesTest, LogOnDescriptorZeroIsAFile) {
    // With standard input closed, the log gets descriptor 0: still a handle, not kNoLogFile.
    const int saved = dup(0);
    ASSERT_GE(saved, 0);
    close(0);
    std::uint64_t length = 0;
    bool held = false;
    const platform::LogFile log = platform::OpenLogFile(Path("Result.csv"), &length, &held);
    const bool written = log != platform::kNoLogFile && platform::WriteLogFile(log, "ok");
    if (log != platform::kNoLogFile)
        platform::CloseLogFile(log);
    dup2(saved, 0);
    close(saved);
    EXPECT_NE(log, platform::kNoLogFile);
    EXPECT_TRUE(written);
    EXPECT_EQ(root_.Read("Result.csv"), "ok");
}

// Only a regular file is a log: a FIFO (with a reader or none) is refused at once instead of
// holding the open, a device or a folder is refused, each with the reason.
TEST_F(LinuxFilesTest, LogIsARegularFileOrNone) {
    ASSERT_EQ(mkfifo((root_ / "Pipe.csv").c_str(), 0600), 0);
    fs::create_directory(root_ / "Folder.csv");
    std::uint64_t length = 0;
    bool held = false;
    for (const std::u16string& path :
         {Path("Pipe.csv"), Path("Folder.csv"), std::u16string(u"/dev/null")}) {
        SCOPED_TRACE(platform::ToUtf8(path));
        EXPECT_EQ(platform::OpenLogFile(path, &length, &held), platform::kNoLogFile);
        EXPECT_EQ(platform::LastLogError(), u"not a regular file");
    }
    // Told without an open, as tavrin-check looks before its run.
    EXPECT_EQ(platform::LookAtLogPath(Path("Pipe.csv")), platform::LogPathKind::Other);
    EXPECT_EQ(platform::LookAtLogPath(u"/dev/null"), platform::LogPathKind::Other);
    EXPECT_EQ(platform::LookAtLogPath(Path("Folder.csv")), platform::LogPathKind::Folder);
    EXPECT_EQ(platform::LookAtLogPath(Path("No/Result.csv")), platform::LogPathKind::Nothing);
    const int reader = open((root_ / "Pipe.csv").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(platform::OpenLogFile(Path("Pipe.csv"), &length, &held), platform::kNoLogFile);
    close(reader);
    EXPECT_EQ(platform::OpenLogFile(Path("No/Result.csv"), &length, &held), platform::kNoLogFile);
    EXPECT_EQ(platform::LastLogError(), u"No such file or directory");
}

// Two processes append thousands of lines to one log, each taking its length, writing and,
// now and then, writing half a line and cutting it back as after a failure: every line of
// both is there once, whole and in its writer's order.
TEST_F(LinuxFilesTest, TwoProcessesOnOneLogLoseAndSpliceNothing) {
    constexpr int kLines = 3000;
    const std::u16string file = Path("Shared.csv");
    const auto writeAll = [&](char who) {
        for (int i = 0; i < kLines; ++i) {
            std::uint64_t length = 0;
            bool held = false;
            // The other writer holds it for a line's time: tried again until it lets go.
            platform::LogFile log = platform::kNoLogFile;
            while ((log = platform::OpenLogFile(file, &length, &held)) == platform::kNoLogFile &&
                   held) {
            }
            if (log == platform::kNoLogFile)
                return false;
            const std::string line = std::string(1, who) + "," + std::to_string(i) + "," +
                                     std::string(static_cast<std::size_t>(i % 97), 'x') + "\r\n";
            bool ok = true;
            if (i % 5 == 0)
                ok = platform::WriteLogFile(log, line.substr(0, line.size() / 2)) &&
                     platform::CutLogFile(log, length);
            ok = ok && platform::WriteLogFile(log, line);
            platform::CloseLogFile(log);
            if (!ok)
                return false;
        }
        return true;
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(writeAll('b') ? 0 : 1);
    const bool mine = writeAll('a');
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(mine);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::istringstream text(root_.Read("Shared.csv"));
    int next[2] = {0, 0};
    int count = 0;
    for (std::string line; std::getline(text, line); ++count) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << line;
        const int who = line[0] - 'a';
        ASSERT_TRUE(who == 0 || who == 1) << line;
        const int i = next[who]++;
        ASSERT_EQ(line, std::string(1, line[0]) + "," + std::to_string(i) + "," +
                            std::string(static_cast<std::size_t>(i % 97), 'x') + "\r");
    }
    EXPECT_EQ(count, 2 * kLines);
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

}  // namespace
