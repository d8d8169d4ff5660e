// The QC run end to end, on either window backend (natively on the headless one, under wine on
// the real controls): disks arrive on a virtual station, rows appear, are checked and go.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/ui_message_watch.h"
#include "qc/disk_offer.h"
#include "qc/messages.h"
#include "tests/qc/qc_run_fixture.h"
#include "usb/usb_port.h"

namespace {

using namespace ui;
using namespace qctest;

constexpr char kStationMap[] =
    "[PortMap]\r\nusb01=1\r\nusb02=2\r\nusb03=5\r\nusb04=0\r\nusb06=17\r\nusb12=3\r\n"
    "usb123=16\r\n[Setting]\r\nENABLE_PORT=1\r\n";

int PassThroughCalls(int disk) {
    const sim::VirtualDisk* d = sim::Station::Get().Disk(disk);
    return d == nullptr ? 0 : static_cast<int>(d->calls.size());
}

TEST_F(QcRunTest, ADiskArrivesIsCheckedAndLeaves) {
    WriteSettings(SampleCheckFile({u"vid", u"ProductName", u"CapMin", u"CapMax"}));
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Rows(dialog), 0);
            Plug(1, 1, u'E');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 1);
            EXPECT_EQ(Cell(dialog, 0, 0), u"E");
            EXPECT_EQ(Cell(dialog, 0, 1), u"-");
            EXPECT_EQ(Cell(dialog, 0, 2), u"1234");
            EXPECT_EQ(Cell(dialog, 0, 3), u"Flash Disk");
            EXPECT_EQ(Cell(dialog, 0, 4), u"3814MB");  // one "Capacity" column for both bounds
            EXPECT_EQ(dialog.resultList.GetColumnCount(), 5);
        },
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Verdict(dialog, 0), 1);
            Unplug(1);
            Notify(dialog, false);
            WaitForScans(dialog);
            EXPECT_EQ(Rows(dialog), 0);
        },
    });
}

TEST_F(QcRunTest, NoticesScansAndRefreshInFreeMode) {
    WriteSettings(SampleCheckFile({u"vid"}));
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            // Other notices start nothing; the answer is TRUE all the same.
            Plug(1, 1, u'E');
            EXPECT_EQ(dialog.SendMessage(WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0),
                      TRUE);
            WaitForScans(dialog);
            EXPECT_EQ(Rows(dialog), 0);
            // Two notices in quick succession: the second scan lists nothing twice and does
            // not read the first disk again.
            Plug(2, 2, u'F');
            Notify(dialog);
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
            EXPECT_EQ(Cell(dialog, 0, 0), u"E");
            EXPECT_EQ(Cell(dialog, 1, 0), u"F");
            const int readsOfE = PassThroughCalls(1);
            Plug(3, 3, u'G');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 3);
            EXPECT_EQ(PassThroughCalls(1), readsOfE) << "a listed disk is not opened again";
            // Refresh reads and checks all three again.
            Click(dialog, IDB_REFRESH);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 3);
            EXPECT_GT(PassThroughCalls(1), readsOfE);
        },
        [](app::CTavrinDlg& dialog) {
            for (int row = 0; row < 3; ++row)
                EXPECT_EQ(Verdict(dialog, row), 1) << row;
            // One of them leaves: its row goes, the others keep their values and verdicts.
            Unplug(2);
            Notify(dialog, false);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
            EXPECT_EQ(Cell(dialog, 0, 0), u"E");
            EXPECT_EQ(Cell(dialog, 1, 0), u"G");
            EXPECT_EQ(Cell(dialog, 1, 2), u"1234");
            EXPECT_EQ(Verdict(dialog, 1), 1);
        },
    });
}

TEST_F(QcRunTest, StationModeMapsPortsToRows) {
    sim::UsbMachine machine;
    machine.controllers.push_back(sim::Controller(123));
    sim::Station::Get().Usb().SetMachine(std::move(machine));
    WriteSettings(SampleCheckFile({u"vid"}), kStationMap);
    const auto letterOf = [](int row) -> std::u16string {
        return row == 2 ? u"L" : row == 4 ? u"G" : row == 15 ? u"M" : u"";
    };
    RunSteps({
        [&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.results.portMode(), 1);
            ASSERT_EQ(Rows(dialog), 16);
            EXPECT_EQ(Headings(dialog),
                      (std::vector<std::u16string>{u"Port", u"Vol", u"Check", u"VID"}));
            const int widths[] = {40, 40, 80, 50};
            for (int column = 0; column < 4; ++column)
                EXPECT_EQ(ui::testing::GetColumnWidth(dialog.resultList, column), widths[column])
                    << column;
            // usb03=5: row 4; usb12=3: row 2; usb123=16: row 15. usb04=0, no usb05, usb06=17:
            // no row. Port 1 holds a disk of another controller.
            Plug(3, 3, u'G');
            Plug(4, 4, u'H');
            Plug(5, 5, u'I');
            Plug(6, 6, u'J');
            Plug(12, 8, u'L');
            Plug(123, 9, u'M');
            Plug(1, 1, u'E', [](sim::VirtualDisk& disk) { disk.SetModel("QX9100"); });
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 16);
            for (int row = 0; row < 16; ++row) {
                EXPECT_EQ(Cell(dialog, row, 0), platform::DecimalText(row + 1));
                EXPECT_EQ(Cell(dialog, row, 1), letterOf(row)) << row;
                EXPECT_EQ(dialog.results.StateOf(row) != nullptr, !letterOf(row).empty()) << row;
            }
            EXPECT_EQ(Cell(dialog, 4, 2), u"-");
            EXPECT_EQ(Cell(dialog, 4, 3), u"1234");
            // Each row's bar: a vertical child of the list, its id the disk's port ordinal.
            for (const auto& [row, ordinal] : {std::pair{2, 12}, {4, 3}, {15, 123}}) {
                const qc::RowState* record = dialog.results.StateOf(row);
                ASSERT_NE(record, nullptr);
                EXPECT_EQ(ui::testing::GetDlgCtrlID(*record->bar), ordinal);
                EXPECT_EQ(record->bar->GetStyle() & (WS_CHILD | PBS_VERTICAL),
                          DWORD{WS_CHILD | PBS_VERTICAL});
            }
        },
        [&](app::CTavrinDlg& dialog) {
            // Run checks the rows with a disk and skips the empty ones.
            ASSERT_EQ(Verdict(dialog, 4), 1);
            ASSERT_EQ(Matches(dialog, 4)[device::kSlotVid], 1);
            SetText(dialog, IDE_VID, u"9999");
            Click(dialog, IDB_RUN);
            for (int row = 0; row < 16; ++row) {
                EXPECT_EQ(dialog.results.StateOf(row) != nullptr, !letterOf(row).empty()) << row;
                EXPECT_EQ(Cell(dialog, row, 2), letterOf(row).empty() ? u"" : u"-") << row;
            }
            EXPECT_EQ(Matches(dialog, 4)[device::kSlotVid], 0);
            EXPECT_EQ(Matches(dialog, 15)[device::kSlotVid], 0);
        },
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Verdict(dialog, 4), 2);
            // The same station port filled again without a clear: the row shows the new
            // disk, whose flags start at 1 again.
            const HWND oldBar = dialog.results.StateOf(4)->barWindow;
            SetText(dialog, IDE_VID, u"1234");
            Click(dialog, IDX_AUTO_CHECK);  // off, once collected: the new disk is not checked
            dialog.SendMessage(qc::kMsgCollectCheckValues);
            Unplug(3);
            Plug(3, 7, u'K');
            usb::UsbDeviceEntry entry;
            usb::VolumeEntry volume;
            volume.driveLetter = u'K';
            entry.portOrdinal = 3;
            entry.diskNumbers[0] = 7;
            entry.firstVolume = &volume;
            EXPECT_EQ(dialog.SendMessage(qc::kMsgAddDeviceRow, reinterpret_cast<WPARAM>(&entry)),
                      4);
            EXPECT_FALSE(IsWindow(oldBar));
            EXPECT_EQ(Cell(dialog, 4, 1), u"K");
            EXPECT_EQ(Matches(dialog, 4), std::vector<int>(device::kSlotCount, 1));
            EXPECT_EQ(Cell(dialog, 4, 3), u"1234");
            // A disk leaves: its station row is blanked but keeps its number.
            Unplug(3);
            Notify(dialog, false);
            WaitForScans(dialog);
            EXPECT_EQ(Rows(dialog), 16);
            EXPECT_EQ(Cell(dialog, 4, 0), u"5");
            EXPECT_EQ(Cell(dialog, 4, 1), u"");
            EXPECT_EQ(Cell(dialog, 4, 2), u"");
            EXPECT_EQ(dialog.results.StateOf(4), nullptr);
        },
    });
}

TEST_F(QcRunTest, RunAndTheCheckRulesInTheWindow) {
    // Expected texts in another case, capacity bounds around the disk's 3814MB, and Efs from
    // the drop-down. Auto Check off: only Run checks, and only with MP Info Check on.
    WriteSettings(
        SampleCheckFile(
            {u"ProductName", u"CapMin", u"CapMax", u"Efs"},
            {{"ProductName", "FLASH disk"}, {"CapMin", "3814"}, {"CapMax", "3813"}, {"Efs", "9"}}),
        {}, false, false);
    const auto efsMatch = [](app::CTavrinDlg& dialog, int entry) {
        SendMessage(Item(dialog, IDC_EFS), CB_SETCURSEL, static_cast<WPARAM>(entry));
        Click(dialog, IDB_RUN);
        return Matches(dialog, 0)[device::kSlotEfs];
    };
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            // 147456 sectors (72 MB): the entry "80MB".
            Plug(1, 1, u'E', [](sim::VirtualDisk& disk) {
                disk.block = sim::SampleInfoBlock().Efs(0x100, 0x100 + 147456).Bytes();
            });
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 1);
            EXPECT_EQ(Verdict(dialog, 0), 0);
            Click(dialog, IDB_RUN);  // MP Info Check off: nothing is checked
            EXPECT_EQ(Matches(dialog, 0), std::vector<int>(device::kSlotCount, 1));
            Click(dialog, IDX_INFO_CHECK);
            Click(dialog, IDB_RUN);
            const std::vector<int> flags = Matches(dialog, 0);
            EXPECT_EQ(flags[device::kSlotProductName], 1);  // case does not count
            EXPECT_EQ(flags[device::kSlotCapMin], 1);
            EXPECT_EQ(flags[device::kSlotCapMax], 0);  // 3814 above 3813
            EXPECT_EQ(flags[device::kSlotEfs], 1);     // "80MB", selected from the file
        },
        [&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Verdict(dialog, 0), 2);
            // The Efs selection is read at the moment of the check, without collecting.
            SetText(dialog, IDE_CAP_MAX, u"3814");
            EXPECT_EQ(efsMatch(dialog, -1), 0);  // nothing selected
            EXPECT_EQ(Matches(dialog, 0)[device::kSlotCapMax], 1);
            EXPECT_EQ(efsMatch(dialog, 9), 1);
            EXPECT_EQ(efsMatch(dialog, 8), 0);  // "64MB"
        },
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(Verdict(dialog, 0), 2);
            SendMessage(Item(dialog, IDC_EFS), CB_SETCURSEL, 9);
            Click(dialog, IDB_RUN);
        },
        [](app::CTavrinDlg& dialog) { EXPECT_EQ(Verdict(dialog, 0), 1); },
    });
}

// A scan builds the window's check setup once, however many disks it adds (the drop-down lists
// are read once); a disk added later still meets the Efs selection of the moment of its check.
TEST_F(QcRunTest, AScanBuildsItsSetupOnceAndEachCheckReadsTheEfsSelection) {
    WriteSettings(SampleCheckFile({u"vid", u"Efs"}, {{"Efs", "1"}}));  // "8MB": the sample's
    RunSteps({[](app::CTavrinDlg& dialog) {
        for (int port = 1; port <= 3; ++port)
            Plug(port, port, static_cast<char16_t>(u'D' + port));
        const HWND rfreq = Item(dialog, IDC_RFREQ);
        int listReads = 0;
        const auto watching = [&] {
            return ui::testing::MessageWatch([&](const ui::testing::Delivery& d) {
                listReads += d.window == rfreq && d.message == CB_GETCOUNT ? 1 : 0;
            });
        };
        {
            const auto watch = watching();
            dialog.SelectionListsFromControls();
        }
        const int oneReading = listReads;
        ASSERT_GT(oneReading, 0);
        listReads = 0;
        {
            const auto watch = watching();
            Notify(dialog);
            WaitForScans(dialog);
        }
        ASSERT_EQ(Rows(dialog), 3);
        EXPECT_EQ(listReads, oneReading) << "the setup of three rows built once";
        EXPECT_EQ(Matches(dialog, 2)[device::kSlotEfs], 1);

        // Within a scan, after the setup was built: the row's check reads the selection anew.
        SendMessage(Item(dialog, IDC_EFS), CB_SETCURSEL, 0);
        usb::CEnumUSB enumerator;
        std::vector<qc::FoundDevice> found = qc::CopyDevices(nullptr, &enumerator);
        dialog.results.ClearRow(2);
        for (const qc::FoundDevice& device : found) {
            if (device.entry.firstVolume == nullptr ||
                device.entry.firstVolume->driveLetter != u'G')
                continue;
            EXPECT_EQ(dialog.SendMessage(qc::kMsgAddDeviceRow,
                                         reinterpret_cast<WPARAM>(&device.entry), 0),
                      2);
        }
        EXPECT_EQ(Cell(dialog, 2, 0), u"G");
        EXPECT_EQ(Matches(dialog, 2)[device::kSlotEfs], 0) << "\"0MB\" selected now";
        EXPECT_EQ(Matches(dialog, 0)[device::kSlotEfs], 1);
    }});
}

TEST_F(QcRunTest, SeveralVolumesAndALetterThatComesLater) {
    WriteSettings(SampleCheckFile({u"vid"}));
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            sim::VirtualDisk& disk = sim::Station::Get().AddDisk(1);
            disk.SetModel("RV7730");
            disk.block = sim::SampleInfoBlock().Bytes();
            sim::UsbDevice device = sim::FlashDisk(1, u'E');
            sim::UsbVolume second = device.disks[0].volumes[0];
            second.mountPaths = {u"F:\\"};
            second.volumeName.clear();
            second.interfacePath.clear();
            device.disks[0].volumes.push_back(second);
            ASSERT_TRUE(sim::Station::Get().Usb().Plug({0, {1}}, device));
            Plug(2, 2, 0);  // no letter yet: never listed
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 1);
            EXPECT_EQ(Cell(dialog, 0, 0), u"E|F");
            EXPECT_TRUE(dialog.results.IsDriveListed(u'E'));
            EXPECT_FALSE(dialog.results.IsDriveListed(u'F'));
            EXPECT_FALSE(dialog.results.IsDriveListed(u'e'));
            // The letter arrives: the next notice lists the disk.
            Unplug(2);
            Plug(2, 2, u'G');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
            EXPECT_EQ(Cell(dialog, 1, 0), u"G");
        },
    });
}

TEST_F(QcRunTest, UsbPortSelectSwitchesTheModeAndRebuildsTheRows) {
    WriteSettings(SampleCheckFile({u"vid"}),
                  "[PortMap]\r\nusb03=1\r\n[Setting]\r\nENABLE_PORT=0\r\n");
    const auto choose = [](app::CTavrinDlg& dialog, bool station, int button) {
        ui::WhenIdle([station, button] {
            usb::CUsbPort* ports = PortDialog();
            ASSERT_NE(ports, nullptr);
            ASSERT_TRUE(WaitServingSentMessages([&] { return !ports->IsWorkerRunning(); }, 10000));
            const HWND box = ports->GetDlgItem(IDX_ENABLE_PORT);
            if ((SendMessage(box, BM_GETCHECK) == BST_CHECKED) != station)
                SendMessage(box, BM_CLICK);
            SendMessage(ports->m_hWnd, WM_COMMAND, static_cast<WPARAM>(button), 0);
        });
        Click(dialog, IDB_PORT_SELECT);
    };
    RunSteps({
        [&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.results.portMode(), 0);
            Plug(1, 1, u'E');
            Plug(3, 3, u'G');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
            choose(dialog, true, IDCANCEL);  // cancelled: nothing changes
            EXPECT_EQ(dialog.results.portMode(), 0);
            ASSERT_EQ(Rows(dialog), 2);
            choose(dialog, true, IDOK);
            EXPECT_EQ(dialog.results.portMode(), 1);
            EXPECT_EQ(Headings(dialog),
                      (std::vector<std::u16string>{u"Port", u"Vol", u"Check", u"VID"}));
            ASSERT_EQ(Rows(dialog), 16);
            // Rebuilt from the dialog's walk: port 3 is station port 1; port 1 is not mapped.
            EXPECT_EQ(Cell(dialog, 0, 1), u"G");
            EXPECT_EQ(Cell(dialog, 0, 3), u"1234");
            for (int row = 1; row < 16; ++row)
                EXPECT_EQ(dialog.results.StateOf(row), nullptr) << row;
            // The same mode again keeps the columns and the station rows.
            choose(dialog, true, IDOK);
            EXPECT_EQ(Rows(dialog), 16);
            EXPECT_EQ(Cell(dialog, 0, 1), u"G");
            choose(dialog, false, IDOK);
            EXPECT_EQ(dialog.results.portMode(), 0);
            EXPECT_EQ(Headings(dialog), (std::vector<std::u16string>{u"Vol", u"Check", u"VID"}));
            ASSERT_EQ(Rows(dialog), 2);
            EXPECT_EQ(Cell(dialog, 0, 0), u"E");
            EXPECT_EQ(Cell(dialog, 1, 0), u"G");
        },
    });
}

TEST_F(QcRunTest, TheBarsFollowSelectionAndFocusAndAClickSelectsItsRow) {
    WriteSettings(SampleCheckFile({u"vid"}));
    LRESULT defaultId = 0;
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            Plug(1, 1, u'E');
            Plug(2, 2, u'F');
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), 2);
        },
        [](app::CTavrinDlg& dialog) {
            // The bars lie over their "Check" cells once the list has painted.
            for (int row = 0; row < 2; ++row) {
                const qc::RowState* record = dialog.results.StateOf(row);
                ASSERT_NE(record, nullptr);
                EXPECT_EQ(record->barShown, 1);
                EXPECT_TRUE(record->bar->IsWindowVisible());
                RECT cell{}, bar{};
                ASSERT_TRUE(dialog.resultList.GetSubItemRect(row, 1, LVIR_BOUNDS, cell));
                record->bar->GetWindowRect(&bar);
                POINT topLeft{bar.left, bar.top};
                dialog.resultList.ScreenToClient(&topLeft);
                EXPECT_EQ(topLeft.x, cell.left + 1) << row;
                EXPECT_EQ(topLeft.y, cell.top) << row;
                EXPECT_EQ(bar.bottom - bar.top, cell.bottom - 1 - cell.top) << row;
            }
            dialog.resultList.SetFocus();
            dialog.resultList.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
        },
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.results.StateOf(0)->bar->selected(), 1);
            EXPECT_EQ(dialog.results.StateOf(1)->bar->selected(), 0);
            CBorrowed<>(Item(dialog, IDB_RUN)).SetFocus();  // the list loses the focus
        },
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.results.StateOf(0)->bar->selected(), 0);
            dialog.resultList.SetFocus();
        },
        [&](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.results.StateOf(0)->bar->selected(), 1);
            // A click on the second row's bar, with either button, selects that row alone and
            // leaves the default button as it was.
            defaultId = dialog.SendMessage(DM_GETDEFID);
            for (UINT press : {WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
                CBorrowed<>(Item(dialog, IDB_RUN)).SetFocus();
                qc::CProgressX& bar = *dialog.results.StateOf(1)->bar;
                RECT rect{};
                bar.GetWindowRect(&rect);
                ui::testing::SetCursorPos(
                    {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
                bar.SendMessage(press, 0, 0);
                SendMessage(bar.m_hWnd, press == WM_LBUTTONDOWN ? WM_LBUTTONUP : WM_RBUTTONUP);
                EXPECT_EQ(dialog.resultList.GetItemState(0, LVIS_SELECTED | LVIS_FOCUSED), 0u);
                EXPECT_EQ(dialog.resultList.GetItemState(1, LVIS_SELECTED | LVIS_FOCUSED),
                          LVIS_SELECTED | LVIS_FOCUSED);
                EXPECT_EQ(ui::GetFocus(), dialog.resultList.m_hWnd);
                EXPECT_EQ(dialog.SendMessage(DM_GETDEFID), defaultId);
            }
        },
        [](app::CTavrinDlg& dialog) {
            EXPECT_EQ(dialog.results.StateOf(0)->bar->selected(), 0);
            EXPECT_EQ(dialog.results.StateOf(1)->bar->selected(), 1);
            // Stop does nothing.
            Click(dialog, IDB_STOP);
            EXPECT_EQ(Rows(dialog), 2);
            EXPECT_TRUE(IsWindow(dialog.m_hWnd));
        },
    });
}

TEST_F(QcRunTest, ScrolledWithoutFocusEveryVisibleBarCoversItsCell) {
    // More disks than the list shows at once.
    static constexpr int kDisks = 22;  // E: to Z:
    sim::UsbMachine machine;
    machine.controllers.push_back(sim::Controller(kDisks));
    sim::Station::Get().Usb().SetMachine(std::move(machine));
    WriteSettings(SampleCheckFile({u"vid"}));
    const auto barsCoverTheirCells = [](app::CTavrinDlg& dialog) {
        CListCtrl& list = dialog.resultList;
        const int top = list.GetTopIndex();
        const int end = top + list.GetCountPerPage();
        for (int row = 0; row < Rows(dialog); ++row) {
            const qc::RowState* record = dialog.results.StateOf(row);
            ASSERT_NE(record, nullptr);
            // Row `end` may show in part, and then so does its bar.
            if (row < top || row > end) {
                EXPECT_FALSE(record->bar->IsWindowVisible()) << row;
                continue;
            }
            if (row == end && !record->bar->IsWindowVisible())
                continue;
            ASSERT_TRUE(record->bar->IsWindowVisible()) << row;
            RECT cell{}, bar{};
            ASSERT_TRUE(list.GetSubItemRect(row, 1, LVIR_BOUNDS, cell));
            record->bar->GetWindowRect(&bar);
            POINT topLeft{bar.left, bar.top};
            list.ScreenToClient(&topLeft);
            EXPECT_EQ(topLeft.x, cell.left + 1) << row;
            EXPECT_EQ(topLeft.y, cell.top) << row;
        }
    };
    RunSteps({
        [](app::CTavrinDlg& dialog) {
            for (int i = 0; i < kDisks; ++i)
                Plug(i + 1, i + 1, static_cast<char16_t>(u'E' + i));
            Notify(dialog);
            WaitForScans(dialog);
            ASSERT_EQ(Rows(dialog), kDisks);
            ASSERT_LT(dialog.resultList.GetCountPerPage(), kDisks);
            CBorrowed<>(Item(dialog, IDB_RUN)).SetFocus();  // the list has no focus
        },
        barsCoverTheirCells,
        [](app::CTavrinDlg& dialog) {
            EXPECT_TRUE(ui::testing::EnsureVisible(dialog.resultList, kDisks - 1, false));
            EXPECT_GT(dialog.resultList.GetTopIndex(), 0);
        },
        barsCoverTheirCells,
        [](app::CTavrinDlg& dialog) {
            EXPECT_TRUE(ui::testing::EnsureVisible(dialog.resultList, 0, false));
        },
        barsCoverTheirCells,
    });
}

}  // namespace
