// The whole main window, started from files on disk, on either window backend (natively on the
// headless one, under wine on the real controls): what the operator sees and what lands in the
// files.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include "app/res/resource.h"
#include "device/selection_lists.h"
#include "platform/text.h"
#include "qc/check_file.h"
#include "qc/progress_x.h"
#include "tests/app/main_window_fixture.h"
#include "tests/support/ui_thread.h"
#include "usb/usb_port.h"

namespace {

using namespace ui;
using namespace maintest;

// Wine leaves WS_EX_TOPMOST unset for a window it places itself (no window manager), so the
// style is checked on the headless backend only.
#ifdef _WIN32
constexpr bool kTopmostStyleShows = false;
#else
constexpr bool kTopmostStyleShows = true;
#endif

TEST_F(MainWindowTest, AFirstStartWithoutSettings) {
    Run([&](app::CTavrinDlg& dialog) {
        EXPECT_EQ(dialog.GetWindowText(), kTitle);
        EXPECT_EQ(ui::testing::FindTopLevelWindow(kTitle), dialog.m_hWnd);
        for (int box : {IDX_TOPMOST, IDX_INFO_CHECK, IDX_AUTO_CHECK}) {
            EXPECT_EQ(Check(dialog, box), BST_UNCHECKED) << box;
        }
        for (const auto& item : app::checkItems) {
            EXPECT_FALSE(Enabled(dialog, item.controlId)) << "control " << item.controlId;
        }
        for (int list : {IDC_RFREQ, IDC_WFREQ, IDC_IDLE, IDC_SLEEP, IDC_BLINK, IDC_EFS}) {
            EXPECT_EQ(Selection(dialog, list), 0) << list;
        }
        EXPECT_EQ(dialog.results.portMode(), 0);
        EXPECT_EQ(Headings(dialog), (std::vector<std::u16string>{u"Vol", u"Check"}));
        EXPECT_EQ(dialog.resultList.GetItemCount(), 0);
        EXPECT_EQ(ui::testing::GetExStyle(dialog) & WS_EX_TOPMOST, 0u);
        EXPECT_TRUE(dialog.resultList.GetStyle() & WS_CLIPCHILDREN);
        EXPECT_TRUE(dialog.resultList.GetExtendedStyle() & LVS_EX_GRIDLINES);
        EXPECT_TRUE(dialog.resultList.GetExtendedStyle() & LVS_EX_FULLROWSELECT);
        Close(dialog);
    });
    EXPECT_EQ(ReadFile(kSettings), "[Setting]\r\nTopmost=0\r\nInfoCheck=0\r\nAutoCheck=0\r\n");
}

TEST_F(MainWindowTest, AStartWithAStoredCheckFile) {
    WriteFile(kSettings, "[Setting]\r\nCHECK_FILE=lines\\a.chk\r\nInfoCheck=1\r\nTopmost=1\r\n");
    WriteFile(u"C:\\Tools\\Tavrin\\lines\\a.chk", CheckFile({{"vid", "1234"},
                                                             {"ProductName", std::string(60, 'p')},
                                                             {"RFreq", "2"},
                                                             {"WFreq", "7"},
                                                             {"Idle", "abc"},
                                                             {"Blink", "1"},
                                                             {"Master", "a"}},
                                                            {{"vid", "1"},
                                                             {"pid", "256"},
                                                             {"ProductName", "2"},
                                                             {"Sleep", "1"},
                                                             {"Blink", "1"},
                                                             {"DiskType", "1"},
                                                             {"CapMin", "1"},
                                                             {"CapMax", "1"},
                                                             {"FWVer", "1"}}));
    Run([&](app::CTavrinDlg& dialog) {
        EXPECT_EQ(dialog.GetWindowText(),
                  std::u16string(kTitle) + u" - C:\\Tools\\Tavrin\\lines\\a.chk");
        EXPECT_EQ(Check(dialog, IDX_INFO_CHECK), BST_CHECKED);
        EXPECT_EQ(Check(dialog, IDX_TOPMOST), BST_CHECKED);
        if (kTopmostStyleShows) {
            EXPECT_NE(ui::testing::GetExStyle(dialog) & WS_EX_TOPMOST, 0u);
        }

        EXPECT_TRUE(Enabled(dialog, IDE_VID));
        EXPECT_FALSE(Enabled(dialog, IDE_PID)) << "256: only the low 8 bits count";
        EXPECT_TRUE(Enabled(dialog, IDE_PRODUCT_NAME)) << "2 enables";
        EXPECT_FALSE(Enabled(dialog, IDC_RFREQ));
        EXPECT_EQ(Text(dialog, IDE_VID), u"1234");
        EXPECT_EQ(Text(dialog, IDE_PRODUCT_NAME), std::u16string(49, u'p'));
        EXPECT_EQ(Selection(dialog, IDC_RFREQ), 2);
        EXPECT_EQ(Selection(dialog, IDC_WFREQ), CB_ERR) << "an index past the list selects none";
        EXPECT_EQ(Selection(dialog, IDC_IDLE), 0) << "not a number reads as 0";
        EXPECT_EQ(Selection(dialog, IDC_BLINK), 1);
        EXPECT_EQ(Text(dialog, IDE_MASTER), u"A") << "the Master box takes capitals";

        // Columns in table order: SleepMode (8) before BlinkMode (9), then DiskType (10); one
        // "Capacity" column for CapMin and CapMax.
        EXPECT_EQ(Headings(dialog), (std::vector<std::u16string>{
                                        u"Vol", u"Check", u"VID", u"ProductName", u"SleepMode",
                                        u"BlinkMode", u"DiskType", u"Capacity", u"FWVersion"}));
        EXPECT_EQ(ui::testing::GetColumnWidth(dialog.resultList, 2), 50);
        EXPECT_EQ(ui::testing::GetColumnWidth(dialog.resultList, 3), 110);
        Close(dialog);
    });
    const std::string settings = ReadFile(kSettings);
    EXPECT_NE(settings.find("CHECK_FILE=lines\\a.chk\r\n"), std::string::npos);
    EXPECT_NE(settings.find("Topmost=1\r\n"), std::string::npos);
    EXPECT_NE(settings.find("InfoCheck=1\r\n"), std::string::npos);
    EXPECT_NE(settings.find("AutoCheck=0\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, SaveAndLoadRoundTrip) {
    const std::u16string file = u"C:\\Tools\\Tavrin\\line1.chk";
    Run([&](app::CTavrinDlg& dialog) {
        for (auto& item : app::checkItems)
            item.enabled = 1;
        SetText(dialog, IDE_VID, u"1234");
        SetText(dialog, IDE_VENDOR_NAME, u"Generic Vendor");
        SetText(dialog, IDE_CAP_MIN, u"3800");
        ui::SendMessage(Item(dialog, IDC_RFREQ), CB_SETCURSEL, 3);
        ui::SendMessage(Item(dialog, IDC_BLINK), CB_SETCURSEL, 2);
        ui::SendMessage(Item(dialog, IDC_EFS), CB_SETCURSEL, 12);
        ui::SendMessage(Item(dialog, IDC_SLEEP), CB_SETCURSEL, static_cast<WPARAM>(-1));
        ui::testing::QueueFileDialogAnswer(file);
        Click(dialog, IDB_SAVE);
        EXPECT_EQ(dialog.GetWindowText(), std::u16string(kTitle) + u" - " + file);
        Close(dialog);
    });
    const auto requests = ui::testing::FileDialogRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].open);
    EXPECT_EQ(requests[0].filter, u"Check File(*.chk)|*.chk||");
    EXPECT_EQ(requests[0].defaultExtension, u"chk");
    EXPECT_EQ(requests[0].fileName, u"");
    EXPECT_EQ(requests[0].flags & (OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT),
              OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);

    // "Value" then "Enable", 23 keys each in index order.
    std::string expected = "[Value]\r\n";
    const std::map<std::u16string_view, std::string> values = {
        {u"vid", "1234"},    {u"VendorName", "Generic Vendor"},
        {u"CapMin", "3800"}, {u"RFreq", "3"},
        {u"WFreq", "0"},     {u"Idle", "0"},
        {u"Sleep", ""},      {u"Blink", "2"},
        {u"Efs", "12"}};
    for (const auto& item : app::MakeCheckItems()) {
        const auto v = values.find(item.key);
        expected +=
            platform::ToUtf8(item.key) + "=" + (v == values.end() ? "" : v->second) + "\r\n";
    }
    expected += "[Enable]\r\n";
    for (const auto& item : app::MakeCheckItems())
        expected += platform::ToUtf8(item.key) + "=1\r\n";
    EXPECT_EQ(ReadFile(file), expected);
    EXPECT_NE(ReadFile(kSettings).find("CHECK_FILE=line1.chk\r\n"), std::string::npos);

    // Load it into a fresh window.
    app::checkItems = app::MakeCheckItems();
    WriteFile(kSettings, "");
    Run([&](app::CTavrinDlg& dialog) {
        EXPECT_FALSE(Enabled(dialog, IDE_VID));
        ui::testing::QueueFileDialogAnswer(file);
        Click(dialog, IDB_LOAD);
        EXPECT_EQ(dialog.GetWindowText(), std::u16string(kTitle) + u" - " + file);
        EXPECT_TRUE(Enabled(dialog, IDE_VID));
        EXPECT_TRUE(Enabled(dialog, IDC_SLEEP));
        EXPECT_EQ(Text(dialog, IDE_VENDOR_NAME), u"Generic Vendor");
        EXPECT_EQ(Selection(dialog, IDC_RFREQ), 3);
        EXPECT_EQ(Selection(dialog, IDC_BLINK), 2);
        EXPECT_EQ(Selection(dialog, IDC_EFS), 12);
        EXPECT_EQ(Selection(dialog, IDC_SLEEP), 0) << "an empty stored index reads as 0";
        // The columns follow the loaded flags: every item's caption and width, one "Capacity".
        EXPECT_EQ(Headings(dialog),
                  (std::vector<std::u16string>{
                      u"Vol",        u"Check",       u"VID",        u"PID",           u"Version",
                      u"VendorName", u"ProductName", u"RFreq",      u"WFreq",         u"IdleMode",
                      u"SleepMode",  u"BlinkMode",   u"DiskType",   u"PartitionMode", u"Master",
                      u"Efs",        u"MultiPlane",  u"Interleave", u"CacheProgram",  u"DualMode",
                      u"Randomize",  u"Capacity",    u"MPVersion",  u"FWVersion"}));
        const int widths[] = {40, 80, 50, 50, 75, 75, 110, 75, 75, 63, 63, 93,
                              75, 75, 75, 75, 75, 75, 90,  65, 70, 65, 70, 75};
        for (int column = 0; column < 24; ++column) {
            EXPECT_EQ(ui::testing::GetColumnWidth(dialog.resultList, column), widths[column])
                << column;
        }
        Close(dialog);
    });
    EXPECT_EQ(ReadFile(kSettings).find("CHECK_FILE"), std::string::npos)
        << "loading does not change the start-up check file";
}

// After Load the window checks by what tavrin-check reads from the same file: flags (only their
// low 8 bits), texts cut to 49 characters, list entries in and beyond their lists.
TEST_F(MainWindowTest, AfterLoadTheWindowsSetupIsTheOneTheCommandLineReads) {
    const std::u16string file = u"C:\\Tools\\Tavrin\\b.chk";
    WriteFile(file, CheckFile({{"vid", "abcd"},
                               {"ProductName", std::string(60, 'p')},
                               {"RFreq", "2"},
                               {"WFreq", "x"},
                               {"Blink", "7"},
                               {"Efs", "12"},
                               {"CapMax", "3900"}},
                              {{"vid", "1"},
                               {"ProductName", "2"},
                               {"RFreq", "256"},
                               {"Blink", "1"},
                               {"Efs", "1"},
                               {"CapMax", "1"}}));
    Run([&](app::CTavrinDlg& dialog) {
        ui::testing::QueueFileDialogAnswer(file);
        Click(dialog, IDB_LOAD);
        Click(dialog, IDB_RUN);  // collects what the controls now hold
        const qc::CheckSetup window = dialog.CheckSetupNow();
        const device::SelectionLists& lists = device::SelectionListsFor(device::Language::English);
        const qc::CheckSetup read = qc::SetupFromCheckFile(qc::ReadCheckFile(file), lists);
        EXPECT_EQ(window.enabled, read.enabled);
        EXPECT_EQ(window.expected, read.expected);
        EXPECT_EQ(window.efsSelection, read.efsSelection);
        EXPECT_EQ(window.lists.rFreq, read.lists.rFreq);
        EXPECT_EQ(window.lists.efs, read.lists.efs);
        EXPECT_EQ(read.expected[device::kSlotBlink], u"") << "entry 7 is beyond the list";
        EXPECT_EQ(read.expected[device::kSlotProductName].size(), 49u);
        EXPECT_EQ(read.enabled[device::kSlotRFreq], 0);
        Close(dialog);
    });
}

TEST_F(MainWindowTest, SaveThenCancelStillWritesTheCheckFileInUse) {
    WriteFile(kSettings, "[Setting]\r\nCHECK_FILE=D:\\qc\\old.chk\r\n");
    Run([&](app::CTavrinDlg& dialog) {
        WriteFile(kSettings, "[Setting]\r\n");
        ui::testing::QueueFileDialogCancel();
        Click(dialog, IDB_SAVE);
        EXPECT_EQ(dialog.checkFilePath, u"D:\\qc\\old.chk");
        EXPECT_EQ(ui::testing::FileDialogRequests().at(0).fileName, u"D:\\qc\\old.chk");
        Close(dialog);
    });
    EXPECT_NE(ReadFile(kSettings).find("CHECK_FILE=D:\\qc\\old.chk\r\n"), std::string::npos);
    EXPECT_FALSE(Exists(u"D:\\qc\\old.chk"));
}

TEST_F(MainWindowTest, CheckSelectionOkAndCancel) {
    Run([&](app::CTavrinDlg& dialog) {
        const auto tick = [](std::vector<int> boxes, int button) {
            ui::WhenIdle([boxes, button] {
                const HWND select =
                    ui::testing::FindTopLevelWindow(u"MP Check Config Select Dialog");
                ASSERT_NE(select, nullptr);
                EXPECT_EQ(ui::testing::DialogTemplateOf(select), UINT{IDD_CHECK_SELECT});
                CWnd* dialog = CWnd::FromHandle(select);
                ASSERT_NE(dialog, nullptr);
                for (int box : boxes)
                    ui::SendMessage(dialog->GetDlgItem(box), BM_CLICK);
                ui::SendMessage(dialog->GetDlgItem(button), BM_CLICK);
            });
        };
        tick({IDX_CAP_MIN, IDX_CAP_MAX, IDX_SLEEP}, IDCANCEL);
        Click(dialog, IDB_CHECK_SELECT);
        EXPECT_EQ(Headings(dialog), (std::vector<std::u16string>{u"Vol", u"Check"}));
        EXPECT_FALSE(Enabled(dialog, IDE_CAP_MIN));

        tick({IDX_CAP_MIN, IDX_CAP_MAX, IDX_SLEEP, IDX_DISK_TYPE}, IDOK);
        Click(dialog, IDB_CHECK_SELECT);
        EXPECT_EQ(Headings(dialog), (std::vector<std::u16string>{u"Vol", u"Check", u"SleepMode",
                                                                 u"DiskType", u"Capacity"}));
        EXPECT_TRUE(Enabled(dialog, IDE_CAP_MIN));
        EXPECT_TRUE(Enabled(dialog, IDE_CAP_MAX));
        EXPECT_FALSE(Enabled(dialog, IDE_VID));

        // CapMin off: CapMax gets the capacity column of its own.
        tick({IDX_CAP_MIN}, IDOK);
        Click(dialog, IDB_CHECK_SELECT);
        EXPECT_EQ(Headings(dialog), (std::vector<std::u16string>{u"Vol", u"Check", u"SleepMode",
                                                                 u"DiskType", u"Capacity"}));
        EXPECT_EQ(app::checkItems[app::kItemCapMin].enabled, 0);
        EXPECT_EQ(app::checkItems[app::kItemCapMax].enabled, 1);
        Close(dialog);
    });
}

TEST_F(MainWindowTest, PortMapFileChoosesTheLayout) {
    struct Case {
        const char* enablePort;
        int mode;
    };
    for (const Case c : {Case{"1", 1}, Case{"2", 0}, Case{"0", 0}}) {
        WriteFile(u"C:\\Tools\\Tavrin\\ports\\a.pfg",
                  std::string("[PortMap]\r\nusb03=1\r\n[Setting]\r\nENABLE_PORT=") + c.enablePort +
                      "\r\n");
        WriteFile(kSettings, "[Setting]\r\nPORT_FILE=ports\\a.pfg\r\n");
        Run([&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.portFilePath, u"C:\\Tools\\Tavrin\\ports\\a.pfg");
            EXPECT_EQ(dialog.results.portMode(), c.mode) << c.enablePort;
            if (c.mode == 1) {
                EXPECT_EQ(Headings(dialog),
                          (std::vector<std::u16string>{u"Port", u"Vol", u"Check"}));
                ASSERT_EQ(dialog.resultList.GetItemCount(), 16);
                EXPECT_EQ(dialog.resultList.GetItemText(0, 0), u"1");
                EXPECT_EQ(dialog.resultList.GetItemText(15, 0), u"16");
            } else {
                EXPECT_EQ(dialog.resultList.GetItemCount(), 0);
            }
            Close(dialog);
        });
    }
}

// After OK the window reads the stored map beside the program, as at start-up, wherever the
// current folder is: elsewhere from the start, or where the save dialog left it.
TEST_F(MainWindowTest, UsbPortSelectReadsTheMapBesideTheProgram) {
    const std::u16string map = u"C:\\Tools\\Tavrin\\lines\\a.pfg";
    for (const char16_t* current : {kElsewhere, u"C:\\Tools\\Tavrin\\lines"}) {
        SCOPED_TRACE(platform::ToUtf8(current));
        WriteFile(kSettings, "[Setting]\r\n");
        WriteFile(map, "");
        Run([&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.results.portMode(), 0);
            ui::WhenIdle([&] {
                usb::CUsbPort* ports = PortDialog();
                ASSERT_NE(ports, nullptr);
                ASSERT_TRUE(WaitServingSentMessages([&] { return ports->ChecksLoaded(); }, 10000));
                SendMessage(ports->GetDlgItem(IDX_ENABLE_PORT), BM_CLICK);
                ui::testing::QueueFileDialogAnswer(map);
                SendMessage(ports->GetDlgItem(IDB_SAVE), BM_CLICK);
                ASSERT_TRUE(sim::Files::Get().SetCurrentDirectory(current));
                SendMessage(ports->GetDlgItem(IDOK), BM_CLICK);
            });
            Click(dialog, IDB_PORT_SELECT);
            EXPECT_NE(ReadFile(kSettings).find("PORT_FILE=lines\\a.pfg\r\n"), std::string::npos);
            EXPECT_NE(ReadFile(map).find("[Setting]\r\nENABLE_PORT=1\r\n"), std::string::npos);
            EXPECT_EQ(dialog.portFilePath, map);
            EXPECT_EQ(dialog.results.portMode(), 1);
            EXPECT_EQ(dialog.resultList.GetItemCount(), 16);
            Close(dialog);
        });
    }
}

TEST_F(MainWindowTest, EscapeSavesTheSwitchesLikeTheCloseBox) {
    Run([&](app::CTavrinDlg& dialog) {
        Click(dialog, IDX_TOPMOST);
        if (kTopmostStyleShows) {
            EXPECT_NE(ui::testing::GetExStyle(dialog) & WS_EX_TOPMOST, 0u);
        }
        EXPECT_FALSE(Exists(kSettings)) << "the switch reaches the file only at closing";
        Click(dialog, IDX_AUTO_CHECK);
        ui::testing::PressKey(Item(dialog, IDX_AUTO_CHECK), VK_ESCAPE);
    });
    EXPECT_EQ(ReadFile(kSettings), "[Setting]\r\nTopmost=1\r\nInfoCheck=0\r\nAutoCheck=1\r\n");
}

TEST_F(MainWindowTest, SystemMenuAboutAndMinimising) {
    Run([&](app::CTavrinDlg& dialog) {
        CMenu menu = dialog.GetSystemMenu(false);
        const int n = ui::testing::GetMenuItemCount(menu.m_hMenu);
        ASSERT_GE(n, 2);
        EXPECT_EQ(ui::testing::GetMenuItemID(menu.m_hMenu, n - 2), 0u);
        EXPECT_EQ(ui::testing::GetMenuItemID(menu.m_hMenu, n - 1), 0x0010u);
        EXPECT_EQ(ui::testing::GetMenuString(menu.m_hMenu, n - 1), u"About Tavrin(&A)...");

        bool aboutShown = false;
        ui::WhenIdle([&] {
            const HWND about = ui::testing::FindTopLevelWindow(u"About Tavrin");
            aboutShown = about != nullptr && ui::testing::DialogTemplateOf(about) == IDD_ABOUT;
            if (about != nullptr)
                ui::testing::PressKey(about, VK_ESCAPE);
        });
        dialog.SendMessage(WM_SYSCOMMAND, 0x0010 | 0x0003, 0);  // low four bits do not count
        EXPECT_TRUE(aboutShown);

        EXPECT_EQ(dialog.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(dialog.icon));

        dialog.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(dialog.IsIconic());
        Close(dialog);
    });
}

TEST_F(MainWindowTest, DraggingAColumnDividerLiftsTheClipping) {
    Run([&](app::CTavrinDlg& dialog) {
        EXPECT_TRUE(ui::testing::TrackColumn(dialog.resultList.m_hWnd, 1, 120));
        EXPECT_EQ(ui::testing::GetColumnWidth(dialog.resultList, 1), 120);
        EXPECT_TRUE(dialog.resultList.GetStyle() & WS_CLIPCHILDREN);
        Close(dialog);
    });
}

TEST_F(MainWindowTest, TheWindowInEachLanguage) {
    struct Case {
        LANGID language;
        device::Language lists;
    };
    for (const Case c : {Case{kLangEnglish, device::Language::English},
                         Case{kLangSimplifiedChinese, device::Language::SimplifiedChinese},
                         Case{kLangTraditionalChinese, device::Language::TraditionalChinese}}) {
        ui::testing::Reset();
        ui::SetUiLanguage(c.language);
        app::checkItems = app::MakeCheckItems();
        WriteFile(u"C:\\Tools\\Tavrin\\a.chk", CheckFile({}, {{"Idle", "1"}}));
        WriteFile(kSettings, "[Setting]\r\nCHECK_FILE=a.chk\r\n");
        Run([&](app::CTavrinDlg& dialog) {
            // Column captions come from the string table of the language.
            const std::u16string idle = LoadString(IDS_IDLE_MODE);
            EXPECT_EQ(Headings(dialog).back(), idle);
            EXPECT_EQ(idle == u"IdleMode", c.language == kLangEnglish);
            EXPECT_EQ(dialog.GetWindowText(),
                      LoadString(IDS_TITLE) + u" (1.0.0.3) - C:\\Tools\\Tavrin\\a.chk");
            const device::SelectionLists lists = dialog.SelectionListsFromControls();
            const device::SelectionLists& expected = device::SelectionListsFor(c.lists);
            EXPECT_EQ(lists.rFreq, expected.rFreq);
            EXPECT_EQ(lists.idle, expected.idle);
            EXPECT_EQ(lists.blink, expected.blink);
            EXPECT_EQ(lists.sleep, expected.sleep);
            EXPECT_EQ(lists.wFreq, expected.wFreq);
            EXPECT_EQ(Text(dialog, IDB_CHECK_SELECT).empty(), false);
            Close(dialog);
        });
    }
}

TEST_F(MainWindowTest, RowsShowTheirRecordsAndClearingFreesTheBar) {
    WriteFile(u"C:\\Tools\\Tavrin\\a.chk",
              CheckFile({}, {{"vid", "1"}, {"Sleep", "1"}, {"CapMin", "1"}, {"CapMax", "1"}}));
    WriteFile(kSettings, "[Setting]\r\nCHECK_FILE=a.chk\r\n");
    Run([&](app::CTavrinDlg& dialog) {
        CListCtrl& list = dialog.resultList;
        for (int row = 0; row < 2; ++row) {
            list.InsertItem(row, u"");
            auto* record = new qc::RowState;
            for (std::size_t i = 0; i < record->values.size(); ++i)
                record->values[i] = {u'v', static_cast<char16_t>(u'a' + i)};
            record->bar = std::make_unique<qc::CProgressX>();
            record->bar->Create(WS_CHILD | PBS_VERTICAL, {0, 0, 0, 0}, &list, 3);
            record->barWindow = record->bar->m_hWnd;
            list.SetItemData(row, reinterpret_cast<DWORD_PTR>(record));
            list.SetItemText(row, 0, row == 0 ? u"E" : u"F");
            dialog.results.FillRowValues(row);
        }
        // VID, SleepMode and one Capacity column, from slots 0, 8 and 19.
        EXPECT_EQ(list.GetItemText(1, 2), u"va");
        EXPECT_EQ(list.GetItemText(1, 3), u"vi");
        EXPECT_EQ(list.GetItemText(1, 4), u"vt");
        const HWND bar = dialog.results.StateOf(0)->barWindow;
        EXPECT_TRUE(IsWindow(bar));
        dialog.results.ClearRow(0);  // free mode: the row goes and the next moves up
        EXPECT_FALSE(IsWindow(bar));
        EXPECT_EQ(list.GetItemCount(), 1);
        EXPECT_EQ(list.GetItemText(0, 0), u"F");
        dialog.results.FillRowValues(5);  // no such row: nothing
        Close(dialog);                    // clears the last row and its bar
    });
}

TEST_F(MainWindowTest, ClosingWhileAScanWaitsFreesNothingTheScanNeeds) {
    std::shared_ptr<qc::ScanShared> scan;
    std::thread holder;
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    Run([&](app::CTavrinDlg& dialog) {
        scan = dialog.scan;
        // Another scan in progress: the one the window starts next waits for it.
        holder = std::thread([&] {
            const CCriticalSectionLock lock(scan->scanLock);
            holding = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        // The scan the window started may still be sending to it: serve it while waiting.
        EXPECT_TRUE(WaitServingSentMessages([&] { return holding.load(); }, 10000));
        SendMessage(dialog.GetDlgItem(IDB_REFRESH), BM_CLICK);
        Close(dialog);
    });
    // The window and its object are gone; the waiting scan goes on, finds the window closing
    // and ends without touching it.
    EXPECT_TRUE(scan->detached());
    release = true;
    holder.join();
    EXPECT_TRUE(uitest::WaitFor([&] { return scan->running() == 0; }));
}

}  // namespace
