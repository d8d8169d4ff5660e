// Every platform call of a port dialog run failing in turn, one per run: the dialog loads the
// settings and the port map, walks the USB tree into its tree control and is closed with OK,
// which writes the map and the settings. Whatever fails leaves nothing open, and the tree holds
// only what the walk could read, in the same order; a write that fails is told, keeps the old map
// byte for byte and the dialog open.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/res/resource.h"
#include "platform/sim/faults.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"
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
// Written again by a clean OK as they are, but the path, which it stores relative.
constexpr char kOldMap[] =
    "[PortMap]\r\nusb01=1\r\nusb02=2\r\nusb04=3\r\n[Setting]\r\nENABLE_PORT=1\r\n";
constexpr char kOldSettings[] = "[Setting]\r\nPORT_FILE=C:\\Tools\\Tavrin\\a.pfg\r\n";

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
    std::vector<std::u16string> boxes;
    bool newLeft = false;  // the new map's file beside the old one
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
        WriteFile(kSettings, kOldSettings);
        WriteFile(kMap, kOldMap);
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
        for (const auto& box : ui::testing::ErrorBoxes())
            out.boxes.push_back(box.text);
        out.newLeft = Exists(std::u16string(kMap) + u".new");
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
        ASSERT_EQ(clean.map, kOldMap);
        ASSERT_EQ(clean.settings, "[Setting]\r\nPORT_FILE=a.pfg\r\n");
        EXPECT_EQ(clean.open.total(), 0u);
    };
    const auto checkFailure = [](const Outcome& clean, const Outcome& got, std::uint64_t k,
                                 sim::FaultCall kind) {
        faultsweep::ExpectNothingOpen(got.open);
        EXPECT_FALSE(got.newLeft);
        // A write that failed is told. Only the port file's path not read, or a write that failed
        // (but the new file's: Save then writes the map elsewhere), keeps OK from closing.
        const bool write = kind == sim::FaultCall::ProfileWrite ||
                           kind == sim::FaultCall::ProfileFlush ||
                           kind == sim::FaultCall::MoveFile || kind == sim::FaultCall::CreateFile;
        EXPECT_EQ(got.told, write ? 1u : 0u) << faultsweep::Join(got.boxes);
        const bool stays = (kind == sim::FaultCall::ProfileRead && k == 1) ||
                           (write && kind != sim::FaultCall::CreateFile);
        EXPECT_EQ(got.result, stays ? IDCANCEL : IDOK);
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
        const bool settingsFailed =
            got.told != 0 && platform::ToUtf8(got.boxes[0]).rfind("The port map was saved", 0) == 0;
        if (settingsFailed) {
            // The map is written whole first; the settings not written, or written but not
            // flushed, which the operator is told alike.
            EXPECT_EQ(got.result, IDCANCEL);
            EXPECT_EQ(got.map, clean.map);
            EXPECT_EQ(got.settings,
                      kind == sim::FaultCall::ProfileFlush ? clean.settings : kOldSettings);
        } else if (got.result == IDCANCEL) {
            // Nothing written, or not all of it: the map as it was, byte for byte, and the
            // settings too.
            EXPECT_EQ(got.map, kOldMap);
            EXPECT_EQ(got.settings, kOldSettings);
        } else {
            EXPECT_EQ(mapPorts, tickedPorts) << got.map;
            // The switch is written as it was read; one not read is 0.
            const bool on = got.map.find("[Setting]\r\nENABLE_PORT=1\r\n") != std::string::npos;
            const bool off = got.map.find("[Setting]\r\nENABLE_PORT=0\r\n") != std::string::npos;
            EXPECT_TRUE(on || (off && kind == sim::FaultCall::ProfileRead)) << got.map;
            EXPECT_EQ(got.settings, clean.settings);
        }
        if (kind == sim::FaultCall::CreateFile) {
            EXPECT_EQ(got.map, clean.map) << "saved through the file dialog instead";
        }
    };
    faultsweep::Sweep([this](std::uint64_t k) { return RunOnce(k); }, checkClean, checkFailure);
}

// Each call of a Save or an OK failing in turn, once the tree is loaded and one more port ticked:
// the operator is told once, the dialog stays open, nothing is left beside the map, and the map and
// the settings keep their bytes; only a failure of the settings, written last, finds the new map
// whole in place.
struct Written {
    std::string map;
    std::string settings;
    bool open = false;  // the dialog, after the button: not ended by it
    std::vector<std::u16string> boxes;
    bool newLeft = false;
    std::optional<sim::FaultCall> failed;
};

TEST_F(PortDialogFaultsTest, EachFailingCallOfSaveOrOkKeepsTheOldMapAndTheDialogOpen) {
    const std::string newKeys = "[PortMap]\r\nusb01=1\r\nusb02=2\r\nusb04=3\r\nusb05=4\r\n";
    for (const int button : {IDB_SAVE, IDOK}) {
        SCOPED_TRACE(button == IDOK ? "OK" : "Save");
        const auto run = [&](std::uint64_t k) {
            sim::Station::Get().Reset();
            ui::testing::Reset();
            sim::Station::Get().Usb().SetMachine(Station());
            WriteFile(kSettings, kOldSettings);
            WriteFile(kMap, kOldMap);
            ui::testing::KeepErrorBoxes();
            // Save asked for the map's own file; OK led into Save (its file not made) cancelled.
            if (button == IDB_SAVE)
                ui::testing::QueueFileDialogAnswer(kMap);
            else
                ui::testing::QueueFileDialogCancel();
            Written out;
            usb::CUsbPort dialog;
            ui::WhenIdle([&] {
                EXPECT_TRUE(
                    WaitServingSentMessages([&] { return !dialog.IsWorkerRunning(); }, 10000));
                // The second controller's port: ordinal 5, station port 4.
                const HTREEITEM second = dialog.tree.GetNextSiblingItem(dialog.tree.GetRootItem());
                dialog.tree.SetCheck(dialog.tree.GetChildItem(dialog.tree.GetChildItem(second)),
                                     true);
                sim::Faults::Reset();
                sim::Faults::Arm(k);
                SendMessage(dialog.GetDlgItem(button), BM_CLICK);
                out.failed = sim::Faults::FirstFailed();
                out.map = ReadFile(kMap);
                out.settings = ReadFile(kSettings);
                for (const auto& box : ui::testing::ErrorBoxes())
                    out.boxes.push_back(box.text);
                out.newLeft = Exists(std::u16string(kMap) + u".new");
                // After the button: a dialog still there is cancelled.
                const HWND window = dialog.m_hWnd;
                ui::WhenIdle([window] {
                    if (IsWindow(window))
                        SendMessage(window, WM_COMMAND, IDCANCEL, 0);
                });
            });
            out.open = dialog.DoModal() != IDOK;
            return out;
        };
        const std::string whole =
            button == IDOK ? newKeys + "[Setting]\r\nENABLE_PORT=1\r\n" : newKeys;
        const auto clean = [&](const Written& got, std::uint64_t) {
            EXPECT_EQ(got.map, whole);
            EXPECT_EQ(got.open, button != IDOK);
            EXPECT_EQ(got.settings, button == IDOK ? "[Setting]\r\nPORT_FILE=a.pfg\r\n"
                                                   : std::string(kOldSettings));
            EXPECT_TRUE(got.boxes.empty()) << faultsweep::Join(got.boxes);
            EXPECT_FALSE(got.newLeft);
        };
        const auto failed = [&](const Written& cleanRun, const Written& got, std::uint64_t,
                                sim::FaultCall kind) {
            EXPECT_TRUE(got.open);
            EXPECT_FALSE(got.newLeft);
            ASSERT_EQ(got.boxes.size(), 1u);
            if (platform::ToUtf8(got.boxes[0]).rfind("The port map was saved", 0) == 0) {
                EXPECT_EQ(button, IDOK);
                EXPECT_EQ(got.map, whole);
                EXPECT_EQ(got.settings, kind == sim::FaultCall::ProfileFlush
                                            ? cleanRun.settings
                                            : std::string(kOldSettings));
            } else {
                EXPECT_EQ(got.map, kOldMap);
                EXPECT_EQ(got.settings, kOldSettings);
            }
        };
        faultsweep::Sweep(run, clean, failed, faultsweep::Sample::kEveryCall);
    }
}

}  // namespace
