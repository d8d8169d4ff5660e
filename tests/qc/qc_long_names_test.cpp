// Long names on a station, end to end: a hub with a name of 100 characters and a disk whose
// driver key has a five-digit instance number still put their disks in the rows of their ports.
#include <gtest/gtest.h>

#include <string>

#include "tests/qc/qc_run_fixture.h"

namespace {

using namespace qctest;

constexpr char kFourPorts[] =
    "[PortMap]\r\nusb01=1\r\nusb02=2\r\nusb03=3\r\nusb04=4\r\n[Setting]\r\nENABLE_PORT=1\r\n";

sim::UsbDevice QcDisk(int number, char16_t letter) {
    sim::VirtualDisk& disk = sim::Station::Get().AddDisk(number);
    disk.SetModel("RV7730");
    disk.block = sim::SampleInfoBlock().Bytes();
    return sim::FlashDisk(number, letter);
}

TEST_F(QcRunTest, LongHubNamesAndDriverKeysKeepTheirDisksInTheirRows) {
    WriteSettings(SampleCheckFile({u"vid"}), kFourPorts);
    // Root port 1: a hub (ordinals 1 and 2) with a disk on its port 2; root port 2 (ordinal 3):
    // a disk whose driver key is 44 characters long.
    sim::UsbHub hub = sim::Hub(2);
    hub.symbolicName = u"USB#VID_05E3&PID_0608#" + std::u16string(39, u'5') +
                       u"#{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
    hub.ports[1] = sim::UsbPort::With(QcDisk(2, u'F'));
    sim::UsbDevice fiveDigits = QcDisk(3, u'G');
    fiveDigits.driverKey = u"{36fc9e60-c465-11cf-8056-444553540000}\\10012";
    sim::UsbController controller = sim::Controller(4);
    controller.rootHub.ports[0] = sim::UsbPort::WithHub(hub);
    controller.rootHub.ports[1] = sim::UsbPort::With(fiveDigits);
    sim::UsbMachine machine;
    machine.controllers.push_back(controller);
    sim::Station::Get().Usb().SetMachine(machine);

    RunSteps({
        [](app::CTavrinDlg& dialog) {
            ASSERT_EQ(dialog.results.portMode(), 1);
            ASSERT_GE(Rows(dialog), 4);
            for (int row = 0; row < Rows(dialog); ++row) {
                EXPECT_EQ(Cell(dialog, row, 1), row == 1 ? u"F" : row == 2 ? u"G" : u"") << row;
            }
            EXPECT_EQ(Cell(dialog, 1, 3), u"1234");
            EXPECT_EQ(Cell(dialog, 2, 3), u"1234");
        },
    });
}

}  // namespace
