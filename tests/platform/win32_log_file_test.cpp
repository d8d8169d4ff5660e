// The result log's real calls (Windows builds only; under wine here): two writers on one file
// take turns by the lock, a file held by another program is answered at once as held, and only
// a disk file is a log.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "platform/log_file.h"
#include "platform/sim/files.h"
#include "platform/text.h"
#include "platform/win32/log_file_api.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using platform::kNoLogFile;

class Win32LogFile : public ::testing::Test {
  protected:
    std::u16string Path(const std::string& name) const { return (dir_ / name).u16string(); }

    const testsupport::TempFolder dir_{"log"};
};

std::string Line(char who, int i) {
    return std::string(1, who) + "," + std::to_string(i) + "," +
           std::string(static_cast<std::size_t>(i % 97), 'x') + "\r\n";
}

constexpr int kLines = 1000;

// Appends kLines lines as `who`, now and then writing half a line and cutting it back as after a
// failure.
bool WriteAll(const std::u16string& file, char who) {
    for (int i = 0; i < kLines; ++i) {
        std::uint64_t length = 0;
        // The other writer holds it for a line's time: tried again until it lets go.
        bool held = false;
        platform::LogFile log = kNoLogFile;
        while ((log = win32api::OpenLog(file, &length, &held)) == kNoLogFile && held) {
        }
        if (log == kNoLogFile)
            return false;
        const std::string line = Line(who, i);
        bool ok = true;
        if (i % 5 == 0)
            ok = win32api::WriteLog(log, line.substr(0, line.size() / 2)) &&
                 win32api::CutLog(log, length);
        ok = ok && win32api::WriteLog(log, line);
        win32api::CloseLog(log);
        if (!ok)
            return false;
    }
    return true;
}

// The other process of TwoProcessesLoseAndSpliceNothing: this program again, told the file by
// its environment. Alone it has nothing to do.
TEST(Win32LogFileWriter, AppendsItsLinesToTheFileItIsGiven) {
    wchar_t file[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"TAVRIN_LOG_WRITER", file, MAX_PATH) == 0)
        GTEST_SKIP() << "the second writer of Win32LogFile.TwoProcessesLoseAndSpliceNothing";
    EXPECT_TRUE(WriteAll(reinterpret_cast<const char16_t*>(file), 'b'));
}

// Two processes append a thousand lines each to one log: every line is there once, whole and
// in its writer's order.
TEST_F(Win32LogFile, TwoProcessesLoseAndSpliceNothing) {
    const std::u16string file = Path("Shared.csv");
    wchar_t self[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring command =
        L"\"" + std::wstring(self) + L"\" --gtest_filter=Win32LogFileWriter.* --gtest_color=no";
    ASSERT_TRUE(SetEnvironmentVariableW(L"TAVRIN_LOG_WRITER",
                                        reinterpret_cast<const wchar_t*>(file.c_str())));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &child) != 0;
    SetEnvironmentVariableW(L"TAVRIN_LOG_WRITER", nullptr);
    ASSERT_TRUE(started);
    const bool first = WriteAll(file, 'a');
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD childStatus = 1;
    GetExitCodeProcess(child.hProcess, &childStatus);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    EXPECT_TRUE(first);
    EXPECT_EQ(childStatus, 0u) << "the other writer failed";

    std::istringstream text(dir_.Read("Shared.csv"));
    int next[2] = {0, 0};
    int count = 0;
    for (std::string line; std::getline(text, line); ++count) {
        ASSERT_FALSE(line.empty());
        const int who = line[0] - 'a';
        ASSERT_TRUE(who == 0 || who == 1) << line;
        ASSERT_EQ(line + "\n", Line(line[0], next[who]++));
    }
    EXPECT_EQ(count, 2 * kLines);
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

// A program that holds the file unshared, or a writer that holds its lock, is answered at once
// as held: the log bounds its own wait. Once let go, the file opens at its end.
TEST_F(Win32LogFile, AHeldFileIsAnsweredAtOnce) {
    const std::u16string file = Path("Held.csv");
    const HANDLE unshared =
        CreateFileW(reinterpret_cast<const wchar_t*>(file.c_str()), GENERIC_WRITE, 0, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(unshared, INVALID_HANDLE_VALUE);
    std::uint64_t length = 99;
    bool held = false;
    EXPECT_EQ(win32api::OpenLog(file, &length, &held), kNoLogFile);
    EXPECT_TRUE(held);
    CloseHandle(unshared);

    const platform::LogFile log = win32api::OpenLog(file, &length, &held);
    ASSERT_NE(log, kNoLogFile) << platform::ToUtf8(win32api::LastLogErrorText());
    EXPECT_FALSE(held);
    EXPECT_EQ(length, 0u);
    held = false;
    EXPECT_EQ(win32api::OpenLog(file, &length, &held), kNoLogFile) << "its lock is taken";
    EXPECT_TRUE(held);
    EXPECT_TRUE(win32api::WriteLog(log, "one\r\n"));
    // Read back from the start and from within: the next write still goes to the end.
    char start[64] = {};
    std::size_t read = 0;
    ASSERT_TRUE(win32api::ReadLogAt(log, 0, start, &read));
    EXPECT_EQ(std::string(start, read), "one\r\n");
    ASSERT_TRUE(win32api::ReadLogAt(log, 4, start, &read));
    EXPECT_EQ(std::string(start, read), "\n");
    EXPECT_TRUE(win32api::WriteLog(log, "two\r\n"));
    win32api::CloseLog(log);
    EXPECT_EQ(dir_.Read("Held.csv"), "one\r\ntwo\r\n");
}

// A folder or a device is no log; the reason is the system's.
TEST_F(Win32LogFile, OnlyADiskFileIsALog) {
    std::uint64_t length = 0;
    bool held = false;
    fs::create_directory(dir_ / "Folder.csv");
    EXPECT_EQ(win32api::OpenLog(Path("Folder.csv"), &length, &held), kNoLogFile);
    EXPECT_FALSE(win32api::LastLogErrorText().empty());
    EXPECT_EQ(win32api::OpenLog(u"NUL", &length, &held), kNoLogFile);
    EXPECT_EQ(win32api::LastLogErrorText(), u"not a regular file");
    EXPECT_EQ(win32api::OpenLog(Path("No\\Result.csv"), &length, &held), kNoLogFile);
    EXPECT_FALSE(win32api::LastLogErrorText().empty());
}

// What a log's path names, told without opening it: a device by any of its names, a pipe
// whoever serves it, a folder, a file. A pipe is never opened, so its server still waits for the
// reader it made it for. The virtual station, on the machine's own drives, tells each alike.
TEST_F(Win32LogFile, DevicesAndPipesAreToldByNameAndNeverOpened) {
    const std::u16string pipe =
        u"\\\\.\\pipe\\tavrin-log-" + platform::DecimalText(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeW(reinterpret_cast<const wchar_t*>(pipe.c_str()),
                                           PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    fs::create_directory(dir_ / "Folder");
    dir_.Write("File.csv", "x\r\n");
    sim::Files& files = sim::Files::Get();
    for (char16_t drive = u'A'; drive <= u'Z'; ++drive)
        files.SetDriveFolder(drive, fs::path(std::u16string{drive, u':', u'\\'}));

    using Kind = platform::LogPathKind;
    const std::pair<std::u16string, Kind> cases[] = {
        {u"NUL", Kind::Other},
        {u"nul.csv", Kind::Other},
        {Path("con"), Kind::Other},
        {Path("Lpt9.txt"), Kind::Other},
        {u"COM1", Kind::Other},
        {u"\\\\.\\NUL", Kind::Other},
        {pipe, Kind::Other},
        {u"\\\\.\\pipe\\tavrin-nobody", Kind::Other},
        {u"\\\\?\\pipe\\tavrin-nobody", Kind::Other},
        {Path("Folder"), Kind::Folder},
        {Path("File.csv"), Kind::File},
        {u"\\\\?\\" + Path("File.csv"), Kind::File},
        {Path("Missing.csv"), Kind::Nothing},
        {Path("console.csv"), Kind::Nothing},
        {Path("Folder\\nul2.csv"), Kind::Nothing},
    };
    for (const auto& [path, kind] : cases) {
        SCOPED_TRACE(platform::ToUtf8(path));
        EXPECT_EQ(win32api::LookAtLog(path), kind);
        EXPECT_EQ(platform::LookAtLogPath(path), kind) << "the virtual station";
    }
    files.Reset();

    std::uint64_t length = 0;
    bool held = true;
    for (const std::u16string& device : {pipe, std::u16string(u"NUL"), Path("nul.csv")}) {
        SCOPED_TRACE(platform::ToUtf8(device));
        EXPECT_EQ(win32api::OpenLog(device, &length, &held), kNoLogFile);
        EXPECT_FALSE(held);
        EXPECT_EQ(win32api::LastLogErrorText(), u"not a regular file");
    }
    const HANDLE reader =
        CreateFileW(reinterpret_cast<const wchar_t*>(pipe.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "the pipe's one instance was taken";
    if (reader != INVALID_HANDLE_VALUE)
        CloseHandle(reader);
    CloseHandle(server);
}

}  // namespace

#endif
