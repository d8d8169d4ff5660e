// The real calls behind platform/usb_io.h (Windows builds only; under wine here). Wine has no
// USB devices, so the interface walk is checked on a device the test makes itself, and the
// platform's own classes are walked as the machine has them.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <initguid.h>

#include <winioctl.h>

#include <setupapi.h>

#include <usbiodef.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/usb_io.h"
#include "platform/win32/usb_api.h"

namespace {

win32api::UsbApi api;
using platform::kInvalidHandle;

bool SameGuid(const platform::Guid& ours, const GUID& theirs) {
    return std::memcmp(&ours, &theirs, sizeof theirs) == 0;
}

std::u16string Text(const char16_t* units) {
    return units;
}

// Keys made for the registry cases, under a class of our own, removed again afterwards.
constexpr wchar_t kClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{5D0C3A7E-91B4-4E2F-8C61-2A9F7B3E1D40}";

class Win32UsbRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        HKEY key = nullptr;
        const LONG made =
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\0001").c_str(), 0,
                            nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        if (made == ERROR_ACCESS_DENIED)  // a Windows account without administrator rights
            GTEST_SKIP() << "no write access to HKEY_LOCAL_MACHINE";
        ASSERT_EQ(made, ERROR_SUCCESS);
        Set(key, L"DriverDesc", REG_SZ, u"Test Host Controller", 21 * 2);
        Set(key, L"Empty", REG_SZ, u"", 2);
        RegCloseKey(key);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey); }

    static void Set(HKEY key, const wchar_t* name, DWORD type, const char16_t* data, DWORD bytes) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data), bytes),
                  ERROR_SUCCESS);
    }

    // Reads `name` from the test key through the seam, into a buffer of `size` bytes.
    static bool Read(const char16_t* name, std::size_t size, std::vector<std::uint8_t>* out,
                     std::uint32_t* length) {
        platform::RegKey key = 0;
        if (!api.OpenMachineKey(u"system\\CURRENTCONTROLSET\\control\\class\\"
                                u"{5d0c3a7e-91b4-4e2f-8c61-2a9f7b3e1d40}\\0001",
                                &key))
            return false;
        out->assign(size, 0xAA);
        const bool ok = api.QueryRegistryValue(key, name, *out, length);
        api.CloseRegistryKey(key);
        return ok;
    }
};

TEST_F(Win32UsbRegistry, ValuesComeBackAsStoredWithinTheCallersLimit) {
    std::vector<std::uint8_t> bytes;
    std::uint32_t length = 0;

    // The whole value, terminator included, and nothing written past it.
    ASSERT_TRUE(Read(u"DriverDesc", 60, &bytes, &length));
    EXPECT_EQ(length, 42u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(bytes.data())),
              u"Test Host Controller");
    EXPECT_EQ(bytes[40], 0);
    EXPECT_EQ(bytes[41], 0);
    EXPECT_EQ(bytes[42], 0xAA);

    // An exact fit is enough; one byte less is not, and the call says what it needs.
    EXPECT_TRUE(Read(u"DriverDesc", 42, &bytes, &length));
    EXPECT_EQ(length, 42u);
    length = 0;
    EXPECT_FALSE(Read(u"DriverDesc", 41, &bytes, &length));
    EXPECT_EQ(length, 42u);
    EXPECT_FALSE(Read(u"DriverDesc", 0, &bytes, &length));

    // An empty text is its terminator.
    ASSERT_TRUE(Read(u"Empty", 60, &bytes, &length));
    EXPECT_EQ(length, 2u);

    // Value names are case-insensitive too; a missing value or key fails.
    EXPECT_TRUE(Read(u"DRIVERDESC", 60, &bytes, &length));
    EXPECT_FALSE(Read(u"DeviceDesc", 60, &bytes, &length));
    platform::RegKey key = 0;
    EXPECT_FALSE(api.OpenMachineKey(
        u"SYSTEM\\CurrentControlSet\\Control\\Class\\{5D0C3A7E-91B4-4E2F-8C61-2A9F7B3E1D40}\\0002",
        &key));
}

// A device of our own with one interface of a class of our own, made through the Setup API
// and marked present as a running driver would, removed again afterwards.
constexpr GUID kTestSetupClass = {
    0x5D0C3A7E, 0x91B4, 0x4E2F, {0x8C, 0x61, 0x2A, 0x9F, 0x7B, 0x3E, 0x1D, 0x41}};
constexpr platform::Guid kTestInterfaceClass = {
    0x5D0C3A7E, 0x91B4, 0x4E2F, {0x8C, 0x61, 0x2A, 0x9F, 0x7B, 0x3E, 0x1D, 0x42}};
constexpr char16_t kTestInterfacePath[] =
    u"\\\\?\\root#tavrinusbio#0000#{5d0c3a7e-91b4-4e2f-8c61-2a9f7b3e1d42}";

class Win32UsbInterfaces : public ::testing::Test {
  protected:
    void SetUp() override {
        set_ = SetupDiCreateDeviceInfoList(&kTestSetupClass, nullptr);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE);
        device_.cbSize = sizeof device_;
        const wchar_t* id = L"ROOT\\TAVRINUSBIO\\0000";
        if (SetupDiCreateDeviceInfoW(set_, id, &kTestSetupClass, nullptr, nullptr, 0, &device_))
            ASSERT_TRUE(SetupDiRegisterDeviceInfo(set_, &device_, 0, nullptr, nullptr, nullptr));
        else if (GetLastError() == ERROR_ACCESS_DENIED)
            GTEST_SKIP() << "no rights to make a device";
        else  // left by an earlier run that did not finish
            ASSERT_TRUE(SetupDiOpenDeviceInfoW(set_, id, nullptr, 0, &device_));
        GUID interfaceClass;
        std::memcpy(&interfaceClass, &kTestInterfaceClass, sizeof interfaceClass);
        interface_.cbSize = sizeof interface_;
        ASSERT_TRUE(SetupDiCreateDeviceInterfaceW(set_, &device_, &interfaceClass, nullptr, 0,
                                                  &interface_));
        HKEY control = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                  L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                                  L"{5d0c3a7e-91b4-4e2f-8c61-2a9f7b3e1d42}\\"
                                  L"##?#root#tavrinusbio#0000#"
                                  L"{5d0c3a7e-91b4-4e2f-8c61-2a9f7b3e1d42}\\#\\Control",
                                  0, nullptr, 0, KEY_WRITE, nullptr, &control, nullptr),
                  ERROR_SUCCESS);
        const DWORD linked = 1;
        RegSetValueExW(control, L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                       sizeof linked);
        RegCloseKey(control);
    }
    void TearDown() override {
        if (set_ == INVALID_HANDLE_VALUE)
            return;
        SetupDiRemoveDeviceInterface(set_, &interface_);
        SetupDiRemoveDevice(set_, &device_);
        SetupDiDestroyDeviceInfoList(set_);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                       L"{5d0c3a7e-91b4-4e2f-8c61-2a9f7b3e1d42}");
    }

    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA device_{};
    SP_DEVICE_INTERFACE_DATA interface_{};
};

TEST_F(Win32UsbInterfaces, APresentInterfaceIsWalkedWithTheTwoDetailCalls) {
    const platform::DeviceInfoSet set = api.GetClassDevices(kTestInterfaceClass);
    ASSERT_NE(set, kInvalidHandle);
    platform::DeviceInterfaceData data{};
    ASSERT_TRUE(api.EnumDeviceInterface(set, kTestInterfaceClass, 0, &data));

    // The first call fails and reports the size: the header and the path with its terminator.
    const std::u16string expected = kTestInterfacePath;
    const std::uint32_t header = sizeof(DWORD);
    std::uint32_t size = 0;
    ASSERT_TRUE(api.GetDeviceInterfaceDetailSize(set, &data, &size));
    EXPECT_EQ(size, header + (expected.size() + 1) * 2);

    // The second call wants at least that much, and gives the path and the interface's node.
    std::array<char16_t, 260> path{};
    platform::DevInst node = 0;
    EXPECT_FALSE(api.GetDeviceInterfaceDetail(set, &data, size - 2, path, &node));
    ASSERT_TRUE(api.GetDeviceInterfaceDetail(set, &data, size, path, &node));
    EXPECT_EQ(Text(path.data()), expected);
    EXPECT_NE(node, 0u);
    std::array<char16_t, 5> cut{};
    cut.fill(u'#');
    ASSERT_TRUE(api.GetDeviceInterfaceDetail(set, &data, size, cut, &node));
    EXPECT_EQ(Text(cut.data()), expected.substr(0, 4));

    EXPECT_FALSE(api.EnumDeviceInterface(set, kTestInterfaceClass, 1, &data));
    api.DestroyDeviceInfoList(set);

    // Once it is gone, the class is empty.
    ASSERT_TRUE(SetupDiRemoveDeviceInterface(set_, &interface_));
    const platform::DeviceInfoSet after = api.GetClassDevices(kTestInterfaceClass);
    ASSERT_NE(after, kInvalidHandle);
    EXPECT_FALSE(api.EnumDeviceInterface(after, kTestInterfaceClass, 0, &data));
    api.DestroyDeviceInfoList(after);
}

TEST(Win32UsbIo, TheWalksClassesAreThePlatformsAndEachWalksToItsEnd) {
    EXPECT_TRUE(SameGuid(platform::kGuidUsbHostController, GUID_DEVINTERFACE_USB_HOST_CONTROLLER));
    EXPECT_TRUE(SameGuid(platform::kGuidDisk, GUID_DEVINTERFACE_DISK));
    EXPECT_TRUE(SameGuid(platform::kGuidVolume, GUID_DEVINTERFACE_VOLUME));

    // Whatever the machine has (nothing, under wine), every interface has a detail.
    for (const platform::Guid* guid :
         {&platform::kGuidUsbHostController, &platform::kGuidAuxInterface, &platform::kGuidDisk,
          &platform::kGuidVolume}) {
        const platform::DeviceInfoSet set = api.GetClassDevices(*guid);
        ASSERT_NE(set, kInvalidHandle);
        std::uint32_t index = 0;
        platform::DeviceInterfaceData data{};
        for (; index < 64 && api.EnumDeviceInterface(set, *guid, index, &data); ++index) {
            std::uint32_t size = 0;
            ASSERT_TRUE(api.GetDeviceInterfaceDetailSize(set, &data, &size));
            std::array<char16_t, 260> path{};
            platform::DevInst node = 0;
            ASSERT_TRUE(api.GetDeviceInterfaceDetail(set, &data, size, path, &node));
            EXPECT_EQ(Text(path.data()).substr(0, 4), u"\\\\?\\");
        }
        EXPECT_LT(index, 64u);
        api.DestroyDeviceInfoList(set);
    }

    // Nodes that do not exist have neither parent nor driver property.
    platform::DevInst parent = 0;
    EXPECT_FALSE(api.GetParentDevInst(0x7FFF'FFF0u, &parent));
    std::array<std::uint8_t, 200> driver{};
    std::uint32_t length = 0;
    EXPECT_FALSE(api.GetDevNodeDriverProperty(0x7FFF'FFF0u, driver, &length));
}

TEST(Win32UsbIo, DrivesVolumesAndTheirNames) {
    EXPECT_EQ(api.DriveType(u"C:\\"), platform::kDriveFixed);
    char16_t unused[] = u"?:\\";
    const DWORD drives = GetLogicalDrives();
    for (int letter = 25; letter >= 2 && unused[0] == u'?'; --letter)
        if ((drives & (1u << letter)) == 0)
            unused[0] = static_cast<char16_t>(u'A' + letter);
    ASSERT_NE(unused[0], u'?');
    EXPECT_EQ(api.DriveType(unused), platform::kDriveNoRootDir);
    EXPECT_EQ(api.DriveType(u"C:\\no such folder\\"), platform::kDriveNoRootDir);

    // C:'s volume name, and back to its mount paths: a list ended by an empty string.
    std::array<char16_t, 260> name{};
    ASSERT_TRUE(api.VolumeNameForMountPoint(u"C:\\", name));
    const std::u16string volume = Text(name.data());
    EXPECT_EQ(volume.substr(0, 11), u"\\\\?\\Volume{");
    EXPECT_EQ(volume.back(), u'\\');
    std::array<char16_t, 8> tooShort{};
    EXPECT_FALSE(api.VolumeNameForMountPoint(u"C:\\", tooShort));
    EXPECT_FALSE(api.VolumeNameForMountPoint(unused, name));

    std::array<char16_t, 260> paths{};
    paths.fill(u'#');
    std::uint32_t returned = 0;
    ASSERT_TRUE(api.VolumePathNames(volume.c_str(), paths, &returned));
    EXPECT_EQ(Text(paths.data()), u"C:\\");
    EXPECT_EQ(paths[4], u'\0');
    EXPECT_EQ(returned, 5u);

    // The walk turns one buffer into the name and then the paths, in place.
    std::array<char16_t, 260> buffer{};
    std::memcpy(buffer.data(), u"C:\\", 4 * sizeof(char16_t));
    ASSERT_TRUE(api.VolumeNameForMountPoint(buffer.data(), buffer));
    EXPECT_EQ(Text(buffer.data()), volume);
    ASSERT_TRUE(api.VolumePathNames(buffer.data(), buffer, &returned));
    EXPECT_EQ(Text(buffer.data()), u"C:\\");

    // Opening a volume with no access rights, and a path that is not there.
    const platform::Handle handle = api.OpenDeviceWith(
        u"\\\\.\\C:", platform::kNoAccess, platform::kShareRead | platform::kShareWrite);
    ASSERT_NE(handle, kInvalidHandle);
    EXPECT_TRUE(win32api::CloseDeviceHandle(handle));
    EXPECT_EQ(
        api.OpenDeviceWith(u"\\\\.\\NoSuchDevice0", platform::kNoAccess, platform::kShareWrite),
        kInvalidHandle);

    EXPECT_NE(api.SystemDefaultLangId(), 0);
}

}  // namespace

#endif  // _WIN32
