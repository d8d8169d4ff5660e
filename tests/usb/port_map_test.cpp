// The port map file and its place in the settings file, as the port dialog writes them and the
// main window and the result list read them back.
#include "usb/port_map.h"

#include <gtest/gtest.h>

#include "config/settings.h"
#include "tests/support/program_folder.h"

namespace {

using testsupport::kSettings;

TEST(PortMapTest, KeyIsUsbAndTheOrdinalInAtLeastTwoDigits) {
    EXPECT_EQ(usb::PortMapKey(0), u"usb00");
    EXPECT_EQ(usb::PortMapKey(7), u"usb07");
    EXPECT_EQ(usb::PortMapKey(10), u"usb10");
    EXPECT_EQ(usb::PortMapKey(123), u"usb123");
}

TEST(PortMapTest, SettingsFileIsTavrinIniBesideTheProgram) {
    EXPECT_EQ(config::SettingsPathOf(u"C:\\Tools\\Tavrin\\Tavrin.exe"),
              u"C:\\Tools\\Tavrin\\Tavrin.ini");
    EXPECT_EQ(config::SettingsPathOf(u"D:\\Q.exe"), u"D:\\Tavrin.ini");
    testsupport::ProgramFolder folder("port-map");
    EXPECT_EQ(config::SettingsPath(), kSettings);
    EXPECT_EQ(config::ProgramDirectory(), u"C:\\Tools\\Tavrin");
}

TEST(PortMapTest, WhatIsWrittenReadsBack) {
    testsupport::ProgramFolder folder("port-map");
    const std::u16string map = u"C:\\Tools\\Tavrin\\lines\\a.pfg";
    EXPECT_EQ(usb::ReadPortFileSetting(kSettings), u"");
    EXPECT_EQ(usb::EnablePortOf(u""), 0) << "no file, no port mode";

    folder.WriteFile(map, "");
    ASSERT_TRUE(usb::WritePortFileSetting(kSettings, map));
    ASSERT_TRUE(usb::WriteStationPort(map, 3, 1));
    ASSERT_TRUE(usb::WriteStationPort(map, 12, 2));
    ASSERT_TRUE(usb::WriteEnablePort(map, 1));

    // Below the program folder: stored relative to it.
    EXPECT_EQ(folder.ReadFile(kSettings), "[Setting]\r\nPORT_FILE=lines\\a.pfg\r\n");
    EXPECT_EQ(folder.ReadFile(map),
              "[PortMap]\r\nusb03=1\r\nusb12=2\r\n[Setting]\r\nENABLE_PORT=1\r\n");
    EXPECT_EQ(usb::ReadPortFileSetting(kSettings), map);
    EXPECT_EQ(usb::StationPortOf(map, 3), 1);
    EXPECT_EQ(usb::StationPortOf(map, 12), 2);
    EXPECT_EQ(usb::StationPortOf(map, 4), 0) << "an unmapped port";
    EXPECT_EQ(usb::EnablePortOf(map), 1);
}

TEST(PortMapTest, StoredPathsResolveAgainstTheProgramFolderNotTheCurrentOne) {
    testsupport::ProgramFolder folder("port-map");
    sim::Files::Get().SetCurrentDirectory(u"C:\\Elsewhere");
    folder.WriteFile(kSettings, "[Setting]\r\nPORT_FILE=a.pfg\r\nCHECK_FILE=..\\b.chk\r\n");
    EXPECT_EQ(usb::ReadPortFileSetting(kSettings), u"C:\\Tools\\Tavrin\\a.pfg");
    EXPECT_EQ(config::ReadStoredPath(u"CHECK_FILE", kSettings), u"C:\\Tools\\b.chk");
}

}  // namespace
