// Our private-profile implementation where the shared conformance table cannot follow it:
// layout the real functions keep but Wine rewrites, encodings, the virtual file system,
// failures and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/ini.h"
#include "platform/profile.h"
#include "platform/sim/files.h"
#include "platform/sim/station.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// "k7" and the like.
std::u16string Numbered(std::u16string_view prefix, int n) {
    std::u16string name(prefix);
    name += platform::FromUtf8(std::to_string(n));
    return name;
}

TEST(IniTextTest, SetValueKeepsTheLayout) {
    const struct {
        std::u16string_view before, section, key, value, after;
    } cases[] = {
        // Blank lines between sections stay between them.
        {u"[a]\r\nx=1\r\n\r\n[b]\r\n", u"a", u"z", u"3", u"[a]\r\nx=1\r\nz=3\r\n\r\n[b]\r\n"},
        {u"[a]\r\nx=1\r\n\r\n", u"b", u"y", u"2", u"[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n"},
        // The name, its blanks and every other line break as they were.
        {u"[s]\nK = old  \nj=1\n", u"S", u"k", u"new", u"[s]\nK = new\nj=1\n"},
        {u"[s]\nk=1\n", u"s", u"j", u"2", u"[s]\nk=1\nj=2\r\n"},
        {u"[s]\r\nk=", u"s", u"k", u"v", u"[s]\r\nk=v"},
        // Text without a final line break.
        {u"[s]\r\nk=1", u"s", u"j", u"2", u"[s]\r\nk=1\r\nj=2\r\n"},
        {u"[s]\r\nk=1", u"t", u"j", u"2", u"[s]\r\nk=1\r\n[t]\r\nj=2\r\n"},
        {u"[s]", u"s", u"k", u"v", u"[s]\r\nk=v\r\n"},
        {u"", u" s ", u" k ", u"v", u"[s]\r\nk=v\r\n"},
        // Only the first section of a name is used.
        {u"[s]\r\na=1\r\n[S]\r\nb=2\r\n", u"s", u"b", u"3", u"[s]\r\na=1\r\nb=3\r\n[S]\r\nb=2\r\n"},
        // The value as given; a comment or a line without '=' is no key.
        {u"[s]\r\n", u"s", u"k", u"  v  ", u"[s]\r\nk=  v  \r\n"},
        {u"[s]\r\n;k=1\r\nk\r\n", u"s", u"k", u"2", u"[s]\r\n;k=1\r\nk\r\nk=2\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::ini::SetValue(c.before, c.section, c.key, c.value), c.after)
            << platform::ToUtf8(c.before);
    }
}

TEST(IniTextTest, ParseIntLikeTheRealParser) {
    const struct {
        std::u16string_view text;
        unsigned value;
    } cases[] = {
        {u"0o17", 15},
        {u"0b101", 5},
        {u"-0b1", 0xFFFFFFFFu},
        {u"0X1F", 0},
        {u"0x", 0},
        {u"0xG", 0},
        {u"00x12", 0},
        {u"1x34", 1},
        {u"\x01\x1F 7", 7},
        {u"--1", 0},
        {u"+-1", 0},
        {u"2147483648", 0x80000000u},
        {u"9999999999", 1410065407u},
        {u"0o8", 0},
        {u"056", 56},
        {u"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::ini::ParseInt(c.text), c.value) << platform::ToUtf8(c.text);
}

TEST(IniTextTest, ReadsBeyondTheSharedTable) {
    const std::u16string_view text =
        u"[s]\r\nempty=\r\nblank=  \r\nq=\"42\"\r\nlong=\"abcdef\"\r\none=\"\r\nnone=\"\"\r\n"
        u"odd=\"abc'\r\nbare\r\n;c=1\r\n";
    EXPECT_EQ(platform::ini::GetInt(text, u"s", u"empty", 7), 7u);
    EXPECT_EQ(platform::ini::GetInt(text, u"s", u"blank", 7), 7u);
    EXPECT_EQ(platform::ini::GetInt(text, u"s", u"q", 7), 42u);
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"long", u"", 7), u"abcdef");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"long", u"", 6), u"abcde");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"one", u"", 50), u"\"");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"none", u"d", 50), u"");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"odd", u"", 50), u"\"abc'");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"bare", u"d", 50), u"d");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u";c", u"d", 50), u"d");
    EXPECT_EQ(platform::ini::GetString(text, u" S ", u"\tQ ", u"d", 50), u"42");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"", u"d", 50), u"d");
    EXPECT_EQ(platform::ini::GetString(text, u"s", u"q", u"d", 0), u"");
}

// Profile files on the virtual workstation, in a scratch folder of the host.
class ProfileFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(Host(""));
        sim::Station::Get().Reset();
        sim::Files::Get().Reset();
        sim::Files::Get().SetRoot(root_.path());
    }
    void TearDown() override {
        sim::Files::Get().Reset();
        sim::Station::Get().Reset();
    }

    fs::path Host(const char* relative) const { return root_ / "C" / "Tavrin" / relative; }
    void Put(const char* relative, const std::string& bytes) const {
        root_.Write(Host(relative), bytes);
    }
    std::string Get(const char* relative) const { return root_.Read(Host(relative)); }

    const testsupport::TempFolder root_{"profile"};
};

TEST_F(ProfileFileTest, Utf8MarkIsReadAsAnsiLikeWindowsDoes) {
    // The mark sticks to the first line: a section there is not found.
    Put("a.ini", "\xEF\xBB\xBF[s]\r\nk=1\r\n");
    EXPECT_EQ(platform::GetProfileInt(u"s", u"k", 9, u"C:\\Tavrin\\a.ini"), 9);
    // Below it, UTF-8 text reads in the ANSI code page.
    Put("b.ini", "\xEF\xBB\xBF;settings\r\n[s]\r\nk=\xC3\xA9\r\n");
    EXPECT_EQ(platform::GetProfileString(u"s", u"k", u"", 50, u"C:\\Tavrin\\b.ini"), u"Ã©");
    sim::Station::Get().SetAnsiCodePage(65001);
    EXPECT_EQ(platform::GetProfileString(u"s", u"k", u"", 50, u"C:\\Tavrin\\b.ini"), u"é");
    // A write leaves the mark and the other bytes as they were.
    ASSERT_TRUE(platform::WriteProfileString(u"s", u"n", u"ü", u"C:\\Tavrin\\b.ini"));
    EXPECT_EQ(Get("b.ini"), "\xEF\xBB\xBF;settings\r\n[s]\r\nk=\xC3\xA9\r\nn=\xC3\xBC\r\n");
}

TEST_F(ProfileFileTest, AnsiWritesUseTheStationCodePage) {
    const struct {
        unsigned codePage;
        std::u16string_view value;
        std::string_view bytes;
    } cases[] = {
        {1252, u"é€\u0081漢", "\xE9\x80\x81?"},
        {28591, u"é€\u0081", "\xE9?\x81"},
        {65001, u"é€", "\xC3\xA9\xE2\x82\xAC"},
        {1252, u"\U0001F600", "?"},
    };
    for (const auto& c : cases) {
        sim::Station::Get().SetAnsiCodePage(c.codePage);
        fs::remove(Host("cp.ini"));
        ASSERT_TRUE(platform::WriteProfileString(u"s", u"k", c.value, u"C:\\Tavrin\\cp.ini"));
        EXPECT_EQ(Get("cp.ini"), "[s]\r\nk=" + std::string(c.bytes) + "\r\n") << c.codePage;
        if (c.bytes.find('?') == std::string_view::npos) {
            EXPECT_EQ(platform::GetProfileString(u"s", u"k", u"", 50, u"C:\\Tavrin\\cp.ini"),
                      c.value);
        }
    }
}

TEST_F(ProfileFileTest, PathsResolveOnTheVirtualWorkstation) {
    // A bare name lives in the Windows directory, ".\" in the current one.
    fs::create_directories(root_ / "C" / "Windows");
    ASSERT_TRUE(sim::Files::Get().SetCurrentDirectory(u"C:\\Tavrin"));
    ASSERT_TRUE(platform::WriteProfileString(u"s", u"k", u"win", u"t.ini"));
    ASSERT_TRUE(platform::WriteProfileString(u"s", u"k", u"cur", u".\\t.ini"));
    EXPECT_EQ(Get("t.ini"), "[s]\r\nk=cur\r\n");
    EXPECT_TRUE(fs::exists(root_ / "C" / "Windows" / "t.ini"));
    EXPECT_EQ(platform::GetProfileString(u"s", u"k", u"", 50, u"t.ini"), u"win");
    EXPECT_EQ(platform::GetProfileString(u"s", u"k", u"", 50, u"C:/Tavrin/t.ini"), u"cur");

    EXPECT_FALSE(platform::WriteProfileString(u"s", u"k", u"v", u""));
    EXPECT_FALSE(platform::WriteProfileString(u"s", u"", u"v", u"C:\\Tavrin\\t.ini"));
    EXPECT_FALSE(platform::WriteProfileString(u"s", u"k", u"v", u"\\\\server\\share\\t.ini"));
    sim::Files::Get().SetRoot({});
    EXPECT_FALSE(platform::WriteProfileString(u"s", u"k", u"v", u"C:\\Tavrin\\t.ini"));
    EXPECT_EQ(platform::GetProfileInt(u"s", u"k", 4, u"C:\\Tavrin\\t.ini"), 4);
}

TEST_F(ProfileFileTest, WritesLeaveNothingBesideTheFile) {
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(
            platform::WriteProfileString(u"s", Numbered(u"k", i), u"v", u"C:\\Tavrin\\a.ini"));
    }
    // A folder where the file should be: the write fails and leaves no file of its own.
    fs::create_directories(Host("dir.ini"));
    EXPECT_FALSE(platform::WriteProfileString(u"s", u"k", u"v", u"C:\\Tavrin\\dir.ini"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "C" / "Tavrin"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.ini", "dir.ini"}));
    EXPECT_TRUE(fs::is_directory(Host("dir.ini")));
}

TEST_F(ProfileFileTest, ModuleFileNameIsTheProgramPath) {
    EXPECT_EQ(platform::ModuleFileName(), u"C:\\Tavrin\\Tavrin.exe");
    sim::Files::Get().SetProgramPath(u"D:\\QC\\Tavrin.exe");
    EXPECT_EQ(platform::ModuleFileName(), u"D:\\QC\\Tavrin.exe");
    const std::u16string longPath = u"C:\\" + std::u16string(300, u'x') + u".exe";
    sim::Files::Get().SetProgramPath(longPath);
    EXPECT_EQ(platform::ModuleFileName(), longPath.substr(0, 259));
}

TEST_F(ProfileFileTest, ThreadsWritingOneFileLoseNothing) {
    constexpr int kThreads = 6;
    constexpr int kKeys = 20;
    const std::u16string file = u"C:\\Tavrin\\shared.ini";
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &file] {
            const std::u16string section = Numbered(u"port", t);
            for (int k = 0; k < kKeys; ++k) {
                const std::u16string key = Numbered(u"k", k);
                platform::WriteProfileString(section, key, Numbered(u"", k * t), file);
                // A reader sees the value written or none, never a torn file.
                const int seen = platform::GetProfileInt(section, key, -1, file);
                EXPECT_EQ(seen, k * t);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            EXPECT_EQ(platform::GetProfileInt(Numbered(u"port", t), Numbered(u"k", k), -1, file),
                      k * t);
        }
    }
}

}  // namespace
