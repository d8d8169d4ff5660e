// The port selection dialog run modally on a virtual station, on either window backend (natively
// on the headless one, under wine on the real controls): the tree it builds from the walk, the
// operator's clicks, and what lands in the port map and settings files.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "platform/sim/faults.h"
#include "platform/sim/files.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"
#include "platform/text.h"
#include "platform/ui_testing.h"
#include "tests/support/listed_devices.h"
#include "tests/support/program_folder.h"
#include "tests/support/tree_click.h"
#include "tests/support/ui_thread.h"
#include "usb/res/port_select.h"
#include "usb/usb_port.h"

namespace {

using namespace ui;
using uitest::ClickTreeItem;

using testsupport::kSettings;
constexpr char16_t kDir[] = u"C:\\Tools\\Tavrin\\";

sim::UsbHub Described(sim::UsbHub hub, std::u16string desc) {
    hub.deviceDesc = std::move(desc);
    return hub;
}

// Ordinals in brackets:
//   Test xHCI Controller
//     root hub: [1] empty, [2] flash disk, hub A ([3] empty, [4] keyboard),
//               hub B ([5] empty, hub C ([6] empty), [7] empty), [8] empty
//   Second Controller: its root hub cannot be read, so the item is a leaf.
sim::UsbMachine Station() {
    sim::UsbController first = sim::Controller(5);
    first.driverDesc = u"Test xHCI Controller";
    first.rootHub.deviceDesc = u"@usb.inf,%usb\\roothub%;USB Root Hub (USB 3.0)";
    first.rootHub.ports[1] = sim::UsbPort::With(sim::FlashDisk(1, u'E'));
    sim::UsbHub a = Described(sim::Hub(2), u"@usb.inf,%hub%;Generic USB Hub");
    a.ports[1] = sim::UsbPort::With(sim::Keyboard());
    first.rootHub.ports[2] = sim::UsbPort::WithHub(a);
    sim::UsbHub b = Described(sim::Hub(3), u"Hub B");
    b.ports[1] = sim::UsbPort::WithHub(Described(sim::Hub(1), u"x;Hub C;c"));
    first.rootHub.ports[3] = sim::UsbPort::WithHub(b);
    sim::UsbController second = sim::Controller(2);
    second.driverDesc = u"Second Controller";
    second.rootHub.enumKeyPresent = false;
    sim::UsbMachine machine;
    machine.controllers = {first, second};
    return machine;
}

// Tree order of the station above.
enum Node { kC0, kRoot, kP1, kP2, kHubA, kP3, kP4, kHubB, kP5, kHubC, kP6, kP7, kP8, kC1 };

class PortDialogTest : public ::testing::Test, protected testsupport::ProgramFolder {
  protected:
    PortDialogTest() : ProgramFolder("port") {}
    void SetUp() override {
        sim::Station::Get().Reset();
        std::filesystem::create_directories(Host(u"C:\\Tools\\Tavrin\\lines"));
        ui::testing::Reset();
        sim::Station::Get().Usb().SetMachine(Station());
    }
    void TearDown() override {
        ui::testing::Reset();
        sim::Station::Get().Reset();
    }

    // Runs `dialog` modally; `script` runs once the worker has filled the tree, and ends it.
    INT_PTR Run(usb::CUsbPort& dialog, const std::function<void()>& script) {
        bool ran = false;
        ui::WhenIdle([&] {
            ran = true;
            EXPECT_TRUE(WaitServingSentMessages([&] { return !dialog.IsWorkerRunning(); }, 10000));
            script();
            const HWND window = dialog.m_hWnd;
            ui::WhenIdle([window] {
                if (!IsWindow(window))
                    return;
                ADD_FAILURE() << "the script left the dialog open";
                ui::SendMessage(window, WM_COMMAND, IDCANCEL, 0);
            });
        });
        const INT_PTR result = dialog.DoModal();
        EXPECT_TRUE(ran);
        return result;
    }

    // Every item in tree order.
    static std::vector<HTREEITEM> Items(CTreeCtrl& tree) {
        std::vector<HTREEITEM> items;
        std::function<void(HTREEITEM)> walk = [&](HTREEITEM item) {
            for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
                items.push_back(item);
                walk(tree.GetChildItem(item));
            }
        };
        walk(tree.GetRootItem());
        return items;
    }
    // One line per item: depth, text, data, "x" when checked.
    static std::string Dump(CTreeCtrl& tree) {
        std::string out;
        for (HTREEITEM item : Items(tree)) {
            int depth = 0;
            for (HTREEITEM p = tree.GetParentItem(item); p != nullptr; p = tree.GetParentItem(p))
                ++depth;
            out += std::string(2 * depth, ' ') + platform::ToUtf8(tree.GetItemText(item)) + " #" +
                   std::to_string(tree.GetItemData(item)) + (tree.GetCheck(item) ? " x" : "") +
                   "\n";
        }
        return out;
    }
    static std::string Checked(CTreeCtrl& tree) {
        std::string out;
        const auto items = Items(tree);
        for (std::size_t i = 0; i < items.size(); ++i)
            out += tree.GetCheck(items[i]) ? 'x' : '.';
        return out;
    }
    static void Press(usb::CUsbPort& dialog, int id) {
        ui::SendMessage(dialog.GetDlgItem(id), BM_CLICK);
    }
};

// Filled and checked before the dialog first shows: the ticks must outlive the tree's first paint.
class FilledBeforeShown : public usb::CUsbPort {
  public:
    BOOL OnInitDialog() override {
        const BOOL result = CUsbPort::OnInitDialog();
        EXPECT_TRUE(WaitServingSentMessages([this] { return !IsWorkerRunning(); }, 10000));
        return result;
    }
};

TEST_F(PortDialogTest, TheTreeMirrorsTheWalkAndTheLoadedChecks) {
    WriteFile(kSettings, "[Setting]\r\nPORT_FILE=lines\\a.pfg\r\nENABLE_PORT=1\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\lines\\a.pfg",
              "[PortMap]\r\nusb03=5\r\nusb04=1\r\nusb05=0\r\nusb07=abc\r\nusb02=1\r\nusb00=1\r\n");
    FilledBeforeShown dialog;
    Run(dialog, [&] {
        EXPECT_EQ(dialog.GetWindowText(), u"USB Port Select - C:\\Tools\\Tavrin\\lines\\a.pfg");
        EXPECT_EQ(dialog.settingsPath, kSettings);
        EXPECT_EQ(dialog.enablePort, 0) << "ENABLE_PORT comes from the port map file only";
        EXPECT_EQ(ui::SendMessage(dialog.GetDlgItem(IDX_ENABLE_PORT), BM_GETCHECK), BST_UNCHECKED);
        EXPECT_EQ(Dump(dialog.tree),
                  "Test xHCI Controller #0\n"
                  "  USB Root Hub (USB 3.0) #0\n"
                  "    [Port1]NoDeviceConnected #1\n"
                  "    [Port2]DeviceConnected: USB Mass Storage Device #2 x\n"
                  "    DeviceConnected: Generic USB Hub #0 x\n"
                  "      [Port1]NoDeviceConnected #3 x\n"
                  "      [Port2]DeviceConnected: USB Input Device #4 x\n"
                  "    DeviceConnected: Hub B #0\n"
                  "      [Port1]NoDeviceConnected #5\n"
                  "      DeviceConnected: Hub C;c #0\n"
                  "        [Port1]NoDeviceConnected #6\n"
                  "      [Port3]NoDeviceConnected #7\n"
                  "    [Port5]NoDeviceConnected #8\n"
                  "Second Controller #0 x\n");
        const auto items = Items(dialog.tree);
        for (HTREEITEM item : items) {
            if (ui::testing::ItemHasChildren(dialog.tree, item)) {
                EXPECT_TRUE(ui::testing::IsExpanded(dialog.tree, item)) << Dump(dialog.tree);
            }
        }
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(dialog.portCounter, 8);
    EXPECT_EQ(tavrin_test::ListedDeviceCount(), 2) << "the disk and the keyboard";
}

TEST_F(PortDialogTest, ClicksOnCheckBoxesReachDownAndUp) {
    usb::CUsbPort dialog;
    Run(dialog, [&] {
        CTreeCtrl& tree = dialog.tree;
        EXPECT_EQ(dialog.GetWindowText(), u"USB Port Select") << "no port file yet";
        const auto at = Items(tree);
        ASSERT_EQ(at.size(), 14u);
        //       C0 R 1 2 A 3 4 B 5 C 6 7 8 C1
        EXPECT_EQ(Checked(tree), "..............");
        ClickTreeItem(tree, at[kHubB]);
        EXPECT_EQ(Checked(tree), ".......xxxxx..") << "a hub takes every item below it";
        EXPECT_EQ(ui::testing::GetSelectedItem(tree), at[kHubB]);
        ClickTreeItem(tree, at[kP6]);
        EXPECT_EQ(Checked(tree), "........x..x..") << "a port unchecks its hubs";
        EXPECT_EQ(ui::testing::GetSelectedItem(tree), at[kP6]);
        ClickTreeItem(tree, at[kP6]);
        EXPECT_EQ(Checked(tree), ".......xxxxx..") << "the last port checks its hubs";
        for (Node n : {kP1, kP2, kP3, kP8})
            ClickTreeItem(tree, at[n]);
        EXPECT_EQ(Checked(tree), "..xx.x.xxxxxx.") << "the root hub waits for hub A";
        ClickTreeItem(tree, at[kP4]);
        EXPECT_EQ(Checked(tree), "xxxxxxxxxxxxx.") << "up to the controller";
        ClickTreeItem(tree, at[kP6]);
        EXPECT_EQ(Checked(tree), "..xxxxx.x..xx.") << "and down again, every ancestor";
        ClickTreeItem(tree, at[kC1]);
        ClickTreeItem(tree, at[kP5], uitest::TreePart::kLabel);
        EXPECT_EQ(Checked(tree), "..xxxxx.x..xxx") << "a label click checks nothing";
        EXPECT_EQ(ui::testing::GetSelectedItem(tree), at[kP5]);
        Press(dialog, IDCANCEL);
    });
    EXPECT_FALSE(Exists(kSettings)) << "Cancel writes nothing";
}

TEST_F(PortDialogTest, SaveWritesThePortMapAndOkTheSwitchAndThePath) {
    const std::u16string file = u"C:\\Tools\\Tavrin\\lines\\a.pfg";
    WriteFile(kSettings, "[Setting]\r\nPORT_FILE=C:\\Tools\\Tavrin\\old.pfg\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\old.pfg",
              "[PortMap]\r\nusb01=1\r\n[Setting]\r\nENABLE_PORT=1\r\n");
    WriteFile(file, "[Old]\r\nkey=1\r\n");
    usb::CUsbPort dialog;
    const INT_PTR result = Run(dialog, [&] {
        CTreeCtrl& tree = dialog.tree;
        EXPECT_EQ(ui::SendMessage(dialog.GetDlgItem(IDX_ENABLE_PORT), BM_GETCHECK), BST_CHECKED);
        const auto at = Items(tree);
        ClickTreeItem(tree, at[kP1]);  // was checked by the file: now off
        for (Node n : {kP7, kP3, kP4})
            ClickTreeItem(tree, at[n]);
        ui::testing::QueueFileDialogAnswer(file);
        Press(dialog, IDB_SAVE);
        EXPECT_EQ(dialog.GetWindowText(), u"USB Port Select - " + file);
        EXPECT_EQ(ReadFile(file), "[PortMap]\r\nusb03=1\r\nusb04=2\r\nusb07=3\r\n")
            << "the old file replaced whole; keys in tree order";
        const auto requests = ui::testing::FileDialogRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_FALSE(requests[0].open);
        EXPECT_EQ(requests[0].filter, u"Port File(*.pfg)|*.pfg||");
        EXPECT_EQ(requests[0].defaultExtension, u".pfg");
        EXPECT_EQ(requests[0].fileName, u"C:\\Tools\\Tavrin\\old.pfg");
        EXPECT_EQ(requests[0].flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
        EXPECT_EQ(requests[0].owner, dialog.m_hWnd);
        EXPECT_NE(ReadFile(kSettings).find("PORT_FILE=C:\\Tools\\Tavrin\\old.pfg"),
                  std::string::npos)
            << "Save leaves the settings alone";
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadFile(file),
              "[PortMap]\r\nusb03=1\r\nusb04=2\r\nusb07=3\r\n[Setting]\r\nENABLE_PORT=1\r\n");
    EXPECT_EQ(ReadFile(kSettings), "[Setting]\r\nPORT_FILE=lines\\a.pfg\r\n");
    EXPECT_EQ(dialog.enablePort, 1);
}

TEST_F(PortDialogTest, LoadRenumbersAndKeepsTheBox) {
    const std::u16string first = u"C:\\Tools\\Tavrin\\first.pfg";
    const std::u16string other = u"C:\\Tools\\Tavrin\\lines\\other.pfg";
    WriteFile(kSettings, "[Setting]\r\nPORT_FILE=first.pfg\r\n");
    WriteFile(first, "[PortMap]\r\nusb07=1\r\nusb03=2\r\n[Setting]\r\nENABLE_PORT=1\r\n");
    WriteFile(other, "[PortMap]\r\nusb04=9\r\n[Setting]\r\nENABLE_PORT=0\r\n");
    usb::CUsbPort dialog;
    const INT_PTR result = Run(dialog, [&] {
        CTreeCtrl& tree = dialog.tree;
        ui::testing::QueueFileDialogAnswer(first);
        ui::testing::QueueFileDialogAnswer(other);
        Press(dialog, IDB_SAVE);
        EXPECT_EQ(ReadFile(first), "[PortMap]\r\nusb03=1\r\nusb07=2\r\n")
            << "the numbers the file had are not kept";
        Press(dialog, IDB_LOAD);
        EXPECT_EQ(dialog.GetWindowText(), u"USB Port Select - " + other);
        //       C0 R 1 2 A 3 4 B 5 C 6 7 8 C1
        EXPECT_EQ(Checked(tree), "......x.......");
        EXPECT_EQ(ui::SendMessage(dialog.GetDlgItem(IDX_ENABLE_PORT), BM_GETCHECK), BST_CHECKED)
            << "Load reads no switch";
        const auto requests = ui::testing::FileDialogRequests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_TRUE(requests[1].open);
        EXPECT_EQ(requests[1].fileName, first);
        EXPECT_EQ(requests[1].flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
        Press(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ReadFile(other), "[PortMap]\r\nusb04=1\r\n[Setting]\r\nENABLE_PORT=1\r\n");
    EXPECT_EQ(ReadFile(kSettings), "[Setting]\r\nPORT_FILE=lines\\other.pfg\r\n");
}

TEST_F(PortDialogTest, SaveThenCancelAndOkWithoutAFile) {
    const std::u16string file = u"C:\\Tools\\Tavrin\\a.pfg";
    usb::CUsbPort dialog;
    const INT_PTR result = Run(dialog, [&] {
        ClickTreeItem(dialog.tree, Items(dialog.tree)[kP2]);
        ui::SendMessage(dialog.GetDlgItem(IDX_ENABLE_PORT), BM_CLICK);
        Press(dialog, IDOK);
        EXPECT_TRUE(IsWindow(dialog.m_hWnd)) << "OK without a port file does nothing";
        EXPECT_FALSE(Exists(kSettings));
        ui::testing::QueueFileDialogCancel();
        Press(dialog, IDB_SAVE);
        EXPECT_EQ(dialog.portFilePath, u"");
        ui::testing::QueueFileDialogAnswer(file);
        Press(dialog, IDB_SAVE);
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(ReadFile(file), "[PortMap]\r\nusb02=1\r\n") << "no section Setting";
    EXPECT_FALSE(Exists(kSettings));
}

// OK on a map whose folder takes no new file tells the operator and leads into Save; Save
// cancelled is no OK: the dialog stays open, the settings as they were.
TEST_F(PortDialogTest, OkLedIntoSaveClosesOnlyWhenSaveWrites) {
    const std::u16string saved = u"C:\\Tools\\Tavrin\\saved.pfg";
    const std::string settings = "[Setting]\r\nPORT_FILE=C:\\Missing\\gone.pfg\r\n";
    WriteFile(kSettings, settings);
    ui::testing::KeepErrorBoxes();
    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer ? "answered" : "cancelled");
        ui::testing::Reset();
        ui::testing::KeepErrorBoxes();
        usb::CUsbPort dialog;
        const INT_PTR result = Run(dialog, [&] {
            ClickTreeItem(dialog.tree, Items(dialog.tree)[kC1]);
            if (answer)
                ui::testing::QueueFileDialogAnswer(saved);
            else
                ui::testing::QueueFileDialogCancel();
            Press(dialog, IDOK);
            const auto boxes = ui::testing::ErrorBoxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text,
                      u"The port map could not be written beside this file: its folder may be "
                      u"missing or read-only, or the disk full. The file keeps its old map; choose "
                      u"another one.\n\nC:\\Missing\\gone.pfg");
            if (!answer) {
                EXPECT_TRUE(IsWindow(dialog.m_hWnd)) << "Save cancelled is no OK";
                EXPECT_EQ(ReadFile(kSettings), settings);
                Press(dialog, IDCANCEL);
            }
        });
        EXPECT_EQ(result, answer ? IDOK : IDCANCEL);
        const auto requests = ui::testing::FileDialogRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_FALSE(requests.back().open);
        EXPECT_EQ(requests.back().fileName, u"C:\\Missing\\gone.pfg");
        if (!answer) {
            EXPECT_FALSE(Exists(saved));
            EXPECT_EQ(ReadFile(kSettings), settings);
        }
    }
    EXPECT_EQ(ReadFile(saved), "[PortMap]\r\nusb00=1\r\n[Setting]\r\nENABLE_PORT=0\r\n")
        << "a leaf controller item is written under usb00";
    EXPECT_FALSE(Exists(saved + u".new"));
    EXPECT_EQ(ReadFile(kSettings), "[Setting]\r\nPORT_FILE=saved.pfg\r\n");
}

TEST_F(PortDialogTest, StationNumbersGoPastSixteen) {
    sim::UsbMachine machine;
    machine.controllers = {sim::Controller(20)};
    sim::Station::Get().Usb().SetMachine(machine);
    const std::u16string file = u"C:\\Tools\\Tavrin\\many.pfg";
    std::string map = "[PortMap]\r\n";
    for (int n = 20; n >= 1; --n)
        map += "usb" + std::string(n < 10 ? "0" : "") + std::to_string(n) + "=1\r\n";
    WriteFile(file, map);
    WriteFile(kSettings, "[Setting]\r\nPORT_FILE=many.pfg\r\n");
    usb::CUsbPort dialog;
    Run(dialog, [&] {
        EXPECT_EQ(Checked(dialog.tree), std::string(22, 'x'));
        Press(dialog, IDOK);
    });
    std::string expected = "[PortMap]\r\n";
    for (int n = 1; n <= 20; ++n)
        expected += "usb" + std::string(n < 10 ? "0" : "") + std::to_string(n) + "=" +
                    std::to_string(n) + "\r\n";
    EXPECT_EQ(ReadFile(file), expected + "[Setting]\r\nENABLE_PORT=0\r\n");
}

// Opens once, from whichever side comes first; a held worker waits on it.
class ReleaseGate {
  public:
    std::shared_future<void> Future() const { return future_; }
    void Open() {
        if (!open_.exchange(true))
            promise_.set_value();
    }
    bool IsOpen() const { return open_; }

  private:
    std::promise<void> promise_;
    std::shared_future<void> future_ = promise_.get_future().share();
    std::atomic<bool> open_{false};
};

// Holds the walk at the root hub's port 2 until released.
class HeldPort : public usb::CUsbPort {
  public:
    explicit HeldPort(CWnd* owner = nullptr) : CUsbPort(owner) {}
    std::atomic<bool> held{false};
    std::shared_future<void> release;

    usb::NodeHandle OnPort(int port, int connected, const char16_t* description,
                           usb::NodeHandle parent) override {
        if (port == 2 && !held.exchange(true))
            release.wait();
        return CUsbPort::OnPort(port, connected, description, parent);
    }
};

bool ButtonEnabled(usb::CUsbPort& dialog, int id) {
    const CBorrowed<> button(dialog.GetDlgItem(id));
    return ui::testing::IsWindowEnabled(button);
}

// OK and Save write the tree's ticks over the map, and Load's would mix with the worker's: before
// the worker has loaded them the buttons are disabled, Enter passes OK by, and OK sent all the same
// writes the map only once it has them.
TEST_F(PortDialogTest, OkAndSaveWaitForTheTicksOfTheMap) {
    const std::u16string map = u"C:\\Tools\\Tavrin\\a.pfg";
    const std::string stored = "[PortMap]\r\nusb03=1\r\nusb07=2\r\n[Setting]\r\nENABLE_PORT=1\r\n";
    WriteFile(kSettings, "[Setting]\r\nPORT_FILE=a.pfg\r\n");
    WriteFile(map, stored);
    ReleaseGate gate;
    const auto release = [&] { gate.Open(); };
    HeldPort dialog;
    dialog.release = gate.Future();
    bool ran = false;
    std::thread watch;
    ui::WhenIdle([&] {
        // The controller, root hub and port 1 come first, by sends served here.
        ASSERT_TRUE(WaitServingSentMessages([&] { return dialog.held.load(); }, 10000));
        // A dialog that closes while the walk is held must not wait for it for ever.
        watch = std::thread([&, window = dialog.m_hWnd] {
            uitest::WaitFor([&] { return gate.IsOpen() || !IsWindow(window); },
                            std::chrono::minutes(5));
            release();
        });
        EXPECT_FALSE(ButtonEnabled(dialog, IDOK));
        EXPECT_FALSE(ButtonEnabled(dialog, IDB_SAVE));
        EXPECT_FALSE(ButtonEnabled(dialog, IDB_LOAD));
        EXPECT_TRUE(ButtonEnabled(dialog, IDCANCEL));
        ui::testing::PressKey(dialog.tree.m_hWnd, VK_RETURN);
        // After the key.
        ui::WhenIdle([&] {
            ran = true;
            ASSERT_TRUE(IsWindow(dialog.m_hWnd));
            EXPECT_EQ(ReadFile(map), stored);
            EXPECT_EQ(Items(dialog.tree).size(), 3u);
            EXPECT_FALSE(dialog.ChecksLoaded());
            // The walk goes on only through this thread, which is busy with OK from now on.
            release();
            ui::SendMessage(dialog.m_hWnd, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(dialog.ChecksLoaded());
        });
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    release();
    if (watch.joinable())
        watch.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ReadFile(map), stored) << "the map the file had, written again";
    EXPECT_EQ(dialog.portCounter, 8);
}

// Holds the worker's ticking after the map's first port, until released.
class HeldTicks : public usb::CUsbPort {
  public:
    std::atomic<int> reads{0};
    std::atomic<bool> held{false};
    std::shared_future<void> release;

  protected:
    int StationPortIn(const std::u16string& file, long long portOrdinal) override {
        if (reads.fetch_add(1) == 1) {
            held = true;
            release.wait();
        }
        return CUsbPort::StationPortIn(file, portOrdinal);
    }
};

// Load while the worker is still ticking the tree waits for it: the tree then shows the chosen
// file's ticks alone, not some of each file's.
TEST_F(PortDialogTest, LoadWhileTheWorkerTicksShowsOneFilesTicks) {
    const std::u16string other = u"C:\\Tools\\Tavrin\\other.pfg";
    std::string all = "[PortMap]\r\n";
    for (int n = 0; n <= 8; ++n)
        all += "usb0" + std::to_string(n) + "=1\r\n";
    WriteFile(u"C:\\Tools\\Tavrin\\all.pfg", all);
    WriteFile(other, "[PortMap]\r\nusb07=1\r\n");
    WriteFile(kSettings, "[Setting]\r\nPORT_FILE=all.pfg\r\n");
    ReleaseGate gate;
    const auto release = [&] { gate.Open(); };
    HeldTicks dialog;
    dialog.release = gate.Future();
    bool ran = false;
    ui::WhenIdle([&] {
        // The walk is done, the first port ticked, and the worker held before the next one.
        ASSERT_TRUE(WaitServingSentMessages([&] { return dialog.held.load(); }, 10000));
        ran = true;
        EXPECT_TRUE(dialog.tree.GetCheck(Items(dialog.tree)[kP1]));
        EXPECT_FALSE(dialog.ChecksLoaded());
        EXPECT_FALSE(ButtonEnabled(dialog, IDB_LOAD));
        // Its next tick waits for this thread, which is busy with Load from now on.
        release();
        ui::testing::QueueFileDialogAnswer(other);
        ui::SendMessage(dialog.m_hWnd, WM_COMMAND, IDB_LOAD, 0);
        EXPECT_EQ(dialog.GetWindowText(), u"USB Port Select - " + other);
        EXPECT_TRUE(WaitServingSentMessages([&] { return !dialog.IsWorkerRunning(); }, 10000));
        //       C0 R 1 2 A 3 4 B 5 C 6 7 8 C1
        EXPECT_EQ(Checked(dialog.tree), "...........x..");
        Press(dialog, IDCANCEL);
    });
    // A failed wait above leaves the worker held: the dialog must not wait for it for ever.
    std::thread watch([&] {
        uitest::WaitFor([&] { return gate.IsOpen(); }, std::chrono::minutes(5));
        release();
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    release();
    watch.join();
    EXPECT_TRUE(ran);
}

// A map file that cannot be replaced (read-only), or whose folder takes no new file (read-only, or
// the call failing):
// Save and OK leave its bytes as they were and no new file beside it, tell the operator why, and
// OK keeps the dialog open and the settings untouched.
TEST_F(PortDialogTest, AMapThatCannotBeReplacedKeepsItsBytesAndTheDialogOpen) {
    namespace fs = std::filesystem;
    const std::u16string file = u"C:\\Tools\\Tavrin\\lines\\a.pfg";
    const std::string old = "[PortMap]\r\nusb03=1\r\nusb04=2\r\n[Setting]\r\nENABLE_PORT=1\r\n";
    const std::string settings = "[Setting]\r\nPORT_FILE=lines\\a.pfg\r\n";
    const fs::perms writable =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "read-only folder" : "read-only file");
        ui::testing::Reset();
        WriteFile(kSettings, settings);
        WriteFile(file, old);
        const fs::path locked = folder ? Host(u"C:\\Tools\\Tavrin\\lines") : Host(file);
#ifdef _WIN32
        // A Windows host keeps no folder out of writes by its attributes: there the folder's
        // refusal is injected, at the new file's making.
        const bool injected = folder;
#else
        const bool injected = false;
#endif
        const auto refuse = [&] {
            sim::Faults::Reset();
            sim::Faults::Arm(injected ? 1 : 0);
        };
        if (!injected)
            fs::permissions(locked, writable, fs::perm_options::remove);
        const std::u16string why =
            folder ? u"The port map could not be written beside this file: its folder may be "
                     u"missing or read-only, or the disk full. The file keeps its old map; choose "
                     u"another one."
                   : u"This file could not be replaced by the new port map: it may be read-only or "
                     u"in use by another program. It keeps its old map.";
        ui::testing::KeepErrorBoxes();
        usb::CUsbPort dialog;
        const INT_PTR result = Run(dialog, [&] {
            ClickTreeItem(dialog.tree, Items(dialog.tree)[kP7]);
            ui::testing::QueueFileDialogAnswer(file);
            refuse();
            Press(dialog, IDB_SAVE);
            EXPECT_EQ(ReadFile(file), old);
            auto boxes = ui::testing::ErrorBoxes();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].title, u"USB Port Select");
            EXPECT_EQ(boxes[0].text, why + u"\n\n" + file);
            // OK: for the folder, told and led into Save, which is cancelled.
            ui::testing::QueueFileDialogCancel();
            refuse();
            Press(dialog, IDOK);
            EXPECT_TRUE(IsWindow(dialog.m_hWnd)) << "nothing saved: the dialog stays";
            boxes = ui::testing::ErrorBoxes();
            ASSERT_EQ(boxes.size(), 2u);
            EXPECT_EQ(boxes[1].text, why + u"\n\n" + file);
            EXPECT_EQ(ui::testing::FileDialogRequests().size(), folder ? 2u : 1u);
            Press(dialog, IDCANCEL);
        });
        sim::Faults::Reset();
        if (!injected)
            fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(ReadFile(file), old);
        EXPECT_FALSE(Exists(file + u".new"));
        EXPECT_EQ(ReadFile(kSettings), settings);
    }
}

// OK writes the map, then the settings: settings that cannot be written leave them naming the map
// they named, whole, tell the operator and keep the dialog open.
TEST_F(PortDialogTest, SettingsThatCannotBeWrittenKeepTheDialogOpen) {
    namespace fs = std::filesystem;
    const std::u16string first = u"C:\\Tools\\Tavrin\\first.pfg";
    const std::u16string other = u"C:\\Tools\\Tavrin\\other.pfg";
    const std::string firstMap = "[PortMap]\r\nusb03=1\r\n[Setting]\r\nENABLE_PORT=1\r\n";
    const std::string settings = "[Setting]\r\nPORT_FILE=first.pfg\r\n";
    WriteFile(kSettings, settings);
    WriteFile(first, firstMap);
    WriteFile(other, "[PortMap]\r\nusb04=1\r\n");
    fs::permissions(Host(kSettings),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ui::testing::KeepErrorBoxes();
    usb::CUsbPort dialog;
    const INT_PTR result = Run(dialog, [&] {
        ui::testing::QueueFileDialogAnswer(other);
        Press(dialog, IDB_LOAD);
        Press(dialog, IDOK);
        EXPECT_TRUE(IsWindow(dialog.m_hWnd)) << "the settings were not written: the dialog stays";
        const auto boxes = ui::testing::ErrorBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text,
                  u"The port map was saved, but the settings file could not be written: it may "
                  u"be read-only, in use by another program, or on a full disk.\n\n" +
                      std::u16string(kSettings));
        Press(dialog, IDCANCEL);
    });
    fs::permissions(Host(kSettings), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(ReadFile(kSettings), settings);
    EXPECT_EQ(ReadFile(first), firstMap) << "the map the settings name, as it was";
    EXPECT_EQ(ReadFile(other), "[PortMap]\r\nusb04=1\r\n[Setting]\r\nENABLE_PORT=1\r\n");
}

// Cancel in the middle of the walk closes the dialog at once; the walk goes on to its end before
// the dialog returns (its owner reads the list it leaves), while the owner keeps painting.
TEST_F(PortDialogTest, CancelMidWalkClosesAtOnceAndTheOwnerPaintsUntilTheWalkEnds) {
    CWnd owner;
    ASSERT_TRUE(
        owner.Create(u"Static", u"owner", WS_POPUP | WS_VISIBLE, {0, 0, 200, 100}, nullptr, 0));
    owner.UpdateWindow();
    std::promise<void> gate;
    HeldPort dialog(&owner);
    dialog.release = gate.get_future().share();
    HWND window = nullptr;
    std::atomic<bool> closedAtOnce{false};
    std::atomic<bool> painted{false};
    std::thread operatorSide;
    ui::WhenIdle([&] {
        ASSERT_TRUE(WaitServingSentMessages([&] { return dialog.held.load(); }, 10000));
        window = dialog.m_hWnd;
        operatorSide = std::thread([&] {
            closedAtOnce = uitest::WaitFor([&] { return !IsWindow(window); });
            // Uncovered while the walk still stalls: the owner must repaint.
            owner.Invalidate(true);
            painted = uitest::WaitFor([&] { return !ui::testing::GetUpdateRect(owner, nullptr); });
            gate.set_value();
        });
        Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    operatorSide.join();
    EXPECT_TRUE(closedAtOnce);
    EXPECT_TRUE(painted);
    EXPECT_FALSE(dialog.IsWorkerRunning());
    EXPECT_EQ(dialog.portCounter, 8) << "the walk went on to its end";
    EXPECT_EQ(tavrin_test::ListedDeviceCount(), 2);
    owner.DestroyWindow();
}

// Scans walk the shared list on their own threads while the dialog's worker builds its tree
// from it: each walk sees a whole list, never one being rebuilt, and the dialog a whole tree.
TEST_F(PortDialogTest, TheDialogWalksWhileScansWalk) {
    std::atomic<bool> stop{false};
    std::atomic<int> walks{0};
    std::atomic<int> torn{0};
    std::vector<std::thread> scans;
    for (int i = 0; i < 2; ++i) {
        scans.emplace_back([&] {
            usb::CEnumUSB scan;  // as a window's, for the thread's life
            while (!stop.load() || walks.load() < 20) {
                const usb::CEnumUSB::ListLock lock;
                scan.Enumerate(0);
                std::vector<int> ordinals;
                for (usb::DevicePosition p = usb::CEnumUSB::GetFirstDevice(); p != nullptr;) {
                    usb::UsbDeviceEntry entry;
                    usb::CEnumUSB::GetNextDevice(&entry, &p);
                    ordinals.push_back(entry.portOrdinal);
                }
                if (ordinals != std::vector<int>{2, 4})
                    torn.fetch_add(1);
                walks.fetch_add(1);
            }
        });
    }
    {
        usb::CUsbPort dialog;
        Run(dialog, [&] {
            EXPECT_EQ(Items(dialog.tree).size(), std::size_t{kC1 + 1});
            Press(dialog, IDCANCEL);
        });
    }
    stop = true;
    for (std::thread& scan : scans)
        scan.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GE(walks.load(), 20);
}

}  // namespace
