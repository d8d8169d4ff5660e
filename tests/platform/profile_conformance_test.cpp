// One table of private-profile cases, run against our implementation (the simulated backend's
// platform:: functions, on every build) and, in the Windows test executable, against the real
// GetPrivateProfileIntW / GetPrivateProfileStringW / WritePrivateProfileStringW. Both must give
// the same results, so every case here is one the real functions are known to agree with.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/sim/files.h"
#include "platform/sim/station.h"
#include "platform/text.h"
#include "tests/support/temp_folder.h"
#ifdef _WIN32
#include "platform/win32/profile_api.h"
#endif

namespace {

namespace fs = std::filesystem;

struct Op {
    // Flush, Move and Remove act on the case's second file (the new one beside it): flushed,
    // moved over the case's file, deleted.
    enum class Kind { Int, String, Write, Create, Section, Flush, Move, Remove };
    Kind kind = Kind::String;
    std::u16string section;
    std::u16string key;
    std::u16string text;  // String: the fallback; Write: the value
    int fallback = 0;     // Int
    std::size_t bufferSize = 0;
    unsigned number = 0;  // expected results
    std::u16string string;
    bool written = true;
};

Op Int(std::u16string section, std::u16string key, int fallback, unsigned expected) {
    Op op;
    op.kind = Op::Kind::Int;
    op.section = std::move(section);
    op.key = std::move(key);
    op.fallback = fallback;
    op.number = expected;
    return op;
}

Op Str(std::u16string section, std::u16string key, std::u16string fallback, std::size_t size,
       std::u16string expected) {
    Op op;
    op.section = std::move(section);
    op.key = std::move(key);
    op.text = std::move(fallback);
    op.bufferSize = size;
    op.string = std::move(expected);
    return op;
}

Op Write(std::u16string section, std::u16string key, std::u16string value, bool written = true) {
    Op op;
    op.kind = Op::Kind::Write;
    op.section = std::move(section);
    op.key = std::move(key);
    op.text = std::move(value);
    op.written = written;
    return op;
}

// Whether the file has the section.
Op Section(std::u16string section, bool there) {
    Op op;
    op.kind = Op::Kind::Section;
    op.section = std::move(section);
    op.written = there;
    return op;
}

// CreateEmptyFile of the case's file.
Op Create(bool made = true) {
    Op op;
    op.kind = Op::Kind::Create;
    op.written = made;
    return op;
}

// The new file's operations, each with the result it must give.
Op OnNew(Op::Kind kind, bool done) {
    Op op;
    op.kind = kind;
    op.written = done;
    return op;
}

struct Case {
    std::string name;
    std::optional<std::string> before;  // the file's bytes; nullopt: no file
    std::vector<Op> ops;
    std::optional<std::string> after;      // the bytes it must hold at the end; nullopt: no file
    bool cp1252 = false;                   // ANSI bytes past ASCII, in code page 1252
    bool missingFolder = false;            // the file's folder does not exist
    bool readOnly = false;                 // the file has the read-only attribute
    std::optional<std::string> newBefore;  // the second file, beside it: before and after
    std::optional<std::string> newAfter;
};

Case Reads(std::string name, std::optional<std::string> file, std::vector<Op> ops) {
    Case c;
    c.name = std::move(name);
    c.before = file;
    c.ops = std::move(ops);
    c.after = file;
    return c;
}

Case Changes(std::string name, std::optional<std::string> before, std::vector<Op> ops,
             std::optional<std::string> after) {
    Case c;
    c.name = std::move(name);
    c.before = std::move(before);
    c.ops = std::move(ops);
    c.after = std::move(after);
    return c;
}

Case Replaces(std::string name, std::optional<std::string> before,
              std::optional<std::string> newBefore, std::vector<Op> ops,
              std::optional<std::string> after, std::optional<std::string> newAfter) {
    Case c = Changes(std::move(name), std::move(before), std::move(ops), std::move(after));
    c.newBefore = std::move(newBefore);
    c.newAfter = std::move(newAfter);
    return c;
}

// UTF-16LE file bytes, with the FF FE mark.
std::string Utf16(std::u16string_view text) {
    std::string bytes("\xFF\xFE");
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

const std::u16string kSixty = u"0123456789abcdefghijABCDEFGHIJ0123456789abcdefghijABCDEFGHIJ";

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = [] {
        std::vector<Case> t;
        t.push_back(Reads("NamesMatchWithoutRegardToCase", "[Settings]\r\nPortMap=a.pfg\r\n",
                          {Str(u"settings", u"PORTMAP", u"x", 260, u"a.pfg"),
                           Str(u"SETTINGS", u"portmap", u"x", 260, u"a.pfg")}));
        t.push_back(Reads("WhiteSpaceAroundNamesAndValuesIgnored",
                          "  [ Lines ]  \r\n\tCount \t=\t 12 \t\r\n Name = a  b \r\nmy key=k\r\n",
                          {Int(u"Lines", u"Count", 0, 12), Str(u"Lines", u"Name", u"", 50, u"a  b"),
                           Str(u"Lines", u"my key", u"", 50, u"k")}));
        t.push_back(Reads("CrLfCrAndLfAllEndLines", "[a]\nx=lf\n[b]\rx=cr\r[c]\r\nx=crlf",
                          {Str(u"a", u"x", u"", 50, u"lf"), Str(u"b", u"x", u"", 50, u"cr"),
                           Str(u"c", u"x", u"", 50, u"crlf")}));
        t.push_back(Reads("KeysBelongToTheirSectionOnly",
                          "k=0\r\n[s]\r\n;k=2\r\nk=3\r\n[t]\r\nother=4\r\n",
                          {Str(u"s", u"k", u"d", 50, u"3"), Str(u"t", u"k", u"d", 50, u"d"),
                           Int(u"s", u"k", 9, 3), Int(u"t", u"k", 9, 9)}));
        t.push_back(Reads("FirstOfTwoEqualKeysCounts", "[s]\r\nk=1\r\nK=2\r\n",
                          {Str(u"s", u"k", u"", 50, u"1")}));
        t.push_back(
            Reads("MissingSectionOrKeyGivesTheFallback", "[s]\r\nk=1\r\n",
                  {Str(u"nope", u"k", u"fallback", 50, u"fallback"),
                   Str(u"s", u"none", u"fb  ", 50, u"fb"), Str(u"s", u"none", u"  fb", 50, u"  fb"),
                   Int(u"s", u"none", -5, 0xFFFFFFFBu), Int(u"nope", u"k", 77, 77)}));
        t.push_back(Reads("SectionsAreThereWithOrWithoutKeys",
                          "k=0\r\n[Value]\r\n  [ Port Map ]  \r\nusb01=1\r\n; [Enable]\r\n",
                          {Section(u"value", true), Section(u"Port Map", true),
                           Section(u"Enable", false), Section(u"k", false)}));
        t.push_back(Reads("NoFileHasNoSection", std::nullopt, {Section(u"Value", false)}));
        t.push_back(
            Reads("EnclosingQuotesRemoved",
                  "[q]\r\nd=\"double\"\r\ns='single'\r\nin=\" keep \"\r\nmid=a\"b\"c\r\n",
                  {Str(u"q", u"d", u"", 50, u"double"), Str(u"q", u"s", u"", 50, u"single"),
                   Str(u"q", u"in", u"", 50, u" keep "), Str(u"q", u"mid", u"", 50, u"a\"b\"c")}));
        t.push_back(Reads("ValueIsTheRestOfTheLine", "[s]\r\nv=x ; y\r\neq=a=b\r\n",
                          {Str(u"s", u"v", u"", 50, u"x ; y"), Str(u"s", u"eq", u"", 50, u"a=b")}));
        t.push_back(Reads(
            "Numbers",
            "[n]\r\ndec=42\r\nneg=-17\r\nplus=+8\r\nhex=0x1F\r\nhexneg=-0x10\r\n"
            "lead=42abc\r\ntext=abc\r\nwrap=4294967297\r\nwrapneg=-4294967297\r\n"
            "max=4294967295\r\nspaced=\t 9 \t\r\nsign=-\r\n",
            {Int(u"n", u"dec", 5, 42), Int(u"n", u"neg", 5, 0xFFFFFFEFu), Int(u"n", u"plus", 5, 8),
             Int(u"n", u"hex", 5, 31), Int(u"n", u"hexneg", 5, 0xFFFFFFF0u),
             Int(u"n", u"lead", 5, 42), Int(u"n", u"text", 5, 0), Int(u"n", u"wrap", 5, 1),
             Int(u"n", u"wrapneg", 5, 0xFFFFFFFFu), Int(u"n", u"max", 5, 0xFFFFFFFFu),
             Int(u"n", u"spaced", 5, 9), Int(u"n", u"sign", 5, 0), Int(u"n", u"missing", 5, 5)}));
        t.push_back(Reads(
            "CutToTheBuffer",
            "[s]\r\nlong=0123456789abcdefghijABCDEFGHIJ0123456789abcdefghijABCDEFGHIJ"
            "\r\n",
            {Str(u"s", u"long", u"", 50, kSixty.substr(0, 49)),
             Str(u"s", u"long", u"", 10, kSixty.substr(0, 9)), Str(u"s", u"long", u"", 1, u""),
             Str(u"s", u"none", kSixty, 50, kSixty.substr(0, 49))}));
        t.push_back(Changes(
            "ValueReplacedWhereItStands", "[a]\r\nx=1\r\ny=2\r\n[b]\r\nx=3\r\n",
            {Write(u"a", u"x", u"10"), Write(u"b", u"x", u"30"), Str(u"a", u"x", u"", 50, u"10")},
            "[a]\r\nx=10\r\ny=2\r\n[b]\r\nx=30\r\n"));
        t.push_back(Changes("MissingKeyAddedAtTheEndOfItsSection", "[a]\r\nx=1\r\n[b]\r\ny=2\r\n",
                            {Write(u"a", u"z", u"3"), Write(u"A", u"w", u"4")},
                            "[a]\r\nx=1\r\nz=3\r\nw=4\r\n[b]\r\ny=2\r\n"));
        t.push_back(Changes("MissingSectionAddedAtTheEnd", "[a]\r\nx=1\r\n",
                            {Write(u"new", u"k", u"v"), Str(u"new", u"k", u"", 50, u"v")},
                            "[a]\r\nx=1\r\n[new]\r\nk=v\r\n"));
        t.push_back(Changes(
            "MissingFileGivesFallbacksAndIsCreatedAnsi", std::nullopt,
            {Str(u"s", u"k", u"dflt", 50, u"dflt"), Int(u"s", u"k", 3, 3), Write(u"s", u"k", u"v"),
             Write(u"s", u"k2", u"w"), Write(u"t", u"k", u"x"), Str(u"s", u"k", u"", 50, u"v")},
            "[s]\r\nk=v\r\nk2=w\r\n[t]\r\nk=x\r\n"));
        t.push_back(Changes("EmptyValueWritten", std::nullopt,
                            {Write(u"App", u"key", u""), Str(u"App", u"key", u"d", 50, u"")},
                            "[App]\r\nkey=\r\n"));
        t.push_back(
            Changes("CommentsKept", ";top\r\n[s]\r\n;about k\r\nk=1\r\n[t]\r\nx=1\r\n",
                    {Write(u"s", u"k", u"2"), Write(u"s", u"j", u"3"), Write(u"t", u"y", u"4")},
                    ";top\r\n[s]\r\n;about k\r\nk=2\r\nj=3\r\n[t]\r\nx=1\r\ny=4\r\n"));
        t.push_back(Reads("Utf16LeRead", Utf16(u"[s]\r\nk=Ω漢字\r\nn=12\r\n"),
                          {Str(u"s", u"k", u"", 50, u"Ω漢字"), Int(u"s", u"n", 0, 12)}));
        t.push_back(
            Changes("Utf16LeWritesStayUtf16Le", Utf16(u"[s]\r\nk=1\r\n"),
                    {Write(u"s", u"k", u"Ω"), Write(u"s", u"new", u"漢"), Write(u"t", u"a", u"b")},
                    Utf16(u"[s]\r\nk=Ω\r\nnew=漢\r\n[t]\r\na=b\r\n")));
        t.push_back(Changes("MarkOnlyFileWrittenUtf16Le", std::string("\xFF\xFE"),
                            {Write(u"s", u"k", u"v")}, Utf16(u"[s]\r\nk=v\r\n")));

        Case ansiRead =
            Reads("AnsiRead", "[s]\r\nk=caf\xE9 \x80\r\n", {Str(u"s", u"k", u"", 50, u"café €")});
        ansiRead.cp1252 = true;
        t.push_back(ansiRead);
        Case ansiWrite =
            Changes("AnsiWriteUnmappableBecomesQuestionMark", "[s]\r\nx=\xE9\r\nk=1\r\n",
                    {Write(u"s", u"k", u"ü€漢")}, "[s]\r\nx=\xE9\r\nk=\xFC\x80?\r\n");
        ansiWrite.cp1252 = true;
        t.push_back(ansiWrite);
        Case newAnsi = Changes("NewFileIsAnsiForAnyText", std::nullopt, {Write(u"s", u"k", u"é")},
                               "[s]\r\nk=\xE9\r\n");
        newAnsi.cp1252 = true;
        t.push_back(newAnsi);

        Case noFolder = Changes("WriteIntoMissingFolderFails", std::nullopt,
                                {Write(u"s", u"k", u"v", false), Str(u"s", u"k", u"d", 50, u"d")},
                                std::nullopt);
        noFolder.missingFolder = true;
        t.push_back(noFolder);

        t.push_back(Changes("CreateEmptiesAFileThatWritesFillAgain", "[Old]\r\nk=1\r\n",
                            {Create(), Int(u"Old", u"k", 7, 7), Write(u"s", u"k", u"v")},
                            "[s]\r\nk=v\r\n"));
        Case createNoFolder =
            Changes("CreateInMissingFolderFails", std::nullopt, {Create(false)}, std::nullopt);
        createNoFolder.missingFolder = true;
        t.push_back(createNoFolder);

        // Replacing a file by the one beside it (MoveFileExW with MOVEFILE_REPLACE_EXISTING).
        const std::string old = "[PortMap]\r\nusb01=1\r\n";
        const std::string now = "[PortMap]\r\nusb03=1\r\n[Setting]\r\nENABLE_PORT=1\r\n";
        using K = Op::Kind;
        t.push_back(Replaces("MoveReplacesTheFileWhole", old, now,
                             {OnNew(K::Flush, true), OnNew(K::Move, true), OnNew(K::Flush, false),
                              Str(u"PortMap", u"usb03", u"", 50, u"1")},
                             now, std::nullopt));
        t.push_back(Replaces("MoveMakesAMissingFile", std::nullopt, now, {OnNew(K::Move, true)},
                             now, std::nullopt));
        t.push_back(Replaces("MoveOfNoFileFailsAndKeepsTheOld", old, std::nullopt,
                             {OnNew(K::Move, false), OnNew(K::Remove, false)}, old, std::nullopt));
        Case readOnly =
            Replaces("MoveOntoAReadOnlyFileFailsAndKeepsBoth", old, now,
                     {OnNew(K::Move, false), OnNew(K::Remove, true)}, old, std::nullopt);
        readOnly.readOnly = true;
        t.push_back(readOnly);
        return t;
    }();
    return cases;
}

// The functions under test.
class Api {
  public:
    virtual ~Api() = default;
    virtual unsigned Int(const Op& op, std::u16string_view file) const = 0;
    virtual std::u16string String(const Op& op, std::u16string_view file) const = 0;
    virtual bool Write(const Op& op, std::u16string_view file) const = 0;
    virtual bool Create(std::u16string_view file) const = 0;
    virtual bool Section(const Op& op, std::u16string_view file) const = 0;
    virtual bool Flush(std::u16string_view file) const = 0;
    virtual bool Move(std::u16string_view from, std::u16string_view to) const = 0;
    virtual bool Remove(std::u16string_view file) const = 0;
};

class Ours : public Api {
  public:
    unsigned Int(const Op& op, std::u16string_view file) const override {
        return static_cast<unsigned>(
            platform::GetProfileInt(op.section, op.key, op.fallback, file));
    }
    std::u16string String(const Op& op, std::u16string_view file) const override {
        return platform::GetProfileString(op.section, op.key, op.text, op.bufferSize, file);
    }
    bool Write(const Op& op, std::u16string_view file) const override {
        return platform::WriteProfileString(op.section, op.key, op.text, file);
    }
    bool Create(std::u16string_view file) const override { return platform::CreateEmptyFile(file); }
    bool Section(const Op& op, std::u16string_view file) const override {
        return platform::HasProfileSection(op.section, file);
    }
    bool Flush(std::u16string_view file) const override { return platform::FlushProfileFile(file); }
    bool Move(std::u16string_view from, std::u16string_view to) const override {
        return platform::MoveFileReplacing(from, to);
    }
    bool Remove(std::u16string_view file) const override { return platform::RemoveFile(file); }
};

std::optional<std::string> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The new file of a case: its name beside the case's file.
fs::path NewBeside(const fs::path& host) {
    fs::path path = host;
    path += ".new";
    return path;
}

void RunCase(const Case& c, const Api& api, const fs::path& host, std::u16string_view file) {
    const std::u16string newFile = std::u16string(file) + u".new";
    if (c.before)
        WriteBytes(host, *c.before);
    if (c.newBefore)
        WriteBytes(NewBeside(host), *c.newBefore);
    if (c.readOnly)
        fs::permissions(host,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    for (std::size_t i = 0; i < c.ops.size(); ++i) {
        const Op& op = c.ops[i];
        SCOPED_TRACE("operation " + std::to_string(i));
        switch (op.kind) {
            case Op::Kind::Int:
                EXPECT_EQ(api.Int(op, file), op.number);
                break;
            case Op::Kind::String:
                EXPECT_EQ(api.String(op, file), op.string);
                break;
            case Op::Kind::Write:
                EXPECT_EQ(api.Write(op, file), op.written);
                break;
            case Op::Kind::Create:
                EXPECT_EQ(api.Create(file), op.written);
                break;
            case Op::Kind::Section:
                EXPECT_EQ(api.Section(op, file), op.written)
                    << "section " << platform::ToUtf8(op.section);
                break;
            case Op::Kind::Flush:
                EXPECT_EQ(api.Flush(newFile), op.written);
                break;
            case Op::Kind::Move:
                EXPECT_EQ(api.Move(newFile, file), op.written);
                break;
            case Op::Kind::Remove:
                EXPECT_EQ(api.Remove(newFile), op.written);
                break;
        }
    }
    if (c.readOnly)
        fs::permissions(host, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadBytes(host), c.after);
    EXPECT_EQ(ReadBytes(NewBeside(host)), c.newAfter);
}

std::string CaseName(const ::testing::TestParamInfo<std::size_t>& info) {
    return Cases()[info.param].name;
}

class OurProfileConformance : public ::testing::TestWithParam<std::size_t> {
  protected:
    void SetUp() override {
        sim::Station::Get().Reset();
        sim::Station::Get().SetAnsiCodePage(1252);
        sim::Files::Get().Reset();
        sim::Files::Get().SetRoot(scratch_.path());
        fs::create_directories(scratch_.path() / "C" / "conformance");
    }
    void TearDown() override {
        sim::Files::Get().Reset();
        sim::Station::Get().Reset();
    }
    const testsupport::TempFolder scratch_{"ours"};
};

TEST_P(OurProfileConformance, Case) {
    const Case& c = Cases()[GetParam()];
    const std::u16string folder = c.missingFolder ? u"missing\\" : u"";
    const fs::path host =
        scratch_.path() / "C" / "conformance" /
        (c.missingFolder ? fs::path("missing") / "case.ini" : fs::path("case.ini"));
    RunCase(c, Ours(), host, u"C:\\conformance\\" + folder + u"case.ini");
}

INSTANTIATE_TEST_SUITE_P(Table, OurProfileConformance,
                         ::testing::Range<std::size_t>(0, Cases().size()), CaseName);

#ifdef _WIN32

class Real : public Api {
  public:
    unsigned Int(const Op& op, std::u16string_view file) const override {
        return win32api::ReadProfileInt(op.section, op.key, op.fallback, file);
    }
    std::u16string String(const Op& op, std::u16string_view file) const override {
        return win32api::ReadProfileString(op.section, op.key, op.text, op.bufferSize, file);
    }
    bool Write(const Op& op, std::u16string_view file) const override {
        return win32api::WriteProfileValue(op.section, op.key, op.text, file);
    }
    bool Create(std::u16string_view file) const override { return win32api::CreateEmptyFile(file); }
    bool Section(const Op& op, std::u16string_view file) const override {
        for (const std::u16string& name : win32api::ReadSectionNames(file)) {
            if (platform::EqualsNoCase(name, op.section))
                return true;
        }
        return false;
    }
    bool Flush(std::u16string_view file) const override { return win32api::FlushProfileFile(file); }
    bool Move(std::u16string_view from, std::u16string_view to) const override {
        return win32api::MoveFileReplacing(from, to);
    }
    bool Remove(std::u16string_view file) const override { return win32api::RemoveFile(file); }
};

class RealProfileConformance : public ::testing::TestWithParam<std::size_t> {
  protected:
    const testsupport::TempFolder scratch_{"real"};
};

TEST_P(RealProfileConformance, Case) {
    const Case& c = Cases()[GetParam()];
    if (c.cp1252 && win32api::AnsiCodePage() != 1252)
        GTEST_SKIP() << "the process's ANSI code page is " << win32api::AnsiCodePage();
    const fs::path host =
        c.missingFolder ? scratch_.path() / "missing" / "case.ini" : scratch_.path() / "case.ini";
    const std::wstring wide = host.wstring();
    RunCase(c, Real(), host,
            std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

INSTANTIATE_TEST_SUITE_P(Table, RealProfileConformance,
                         ::testing::Range<std::size_t>(0, Cases().size()), CaseName);

#endif

}  // namespace
