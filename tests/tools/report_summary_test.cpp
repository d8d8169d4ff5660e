// The report's figures on generated months whose truth is known: which ports are worn, which
// disks came back, which values failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tools/report/summary.h"

namespace {

using tools::report::kNotRead;
using tools::report::kNotRecorded;
using tools::report::LogLineFields;
using tools::report::PortKey;
using tools::report::Summary;

std::size_t Slot(std::u16string_view key) {
    return std::size_t(std::find(device::kSlotKeys.begin(), device::kSlotKeys.end(), key) -
                       device::kSlotKeys.begin());
}

// One record, its texts kept alive beside it.
struct Line {
    std::string time, port, serial;
    bool pass = true;
    bool free = true;
    LogLineFields Get() const {
        LogLineFields r;
        r.time = time;
        (free ? r.ordinal : r.stationPort) = port;
        r.pass = pass;
        r.serial = serial;
        return r;
    }
};

// A month of a factory: `stations` stations of `ports` ports (in free mode: ordinals), each port
// given `perPort` verdicts spread over 30 days, every disk failing at `rate` but those of `worn`
// (station, ordinal) at `wornRate`. Seeded, so that each seed is one fixed month.
Summary Month(unsigned seed, int stations, int ports, int perPort, double rate,
              const std::vector<std::pair<int, int>>& worn = {}, double wornRate = 0,
              bool free = true) {
    std::mt19937_64 random(seed);
    Summary s;
    const std::size_t kUnknown[] = {kNotRecorded};
    std::vector<std::string> times;
    for (int i = 0; i < perPort; ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "2026-11-%02d %02d:%02d:00", 1 + i % 30, 6 + i / 30 % 16,
                      i % 60);
        times.emplace_back(time);
    }
    Line line;
    line.free = free;
    for (int st = 1; st <= stations; ++st) {
        const std::string station = "LINE" + std::to_string(1 + (st - 1) / 8) + "-ST" +
                                    (st < 10 ? "0" : "") + std::to_string(st);
        for (int p = 1; p <= ports; ++p) {
            const bool isWorn = std::find(worn.begin(), worn.end(), std::pair{st, p}) != worn.end();
            std::bernoulli_distribution fails(isWorn ? wornRate : rate);
            line.port = std::to_string(p);
            for (int i = 0; i < perPort; ++i) {
                LogLineFields r = line.Get();
                r.time = times[std::size_t(i)];
                r.pass = !fails(random);
                s.Add(r, station, kUnknown);
            }
        }
    }
    return s;
}

std::vector<PortKey> Marked(const Summary& s) {
    std::vector<PortKey> marked;
    for (const auto& [port, tally] : s.ports) {
        if (s.StandsOut(port))
            marked.push_back(port);
    }
    return marked;
}

TEST(ReportStatistics, AMonthWhosePortsShareOneRateMarksNone) {
    // 24 stations of 72 ports, 1,728 ports of 200 verdicts at 3 %, three months.
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const Summary s = Month(seed, 24, 72, 200, 0.03);
        ASSERT_EQ(s.ports.size(), 1728u);
        EXPECT_EQ(s.PortsTested(), 1728u);
        EXPECT_TRUE(Marked(s).empty()) << "seed " << seed << ": " << Marked(s).front().station
                                       << " ordinal " << Marked(s).front().number;
    }
}

TEST(ReportStatistics, AWornPortIsFoundAndNoOther) {
    for (unsigned seed = 1; seed <= 2; ++seed) {
        // Station 7's ordinal 5 fails one disk in eight against 3 % everywhere else.
        const Summary s = Month(seed, 24, 72, 200, 0.03, {{7, 5}}, 0.125);
        const auto marked = Marked(s);
        ASSERT_EQ(marked.size(), 1u) << "seed " << seed;
        EXPECT_EQ(marked[0].station, "LINE1-ST07");
        EXPECT_EQ(marked[0].number, 5);
        const auto& f = s.Figures(marked[0]);
        EXPECT_GE(f.ratio, 2.0);
        EXPECT_LE(f.qValue, 0.01);
        EXPECT_LT(f.pValue, f.qValue);
        // It heads the worst ports.
        EXPECT_EQ(s.WorstPorts(5).front(), marked[0]);
    }
}

TEST(ReportStatistics, EachOfTheThreeConditionsIsNeeded) {
    const std::size_t kUnknown[] = {kNotRecorded};
    Line line;
    line.free = false;
    line.time = "2026-11-02 10:00:00";
    Summary s;
    const auto add = [&](const std::string& station, int port, int verdicts, int failures) {
        line.port = std::to_string(port);
        for (int i = 0; i < verdicts; ++i) {
            line.pass = i >= failures;
            s.Add(line.Get(), station, kUnknown);
        }
    };
    // A: port 1 fails 1.6 times as often as ports 2 to 4 over many disks: significant, but
    // not twice.
    add("A", 1, 20000, 1600);
    for (int p = 2; p <= 4; ++p)
        add("A", p, 20000, 1000);
    // B: port 1 fails all 4 of its disks, its other ports 1 in 1,000: only 4 failures.
    add("B", 1, 4, 4);
    for (int p = 2; p <= 4; ++p)
        add("B", p, 2000, 2);
    // C: port 1 fails 6 of 100 against 2 of 100 elsewhere: three times, but not significant.
    add("C", 1, 100, 6);
    add("C", 2, 100, 2);
    // D: port 1 fails 40 of 400 against 1 % elsewhere: all three hold.
    add("D", 1, 400, 40);
    for (int p = 2; p <= 4; ++p)
        add("D", p, 400, 4);
    // E: one port alone has nothing to be compared with.
    add("E", 1, 50, 50);

    const auto& a = s.Figures({"A", false, 1});
    EXPECT_NEAR(a.ratio, 1.6, 1e-9);
    EXPECT_LT(a.qValue, 1e-6);
    EXPECT_FALSE(a.standsOut);
    const auto& b = s.Figures({"B", false, 1});
    EXPECT_GT(b.ratio, 100);
    EXPECT_LT(b.qValue, 0.01);
    EXPECT_FALSE(b.standsOut);
    const auto& c = s.Figures({"C", false, 1});
    EXPECT_NEAR(c.ratio, 3.0, 1e-9);
    EXPECT_GT(c.qValue, 0.01);
    EXPECT_FALSE(c.standsOut);
    // P[X >= 40 | 400, 0.01] = 5.8001e-27, summed exactly elsewhere.
    const auto& d = s.Figures({"D", false, 1});
    EXPECT_NEAR(d.ratio, 10.0, 1e-9);
    EXPECT_NEAR(d.pValue / 5.8001252642e-27, 1.0, 1e-6);
    // P[X >= 6 | 100, 0.02] = 0.0154836.
    EXPECT_NEAR(c.pValue, 0.0154836406, 1e-9);
    EXPECT_TRUE(d.standsOut);
    EXPECT_FALSE(s.Figures({"E", false, 1}).tested);
    EXPECT_FALSE(s.StandsOut({"E", false, 1}));
    // 14 ports compared, E's one not.
    EXPECT_EQ(s.PortsTested(), 14u);
}

// A second pass as the report makes it, over the same records.
void BothPasses(Summary& s, const std::vector<Line>& lines) {
    const std::size_t kUnknown[] = {kNotRecorded};
    for (const Line& l : lines)
        s.Add(l.Get(), "ST", kUnknown);
    if (s.WantsSecondPass()) {
        for (const Line& l : lines)
            s.AddSecond(l.Get());
    }
}

TEST(ReportDisks, CountsDisksAndTheirFirstAndLastVerdicts) {
    std::vector<Line> lines = {
        {"2026-11-01 08:00:00", "1", "A", true},   // A passes, then is read again: one disk
        {"2026-11-01 08:05:00", "1", "A", true},   //
        {"2026-11-01 08:01:00", "2", "B", false},  // B fails, then passes
        {"2026-11-01 08:09:00", "3", "B", true},   //
        {"2026-11-01 08:02:00", "2", "C", false},  // C fails, passes, fails again
        {"2026-11-01 08:03:00", "2", "C", true},   //
        {"2026-11-01 08:04:00", "2", "C", false},  //
        {"2026-11-01 08:06:00", "4", "D", true},   // D once
        {"2026-11-01 08:07:00", "5", "", true},    // two records without a serial number
        {"2026-11-01 08:08:00", "5", "", false},
    };
    // The records need not come in time order: B's PASS is written before its FAIL.
    std::swap(lines[2], lines[3]);
    Summary s;
    BothPasses(s, lines);
    const auto d = s.Disks();
    EXPECT_EQ(d.disks, 6u);  // A, B, C, D and the two without a serial
    EXPECT_EQ(d.withoutSerial, 2u);
    EXPECT_EQ(d.retested, 3u);
    EXPECT_EQ(d.failThenPass, 2u);  // B and C
    EXPECT_EQ(d.firstPass, 3u);     // A, D, the first without a serial
    EXPECT_EQ(d.finalPass, 4u);     // A, B, D, the first without a serial
    EXPECT_DOUBLE_EQ(d.FirstPassYield(), 0.5);
    EXPECT_EQ(s.first, "2026-11-01 08:00:00");
    EXPECT_EQ(s.last, "2026-11-01 08:09:00");
}

TEST(ReportItems, CountsEveryItemWithItsFailingValues) {
    const std::size_t product = Slot(u"ProductName"), firmware = Slot(u"FWVer");
    Summary s;
    LogLineFields r;
    r.time = "2026-11-01 08:00:00";
    const auto fail = [&](std::string_view name, std::string_view fw,
                          std::vector<std::size_t> items) {
        r.values[product] = name;
        r.values[firmware] = fw;
        s.Add(r, "ST", items);
    };
    for (int i = 0; i < 5; ++i)
        fail("USB DISK", "FW 7730.0398", {product, firmware});
    fail("Flash", "FW 7730.0398", {firmware});
    fail("USB DISK", "FW 7730.0399", {firmware});
    fail("", "", {kNotRead});
    fail("USB DISK", "FW 7730.0398", {kNotRecorded});
    fail("USB DISK", "FW 7730.0398", {kNotRecorded});
    // A PASS counts for no item, whatever it is handed.
    r.pass = true;
    s.Add(r, "ST", std::vector<std::size_t>{product});

    const std::vector<std::pair<std::size_t, std::uint64_t>> ranked = {
        {firmware, 7}, {product, 5}, {kNotRecorded, 2}, {kNotRead, 1}};
    EXPECT_EQ(s.RankedItems(), ranked);
    const std::vector<std::pair<std::string, std::uint64_t>> values = {{"FW 7730.0398", 6},
                                                                       {"FW 7730.0399", 1}};
    EXPECT_EQ(s.TopValues(firmware, 3), values);
    EXPECT_EQ(s.TopValues(firmware, 1).size(), 1u);
    EXPECT_TRUE(s.TopValues(kNotRead, 3).empty());
    EXPECT_DOUBLE_EQ(s.UnknownItemsShare(), 2.0 / 10.0);
    EXPECT_EQ(tools::report::ItemName(kNotRead), "(not read)");
    EXPECT_EQ(tools::report::ItemName(kNotRecorded), "(not recorded)");

    // The text names the share and the values.
    std::ostringstream text;
    tools::report::WriteText(s, text);
    EXPECT_NE(text.str().find("failed items (items not known for 20.00% of the failures)\n"
                              "  FWVer 7 (FW 7730.0398: 6; FW 7730.0399: 1)\n"
                              "  ProductName 5 (USB DISK: 5)\n"
                              "  (not recorded) 2\n  (not read) 1\n"),
              std::string::npos)
        << text.str();
}

TEST(ReportDays, ABadDayNamesItsStationAndValue) {
    const std::size_t firmware = Slot(u"FWVer"), product = Slot(u"ProductName");
    Summary s;
    s.target = 0.9;
    LogLineFields r;
    const auto add = [&](std::string_view time, std::string_view station, int verdicts,
                         int failures, std::size_t item, std::string_view value) {
        r.time = time;
        r.values[item] = value;
        for (int i = 0; i < verdicts; ++i) {
            r.pass = i >= failures;
            s.Add(r, station, std::vector<std::size_t>{item});
        }
    };
    // 1 November: every station near 95 %. 2 November: a firmware batch on LINE2-ST05; LINE1-ST01
    // as every day. 3 November: a day of one failure more on LINE1-ST01, under the target too.
    for (const char* day : {"2026-11-01 08:00:00", "2026-11-02 08:00:00"}) {
        add(day, "LINE1-ST01", 20, 1, product, "USB DISK");
        add(day, "LINE2-ST05", 20, day[9] == '2' ? 12 : 1, firmware,
            day[9] == '2' ? "FW 7730.0398" : "FW 7730.0399");
    }
    add("2026-11-03 08:00:00", "LINE1-ST01", 20, 3, product, "USB DISK");
    add("2026-11-03 08:00:00", "LINE2-ST05", 20, 2, firmware, "FW 7730.0399");

    const auto days = s.WorstDays(10);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].day, "2026-11-02");
    EXPECT_EQ(days[0].station, "LINE2-ST05");
    EXPECT_EQ(days[0].stationTally.failed, 12u);
    EXPECT_EQ(days[0].item, firmware);
    EXPECT_EQ(days[0].value, "FW 7730.0398");
    EXPECT_EQ(days[0].count, 12u);
    EXPECT_EQ(days[1].day, "2026-11-03");
    EXPECT_EQ(days[1].station, "LINE1-ST01");
    EXPECT_EQ(days[1].value, "USB DISK");
    std::ostringstream page;
    tools::report::WriteHtml(s, page);
    EXPECT_NE(page.str().find("<tr><td>2026-11-02</td><td>67.50%</td><td>LINE2-ST05: 12 of 20</td>"
                              "<td>FWVer = FW 7730.0398: 12</td></tr>"),
              std::string::npos)
        << page.str();
    // Without a target, the three worst days.
    s.target.reset();
    EXPECT_EQ(s.WorstDays(3).size(), 3u);
}

// The page of a generated month: everything a supervisor reads, in a page that fits.
TEST(ReportPage, AMonthOfTwentyFourStationsFitsAndLabelsDoNotMeet) {
    Summary s = Month(11, 24, 16, 250, 0.03, {{14, 9}}, 0.12, false);
    s.target = 0.98;
    std::ostringstream page;
    tools::report::WriteHtml(s, page);
    const std::string html = page.str();
    EXPECT_LT(html.size(), 1'000'000u);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("<meta name=\"viewport\""), std::string::npos);
    EXPECT_NE(html.find("<p id=\"period\">From <b>2026-11-01 06:00:00</b> to <b>2026-11-30"),
              std::string::npos);
    // Every chart scales with its box.
    const std::regex svg("<svg [^>]*>");
    int charts = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), svg);
         it != std::sregex_iterator(); ++it, ++charts) {
        EXPECT_NE(it->str().find("viewBox=\""), std::string::npos) << it->str();
        EXPECT_NE(it->str().find("width=\"100%\""), std::string::npos) << it->str();
    }
    EXPECT_EQ(charts, 2);
    // The trend's date labels, some 45 units wide, never meet.
    const std::regex date("<text class=\"date\" x=\"([0-9.]+)\"");
    std::vector<double> xs;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), date);
         it != std::sregex_iterator(); ++it)
        xs.push_back(std::stod((*it)[1].str()));
    ASSERT_GE(xs.size(), 5u);
    for (std::size_t i = 1; i < xs.size(); ++i)
        EXPECT_GE(xs[i] - xs[i - 1], 50.0);
    EXPECT_NE(html.find("id=\"target\""), std::string::npos);
    // One heat map row per station; the worn port marked in it and heading the worst ports.
    const auto heat = html.substr(html.find("id=\"heat-map\""));
    EXPECT_EQ(std::count(heat.begin(), heat.begin() + long(heat.find("</table>")), '\n'), 25);
    EXPECT_NE(html.find("<td>LINE2-ST14</td><td>port 9</td>"), std::string::npos);
    std::size_t marks = 0;
    for (std::size_t at = 0; (at = html.find("class=\"out\"", at)) != std::string::npos; ++at)
        ++marks;
    EXPECT_EQ(marks, 1u);
    EXPECT_NE(html.find("(not recorded)"), std::string::npos);
}

TEST(ReportPage, ADayWithoutRecordsIsAGapInTheTrend) {
    Summary s;
    const std::size_t kUnknown[] = {kNotRecorded};
    Line line;
    for (const char* time : {"2026-11-01 08:00:00", "2026-11-02 08:00:00", "2026-11-03 08:00:00",
                             "2026-11-06 08:00:00", "2026-11-07 08:00:00"}) {
        line.time = time;
        line.port = "1";
        s.Add(line.Get(), "ST", kUnknown);
    }
    std::ostringstream page;
    tools::report::WriteHtml(s, page);
    const std::string html = page.str();
    // Two runs of days, two lines; the third day stands three days from the fourth.
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = html.find("<polyline", at)) != std::string::npos; ++at)
        ++lines;
    EXPECT_EQ(lines, 2u);  // the trend's two runs; no Pareto, nothing failed
    const std::regex dot("<circle class=\"day\" cx=\"([0-9.]+)\"");
    std::vector<double> xs;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), dot);
         it != std::sregex_iterator(); ++it)
        xs.push_back(std::stod((*it)[1].str()));
    ASSERT_EQ(xs.size(), 5u);
    EXPECT_NEAR(xs[3] - xs[2], 3 * (xs[1] - xs[0]), 0.2);
}

}  // namespace
