#include "device/drive.h"

#include <gtest/gtest.h>

#include "station_fixture.h"

namespace {

using platform::kInvalidHandle;

class DriveTest : public tavrin_test::StationTest {};

TEST_F(DriveTest, PhysicalDrivePaths) {
    EXPECT_EQ(device::PhysicalDrivePath(0), u"\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(device::PhysicalDrivePath(12), u"\\\\.\\PHYSICALDRIVE12");
    EXPECT_EQ(device::PhysicalDrivePath(99), u"\\\\.\\PHYSICALDRIVE99");
    // With its NUL the path fills the 20-character buffer at two digits.
    EXPECT_EQ(device::PhysicalDrivePath(99).size() + 1, device::kPhysicalDrivePathSize);
    EXPECT_EQ(device::PhysicalDrivePath(100), u"");
    EXPECT_EQ(device::PhysicalDrivePath(-1), u"");
}

TEST_F(DriveTest, VolumePathAndRoot) {
    EXPECT_EQ(device::VolumePath(u'E'), u"\\\\.\\E:");
    EXPECT_EQ(device::VolumeRoot(u'E'), u"E:\\");
}

TEST_F(DriveTest, OpensByNumberAndLetterAndTheCallerCloses) {
    station().AddDisk(0);
    station().AddDisk(12);
    station().AddVolume(u'E', 12, 0);

    const auto d0 = device::OpenPhysicalDrive(0);
    const auto d12 = device::OpenPhysicalDrive(12);
    const auto e = device::OpenVolume(u'E');
    EXPECT_NE(d0, kInvalidHandle);
    EXPECT_NE(d12, kInvalidHandle);
    EXPECT_NE(e, kInvalidHandle);
    EXPECT_EQ(station().OpenedPaths(),
              (std::vector<std::u16string>{u"\\\\.\\PHYSICALDRIVE0", u"\\\\.\\PHYSICALDRIVE12",
                                           u"\\\\.\\E:"}));
    EXPECT_EQ(station().OpenHandleCount(), 3u);
    device::CloseDrive(d0);
    device::CloseDrive(d12);
    device::CloseDrive(e);
    EXPECT_EQ(station().OpenHandleCount(), 0u);
}

TEST_F(DriveTest, NumbersBeyondTwoDigitsFailWithoutAnOpen) {
    station().AddDisk(100);
    EXPECT_EQ(device::OpenPhysicalDrive(100), kInvalidHandle);
    EXPECT_EQ(device::OpenPhysicalDrive(123456), kInvalidHandle);
    EXPECT_EQ(device::OpenPhysicalDrive(-5), kInvalidHandle);
    EXPECT_TRUE(station().OpenedPaths().empty());
}

TEST_F(DriveTest, AVolumeThatHasGoneFails) {
    station().AddDisk(1);
    station().AddVolume(u'F', 1, 4'000'000'000ull);
    EXPECT_EQ(device::VolumeFreeBytes(u'F'), 4'000'000'000ull);
    station().RemoveVolume(u'F');
    EXPECT_EQ(device::OpenVolume(u'F'), kInvalidHandle);
    EXPECT_EQ(device::VolumeFreeBytes(u'F'), std::nullopt);
    EXPECT_EQ(device::OpenPhysicalDrive(7), kInvalidHandle);
    EXPECT_EQ(station().OpenHandleCount(), 0u);
}

}  // namespace
