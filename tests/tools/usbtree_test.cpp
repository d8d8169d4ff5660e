#include "tools/usbtree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sim/faults.h"
#include "platform/sim/station.h"
#include "platform/sim/station_file.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// A root hub with an empty port, a hub whose registry key is gone (it and its ports vanish,
// so the ports after it move up), a downstream hub with a disk and a CD-ROM device, and a
// keyboard without strings.
constexpr char kStation[] = R"(controller
    description Test Host Controller
    root-hub
        description "@usb.inf,%roothub%;Root Hub"
        ports 4
        port 1 empty
        port 2 hub
            ports 2
            missing enum-key
            port 1 device
        port 3 hub
            description Generic Hub
            ports 2
            port 1 device
                vid 1234
                pid 7730
                driver-key {36fc9e60-c465-11cf-8056-444553540000}\0012
                manufacturer "Say ""hi"""
                product Flash
                serial 0001
                disk 3
                    volume E
            port 2 device
                description CD Device
                driver-key {36fc9e60-c465-11cf-8056-444553540000}\0013
                cdrom J
        port 4 device
            description Keyboard
            driver-key {36fc9e60-c465-11cf-8056-444553540000}\0014
            vid 046a
            pid 0011
            manufacturer-index 0
            product-index 0
            serial-index 0
)";

class UsbTreeTool : public ::testing::Test {
  protected:
    void SetUp() override { std::ofstream(dir / "line.station") << kStation; }
    void TearDown() override {
        sim::Faults::Reset();
        sim::Station::Get().Reset();
    }

    // `armed`: the counted platform calls after the station is loaded that fail (1: the first).
    int Run(std::vector<std::string> args, tools::UsbTreeSystem system = {},
            std::vector<std::uint64_t> armed = {}) {
        std::ostringstream o;
        std::ostringstream e;
        system.loadStation = [armed](const std::string& path, std::string* error) {
            const sim::StationFileResult result = sim::LoadStationFile(path);
            *error = result.error;
            sim::Faults::Reset();
            if (!armed.empty())
                sim::Faults::Arm(armed[0]);
            if (armed.size() > 1)
                sim::Faults::ArmAlso(armed[1]);
            return result.ok;
        };
        const int rc = tools::RunUsbTree(args, system, o, e);
        out = o.str();
        err = e.str();
        return rc;
    }

    const testsupport::TempFolder dir{"usbtree"};
    std::string out;
    std::string err;
};

TEST_F(UsbTreeTool, PrintsTheDialogsTreeWithOrdinalsThenTheDevices) {
    ASSERT_EQ(Run({"--station", (dir / "line.station").string()}), 0) << err;
    EXPECT_EQ(out,
              "Test Host Controller\n"
              "  Root Hub\n"
              "    [Port1]NoDeviceConnected #1\n"
              "    DeviceConnected: Generic Hub\n"
              "      [Port1]DeviceConnected: USB Mass Storage Device #2\n"
              "      [Port2]DeviceConnected: CD Device #3\n"
              "    [Port4]DeviceConnected: Keyboard #4\n"
              "\n"
              "2 1.3.1 vid=1234 pid=7730 key={36fc9e60-c465-11cf-8056-444553540000}\\0012 "
              "desc=\"USB Mass Storage Device\" disks=3 volumes=E:2:3\n"
              "3 1.3.2 vid=1F75 pid=0917 key={36fc9e60-c465-11cf-8056-444553540000}\\0013 "
              "desc=\"CD Device\" disks=- volumes=J:5:-1\n"
              "4 1.4 vid=046A pid=0011 key={36fc9e60-c465-11cf-8056-444553540000}\\0014 "
              "desc=\"Keyboard\" disks=- volumes=-\n");
}

TEST_F(UsbTreeTool, StringsAreReadOnlyWhenAskedAndQuotedSafely) {
    ASSERT_EQ(Run({"--strings", "--station", (dir / "line.station").string()}), 0) << err;
    EXPECT_NE(out.find(" desc=\"USB Mass Storage Device\" manufacturer=\"Say \\\"hi\\\"\" "
                       "product=\"Flash\" serial=\"0001\" disks=3"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("desc=\"Keyboard\" manufacturer=\"\" product=\"\" serial=\"\" disks=-"),
              std::string::npos)
        << out;
}

TEST_F(UsbTreeTool, VolumesGoByTheSystemsNamesWhereItHasThem) {
    tools::UsbTreeSystem system;
    system.volumeName = [](char16_t letter) {
        return letter == u'E' ? std::string("/dev/sdx1") : std::string();
    };
    ASSERT_EQ(Run({"--station", (dir / "line.station").string()}, system), 0) << err;
    EXPECT_NE(out.find(" disks=3 volumes=/dev/sdx1:2:3\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" disks=- volumes=J:5:-1\n"), std::string::npos) << out;
}

// A walk that met no host controller could not look: it fails and says why. A controller
// without devices is a tree like any other.
TEST_F(UsbTreeTool, AWalkWithoutAHostControllerFailsWithItsReason) {
    const std::string station = (dir / "walk.station").string();
    std::ofstream(station) << "code-page 1252\n";
    EXPECT_EQ(Run({"--station", station}), 1);
    EXPECT_EQ(err, "tavrin-usbtree: no USB host controller found (the system lists none)\n");
    EXPECT_TRUE(out.empty()) << out;

    std::ofstream(station) << "controller\n    missing class-key\n"
                              "controller\n    fails open\n";
    EXPECT_EQ(Run({"--station", station}), 1);
    EXPECT_EQ(err,
              "tavrin-usbtree: no USB host controller found (2 listed, none answered the "
              "walk)\n");
    EXPECT_TRUE(out.empty()) << out;

    tools::UsbTreeSystem system;
    system.whyNoController = [] { return std::string("/sys/bus/usb/devices: gone"); };
    EXPECT_EQ(Run({"--station", station}, system), 1);
    EXPECT_EQ(err, "tavrin-usbtree: no USB host controller found (/sys/bus/usb/devices: gone)\n");

    // The system refusing the list of controllers, for the walk and again when asked why: one
    // of the calls that follow the walk's first is the second question.
    EXPECT_EQ(Run({"--station", (dir / "line.station").string()}, {}, {1}), 1);
    const std::uint64_t calls = sim::Faults::Calls();
    bool refused = false;
    for (std::uint64_t also = 2; also <= calls && !refused; ++also) {
        EXPECT_EQ(Run({"--station", (dir / "line.station").string()}, {}, {1, also}), 1);
        refused = err ==
                  "tavrin-usbtree: no USB host controller found (the system refused the list of "
                  "host controllers)\n";
    }
    EXPECT_TRUE(refused) << err;
    EXPECT_TRUE(out.empty()) << out;

    std::ofstream(station) << "controller\n    description Bare\n    root-hub\n        ports 1\n"
                              "        port 1 empty\n";
    EXPECT_EQ(Run({"--station", station}, system), 0) << err;
    EXPECT_EQ(out, "Bare\n  USB Root Hub (USB 3.0)\n    [Port1]NoDeviceConnected #1\n\n");
    EXPECT_TRUE(err.empty()) << err;
}

TEST_F(UsbTreeTool, BadArgumentsAndStationsExitTwo) {
    EXPECT_EQ(Run({"--station", (dir / "missing.station").string()}), 2);
    EXPECT_NE(err.find("missing.station"), std::string::npos);
    EXPECT_EQ(Run({}), 2);  // built with the virtual station, there is nothing else to walk
    EXPECT_EQ(Run({"--strings", "--bogus"}), 2);
    std::ofstream(dir / "bad.station") << "controller\n    rooot-hub\n";
    EXPECT_EQ(Run({"--station", (dir / "bad.station").string()}), 2);
    EXPECT_NE(err.find("line 2"), std::string::npos) << err;
    EXPECT_TRUE(out.empty());
}

}  // namespace
