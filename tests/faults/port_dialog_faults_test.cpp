// Every platform call of a port dialog run failing in turn, one per run: the dialog loads the
// settings and the port map, walks the USB tree into its tree control and is closed with OK,
// which writes the map and the settings. Whatever fails, the dialog ends, leaves nothing open,
// and its tree holds only what the walk could read, in the same order.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/res/resource.h"
#include "platform/sim/faults.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_machine.h"
#include "platform/text.h"
#include "platform/ui_testing.h"
#include "tests/support/fault_sweep.h"
#include "tests/support/program_folder.h"
#include "tests/support/ui_thread.h"
#include "usb/usb_port.h"

namespace {

using namespace ui;

using testsupport::kSettings;
constexpr char16_t kMap[] = u"C:\\Tools\\Tavrin\\a.pfg";

//   Test Controller
//     root hub: [1] flash disk, hub ([2] keyboard, [3] empty), [4] flash disk
//   Second Controller: [5] empty
sim::UsbMachine Station() {
    sim::UsbController first = sim::Controller(3);
    first.driverDesc = u"Test Controller";
    first.rootHub.ports[0] = sim::UsbPort::With(sim::FlashDisk(1, u'E'));
    sim::UsbHub hub = sim::Hub(2);
    hub.deviceDesc = u"Hub A";
    hub.ports[0] = sim::UsbPort::With(sim::Keyboard());
    first.rootHub.ports[1] = sim::UsbPort::WithHub(hub);
    first.rootHub.ports[2] = sim::UsbPort::With(sim::FlashDisk(2, u'F'));
    sim::UsbController second = sim::Controller(1);
    second.driverDesc = u"Second Controller";
    sim::UsbMachine machine;
    machine.controllers = {first, second};
    return machine;
}

struct Outcome {
    std::vector<std::string> tree;  // one line an item: depth and text
    std::string ticks;              // one an item: 'x' checked
    std::string map;
    std::string settings;
    INT_PTR result = 0;
    std::optional<sim::FaultCall> failed;
    faultsweep::LeftOpen open;
    std::size_t told = 0;  // error boxes
};

// What a line of the walk's tree may shrink to: a description that could not be read is empty
// ("DeviceConnected: ", or no text for a hub), and a port whose connection could not be read is
// listed as empty (a downstream hub on it too, whose line then gets the port's number).
bool ShrinksTo(const std::string& whole, const std::string& part) {
    const std::size_t indent = whole.find_first_not_of(' ');
    if (part.size() < indent ||
        part.substr(0, indent).find_first_not_of(' ') != std::string::npos ||
        (part.size() > indent && part[indent] == ' '))
        return false;
    const std::string w = whole.substr(indent), p = part.substr(indent);
    if (p == w || p.empty())
        return true;
    const bool portLine = w.rfind("[Port", 0) == 0;
    const std::size_t colon = w.find(": ");
    if (colon != std::string::npos && p == w.substr(0, colon + 2))
        return true;
    if (p.rfind("[Port", 0) == 0 && p.find(']') != std::string::npos &&
        p.substr(p.find(']') + 1) == "NoDeviceConnected")
        return !portLine || w.substr(0, w.find(']')) == p.substr(0, p.find(']'));
    return false;
}

// `part` is `whole` with some lines left out and some shrunk, the rest in the same order.
bool IsShrunkFrom(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    std::size_t at = 0;
    for (const std::string& line : part) {
        while (at < whole.size() && !ShrinksTo(whole[at], line))
            ++at;
        if (at == whole.size())
            return false;
        ++at;
    }
    return true;
}

class PortDialogFaultsTest : public ::testing::Test, protected testsupport::ProgramFolder {
  protected:
    PortDialogFaultsTest() : ProgramFolder("port-faults") {}
    void TearDown() override {
        ui::testing::Reset();
        sim::Station::Get().Reset();
    }

    Outcome RunOnce(std::uint64_t k) {
        sim::Station::Get().Reset();
        ui::testing::Reset();
        sim::Station::Get().Usb().SetMachine(Station());
        WriteFile(kSettings, "[Setting]\r\nPORT_FILE=a.pfg\r\n");
        WriteFile(kMap,
                  "[PortMap]\r\nusb01=1\r\nusb02=2\r\nusb04=3\r\n[Setting]\r\nENABLE_PORT=1\r\n");
        // Where Save leads when the map cannot be made on OK.
        ui::testing::QueueFileDialogAnswer(kMap);
        ui::testing::KeepErrorBoxes();

        Outcome out;
        sim::Faults::Reset();
        sim::Faults::Arm(k);
        usb::CUsbPort dialog;
        bool ran = false;
        ui::WhenIdle([&] {
            ran = true;
            EXPECT_TRUE(WaitServingSentMessages([&] { return !dialog.IsWorkerRunning(); }, 10000));
            std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
                for (; item != nullptr; item = dialog.tree.GetNextSiblingItem(item)) {
                    std::string line(2 * depth, ' ');
                    line += platform::ToUtf8(dialog.tree.GetItemText(item));
                    out.tree.push_back(line);
                    out.ticks += dialog.tree.GetCheck(item) ? 'x' : '.';
                    walk(dialog.tree.GetChildItem(item), depth + 1);
                }
            };
            walk(dialog.tree.GetRootItem(), 0);
            SendMessage(dialog.GetDlgItem(IDOK), BM_CLICK);
            // OK without a port file does nothing.
            const HWND window = dialog.m_hWnd;
            ui::WhenIdle([window] {
                if (IsWindow(window))
                    SendMessage(window, WM_COMMAND, IDCANCEL, 0);
            });
        });
        out.result = dialog.DoModal();
        EXPECT_TRUE(ran);
        out.failed = sim::Faults::FirstFailed();
        out.open = faultsweep::OpenNow();
        out.map = ReadFile(kMap);
        out.settings = ReadFile(kSettings);
        out.told = ui::testing::ErrorBoxes().size();
        return out;
    }
};

TEST_F(PortDialogFaultsTest, FailingEachEarlyCallThenASampleLeavesASmallerTree) {
    const auto checkClean = [](const Outcome& clean, std::uint64_t) {
        ASSERT_EQ(clean.result, IDOK);
        ASSERT_EQ(clean.tree, (std::vector<std::string>{
                                  "Test Controller",
                                  "  USB Root Hub (USB 3.0)",
                                  "    [Port1]DeviceConnected: USB Mass Storage Device",
                                  "    DeviceConnected: Hub A",
                                  "      [Port1]DeviceConnected: USB Input Device",
                                  "      [Port2]NoDeviceConnected",
                                  "    [Port3]DeviceConnected: USB Mass Storage Device",
                                  "Second Controller",
                                  "  USB Root Hub (USB 3.0)",
                                  "    [Port1]NoDeviceConnected",
                              }));
        ASSERT_EQ(clean.ticks, "..x.x.x...");
        ASSERT_EQ(clean.map,
                  "[PortMap]\r\nusb01=1\r\nusb02=2\r\nusb04=3\r\n[Setting]\r\nENABLE_PORT=1\r\n");
        EXPECT_EQ(clean.open.total(), 0u);
    };
    const auto checkFailure = [](const Outcome& clean, const Outcome& got, std::uint64_t k,
                                 sim::FaultCall kind) {
        faultsweep::ExpectNothingOpen(got.open);
        // Only the port file's path not read, or a map that could not be written whole (which
        // the operator is told), keeps OK from closing.
        EXPECT_EQ(got.result, (kind == sim::FaultCall::ProfileRead && k == 1) || got.told != 0
                                  ? IDCANCEL
                                  : IDOK);
        EXPECT_LE(got.told, 1u);
        EXPECT_LE(got.tree.size(), clean.tree.size());
        EXPECT_TRUE(IsShrunkFrom(got.tree, clean.tree)) << ::testing::PrintToString(got.tree);
        switch (kind) {
            case sim::FaultCall::ProfileRead: {
                // A setting or a port not read: the tree is whole, at most one tick is lost; all of
                // them when the port file's path was not read.
                EXPECT_EQ(got.tree, clean.tree);
                if (k == 1) {
                    EXPECT_EQ(got.ticks, std::string(clean.ticks.size(), '.'));
                    break;
                }
                int lost = 0;
                for (std::size_t i = 0; i < got.ticks.size() && i < clean.ticks.size(); ++i) {
                    EXPECT_FALSE(got.ticks[i] == 'x' && clean.ticks[i] != 'x') << i;
                    lost += got.ticks[i] != clean.ticks[i];
                }
                EXPECT_LE(lost, 1);
                break;
            }
            case sim::FaultCall::ProfileWrite:
            case sim::FaultCall::CreateFile:
                EXPECT_EQ(got.tree, clean.tree);
                EXPECT_EQ(got.ticks, clean.ticks);
                break;
            default:
                break;
        }
        // The map holds one line for each ticked port, unless that line's write failed.
        const std::vector<std::string> mapLines = faultsweep::Lines(got.map);
        std::size_t tickedPorts = 0, mapPorts = 0;
        for (std::size_t i = 0; i < got.tree.size(); ++i)
            tickedPorts += got.ticks[i] == 'x' && got.tree[i].find("[Port") != std::string::npos;
        for (const std::string& line : mapLines)
            mapPorts += line.rfind("usb", 0) == 0;
        if (got.told != 0) {
            // A key of the map not written: no half map is left to put disks on wrong rows.
            EXPECT_EQ(kind, sim::FaultCall::ProfileWrite);
            EXPECT_EQ(got.map, "");
            EXPECT_EQ(got.settings, clean.settings);
        } else if (got.result == IDCANCEL) {
            EXPECT_EQ(got.map, clean.map) << "Cancel writes nothing";
        } else if (kind == sim::FaultCall::ProfileWrite) {
            // The path or the switch not written: the map is whole.
            EXPECT_EQ(mapPorts, tickedPorts);
            for (const std::string& line : mapLines)
                EXPECT_NE(clean.map.find(line), std::string::npos) << line;
        } else {
            EXPECT_EQ(mapPorts, tickedPorts) << got.map;
            // The switch is written as it was read; one not read is 0.
            const bool on = got.map.find("[Setting]\r\nENABLE_PORT=1\r\n") != std::string::npos;
            const bool off = got.map.find("[Setting]\r\nENABLE_PORT=0\r\n") != std::string::npos;
            EXPECT_TRUE(on || (off && kind == sim::FaultCall::ProfileRead)) << got.map;
        }
        if (kind == sim::FaultCall::CreateFile) {
            EXPECT_EQ(got.map, clean.map) << "saved through the file dialog instead";
        }
        if (got.told == 0 && kind != sim::FaultCall::ProfileWrite &&
            kind != sim::FaultCall::ProfileRead && kind != sim::FaultCall::CreateFile) {
            EXPECT_EQ(got.settings, clean.settings);
        }
    };
    faultsweep::Sweep([this](std::uint64_t k) { return RunOnce(k); }, checkClean, checkFailure);
}

// Save into a file that cannot be emptied (the call failing as for a hidden or system file, or
// one held by another program): nothing is written into it, the operator is told.
TEST_F(PortDialogFaultsTest, SaveIntoAFileThatCannotBeEmptiedWritesNothing) {
    sim::Station::Get().Reset();
    ui::testing::Reset();
    sim::Station::Get().Usb().SetMachine(Station());
    const std::string old = "[PortMap]\r\nusb05=1\r\n";
    WriteFile(kMap, old);
    ui::testing::KeepErrorBoxes();
    usb::CUsbPort dialog;
    ui::WhenIdle([&] {
        EXPECT_TRUE(WaitServingSentMessages([&] { return !dialog.IsWorkerRunning(); }, 10000));
        ui::testing::QueueFileDialogAnswer(kMap);
        sim::Faults::Reset();
        sim::Faults::Arm(1);
        SendMessage(dialog.GetDlgItem(IDB_SAVE), BM_CLICK);
        EXPECT_EQ(sim::Faults::FirstFailed(), sim::FaultCall::CreateFile);
        SendMessage(dialog.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(ReadFile(kMap), old);
    EXPECT_EQ(ui::testing::ErrorBoxes().size(), 1u);
}

}  // namespace
