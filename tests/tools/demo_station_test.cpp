// The demo's station on the whole program, on either window backend: the sample station's
// disks arrive by the timeline and by the panel, their notices reach the window by themselves,
// and every kind of disk the sample holds ends as the sample's comments say.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/sim/device_notices.h"
#include "platform/text.h"
#include "tests/qc/qc_run_fixture.h"
#include "tools/demo/demo_panel.h"
#include "tools/demo/demo_station.h"

namespace {

using qctest::QcRunTest;

const std::filesystem::path kDemo = std::filesystem::path(TAVRIN_DOCS_DIR) / "demo";

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class DemoStationTest : public QcRunTest {
  protected:
    void SetUp() override {
        QcRunTest::SetUp();
        for (const char* name : {"Tavrin.ini", "station16.pfg", "line16.chk"}) {
            const std::string text = Slurp(kDemo / name);
            ASSERT_FALSE(text.empty()) << name;
            WriteFile(u"C:\\Tools\\Tavrin\\" + platform::FromUtf8(name), text);
        }
        const sim::StationFileResult loaded = station.Load(kDemo / "station16.station");
        ASSERT_TRUE(loaded.ok) << loaded.error;
        sim::SendDeviceNotices(true);
    }
    void TearDown() override {
        station.StopTimeline();
        sim::SendDeviceNotices(false);
        QcRunTest::TearDown();
    }

    std::size_t DiskAt(std::u16string_view place) const {
        for (std::size_t i = 0; i < station.Disks().size(); ++i) {
            if (station.Disks()[i].place == place)
                return i;
        }
        ADD_FAILURE() << "no disk at " << platform::ToUtf8(place);
        return 0;
    }

    // Which cells of a row did not meet the line's configuration, by slot key.
    static std::vector<std::u16string_view> Failed(app::CTavrinDlg& dialog, int row) {
        std::vector<std::u16string_view> keys;
        const std::vector<int> matches = Matches(dialog, row);
        for (std::size_t i = 0; i < matches.size(); ++i) {
            if (matches[i] == 0)
                keys.push_back(device::kSlotKeys[i]);
        }
        return keys;
    }

    demo::DemoStation station;
};

using Keys = std::vector<std::u16string_view>;

TEST_F(DemoStationTest, TheTimelineBringsEveryKindOfDiskOfTheSample) {
    ASSERT_EQ(station.Disks().size(), 12u);
    demo::Timeline allAtOnce;
    allAtOnce.firstArrival = allAtOnce.spacing = std::chrono::milliseconds(0);
    allAtOnce.stay = std::chrono::hours(1);
    RunSteps({
        [&](app::CTavrinDlg& dialog) {
            station.StartTimeline(allAtOnce);
            // The timeline's thread sends the notices; this thread serves them.
            ASSERT_TRUE(ui::WaitServingSentMessages(
                [&] {
                    for (std::size_t i = 0; i < station.Disks().size(); ++i) {
                        if (!station.IsPlugged(i))
                            return false;
                    }
                    return true;
                },
                20000));
            station.StopTimeline();
            WaitForScans(dialog);
        },
        [&](app::CTavrinDlg& dialog) {
            ASSERT_EQ(Rows(dialog), 16);  // station mode: one row per port
            // Station port, "Vol" cell, verdict (1 PASS, 2 FAIL) and the failed values.
            struct Expected {
                int port;
                const char16_t* vol;
                int verdict;
                Keys failed;
            };
            const Expected rows[] = {
                {1, u"E", 1, {}},
                {2, u"F", 1, {}},
                {3, u"G", 2, {u"ProductName"}},
                {4, u"H", 2, {u"RFreq", u"Blink", u"CapMax", u"FWVer"}},
                {6,
                 u"J",
                 2,
                 {u"vid", u"pid", u"VendorName", u"ProductName", u"RFreq", u"WFreq", u"Blink",
                  u"Efs", u"CapMin", u"FWVer"}},
                {7, u"K", 1, {}},
                {9, u"L", 2, {u"Efs"}},
                {10, u"M", 1, {}},
                {13, u"N", 1, {}},
                {15, u"O", 1, {}},
            };
            std::vector<bool> filled(16, false);
            for (const Expected& e : rows) {
                SCOPED_TRACE(e.port);
                filled[e.port - 1] = true;
                EXPECT_EQ(Cell(dialog, e.port - 1, 1), e.vol);
                EXPECT_EQ(Verdict(dialog, e.port - 1), e.verdict);
                EXPECT_EQ(Failed(dialog, e.port - 1), e.failed);
            }
            // The other controller's disk (port 5) and the one beyond the map (P:) get no row.
            for (int row = 0; row < 16; ++row) {
                if (!filled[row]) {
                    EXPECT_EQ(Cell(dialog, row, 1), u"") << row;
                }
            }
        },
    });
}

TEST_F(DemoStationTest, ThePanelPlugsAndPullsTheDisksAndFollowsTheStation) {
    demo::DemoPanel panel(station, demo::Timeline{});
    const std::size_t first = DiskAt(u"1.1.1"), other = DiskAt(u"1.1.2");
    const auto box = [&](std::size_t disk) {
        return panel.GetDlgItem(static_cast<int>(demo::DemoPanel::kFirstDiskId + disk));
    };
    RunSteps({
        [&](app::CTavrinDlg&) {
            ASSERT_TRUE(panel.Create({0, 0}, nullptr, false));
            EXPECT_EQ(ui::SendMessage(box(first), ui::BM_GETCHECK), ui::BST_UNCHECKED);
            ui::SendMessage(box(first), ui::BM_CLICK);
            EXPECT_TRUE(station.IsPlugged(first));
            // Plugged from elsewhere: the notice ticks the box.
            ASSERT_TRUE(station.Plug(other));
            EXPECT_EQ(ui::SendMessage(box(other), ui::BM_GETCHECK), ui::BST_CHECKED);
        },
        [&](app::CTavrinDlg& dialog) {
            WaitForScans(dialog);
            EXPECT_EQ(Cell(dialog, 0, 1), u"E");
            EXPECT_EQ(Cell(dialog, 1, 1), u"F");
            ui::SendMessage(box(first), ui::BM_CLICK);
            EXPECT_FALSE(station.IsPlugged(first));
            EXPECT_EQ(ui::SendMessage(box(first), ui::BM_GETCHECK), ui::BST_UNCHECKED);
        },
        [&](app::CTavrinDlg& dialog) {
            WaitForScans(dialog);
            EXPECT_EQ(Cell(dialog, 0, 1), u"");
            EXPECT_EQ(Verdict(dialog, 0), -1);
            EXPECT_EQ(Cell(dialog, 1, 1), u"F");
            panel.DestroyWindow();
        },
    });
}

}  // namespace
