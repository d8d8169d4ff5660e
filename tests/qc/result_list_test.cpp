// The result list without a main window: a bare list control and the setups it is handed, on
// either backend. The disks are the sample station's (docs/demo).
#include "qc/result_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/sim/files.h"
#include "platform/sim/station.h"
#include "platform/sim/station_file.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_testing.h"
#include "qc/disk_offer.h"
#include "tests/support/message_sequence.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace ui;
namespace fs = std::filesystem;

class ResultListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto loaded = sim::LoadStationFile(
            (fs::path(TAVRIN_DOCS_DIR) / "demo" / "station16.station").string());
        ASSERT_TRUE(loaded.ok) << loaded.error;
        sim::Files::Get().SetRoot(root.path());
        // Ordinal 3 (G:) on station port 5, ordinal 4 (H:) on none.
        root.Write("C/line.pfg", "[Setting]\r\nENABLE_PORT=1\r\n[PortMap]\r\nusb03=5\r\n");
        usb::CEnumUSB enumerator;
        for (qc::FoundDevice& device : qc::CopyDevices(nullptr, &enumerator)) {
            if (device.entry.firstVolume != nullptr)
                byLetter.emplace(device.entry.firstVolume->driveLetter, std::move(device));
        }
        ASSERT_TRUE(host.Create());
        ASSERT_TRUE(list.Create(u"SysListView32", u"", WS_CHILD | WS_VISIBLE | LVS_REPORT,
                                {0, 0, 380, 280}, &host, 1000));

        setup.lists = device::SelectionListsFor(device::Language::English);
        setup.portFile = u"C:\\line.pfg";
        for (std::size_t item : {device::kSlotProductName, device::kSlotEfs, device::kSlotCapMin,
                                 device::kSlotCapMax}) {
            setup.enabled[item] = 1;
            columns.enabled[item] = 1;
        }
        columns.captions[device::kSlotProductName] = u"Product";
        columns.captions[device::kSlotEfs] = u"EFS";
        columns.captions[device::kSlotCapMin] = u"Size";
        columns.widths.fill(60);
        setup.expected[device::kSlotProductName] = u"flash disk";
        setup.expected[device::kSlotCapMin] = u"3800";
        setup.expected[device::kSlotCapMax] = u"3900";
        setup.efsSelection = 1;  // "8MB": 16384 sectors
    }
    void TearDown() override {
        results.ClearAllRows();
        list.DestroyWindow();
        host.DestroyWindow();
        sim::Station::Get().Reset();
        sim::Files::Get().Reset();
    }

    const usb::UsbDeviceEntry& Disk(char16_t letter) { return byLetter.at(letter).entry; }

    std::vector<std::u16string> Headings() {
        std::vector<std::u16string> headings;
        for (int c = 0; c < list.GetColumnCount(); ++c)
            headings.push_back(ui::testing::GetColumnHeading(list.m_hWnd, c));
        return headings;
    }

    // The bar's verdict once the posted messages are served.
    std::uint8_t Verdict(int row) {
        ui::PostQuitMessage(0);
        ui::RunMessageLoop();
        const qc::RowState* record = results.StateOf(row);
        return record == nullptr ? 0xFF : record->bar->verdict();
    }

    testsupport::TempFolder root{"result-list"};
    std::map<char16_t, qc::FoundDevice> byLetter;
    uitest::NotifyHost host;
    CListCtrl list;
    qc::ResultList results{list};
    qc::CheckSetup setup;
    qc::ItemColumns columns;
};

TEST_F(ResultListTest, RowsAreJudgedByTheSetupTheyAreHanded) {
    results.SetPortMode(0, columns);
    EXPECT_EQ(Headings(),
              (std::vector<std::u16string>{u"Vol", u"Check", u"Product", u"EFS", u"Size"}))
        << "CapMax shares CapMin's column";

    setup.autoCheck = true;
    const int e = results.AddDeviceRow(Disk(u'E'), setup);
    ASSERT_EQ(e, 0);
    EXPECT_EQ(list.GetItemText(e, 2), u"Flash Disk");
    EXPECT_EQ(Verdict(e), qc::CProgressX::kPass);

    // Without Auto Check a row waits for a check, which takes the setup of its moment: the Efs
    // selection included.
    setup.autoCheck = false;
    const int g = results.AddDeviceRow(Disk(u'G'), setup);
    ASSERT_EQ(g, 1);
    EXPECT_EQ(Verdict(g), qc::CProgressX::kNone);
    setup.efsSelection = -1;
    results.CheckRow(g, setup);
    EXPECT_EQ(Verdict(g), qc::CProgressX::kFail);
    const qc::RowState& record = *results.StateOf(g);
    EXPECT_EQ(record.matches[device::kSlotProductName], 0) << "USB DISK";
    EXPECT_EQ(record.matches[device::kSlotEfs], 0) << "nothing selected";
    EXPECT_EQ(record.matches[device::kSlotCapMin], 1);
    EXPECT_EQ(record.matches[device::kSlotCapMax], 1);

    setup.efsSelection = 1;
    setup.expected[device::kSlotProductName] = u"USB DISK";
    results.CheckRow(g, setup);
    EXPECT_EQ(Verdict(g), qc::CProgressX::kPass) << "a later check overwrites the verdict";
}

TEST_F(ResultListTest, StationRowsComeFromTheSetupsPortMap) {
    results.SetPortMode(1, columns);
    ASSERT_EQ(list.GetItemCount(), qc::ResultList::kStationRows);
    EXPECT_EQ(results.AddDeviceRow(Disk(u'G'), setup), 4) << "station port 5";
    EXPECT_EQ(results.AddDeviceRow(Disk(u'H'), setup), -1) << "not on the map";
    EXPECT_TRUE(results.IsDriveListed(u'G'));
    EXPECT_FALSE(results.IsDriveListed(u'H'));
    setup.portFile = u"C:\\missing.pfg";
    EXPECT_EQ(results.AddDeviceRow(Disk(u'E'), setup), -1) << "no map, no station port";
}

// A disk whose drive will not open when its block is to be read (pulled, swapped, refused) was
// never read: its row shows no values and gets no verdict and no log line, on Auto Check and on
// Run alike. A block read and wrong is still the disk's FAIL, logged as not read, with no item
// enabled as with some: its empty values say nothing good of it.
TEST_F(ResultListTest, ADiskNeverReadGetsNoVerdict) {
    results.SetPortMode(0, columns);
    results.log.SetPath(u"C:\\results.csv");
    setup.autoCheck = true;
    const int e = Disk(u'E').diskNumbers[0];
    sim::Station::Get().DenyOpen(u"\\\\.\\PHYSICALDRIVE" + platform::DecimalText(e));
    const int unopened = results.AddDeviceRow(Disk(u'E'), setup);
    ASSERT_EQ(unopened, 0);
    EXPECT_EQ(list.GetItemText(unopened, 0), u"E");
    EXPECT_EQ(list.GetItemText(unopened, 1), u"-");
    EXPECT_EQ(list.GetItemText(unopened, 2), u"");
    EXPECT_EQ(Verdict(unopened), qc::CProgressX::kNone);
    results.CheckRow(unopened, setup);  // Run
    EXPECT_EQ(Verdict(unopened), qc::CProgressX::kNone);
    EXPECT_FALSE(fs::exists(root.path() / "C" / "results.csv"));

    const int unread = results.AddDeviceRow(Disk(u'J'), setup);  // a block of zeros
    ASSERT_EQ(unread, 1);
    EXPECT_EQ(list.GetItemText(unread, 2), u"");
    EXPECT_EQ(Verdict(unread), qc::CProgressX::kFail);
    setup.enabled.fill(0);
    const int unreadUnjudged = results.AddDeviceRow(Disk(u'J'), setup);
    ASSERT_EQ(unreadUnjudged, 2);
    EXPECT_EQ(Verdict(unreadUnjudged), qc::CProgressX::kFail);
    results.CheckRow(unreadUnjudged, setup);  // Run
    const std::string logged = root.Read("C/results.csv");
    EXPECT_EQ(logged.find(",E,"), std::string::npos) << logged;
    std::size_t lines = 0;
    for (std::size_t at = logged.find("\r\n") + 2; at < logged.size(); ++lines) {
        const std::size_t end = logged.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << logged;
        const std::string line = logged.substr(at, end - at);
        EXPECT_NE(line.find(",J,FAIL,"), std::string::npos) << line;
        EXPECT_TRUE(line.ends_with(",(not read)")) << line;
        at = end + 2;
    }
    EXPECT_EQ(lines, 3u) << "Auto Check's, then Auto Check's and Run's with no item enabled";
}

}  // namespace
