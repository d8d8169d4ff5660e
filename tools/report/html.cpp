// The report as one page read from the top: what was read and when, the daily yield, the
// stations worst first, their ports in one heat map and the worst of them ranked, the failed
// items and their values, the disks checked again. Inline SVG scaled by its viewBox and plain
// tables, no script and no file beside it, so that it opens in any browser offline, fits a
// phone and prints on a few A4 pages.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "tools/report/summary.h"
#include "usb/port_map.h"

namespace tools::report {
namespace {

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(u));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string PortName(const PortKey& port) {
    return (port.ordinal ? "ordinal " : "port ") + std::to_string(port.number);
}

// Days since 1970-01-01 of "YYYY-MM-DD", so that the trend's axis runs in real days.
long DayNumber(std::string_view day) {
    const auto field = [&](std::size_t at, std::size_t n) {
        long v = 0;
        for (std::size_t i = at; i < at + n && i < day.size(); ++i)
            v = v * 10 + (day[i] >= '0' && day[i] <= '9' ? day[i] - '0' : 0);
        return v;
    };
    long y = field(0, 4);
    const long m = field(5, 2), d = field(8, 2);
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// "MM-DD" of a day number.
std::string MonthDay(long n) {
    const long z = n + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    char text[48];
    std::snprintf(text, sizeof text, "%02ld-%02ld", mp < 10 ? mp + 3 : mp - 9,
                  doy - (153 * mp + 2) / 5 + 1);
    return text;
}

// A step of 1, 2 or 5 times a power of ten that cuts `range` into at most `parts`.
double NiceStep(double range, int parts) {
    if (range <= 0)
        return 1;
    const double raw = range / parts;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10 * power;
}

// Green at no failures to red at `worst` and more.
std::string RateColour(double rate, double worst) {
    const double t = std::min(rate / worst, 1.0);
    return "hsl(" + Number(120 * (1 - t)) + ",65%,45%)";
}

constexpr char kSvgOpen[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100%\" ";

void Header(const Summary& s, std::ostream& out) {
    out << "<h1>Tavrin report</h1>\n";
    if (s.total.checked == 0)
        out << "<p id=\"period\">No verdict in the period.</p>\n";
    else
        out << "<p id=\"period\">From <b>" << Escape(s.first) << "</b> to <b>" << Escape(s.last)
            << "</b></p>\n";
    out << "<p id=\"read\">Logs read <b>" << Count(s.logs) << "</b> · records not read <b>"
        << Count(s.recordsNotRead) << "</b> · failures whose items are unknown <b>"
        << Percent(s.UnknownItemsShare()) << "</b> (" << Count(s.itemFailures[kNotRecorded])
        << " of " << Count(s.total.failed) << ")</p>\n";
    out << "<p id=\"totals\">Checked " << s.total.checked << ", PASS "
        << s.total.checked - s.total.failed << ", FAIL " << s.total.failed << ", yield "
        << Percent(s.total.Yield());
    if (s.target)
        out << " (target " << Percent(*s.target) << ")";
    out << "</p>\n";
    const DiskFigures d = s.Disks();
    out << "<p id=\"disks\">Disks " << Count(d.disks) << ": first-pass yield "
        << Percent(d.FirstPassYield()) << ", final yield " << Percent(d.FinalYield()) << "</p>\n";
}

void Trend(const Summary& s, std::ostream& out) {
    out << "<h2>Daily yield</h2>\n";
    if (s.days.empty()) {
        out << "<p>No disks checked.</p>\n";
        return;
    }
    constexpr double W = 560, H = 250, L = 62, R = 12, T = 14, B = 36;
    const double plotW = W - L - R, plotH = H - T - B;
    const long first = DayNumber(s.days.begin()->first);
    const long span = DayNumber(s.days.rbegin()->first) - first + 1;
    // The y-axis from a step under the worst day (or the target) to 100%.
    double low = 1;
    for (const auto& [day, tally] : s.days)
        low = std::min(low, tally.Yield());
    if (s.target)
        low = std::min(low, *s.target);
    const double step = NiceStep(std::max(1 - low, 0.01), 5);
    const double bottom = std::max(0.0, std::floor((low - step / 2) / step) * step);
    const auto X = [&](long day) { return L + (double(day - first) + 0.5) * plotW / double(span); };
    const auto Y = [&](double yield) { return T + plotH * (1 - (yield - bottom) / (1 - bottom)); };

    out << kSvgOpen << "viewBox=\"0 0 " << W << " " << H
        << "\" id=\"yield-chart\" role=\"img\" aria-label=\"Daily yield\">\n";
    for (double v = bottom; v <= 1 + 1e-9; v += step) {
        out << "<line x1=\"" << L << "\" x2=\"" << W - R << "\" y1=\"" << Number(Y(v)) << "\" y2=\""
            << Number(Y(v)) << "\" stroke=\"#ddd\"/><text x=\"" << L - 6 << "\" y=\""
            << Number(Y(v) + 5) << "\" text-anchor=\"end\" font-size=\"15\">" << Number(v * 100)
            << "%</text>\n";
    }
    // A date label is about 45 units wide: one every `every` days, so that none meets the next.
    const long fit = std::max(1L, long(plotW / 56));
    const long every = (span + fit - 1) / fit;
    for (long d = 0; d < span; d += every) {
        const std::string label = MonthDay(first + d);
        out << "<line x1=\"" << Number(X(first + d)) << "\" x2=\"" << Number(X(first + d))
            << "\" y1=\"" << H - B << "\" y2=\"" << H - B + 4 << "\" stroke=\"#666\"/>"
            << "<text class=\"date\" x=\"" << Number(X(first + d)) << "\" y=\"" << H - B + 20
            << "\" text-anchor=\"middle\" font-size=\"15\">" << label << "</text>\n";
    }
    if (s.target) {
        out << "<line id=\"target\" x1=\"" << L << "\" x2=\"" << W - R << "\" y1=\""
            << Number(Y(*s.target)) << "\" y2=\"" << Number(Y(*s.target))
            << "\" stroke=\"#1f497d\" stroke-dasharray=\"6 4\"/><text x=\"" << W - R - 4
            << "\" y=\"" << Number(Y(*s.target) + 17)
            << "\" text-anchor=\"end\" font-size=\"15\" fill=\"#1f497d\">target "
            << Percent(*s.target) << "</text>\n";
    }
    // The line runs through consecutive days only: a day without records is a gap.
    std::string points;
    long previous = std::numeric_limits<long>::min();
    const auto flush = [&] {
        if (points.find(' ') != points.rfind(' '))
            out << "<polyline points=\"" << points
                << "\" fill=\"none\" stroke=\"#c0504d\" stroke-width=\"2\"/>\n";
        points.clear();
    };
    for (const auto& [day, tally] : s.days) {
        const long n = DayNumber(day);
        if (n != previous + 1)
            flush();
        points += Number(X(n)) + "," + Number(Y(tally.Yield())) + " ";
        previous = n;
    }
    flush();
    for (const auto& [day, tally] : s.days) {
        out << "<circle class=\"day\" cx=\"" << Number(X(DayNumber(day))) << "\" cy=\""
            << Number(Y(tally.Yield())) << "\" r=\"3\" fill=\"#c0504d\"><title>" << day << ": "
            << Count(tally.checked) << " checked, yield " << Percent(tally.Yield())
            << "</title></circle>\n";
    }
    out << "</svg>\n";
    // The worst days, each with the station that lost most that day and the value failed most.
    const auto worst = s.WorstDays(s.target ? 10 : 3);
    out << "<h3>" << (s.target ? "Days under the target" : "Worst days") << "</h3>\n";
    if (worst.empty()) {
        out << "<p id=\"worst-days\">None.</p>\n";
        return;
    }
    out << "<table id=\"worst-days\"><tr><th>Day</th><th>Yield</th><th>Most failures</th>"
           "<th>Failed most</th></tr>\n";
    for (const DayNote& d : worst) {
        out << "<tr><td>" << d.day << "</td><td>" << Percent(d.tally.Yield()) << "</td><td>"
            << Escape(d.station) << ": " << Count(d.stationTally.failed) << " of "
            << Count(d.stationTally.checked) << "</td><td>";
        if (d.item < device::kSlotCount)
            out << Escape(ItemName(d.item)) << " = " << Escape(d.value) << ": " << Count(d.count);
        else if (d.item < kItemCount)
            out << ItemName(d.item) << ": " << Count(d.count);
        out << "</td></tr>\n";
    }
    out << "</table>\n";
}

void Stations(const Summary& s, std::ostream& out) {
    out << "<h2>Stations, worst first</h2>\n<table id=\"stations\"><tr><th>Station</th>"
           "<th>Checked</th><th>Failed</th><th>Failure rate</th></tr>\n";
    for (const auto& [station, tally] : s.RankedStations())
        out << "<tr><td>" << Escape(station) << "</td><td>" << Count(tally.checked) << "</td><td>"
            << Count(tally.failed) << "</td><td>" << Percent(tally.FailureRate()) << "</td></tr>\n";
    out << "</table>\n";
}

void Ports(const Summary& s, std::ostream& out) {
    out << "<h2>Ports</h2>\n";
    if (s.ports.empty()) {
        out << "<p>No port recorded.</p>\n";
        return;
    }
    std::size_t marked = 0;
    for (const auto& [port, tally] : s.ports)
        marked += s.StandsOut(port) ? 1 : 0;
    out << "<p id=\"rule\">A port stands out when its failure rate is at least twice that of its "
           "station's other ports, a one-sided binomial test against their rate stays "
           "significant after a Benjamini-Hochberg correction at 1% over every port tested, "
           "and it has at least 5 failures. "
        << s.PortsTested() << " ports tested, " << marked << " stand out.</p>\n";

    // One heat map: a row per station (and mode), a column per port number.
    constexpr int kColumns = 32;
    int columns = 0;
    for (const auto& [port, tally] : s.ports)
        columns = std::max(columns, std::min(port.number, kColumns));
    const double worst = std::max(0.02, 3 * s.total.FailureRate());
    out << "<table id=\"heat-map\" class=\"heat\"><tr><th class=\"row\">Station</th>";
    // As wide as a station: every port numbered; wider: every fourth.
    for (int c = 1; c <= columns; ++c)
        out << "<th>" << (columns <= usb::kStationPorts || c % 4 == 1 ? std::to_string(c) : "")
            << "</th>";
    out << "</tr>\n";
    for (auto it = s.ports.begin(); it != s.ports.end();) {
        const PortKey& row = it->first;
        out << "<tr><th class=\"row\">" << Escape(row.station) << (row.ordinal ? " (ordinals)" : "")
            << "</th>";
        int next = 1;
        for (; it != s.ports.end() && it->first.station == row.station &&
               it->first.ordinal == row.ordinal;
             ++it) {
            const auto& [port, tally] = *it;
            if (port.number < next || port.number > columns)
                continue;
            for (; next < port.number; ++next)
                out << "<td></td>";
            const bool out_ = s.StandsOut(port);
            out << "<td" << (out_ ? " class=\"out\"" : "")
                << " style=\"background:" << RateColour(tally.FailureRate(), worst) << "\" title=\""
                << Escape(port.station) << " " << PortName(port) << ": " << tally.checked
                << " checked, " << Percent(tally.FailureRate()) << " failed"
                << (out_ ? ", stands out" : "") << "\">" << (out_ ? "●" : "") << "</td>";
            ++next;
        }
        for (; next <= columns; ++next)
            out << "<td></td>";
        out << "</tr>\n";
    }
    out << "</table>\n<p class=\"note\">Green: no failures; red: " << Percent(worst)
        << " failed and more; ● stands out."
        << (columns == kColumns ? " Ports past 32 are in the table below and the CSV." : "")
        << "</p>\n";

    out << "<h3>Worst ports</h3>\n<table id=\"worst-ports\"><tr><th>Station</th><th>Port</th>"
           "<th>Checked</th><th>Failed</th><th>Failure rate</th><th>Other ports</th>"
           "<th>Ratio</th><th>Adjusted p</th><th></th></tr>\n";
    for (const PortKey& port : s.WorstPorts(15)) {
        const Tally& t = s.ports.at(port);
        const PortFigures& f = s.Figures(port);
        char q[32];
        std::snprintf(q, sizeof q, "%.2g", f.qValue);
        out << "<tr><td>" << Escape(port.station) << "</td><td>" << PortName(port) << "</td><td>"
            << t.checked << "</td><td>" << t.failed << "</td><td>" << Percent(t.FailureRate())
            << "</td><td>" << Percent(f.othersRate) << "</td><td>"
            << (std::isinf(f.ratio) ? std::string("none failed elsewhere") : Number(f.ratio))
            << "</td><td>" << q << "</td><td>" << (f.standsOut ? "stands out" : "")
            << "</td></tr>\n";
    }
    out << "</table>\n";
}

void Items(const Summary& s, std::ostream& out) {
    out << "<h2>Failed items</h2>\n";
    const auto ranked = s.RankedItems();
    if (ranked.empty()) {
        out << "<p>No disk failed.</p>\n";
        return;
    }
    std::uint64_t all = 0;
    for (const auto& item : ranked)
        all += item.second;
    // Bars across, an item a row, so that every name has room; the running share as a line
    // over them, on its own axis at the top.
    constexpr double W = 480, L = 120, Pw = 240, Row = 24, T = 30, B = 30;
    const double H = T + Row * double(ranked.size()) + B;
    const double most = double(ranked.front().second);
    const double step = NiceStep(most, 4);
    const double top = std::ceil(most / step) * step;
    out << kSvgOpen << "viewBox=\"0 0 " << W << " " << Number(H)
        << "\" id=\"pareto-chart\" role=\"img\" aria-label=\"Failed items\">\n";
    for (double v = 0; v <= top + step / 2; v += step) {
        const double x = L + Pw * v / top;
        out << "<line x1=\"" << Number(x) << "\" x2=\"" << Number(x) << "\" y1=\"" << T
            << "\" y2=\"" << Number(H - B + 4) << "\" stroke=\"#ddd\"/><text x=\"" << Number(x)
            << "\" y=\"" << Number(H - B + 17) << "\" text-anchor=\"middle\" font-size=\"14\">"
            << Count(std::uint64_t(v)) << "</text>\n";
    }
    for (int p = 0; p <= 100; p += 25)
        out << "<text x=\"" << Number(L + Pw * p / 100.0) << "\" y=\"" << T - 10
            << "\" text-anchor=\"middle\" font-size=\"14\" fill=\"#1f497d\">" << p << "%</text>\n";
    std::string line;
    std::uint64_t running = 0;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        const auto& [item, count] = ranked[i];
        const std::string name = ItemName(item);
        const double y = T + Row * double(i);
        running += count;
        out << "<text x=\"" << L - 6 << "\" y=\"" << Number(y + 17)
            << "\" text-anchor=\"end\" font-size=\"14\">" << Escape(name) << "</text>"
            << "<rect class=\"item\" x=\"" << L << "\" y=\"" << Number(y + 3) << "\" width=\""
            << Number(Pw * double(count) / top) << "\" height=\"" << Row - 6 << "\" fill=\""
            << (item >= device::kSlotCount ? "#8c8c8c" : "#c0504d") << "\"><title>" << Escape(name)
            << ": " << Count(count) << "</title></rect><text x=\"" << L + Pw + 8 << "\" y=\""
            << Number(y + 17) << "\" font-size=\"14\">" << Count(count) << " ("
            << std::lround(100.0 * double(running) / double(all)) << "%)</text>\n";
        line += Number(L + Pw * double(running) / double(all)) + "," + Number(y + Row / 2) + " ";
    }
    out << "<polyline points=\"" << line
        << "\" fill=\"none\" stroke=\"#1f497d\" stroke-width=\"2\"/>\n</svg>\n";
    out << "<p class=\"note\">Bars: failures per item (a disk may fail several), the grey ones "
           "not a value; line and figures in brackets: the running share.</p>\n";

    out << "<table id=\"items\"><tr><th>Item</th><th>Failures</th><th>Most frequent failing "
           "values</th></tr>\n";
    for (const auto& [item, count] : ranked) {
        out << "<tr><td>" << Escape(ItemName(item)) << "</td><td>" << count << "</td><td>";
        const auto values = s.TopValues(item, 3);
        for (std::size_t i = 0; i < values.size(); ++i)
            out << (i == 0 ? "" : "<br>") << Escape(ItemName(item)) << " = "
                << Escape(values[i].first) << ": " << Count(values[i].second);
        out << "</td></tr>\n";
    }
    out << "</table>\n";
}

void Retests(const Summary& s, std::ostream& out) {
    const DiskFigures d = s.Disks();
    out << "<h2>Disks</h2>\n<table id=\"retests\">"
        << "<tr><th>Disks (by serial number)</th><td>" << Count(d.disks) << "</td></tr>"
        << "<tr><th>First-pass yield</th><td>" << Percent(d.FirstPassYield()) << "</td></tr>"
        << "<tr><th>Final yield</th><td>" << Percent(d.FinalYield()) << "</td></tr>"
        << "<tr><th>Checked more than once</th><td>" << Count(d.retested) << "</td></tr>"
        << "<tr><th>FAIL then PASS</th><td>" << Count(d.failThenPass) << "</td></tr>"
        << "<tr><th>Records without a serial number</th><td>" << Count(d.withoutSerial)
        << "</td></tr></table>\n<p class=\"note\">A record without a serial number counts as a "
           "disk of its own; the checks of every disk checked more than once are in the "
           "CSV.</p>\n";
}

void NotRead(const Summary& s, std::ostream& out) {
    if (s.badRecords.empty())
        return;
    constexpr std::size_t kShown = 10;
    out << "<h2>Records not read</h2>\n<ul id=\"not-read\">\n";
    for (std::size_t i = 0; i < s.badRecords.size() && i < kShown; ++i)
        out << "<li>" << Escape(s.badRecords[i].file) << ":" << s.badRecords[i].line << ": "
            << Escape(s.badRecords[i].reason) << "</li>\n";
    if (s.recordsNotRead > kShown)
        out << "<li>and " << Count(s.recordsNotRead - kShown) << " more</li>\n";
    out << "</ul>\n";
}

}  // namespace

void WriteHtml(const Summary& s, std::ostream& out) {
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>Tavrin report</title>\n<style>\n"
           "body{font-family:sans-serif;margin:16px auto;padding:0 12px;max-width:880px;"
           "color:#222}\n"
           "h1{font-size:1.5em;margin:0 0 8px}h2{font-size:1.2em;margin:20px 0 6px}"
           "h3{font-size:1.05em;margin:12px 0 4px}\n"
           "p{margin:4px 0}.note{font-size:.85em;color:#555}\n"
           "table{border-collapse:collapse;margin-bottom:12px;max-width:100%}\n"
           "td,th{border:1px solid #bbb;padding:2px 6px;text-align:left;font-size:.9em}\n"
           "#worst-ports,#items{display:block;overflow-x:auto}\n"
           "table.heat{table-layout:fixed;width:100%}\n"
           ".heat td,.heat th{padding:0;height:16px;font-size:.7em;text-align:center;"
           "overflow:hidden;white-space:nowrap}\n"
           ".heat th.row{width:26%;text-align:left;padding-left:3px;text-overflow:ellipsis}\n"
           ".heat td.out{outline:2px solid #000;outline-offset:-2px;color:#fff}\n"
           "svg{display:block;max-width:100%;height:auto;margin-bottom:6px}\n"
           "#yield-chart{max-width:660px}#pareto-chart{max-width:560px}\n"
           "@media (max-width:480px){body{padding:0 8px}td,th{padding:1px 3px;font-size:.75em}}\n"
           "@page{size:A4;margin:12mm}\n"
           "@media print{body{margin:0;max-width:none}h2{break-after:avoid}"
           "svg,tr{break-inside:avoid}}\n"
           "</style></head><body>\n";
    Header(s, out);
    Trend(s, out);
    Stations(s, out);
    Ports(s, out);
    Items(s, out);
    Retests(s, out);
    NotRead(s, out);
    out << "</body></html>\n";
}

}  // namespace tools::report
