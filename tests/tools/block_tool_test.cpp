#include "tools/block_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/sim/info_block.h"
#include "tests/support/temp_folder.h"
#include "tools/block_line.h"

namespace {

namespace fs = std::filesystem;

class BlockToolTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::uint8_t* bytes, std::size_t size) {
        const fs::path path = dir / name;
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
        return path.string();
    }
    std::string Write(const std::string& name, const sim::InfoBlock& block, std::size_t size) {
        std::vector<std::uint8_t> bytes(block.Bytes().begin(), block.Bytes().end());
        bytes.resize(size, 0xCC);
        return Write(name, bytes.data(), bytes.size());
    }

    int Run(std::vector<std::string> args) {
        std::ostringstream o;
        std::ostringstream e;
        const int rc = tools::RunBlockTool(args, o, e);
        out = o.str();
        err = e.str();
        return rc;
    }

    static std::size_t Lines(const std::string& text) {
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }

    const testsupport::TempFolder dir{"block"};
    std::string out;
    std::string err;
};

TEST_F(BlockToolTest, PrintsEverySlotButCapacityInSlotOrder) {
    const auto file = Write("sample.bin", sim::SampleInfoBlock(), 1024);
    ASSERT_EQ(Run({file}), 0);
    EXPECT_EQ(out,
              "0 vid=1234\n1 pid=7730\n2 revision=1.00\n3 VendorName=Generic\n"
              "4 ProductName=Flash Disk\n5 RFreq=30MHZ\n6 WFreq=40MHZ\n7 Idle=ON\n8 Sleep=OFF\n"
              "9 Blink=Quick\n10 DiskType=1\n11 Part=0\n12 Master=A\n13 Efs=16384\n"
              "14 MultiPlane=1\n15 Interleave=1\n16 CacheProgram=0\n17 DualMode=0\n"
              "18 Randomize=0\n21 MPVer=MP 2.15.0.7\n22 FWVer=FW 7730.0412\n");
    EXPECT_EQ(err, "");
}

TEST_F(BlockToolTest, FreeBytesAddTheCapacitySlots) {
    const auto file = Write("sample.bin", sim::SampleInfoBlock(), 1024);
    ASSERT_EQ(Run({"--free", "4000000000", file}), 0);
    EXPECT_NE(out.find("18 Randomize=0\n19 CapMin=3814MB\n20 CapMax=3814MB\n21 MPVer="),
              std::string::npos);
    EXPECT_EQ(Lines(out), 23u);
}

TEST_F(BlockToolTest, OneLinePerSlotWhateverTheTextsHold) {
    // Line breaks and other control characters in the block's text fields.
    auto block = sim::SampleInfoBlock();
    block.WideNames(u"Ven\ndor", u"Pro\r\nduct\x7F").Text8(100, 16, "MP\n2\t\x01");
    ASSERT_EQ(Run({Write("breaks.bin", block, 1024)}), 0);
    EXPECT_EQ(Lines(out), 21u);
    EXPECT_NE(out.find("\n3 VendorName=Ven\\x0Ador\n4 ProductName=Pro\\x0D\\x0Aduct\\x7F\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n21 MPVer=MP\\x0A2\\x09\\x01\n"), std::string::npos);
}

TEST_F(BlockToolTest, ChineseListsInUtf8) {
    const auto file = Write("sample.bin", sim::SampleInfoBlock(), 1024);
    ASSERT_EQ(Run({"--lang", "zh-CN", file}), 0);
    EXPECT_NE(out.find("5 RFreq=26MHZ\n"), std::string::npos);
    EXPECT_NE(out.find("9 Blink=\xE5\xBF\xAB\xE9\x97\xAA\n"), std::string::npos);  // 快闪
    ASSERT_EQ(Run({file, "--lang", "zh-TW"}), 0);
    EXPECT_NE(out.find("8 Sleep=\xE7\x86\x84\xE6\xBB\x85\n"), std::string::npos);  // 熄滅
}

TEST_F(BlockToolTest, LengthsOfEachLayout) {
    // An older-layout block needs 512 bytes; bytes past 1024 are ignored.
    EXPECT_EQ(Run({Write("old.bin", sim::InfoBlock(4).Ids(1, 2), 512)}), 0);
    EXPECT_NE(out.find("0 vid=0001\n"), std::string::npos);
    EXPECT_EQ(Run({Write("big.bin", sim::SampleInfoBlock(), 5000)}), 0);
    EXPECT_EQ(Lines(out), 21u);

    for (const auto& [name, block, size] :
         {std::tuple{"short.bin", sim::InfoBlock(4), std::size_t{511}},
          std::tuple{"newshort.bin", sim::InfoBlock(5), std::size_t{1023}},
          std::tuple{"magic.bin", sim::InfoBlock(5).Byte(3, 0xFB), std::size_t{1024}},
          std::tuple{"empty.bin", sim::InfoBlock(5), std::size_t{0}}}) {
        EXPECT_EQ(Run({Write(name, block, size)}), 1) << name;
        EXPECT_EQ(out, "") << name;
        EXPECT_EQ(Lines(err), 1u) << name;
    }
}

TEST_F(BlockToolTest, ArgumentsThatDoNotFit) {
    const auto file = Write("sample.bin", sim::SampleInfoBlock(), 1024);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {(dir / "missing.bin").string()},
        {dir.path().string()},
        {"--lang", "fr", file},
        {"--lang"},
        {"--free", "-1", file},
        {"--free", "12MB", file},
        {"--free", "99999999999999999999", file},  // past 2^64
        {"--verbose", file},
        {file, file},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(Run(args), 2) << ::testing::PrintToString(args);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find("usage: tavrin-block"), std::string::npos);
    }
    EXPECT_EQ(Run({"--free", "18446744073709551615", file}), 0);
    EXPECT_NE(out.find("19 CapMin=17592186044415MB\n"), std::string::npos);
}

// The arguments come in UTF-8 on every system, a file's name among them.
TEST_F(BlockToolTest, AFileNamedInUtf8) {
    const fs::path path = dir / fs::path(u8"\u5757 \u00e9.bin");
    const sim::InfoBlock block = sim::SampleInfoBlock();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(block.Bytes().data()),
               static_cast<std::streamsize>(block.Bytes().size()));
    const std::u8string name = path.u8string();
    ASSERT_EQ(Run({std::string(name.begin(), name.end())}), 0) << err;
    EXPECT_NE(out.find("0 vid=1234\n"), std::string::npos);
}

// The one table of languages: each by its --lang name, its user-interface language and its
// lists, none twice; the usage lines list the names in the table's order.
TEST(LanguageTable, EachLanguageOnceUnderEveryName) {
    const device::Language all[] = {device::Language::English, device::Language::SimplifiedChinese,
                                    device::Language::TraditionalChinese};
    ASSERT_EQ(device::kLanguages.size(), std::size(all));
    const ui::LANGID langIds[] = {ui::kLangEnglish, ui::kLangSimplifiedChinese,
                                  ui::kLangTraditionalChinese};
    for (std::size_t i = 0; i < std::size(all); ++i) {
        const device::LanguageEntry& entry = device::EntryOf(all[i]);
        EXPECT_EQ(entry.language, all[i]) << i;
        EXPECT_EQ(entry.langId, langIds[i]) << i;
        EXPECT_EQ(device::LanguageNamed(entry.option), &entry) << entry.option;
        std::vector<std::string> args = {"--lang", std::string(entry.option)};
        std::size_t at = 0;
        std::string why;
        EXPECT_EQ(tools::LanguageOption(args, at, &why), all[i]) << why;
    }
    EXPECT_EQ(device::LanguageNamed("zh"), nullptr);
    EXPECT_EQ(device::LanguageNamed(""), nullptr);
    EXPECT_EQ(device::LanguageOptions(), "en|zh-CN|zh-TW");
}

// --lang as the tools read it.
TEST(LanguageOption, TakesItsValueOrSaysWhyNot) {
    struct Case {
        std::vector<std::string> args;
        std::optional<device::Language> language;
        std::string why;
    };
    const Case cases[] = {
        {{"--lang", "en", "x"}, device::Language::English, ""},
        {{"--lang", "zh-CN"}, device::Language::SimplifiedChinese, ""},
        {{"--lang", "zh-TW", "--free"}, device::Language::TraditionalChinese, ""},
        {{"--lang", "ZH-tw"}, std::nullopt, "unknown language 'ZH-tw'"},
        {{"--lang", ""}, std::nullopt, "unknown language ''"},
        {{"--lang"}, std::nullopt, "--lang needs a value"},
    };
    for (const Case& c : cases) {
        std::size_t i = 0;
        std::string why;
        EXPECT_EQ(tools::LanguageOption(c.args, i, &why), c.language)
            << ::testing::PrintToString(c.args);
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(i, c.args.size() > 1 ? 1u : 0u) << "the value is taken, and only it";
    }
}

}  // namespace
