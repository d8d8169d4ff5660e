// tavrin-rcgen's reading of resource scripts: styles as windres computes them, text, languages,
// the preprocessor subset, the resources it reads and skips, and errors with file and line.
#include "tools/rcgen/rc_parser.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>

#include "tools/rcgen/emit_tables.h"

namespace {

using Files = std::map<std::string, std::string>;

rcgen::Result ParseFiles(const Files& files, const std::string& main = "res/main.rc") {
    rcgen::Options options;
    options.includeDirs = {"inc"};
    options.read = [files](const std::string& path) -> std::optional<std::string> {
        auto it = files.find(path);
        if (it == files.end())
            return std::nullopt;
        return it->second;
    };
    return rcgen::Parse({main}, options);
}

rcgen::Resources ParseOk(const std::string& script) {
    auto result = ParseFiles({{"res/main.rc", script}});
    EXPECT_TRUE(result.resources) << result.error;
    return result.resources.value_or(rcgen::Resources{});
}

std::string ParseError(const Files& files) {
    auto result = ParseFiles(files);
    EXPECT_FALSE(result.resources);
    return result.error;
}

std::string Dialog(const std::string& statements, const std::string& controls) {
    return "1 DIALOGEX 0, 0, 100, 50\n" + statements + "FONT 8, \"MS Shell Dlg\"\nBEGIN\n" +
           controls + "\nEND\n";
}

struct StyleCase {
    const char* control;
    const char* className;
    std::uint32_t style;
};

// The values windres 2.40 writes for these statements: a written style starts from the
// statement's base style, which for LTEXT and COMBOBOX lacks WS_GROUP and WS_TABSTOP.
const StyleCase kStyleCases[] = {
    {"PUSHBUTTON \"p\", 1, 0, 0, 1, 1", "Button", 0x50010000},
    {"PUSHBUTTON \"p\", 1, 0, 0, 1, 1, NOT WS_TABSTOP | WS_DISABLED", "Button", 0x58000000},
    {"DEFPUSHBUTTON \"d\", 1, 0, 0, 1, 1", "Button", 0x50010001},
    {"LTEXT \"l\", -1, 0, 0, 1, 1", "Static", 0x50020000},
    {"LTEXT \"l\", -1, 0, 0, 1, 1, SS_NOTIFY", "Static", 0x50000100},
    {"RTEXT \"r\", -1, 0, 0, 1, 1", "Static", 0x50020002},
    {"CTEXT \"c\", -1, 0, 0, 1, 1", "Static", 0x50020001},
    {"GROUPBOX \"g\", -1, 0, 0, 1, 1", "Button", 0x50000007},
    {"EDITTEXT 1, 0, 0, 1, 1", "Edit", 0x50810000},
    {"EDITTEXT 1, 0, 0, 1, 1, ES_UPPERCASE | NOT WS_BORDER", "Edit", 0x50010008},
    {"COMBOBOX 1, 0, 0, 1, 1", "ComboBox", 0x50010001},
    {"COMBOBOX 1, 0, 0, 1, 1, CBS_DROPDOWNLIST | WS_VSCROLL", "ComboBox", 0x50200003},
    {"CHECKBOX \"c\", 1, 0, 0, 1, 1", "Button", 0x50010002},
    {"AUTOCHECKBOX \"a\", 1, 0, 0, 1, 1", "Button", 0x50010003},
    {"AUTOCHECKBOX \"a\", 1, 0, 0, 1, 1, WS_DISABLED", "Button", 0x58010003},
    {"RADIOBUTTON \"r\", 1, 0, 0, 1, 1, WS_DISABLED", "Button", 0x58000004},
    {"CONTROL \"\", 1, \"SysListView32\", LVS_REPORT | WS_BORDER, 0, 0, 1, 1", "SysListView32",
     0x50800001},
    {"CONTROL \"x\", 1, \"button\", BS_AUTOCHECKBOX | NOT WS_VISIBLE, 0, 0, 1, 1", "Button",
     0x40000003},
    {"CONTROL \"\", 1, \"Edit\", (WS_TABSTOP + 1) | NOT WS_VISIBLE, 0, 0, 1, 1", "Edit",
     0x40010001},
};

TEST(RcParser, ControlStylesFollowWindres) {
    for (const StyleCase& c : kStyleCases) {
        const auto resources = ParseOk(Dialog("", c.control));
        ASSERT_EQ(resources.dialogs.size(), 1u) << c.control;
        ASSERT_EQ(resources.dialogs[0].controls.size(), 1u) << c.control;
        const rcgen::Control& control = resources.dialogs[0].controls[0];
        EXPECT_EQ(control.style, c.style) << c.control;
        const std::u16string expectedClass(c.className, c.className + std::strlen(c.className));
        EXPECT_EQ(control.className, expectedClass) << c.control;
    }
}

TEST(RcParser, ControlGeometryExStyleAndIconReference) {
    const auto resources =
        ParseOk(Dialog("",
                       "EDITTEXT 7, 10, 20, 30, 40, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE\n"
                       "ICON 128, -1, 5, 6, 20, 20"));
    const auto& controls = resources.dialogs.at(0).controls;
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].id, 7);
    EXPECT_EQ(controls[0].exStyle, 0x200u);
    EXPECT_EQ((std::array{controls[0].x, controls[0].y, controls[0].width, controls[0].height}),
              (std::array{10, 20, 30, 40}));
    // An icon control takes its size from the icon: windres writes 0 x 0.
    EXPECT_EQ(controls[1].text, u"#128");
    EXPECT_EQ(controls[1].id, -1);
    EXPECT_EQ(controls[1].style, 0x50000003u);
    EXPECT_EQ((std::array{controls[1].width, controls[1].height}), (std::array{0, 0}));
}

TEST(RcParser, DialogStyleDependsOnTheOrderOfStatements) {
    struct Case {
        const char* statements;
        std::uint32_t style;
    };
    const Case cases[] = {
        {"", 0x80880040},                                   // default | DS_SETFONT
        {"CAPTION \"c\"\n", 0x80C80040},                    // + WS_CAPTION
        {"STYLE WS_POPUP\nCAPTION \"c\"\n", 0x80C00040},    // STYLE replaces the default
        {"CAPTION \"c\"\nSTYLE WS_POPUP\n", 0x80C00040},    // and keeps an earlier CAPTION
        {"STYLE WS_CHILD | NOT WS_VISIBLE\n", 0x40000040},  // FONT comes after STYLE here
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseOk(Dialog(c.statements, "")).dialogs.at(0).style, c.style) << c.statements;
}

TEST(RcParser, StringsDecodeEscapesAndUtf8) {
    const auto resources = ParseOk(
        "#pragma code_page(65001)\n"
        "STRINGTABLE\nBEGIN\n"
        "  1 \"tab\\there \"\"q\"\" back\\\\slash\\nx\"\n"
        "  2, \"\\x41\\101\" \"joined\"\n"
        "  3 \"中文 é\"\n"
        "  4 L\"wide\"\n"
        "  5 \"\"\n"
        "END\n");
    ASSERT_EQ(resources.strings.size(), 4u);  // the empty string is no string, as for LoadString
    EXPECT_EQ(resources.strings[0].text, u"tab\there \"q\" back\\slash\nx");
    EXPECT_EQ(resources.strings[1].text, u"AAjoined");
    EXPECT_EQ(resources.strings[2].text, u"中文 é");
    EXPECT_EQ(resources.strings[3].text, u"wide");
}

TEST(RcParser, LanguagesMapToLangIds) {
    const auto resources = ParseOk(
        "STRINGTABLE { 1 \"default\" }\n"
        "LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED\n"
        "STRINGTABLE { 1 \"zh-CN\" }\n"
        "STRINGTABLE LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL { 1 \"zh-TW\" }\n"
        "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n" +
        Dialog("LANGUAGE 4, 2\n", "") + "STRINGTABLE { 2 \"en\" }\n");
    ASSERT_EQ(resources.strings.size(), 4u);
    EXPECT_EQ(resources.strings[0].language, 0x0409);  // windres's default
    EXPECT_EQ(resources.strings[1].language, 0x0804);
    EXPECT_EQ(resources.strings[2].language, 0x0404);
    EXPECT_EQ(resources.strings[3].language, 0x0409);
    EXPECT_EQ(resources.dialogs.at(0).language, 0x0804);
}

TEST(RcParser, IncludesDefinesAndConditions) {
    const Files files{
        {"res/main.rc",
         "#include \"ids.h\"\n#include \"ids.h\"\n#include \"lang/en.rc\"\n"
         "#include <windows.h>\n"},
        {"inc/ids.h",
         "#pragma once\n#define IDS_BASE 100\n#define IDS_NEXT IDS_BASE /* comment */\n"
         "#ifdef RC_INVOKED\n#define IDS_RC 7\n#else\n#error not read\n#endif\n"
         "#ifndef IDS_BASE\n#if 1\n#endif\n#endif\n"},
        {"res/lang/en.rc", "STRINGTABLE\nBEGIN\n  IDS_NEXT \"a\"\n  IDS_RC \"b\"\nEND\n"},
    };
    auto result = ParseFiles(files);
    ASSERT_TRUE(result.resources) << result.error;
    ASSERT_EQ(result.resources->strings.size(), 2u);
    EXPECT_EQ(result.resources->strings[0].id, 100);
    EXPECT_EQ(result.resources->strings[1].id, 7);
    EXPECT_EQ(result.resources->files,
              (std::vector<std::string>{"res/main.rc", "inc/ids.h", "res/lang/en.rc"}));
}

TEST(RcParser, ReadsIconsAndListEntriesAndSkipsOtherResources) {
    // Two images, 16 x 16 and 256 x 256 (stored as 0).
    std::string ico("\0\0\1\0\2\0", 6);
    ico += std::string("\x10\x10\0\0\1\0\x20\0\0\0\0\0\0\0\0\0", 16);
    ico += std::string("\0\0\0\0\1\0\x20\0\0\0\0\0\0\0\0\0", 16);
    const Files files{
        {"res/main.rc",
         "#pragma code_page(65001)\n"
         "5 ICON \"app.ico\"\n"
         "1 RT_MANIFEST \"app.manifest\"\n"
         "1 VERSIONINFO\n FILEVERSION 1,0,0,3\n FILEFLAGSMASK 0x3fL\nBEGIN\n"
         " BLOCK \"StringFileInfo\"\n BEGIN\n  VALUE \"x\", \"y\"\n END\nEND\n"
         "LANGUAGE LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED\n" +
             Dialog("", "COMBOBOX 9, 0, 0, 1, 1\nCOMBOBOX 10, 0, 0, 1, 1") +
             "1 LISTENTRIES\nBEGIN\n 9, \"常亮\\0\", 10, \"b\\0\", 9, \"\" \"x\\0\", 0\nEND\n"},
        {"res/app.ico", ico},
        {"res/app.manifest", "<assembly/>"},
    };
    auto result = ParseFiles(files);
    ASSERT_TRUE(result.resources) << result.error;
    const auto& r = *result.resources;
    ASSERT_EQ(r.icons.size(), 1u);
    EXPECT_EQ((std::array{int{r.icons[0].id}, r.icons[0].width, r.icons[0].height}),
              (std::array{5, 256, 256}));
    ASSERT_EQ(r.listEntries.size(), 3u);
    EXPECT_EQ(r.listEntries[0].text, u"常亮");
    EXPECT_EQ(r.listEntries[0].language, 0x0804);
    EXPECT_EQ((std::array{r.listEntries[1].controlId, r.listEntries[2].controlId}),
              (std::array{10, 9}));
    EXPECT_EQ(r.listEntries[2].text, u"x");
    EXPECT_EQ(r.files.size(), 3u);  // the manifest counts: the build depends on it
}

struct ErrorCase {
    Files files;
    const char* expected;  // the start of the message
};

TEST(RcParser, ErrorsNameFileAndLine) {
    const std::string ok = Dialog("", "COMBOBOX 9, 0, 0, 1, 1\nLTEXT \"x\", 8, 0, 0, 1, 1");
    const ErrorCase cases[] = {
        {{{"res/main.rc", "\n" + Dialog("STYLE WS_POPUP | WS_CHIELD\n", "")}},
         "res/main.rc:3: undefined name 'WS_CHIELD'"},
        {{{"res/main.rc", "STRINGTABLE\nBEGIN\n 1 \"中\"\nEND\n"}},
         "res/main.rc:3: non-ASCII text before #pragma code_page(65001)"},
        {{{"res/main.rc", "#pragma code_page(65001)\nSTRINGTABLE { 1 L\"中\" }\n"}},
         "res/main.rc:2: non-ASCII text in an L\"...\" string"},
        {{{"res/main.rc", "#pragma code_page(1252)\n"}},
         "res/main.rc:1: only #pragma code_page(65001)"},
        {{{"res/main.rc", "STRINGTABLE { 1 \"a\" }\nSTRINGTABLE {\n 1 \"b\" }\n"}},
         "res/main.rc:3: string 1 defined twice (first at res/main.rc:1)"},
        {{{"res/main.rc", "IDD_MISSING DIALOGEX 0, 0, 1, 1\nBEGIN\nEND\n"}},
         "res/main.rc:1: a dialog needs a number, not the name 'IDD_MISSING'"},
        {{{"res/main.rc", ok + "1 LISTENTRIES { 9, \"a\\0\" }\n"}},
         "res/main.rc:7: LISTENTRIES 1 does not end with the id 0"},
        {{{"res/main.rc", ok + "1 LISTENTRIES { 9, \"a\" }\n"}},
         "res/main.rc:7: LISTENTRIES 1: text without its closing \\0"},
        {{{"res/main.rc", ok + "1 LISTENTRIES { 8, \"a\\0\", 0 }\n"}},
         "res/main.rc:7: dialog 1 has no drop-down list 8"},
        {{{"res/main.rc", ok + "LANGUAGE 4, 2\n1 LISTENTRIES { 9, \"a\\0\", 0 }\n"}},
         "res/main.rc:8: drop-down entries for dialog 1 in a language that has no such dialog"},
        {{{"res/main.rc", "#include \"bad.rc\"\n"}, {"res/bad.rc", "\n\nSTRINGTABLE { 1 \"a }\n"}},
         "res/bad.rc:3: unterminated string"},
        {{{"res/main.rc", "#include \"missing.h\"\n"}}, "res/main.rc:1: cannot find include file"},
        {{{"res/main.rc", "#if X\n#endif\n"}}, "res/main.rc:1: #if is not supported"},
        {{{"res/main.rc", "#ifdef X\n"}}, "res/main.rc:2: #ifdef without #endif"},
        {{{"res/main.rc", "1 ICON \"none.ico\"\n"}}, "res/main.rc:1: cannot find file 'none.ico'"},
        {{{"res/main.rc", "1 ICON \"a.ico\"\n"}, {"res/a.ico", "not an icon"}},
         "res/main.rc:1: 'a.ico' is not an icon file"},
        {{{"res/main.rc", Dialog("", "LTEXT \"x\", 1, 0, 0, 1, 1 BEGIN 1 END")}},
         "res/main.rc:4: control data blocks are not supported"},
    };
    for (const ErrorCase& c : cases) {
        const std::string error = ParseError(c.files);
        EXPECT_EQ(error.rfind(c.expected, 0), 0u) << "got: " << error;
    }
}

TEST(RcParser, ScriptsOfOneExecutableMustNotCollide) {
    rcgen::Options options;
    options.read = [](const std::string&) -> std::optional<std::string> { return Dialog("", ""); };
    const auto result = rcgen::Parse({"a.rc", "b.rc"}, options);
    EXPECT_EQ(result.error, "b.rc:1: dialog 1 defined twice (first at a.rc:1)");
}

TEST(RcgenEmit, LiteralsReadTheSameUnderAnySourceEncoding) {
    EXPECT_EQ(rcgen::Literal(u"a\"\\\n\u4E2D\U0001F600"), R"(u"a\"\\\012\u4E2D\U0001F600")");
}

}  // namespace
