#include "config/stored_path.h"

#include <gtest/gtest.h>

namespace {

using config::MakeStoredPath;
using config::MarkRelativePath;
using config::ResolveStoredPath;

TEST(StoredPathTest, ProgramDirectoryIsThePathCutBeforeItsLastBackslash) {
    EXPECT_EQ(config::ProgramDirectoryOf(u"C:\\Tools\\Tavrin\\Tavrin.exe"), u"C:\\Tools\\Tavrin");
    EXPECT_EQ(config::ProgramDirectoryOf(u"C:\\Tavrin.exe"), u"C:");
}

TEST(StoredPathTest, MakeStoredPath) {
    const std::u16string dir = u"C:\\Tools\\Tavrin";
    EXPECT_EQ(MakeStoredPath(u"C:\\TOOLS\\TAVRIN\\lines\\a.chk", dir), u"lines\\a.chk");
    EXPECT_EQ(MakeStoredPath(u"c:\\tools\\tavrin\\a.chk", dir), u"a.chk");
    EXPECT_EQ(MakeStoredPath(u"C:\\Tools\\TavrinOld\\a.chk", dir), u"C:\\Tools\\TavrinOld\\a.chk");
    EXPECT_EQ(MakeStoredPath(u"D:\\qc\\line1.chk", dir), u"D:\\qc\\line1.chk");
    EXPECT_EQ(MakeStoredPath(u"C:\\Tools\\Tavrin", dir), u"C:\\Tools\\Tavrin");
    EXPECT_EQ(MakeStoredPath(u"", dir), u"");
}

TEST(StoredPathTest, ResolveStoredPath) {
    struct Case {
        const char16_t* dir;
        const char16_t* stored;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"C:\\a", u"", u""},
        {u"C:\\Tools\\Tavrin", u"a.chk", u"C:\\Tools\\Tavrin\\a.chk"},
        {u"C:\\Tools\\Tavrin", u".\\a.chk", u"C:\\Tools\\Tavrin\\a.chk"},
        {u"C:\\Tools\\Tavrin", u"lines\\a.pfg", u"C:\\Tools\\Tavrin\\lines\\a.pfg"},
        {u"C:\\Tools\\Tavrin", u"..\\a.chk", u"C:\\Tools\\a.chk"},
        {u"C:\\Tools\\Tavrin", u"\\qc\\a.chk", u"C:\\qc\\a.chk"},
        {u"C:\\Tools\\Tavrin", u"D:\\qc\\a.chk", u"D:\\qc\\a.chk"},
        {u"C:\\Tools\\Tavrin", u"D:a.chk", u"D:a.chk"},
        {u"C:\\Tools\\Tavrin\\", u"a.chk", u"C:\\Tools\\Tavrin\\a.chk"},
        {u"C:\\a", u"..\\x.chk", u"C:\\x.chk"},
        {u"C:\\a", u"..\\..\\x.chk", u""},
        {u"C:\\a\\b", u"..\\..\\x.chk", u"C:\\x.chk"},
        {u"C:\\a", u"..x.chk", u"C:\\a\\..x.chk"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveStoredPath(c.stored, c.dir), c.expected)
            << "stored path "
            << std::string(c.stored, c.stored + std::u16string_view(c.stored).size());
    }
}

TEST(StoredPathTest, StoredPathsRoundTripBelowTheProgramDirectory) {
    const std::u16string dir = u"C:\\Tools\\Tavrin";
    for (const char16_t* path : {u"C:\\Tools\\Tavrin\\a.chk", u"C:\\Tools\\Tavrin\\lines\\b.pfg",
                                 u"D:\\qc\\line1.chk", u"C:\\Tools\\TavrinOld\\a.chk"}) {
        EXPECT_EQ(ResolveStoredPath(MakeStoredPath(path, dir), dir), path);
    }
}

TEST(StoredPathTest, MarkRelativePath) {
    EXPECT_EQ(MarkRelativePath(u"lines\\a.pfg"), u".\\lines\\a.pfg");
    EXPECT_EQ(MarkRelativePath(u"a"), u".\\a");
    EXPECT_EQ(MarkRelativePath(u""), u"");
    EXPECT_EQ(MarkRelativePath(u"C:\\a.pfg"), u"C:\\a.pfg");
    EXPECT_EQ(MarkRelativePath(u"\\a.pfg"), u"\\a.pfg");
    EXPECT_EQ(MarkRelativePath(u".\\a.pfg"), u".\\a.pfg");
    EXPECT_EQ(MarkRelativePath(u"..\\a.pfg"), u"..\\a.pfg");
    // A marked path then resolves against the program directory like the bare one did.
    EXPECT_EQ(ResolveStoredPath(MarkRelativePath(u"lines\\a.pfg"), u"C:\\T"),
              u"C:\\T\\lines\\a.pfg");
    // No fixed buffer: a path of 259 characters still gets its prefix whole.
    const std::u16string longPath(259, u'x');
    EXPECT_EQ(MarkRelativePath(longPath), u".\\" + longPath);
}

}  // namespace
