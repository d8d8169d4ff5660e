#include "platform/sim/files.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

class SimFilesTest : public ::testing::Test {
  protected:
    void SetUp() override { files().Reset(); }
    void TearDown() override { files().Reset(); }
    static sim::Files& files() { return sim::Files::Get(); }
};

TEST_F(SimFilesTest, ResetGivesTheDefaults) {
    files().SetRoot("somewhere");
    files().SetCurrentDirectory(u"D:\\x");
    files().SetProgramPath(u"D:\\x\\y.exe");
    files().SetWindowsDirectory(u"D:\\Win");
    files().Reset();
    EXPECT_TRUE(files().Root().empty());
    EXPECT_EQ(files().CurrentDirectory(), u"C:\\");
    EXPECT_EQ(files().ProgramPath(), u"C:\\Tavrin\\Tavrin.exe");
    EXPECT_EQ(files().WindowsDirectory(), u"C:\\Windows");
}

TEST_F(SimFilesTest, FullPaths) {
    ASSERT_TRUE(files().SetCurrentDirectory(u"C:\\Work\\Sub"));
    const struct {
        std::u16string_view path;
        std::u16string_view full;
    } cases[] = {
        {u"C:\\Tools\\Tavrin.ini", u"C:\\Tools\\Tavrin.ini"},
        {u"c:/tools/a.ini", u"C:\\tools\\a.ini"},
        {u"\\x\\y.ini", u"C:\\x\\y.ini"},
        {u"a.ini", u"C:\\Work\\Sub\\a.ini"},
        {u".\\lines\\a.pfg", u"C:\\Work\\Sub\\lines\\a.pfg"},
        {u"..\\a.ini", u"C:\\Work\\a.ini"},
        {u"..\\..\\..\\..\\a.ini", u"C:\\a.ini"},
        {u"C:a.ini", u"C:\\Work\\Sub\\a.ini"},
        {u"d:a.ini", u"D:\\a.ini"},
        {u"D:\\x\\.\\y\\..\\z.ini", u"D:\\x\\z.ini"},
        {u"C:\\a\\\\b\\", u"C:\\a\\b"},
        {u"C:", u"C:\\Work\\Sub"},
        {u"\\\\server\\share\\a.ini", u""},
        {u"\\\\.\\PhysicalDrive0", u""},
        {u"\\\\?\\d:\\a\\b.ini", u"D:\\a\\b.ini"},
        {u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(files().FullPath(c.path), c.full) << platform::ToUtf8(c.path);
}

TEST_F(SimFilesTest, CurrentDirectoryResolvesLikeAnyPath) {
    ASSERT_TRUE(files().SetCurrentDirectory(u"D:\\Work"));
    ASSERT_TRUE(files().SetCurrentDirectory(u"Sub\\..\\Lines"));
    EXPECT_EQ(files().CurrentDirectory(), u"D:\\Work\\Lines");
    EXPECT_FALSE(files().SetCurrentDirectory(u"\\\\server\\share"));
    EXPECT_EQ(files().CurrentDirectory(), u"D:\\Work\\Lines");
    EXPECT_EQ(files().FullPath(u"\\a.ini"), u"D:\\a.ini");
}

TEST_F(SimFilesTest, HostPathsLieUnderTheRootByDrive) {
    EXPECT_EQ(files().HostPath(u"C:\\a.ini"), std::nullopt);  // no root yet
    const fs::path root = fs::path("host") / "root";
    files().SetRoot(root);
    files().SetCurrentDirectory(u"C:\\Tools");
    EXPECT_EQ(files().HostPath(u"C:\\Tools\\Tavrin\\Tavrin.INI"),
              root / "C" / "Tools" / "Tavrin" / "Tavrin.INI");
    EXPECT_EQ(files().HostPath(u"d:\\x.ini"), root / "D" / "x.ini");
    EXPECT_EQ(files().HostPath(u".\\lines\\a.pfg"), root / "C" / "Tools" / "lines" / "a.pfg");
    EXPECT_EQ(files().HostPath(u"..\\..\\..\\etc\\passwd"), root / "C" / "etc" / "passwd");
    EXPECT_EQ(files().HostPath(u"C:\\配置\\é.ini"),
              root / "C" / fs::path(u8"配置") / fs::path(u8"é.ini"));
    EXPECT_EQ(files().HostPath(u"C:\\"), root / "C");
    EXPECT_EQ(files().HostPath(u"\\\\server\\share\\a.ini"), std::nullopt);
}

// A drive whose files a host folder of its own keeps (a Windows host's own drive), with or
// without a root for the others; Reset puts it back under the root.
TEST_F(SimFilesTest, ADriveMayKeepItsFilesInAFolderOfItsOwn) {
    const fs::path own = fs::path("host") / "own";
    files().SetDriveFolder(u'e', own);
    EXPECT_EQ(files().HostPath(u"E:\\a\\b.csv"), own / "a" / "b.csv");
    EXPECT_EQ(files().HostPath(u"e:\\"), own);
    EXPECT_EQ(files().HostPath(u"C:\\a.ini"), std::nullopt) << "no root for the others";
    files().SetRoot("root");
    EXPECT_EQ(files().HostPath(u"C:\\a.ini"), fs::path("root") / "C" / "a.ini");
    EXPECT_EQ(files().HostPath(u"\\\\?\\E:\\x.csv"), own / "x.csv");
    files().Reset();
    files().SetRoot("root");
    EXPECT_EQ(files().HostPath(u"E:\\x"), fs::path("root") / "E" / "x");
}

// The paths Windows opens a device for rather than a file.
TEST(SimFilesDevices, DevicesAreToldByTheirNames) {
    for (const std::u16string_view device :
         {u"NUL", u"nul", u"C:\\a\\Con", u"nul.txt", u"aux.csv", u"C:nul", u"COM1", u"lpt9.log",
          u"prn  ", u"\\\\.\\pipe\\x", u"//./pipe/x", u"\\\\?\\pipe\\x", u"\\\\.\\NUL",
          u"\\\\.\\PhysicalDrive0", u"\\\\server\\PIPE\\x", u"\\\\server\\mailslot\\x",
          u"\\\\?\\UNC\\server\\pipe\\x"})
        EXPECT_TRUE(sim::Files::NamesDevice(device)) << platform::ToUtf8(device);
    for (const std::u16string_view file :
         {u"null", u"COM10", u"console.csv", u"C:\\nul\\x.csv", u"C:\\a\\nul2", u"a.nul",
          u"\\\\?\\C:\\nul", u"\\\\.\\C:\\x", u"\\\\server\\share\\nul", u"\\\\server\\pipes\\x",
          u"C:\\pipe\\x", u""})
        EXPECT_FALSE(sim::Files::NamesDevice(file)) << platform::ToUtf8(file);
}

}  // namespace
