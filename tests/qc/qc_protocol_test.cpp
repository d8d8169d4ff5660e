// The main window's own protocol as recorded message sequences, on either backend (natively on
// the headless one, under wine on the real controls): what a scan sends the window, and what the
// window posts to the check bars.
#include <gtest/gtest.h>

#include "qc/messages.h"
#include "qc/progress_x.h"
#include "tests/qc/qc_run_fixture.h"
#include "tests/support/message_sequence.h"
#include "usb/device_list.h"

namespace {

using namespace ui;
using namespace qctest;
using uitest::Msg;
using Sequence = std::vector<Msg>;

// The UI thread's share of the protocol. The scan's messages to the window (an add's item: the
// port ordinal of the entry it points to), and the bars' verdicts and selection look (item: the
// bar's id, its disk's port ordinal).
class ProtocolRecord {
  public:
    uitest::MessageSequence window;
    uitest::MessageSequence bars;

  private:
    void Record(const ui::testing::Delivery& d) {
        const CWnd* main = AfxGetMainWnd();
        if (main != nullptr && d.window == main->m_hWnd &&
            (d.message == qc::kMsgCollectCheckValues || d.message == qc::kMsgAddDeviceRow ||
             d.message == qc::kMsgClearRow)) {
            Msg& m = window.AddDelivery(d);
            if (d.message == qc::kMsgAddDeviceRow && d.wParam != 0)
                m.item = reinterpret_cast<const usb::UsbDeviceEntry*>(d.wParam)->portOrdinal;
            return;
        }
        if (d.message != PBM_DELTAPOS && d.message != PBM_SETRANGE32)
            return;
        if (const auto* bar = dynamic_cast<const qc::CProgressX*>(CWnd::FromHandle(d.window)))
            bars.AddDelivery(d, d.message == PBM_DELTAPOS).item = ui::testing::GetDlgCtrlID(*bar);
    }

    ui::testing::MessageWatch watch_{[this](const ui::testing::Delivery& d) { Record(d); }};
};

Msg Collect() {
    return uitest::SentFromAnotherThread(qc::kMsgCollectCheckValues).WParam(0).LParam(0);
}
Msg Add(int portOrdinal) {
    return uitest::SentFromAnotherThread(qc::kMsgAddDeviceRow).Item(portOrdinal).LParam(0);
}
Msg Clear(int row) {
    return uitest::SentFromAnotherThread(qc::kMsgClearRow).WParam(static_cast<WPARAM>(row));
}
Msg BarVerdict(int bar, bool pass) {
    return uitest::Posted(PBM_DELTAPOS)
        .Item(bar)
        .WParam(pass ? 1 : 2)
        .Text(pass ? u"PASS" : u"FAIL");
}
Msg Look(int bar, bool selected) {
    return uitest::Posted(PBM_SETRANGE32).Item(bar).WParam(selected ? 1 : 0);
}

TEST_F(QcRunTest, AStationScanCollectsThenAddsInListOrderThenClearsEveryRowWithoutItsDisk) {
    // Ports 1 and 3 are the station's ports 1 and 5: rows 0 and 4.
    WriteSettings(SampleCheckFile({u"vid"}),
                  "[PortMap]\r\nusb01=1\r\nusb03=5\r\n[Setting]\r\nENABLE_PORT=1\r\n");
    Plug(3, 3, u'G');
    Plug(1, 1, u'E');
    ProtocolRecord record;
    Sequence unplugged = {Collect()};
    RunSteps({
        [&](app::CTavrinDlg&) {
            Sequence start = {Collect(), Add(1), Add(3)};
            for (int row = 0; row < 16; ++row) {
                if (row != 0 && row != 4)
                    start.push_back(Clear(row));
            }
            EXPECT_SEQUENCE(record.window, start, "the start-up scan");
            EXPECT_SEQUENCE(record.bars, (Sequence{BarVerdict(1, true), BarVerdict(3, true)}),
                            "the start-up scan's verdicts");
            record.window.Clear();
            record.bars.Clear();
        },
        [&](app::CTavrinDlg& dialog) {
            Unplug(1);
            Notify(dialog, false);
            WaitForScans(dialog);
            for (int row = 0; row < 16; ++row) {
                if (row != 4)
                    unplugged.push_back(Clear(row));
            }
            EXPECT_SEQUENCE(record.window, unplugged, "a scan after a removal");
            EXPECT_SEQUENCE(record.bars, Sequence{}, "a scan after a removal");
        },
    });
}

TEST_F(QcRunTest, AFreeScanClearsTheRowThatMovedUpAgain) {
    WriteSettings(SampleCheckFile({u"vid"}));
    ProtocolRecord record;
    RunSteps({
        [&](app::CTavrinDlg& dialog) {
            EXPECT_SEQUENCE(record.window, Sequence{Collect()}, "the start-up scan of no disk");
            record.window.Clear();
            Plug(2, 2, u'F');
            Plug(1, 1, u'E');
            Plug(3, 3, u'G');
            Notify(dialog);
            WaitForScans(dialog);
            EXPECT_SEQUENCE(record.window, (Sequence{Collect(), Add(1), Add(2), Add(3)}),
                            "three arrivals");
            record.window.Clear();
            Unplug(1);
            Unplug(2);
            Notify(dialog, false);
            WaitForScans(dialog);
            EXPECT_SEQUENCE(record.window, (Sequence{Collect(), Clear(0), Clear(0)}),
                            "two removals");
            EXPECT_EQ(Rows(dialog), 1);
        },
    });
}

TEST_F(QcRunTest, VerdictsAndTheSelectionLookArePostedToTheBars) {
    WriteSettings(SampleCheckFile({u"vid"}), {}, /*autoCheck=*/false);
    Plug(1, 1, u'E');
    Plug(2, 2, u'F', [](sim::VirtualDisk& disk) {
        disk.block = sim::SampleInfoBlock().Ids(0x9999, 0x7730).Bytes();
    });
    ProtocolRecord record;
    RunSteps({
        [&](app::CTavrinDlg& dialog) {
            EXPECT_SEQUENCE(record.bars, Sequence{}, "without Auto Check, no verdict");
            Click(dialog, IDB_RUN);
        },
        [&](app::CTavrinDlg& dialog) {
            EXPECT_SEQUENCE(record.bars, (Sequence{BarVerdict(1, true), BarVerdict(2, false)}),
                            "Run");
            record.bars.Clear();
            dialog.resultList.SetFocus();
            dialog.resultList.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
        },
        [&](app::CTavrinDlg& dialog) { CBorrowed<>(Item(dialog, IDB_RUN)).SetFocus(); },
        [&](app::CTavrinDlg& dialog) { dialog.resultList.SetFocus(); },
        [&](app::CTavrinDlg& dialog) { dialog.resultList.SetItemState(1, 0, LVIS_SELECTED); },
        [&](app::CTavrinDlg&) {
            EXPECT_SEQUENCE(
                record.bars,
                (Sequence{Look(2, true), Look(2, false), Look(2, true), Look(2, false)}),
                "select, focus away, focus back, deselect");
        },
    });
}

}  // namespace
