// The scan's conversation with the window, recorded by a sink that stands in for the result
// list: what it asks, in which order, on a virtual station.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/sim/info_block.h"
#include "platform/sim/station.h"
#include "platform/sim/usb_side.h"
#include "qc/device_scan.h"

namespace {

class RecordingSink : public qc::ScanSink {
  public:
    bool freeMode = true;
    std::vector<std::u16string> rows;  // the "Vol" cells
    std::vector<std::string> calls;

    void CollectCheckValues() override { calls.push_back("collect"); }
    void AddDeviceRow(const usb::UsbDeviceEntry& entry) override {
        std::u16string letters;
        for (const usb::VolumeEntry* v = entry.firstVolume; v != nullptr; v = v->next)
            letters += v->driveLetter;
        calls.push_back("add " + std::string(letters.begin(), letters.end()));
        rows.push_back(letters.substr(0, 1));
    }
    void ClearRow(int row, char16_t letter) override {
        calls.push_back(
            "clear " + std::to_string(row) + " " +
            (letter == 0 ? std::string("-") : std::string(1, static_cast<char>(letter))));
        if (rows[static_cast<std::size_t>(row)].substr(0, 1) !=
            std::u16string(letter == 0 ? 0 : 1, letter))
            return;  // the window leaves a row that shows another letter by now
        if (freeMode)
            rows.erase(rows.begin() + row);
        else
            rows[static_cast<std::size_t>(row)].clear();
    }
    int RowCount() override { return static_cast<int>(rows.size()); }
    std::u16string VolCell(int row, int bufferSize) override {
        return rows[static_cast<std::size_t>(row)].substr(0,
                                                          static_cast<std::size_t>(bufferSize - 1));
    }
    bool IsDriveListed(char16_t letter) override {
        for (const auto& cell : rows) {
            if (!cell.empty() && cell[0] == letter)
                return true;
        }
        return false;
    }
};

class DeviceScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Station::Get().Reset();
        sim::UsbMachine machine;
        machine.controllers.push_back(sim::Controller(6));
        sim::Station::Get().Usb().SetMachine(std::move(machine));
    }
    void TearDown() override { sim::Station::Get().Reset(); }

    static void Disk(int port, char16_t letter, const char* model = "RV7730") {
        sim::VirtualDisk& disk = sim::Station::Get().AddDisk(port);
        disk.SetModel(model);
        disk.block = sim::SampleInfoBlock().Bytes();
        ASSERT_TRUE(sim::Station::Get().Usb().Plug({0, {port}}, sim::FlashDisk(port, letter)));
    }
};

TEST_F(DeviceScanTest, OffersNewSupportedDisksThenClearsVanishedRows) {
    Disk(1, u'E');            // listed already: not opened again
    Disk(2, u'F');            // new: offered
    Disk(3, u'H', "QX9100");  // another controller: skipped
    Disk(4, 0);               // no letter: skipped
    Disk(5, u'G');            // listed
    RecordingSink sink;
    sink.rows = {u"E", u"X", u"Y", u"G"};
    auto scan = std::make_shared<qc::ScanShared>(sink);
    scan->ScanDevices();
    // Free mode: after a clear the next row has moved up, so the same index comes again.
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"collect", "add F", "clear 1 X", "clear 1 Y"}));
    EXPECT_EQ(sink.rows, (std::vector<std::u16string>{u"E", u"G", u"F"}));
    EXPECT_EQ(sim::Station::Get().Disk(1)->calls.size(), 0u);

    // A second scan finds everything listed and in place.
    sink.calls.clear();
    scan->ScanDevices();
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"collect"}));
}

TEST_F(DeviceScanTest, StationRowsWithoutADiskAreClearedEachTime) {
    Disk(1, u'E');
    RecordingSink sink;
    sink.freeMode = false;
    sink.rows = {u"", u"E", u"", u"Q"};
    auto scan = std::make_shared<qc::ScanShared>(sink);
    scan->ScanDevices();
    EXPECT_EQ(sink.calls,
              (std::vector<std::string>{"collect", "clear 0 -", "clear 2 -", "clear 3 Q"}));
    EXPECT_EQ(sink.rows, (std::vector<std::u16string>{u"", u"E", u"", u""}));
}

TEST_F(DeviceScanTest, ADetachedWindowIsNeverReached) {
    Disk(1, u'E');
    RecordingSink sink;
    auto scan = std::make_shared<qc::ScanShared>(sink);
    scan->Detach();
    EXPECT_TRUE(scan->detached());
    scan->ScanDevices();
    scan->StartScan();
    while (scan->running() > 0)
        std::this_thread::yield();
    EXPECT_TRUE(sink.calls.empty());
}

}  // namespace

namespace {

TEST_F(DeviceScanTest, WithoutTheSystemsDrivesNoRowIsCleared) {
    Disk(1, u'E');
    RecordingSink sink;
    sink.rows = {u"E", u"X"};
    auto scan = std::make_shared<qc::ScanShared>(sink);
    sim::Station::Get().SetLogicalDrivesFail(true);
    scan->ScanDevices();
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"collect"}));
    sim::Station::Get().SetLogicalDrivesFail(false);
    scan->ScanDevices();
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"collect", "collect", "clear 1 X"}));
}

}  // namespace
