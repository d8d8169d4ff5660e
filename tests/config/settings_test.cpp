// Tavrin.ini through its table: each key read into its member, and each written only at its
// moment, in table order.
#include "config/settings.h"

#include <gtest/gtest.h>

#include "tests/support/program_folder.h"

namespace {

using testsupport::kSettings;

TEST(SettingsTest, EveryKeyIsReadIntoItsMemberAndWrittenOnlyAtItsMoment) {
    testsupport::ProgramFolder folder("Settings");
    const config::Settings none = config::ReadSettings(kSettings);
    EXPECT_EQ(none.portFile, u"");
    EXPECT_EQ(none.checkFile, u"");
    EXPECT_EQ(none.resultLog, u"");
    EXPECT_EQ(none.topmost + none.infoCheck + none.autoCheck, 0) << "no file: the defaults";

    folder.WriteFile(kSettings,
                     "[Setting]\r\nAutoCheck=1\r\nPORT_FILE=a.pfg\r\nCHECK_FILE=..\\b.chk\r\n"
                     "RESULT_LOG=D:\\log.csv\r\nTopmost=7\r\nInfoCheck=x\r\n");
    const config::Settings read = config::ReadSettings(kSettings);
    EXPECT_EQ(read.portFile, u"C:\\Tools\\Tavrin\\a.pfg");
    EXPECT_EQ(read.checkFile, u"C:\\Tools\\b.chk");
    EXPECT_EQ(read.resultLog, u"D:\\log.csv");
    EXPECT_EQ(read.topmost, 7);
    EXPECT_EQ(read.infoCheck, 0) << "not a number";
    EXPECT_EQ(read.autoCheck, 1);

    // Closing writes the three tick boxes and nothing else; Save the check file alone; nothing
    // ever writes the log's key.
    config::Settings changed = read;
    changed.portFile = changed.checkFile = u"C:\\Tools\\Tavrin\\lines\\c.chk";
    changed.resultLog = u"C:\\other.csv";
    changed.topmost = 1;
    changed.infoCheck = 0;
    folder.WriteFile(kSettings, "");
    ASSERT_TRUE(config::WriteSettings(changed, config::Written::AtClosing, kSettings));
    EXPECT_EQ(folder.ReadFile(kSettings),
              "[Setting]\r\nTopmost=1\r\nInfoCheck=0\r\nAutoCheck=1\r\n");
    ASSERT_TRUE(config::WriteSettings(changed, config::Written::BySave, kSettings));
    ASSERT_TRUE(config::WriteSettings(changed, config::Written::Never, kSettings));
    EXPECT_EQ(
        folder.ReadFile(kSettings),
        "[Setting]\r\nTopmost=1\r\nInfoCheck=0\r\nAutoCheck=1\r\nCHECK_FILE=lines\\c.chk\r\n");
    EXPECT_EQ(config::ReadSetting(&config::Settings::checkFile, kSettings), changed.checkFile);
}

// The places that read or write one key find it by its member: a member without a row must stop
// the program, never read or write another key.
TEST(SettingsDeathTest, AMemberWithoutItsRowIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EQ(config::FieldOf(&config::Settings::resultLog).name, u"RESULT_LOG");
    std::u16string config::Settings::*none = nullptr;
    EXPECT_DEATH(config::FieldOf(none), "no row of kSettingFields");
}

}  // namespace
