// The report as one page: inline SVG charts over the summary's tables, no script and no file
// beside it, so that it opens in any browser offline and can be mailed as it is.
#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/text.h"
#include "tools/report/summary.h"

namespace tools::report {
namespace {

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
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
                out += c;
        }
    }
    return out;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Green at no failures to red at a fifth of the disks failed and more.
std::string RateColour(double rate) {
    const double t = std::min(rate / 0.2, 1.0);
    return "hsl(" + Number(120 * (1 - t)) + ",65%,45%)";
}

constexpr double kWidth = 760, kHeight = 260, kLeft = 48, kRight = 48, kTop = 16, kBottom = 40;

void YieldChart(const Summary& s, std::ostream& out) {
    out << "<h2>Yield per hour</h2>\n";
    if (s.hours.empty()) {
        out << "<p>No disks checked.</p>\n";
        return;
    }
    const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    const double step = plotW / double(s.hours.size());
    out << "<svg id=\"yield-chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth
        << "\" height=\"" << kHeight << "\" role=\"img\" aria-label=\"Yield per hour\">\n";
    for (int p = 0; p <= 100; p += 25) {
        const double y = kTop + plotH * (1 - p / 100.0);
        out << "<line x1=\"" << kLeft << "\" x2=\"" << kWidth - kRight << "\" y1=\"" << Number(y)
            << "\" y2=\"" << Number(y) << "\" stroke=\"#ccc\"/><text x=\"" << kLeft - 6 << "\" y=\""
            << Number(y + 4) << "\" text-anchor=\"end\" font-size=\"11\">" << p << "%</text>\n";
    }
    std::size_t i = 0;
    std::string lastDay;
    for (const auto& [hour, tally] : s.hours) {
        const double x = kLeft + step * double(i++);
        const double h = plotH * tally.Yield();
        out << "<rect class=\"hour\" x=\"" << Number(x + step * 0.1) << "\" y=\""
            << Number(kTop + plotH - h) << "\" width=\"" << Number(step * 0.8) << "\" height=\""
            << Number(h) << "\" fill=\"" << RateColour(tally.FailureRate()) << "\"><title>" << hour
            << ":00, " << tally.checked << " checked, yield " << Percent(tally.Yield())
            << "</title></rect>\n";
        // Each day's first hour is labelled with its date; the others with the hour alone where
        // there is room.
        const std::string day = hour.substr(0, 10);
        if (day != lastDay || step >= 24) {
            out << "<text x=\"" << Number(x + step / 2) << "\" y=\"" << kHeight - kBottom + 14
                << "\" text-anchor=\"middle\" font-size=\"10\">" << hour.substr(11, 2)
                << "</text>\n";
        }
        if (day != lastDay) {
            out << "<text x=\"" << Number(x) << "\" y=\"" << kHeight - kBottom + 28
                << "\" font-size=\"10\">" << day << "</text>\n";
            lastDay = day;
        }
    }
    out << "</svg>\n";
}

void ParetoChart(const Summary& s, std::ostream& out) {
    out << "<h2>Failed items</h2>\n";
    const auto ranked = s.RankedItems();
    if (ranked.empty()) {
        out << "<p>No failed item known.</p>\n";
        return;
    }
    std::uint64_t all = 0;
    for (const auto& item : ranked)
        all += item.second;
    const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    const double step = plotW / double(ranked.size());
    const double most = double(ranked.front().second);
    out << "<svg id=\"pareto-chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth
        << "\" height=\"" << kHeight << "\" role=\"img\" aria-label=\"Failed items\">\n";
    out << "<text x=\"" << kLeft - 6 << "\" y=\"" << kTop + 4
        << "\" text-anchor=\"end\" font-size=\"11\">" << ranked.front().second << "</text>\n";
    out << "<text x=\"" << kWidth - kRight + 6 << "\" y=\"" << kTop + 4
        << "\" font-size=\"11\">100%</text>\n";
    std::string line;
    std::uint64_t running = 0;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        const auto& [item, count] = ranked[i];
        const std::string name = ItemName(item);
        const double x = kLeft + step * double(i);
        const double h = plotH * double(count) / most;
        out << "<rect class=\"item\" x=\"" << Number(x + step * 0.15) << "\" y=\""
            << Number(kTop + plotH - h) << "\" width=\"" << Number(step * 0.7) << "\" height=\""
            << Number(h) << "\" fill=\"#c0504d\"><title>" << Escape(name) << ": " << count
            << "</title></rect>\n";
        out << "<text x=\"" << Number(x + step / 2) << "\" y=\"" << kHeight - kBottom + 14
            << "\" text-anchor=\"middle\" font-size=\"10\">" << Escape(name) << "</text>\n";
        running += count;
        const double y = kTop + plotH * (1 - double(running) / double(all));
        line += Number(x + step / 2) + "," + Number(y) + " ";
    }
    out << "<polyline points=\"" << line
        << "\" fill=\"none\" stroke=\"#1f497d\" stroke-width=\"2\"/>\n</svg>\n";
}

void PortGrids(const Summary& s, std::ostream& out) {
    out << "<h2>Stations</h2>\n";
    for (const auto& [station, tally] : s.stations) {
        out << "<h3>" << Escape(station) << ": " << tally.checked << " checked, "
            << Percent(tally.FailureRate()) << " failed</h3>\n";
        const bool stationPorts = std::any_of(s.ports.begin(), s.ports.end(), [&](const auto& p) {
            return p.first.station == station && !p.first.ordinal;
        });
        if (!stationPorts) {
            out << "<p>In free mode: its ports by ordinal are in the table below.</p>\n";
            continue;
        }
        constexpr int kCell = 84;
        out << "<svg class=\"port-grid\" xmlns=\"http://www.w3.org/2000/svg\" width=\""
            << 4 * kCell + 2 << "\" height=\"" << 4 * kCell + 2 << "\" role=\"img\">\n";
        for (int port = 1; port <= 16; ++port) {
            const int x = 1 + (port - 1) % 4 * kCell, y = 1 + (port - 1) / 4 * kCell;
            const auto it = s.ports.find({station, false, port});
            const bool used = it != s.ports.end();
            const bool marked = used && s.StandsOut(it->first);
            out << "<rect x=\"" << x + 2 << "\" y=\"" << y + 2 << "\" width=\"" << kCell - 4
                << "\" height=\"" << kCell - 4 << "\" fill=\""
                << (used ? RateColour(it->second.FailureRate()) : std::string("#ddd"))
                << "\" stroke=\"" << (marked ? "#000" : "#fff") << "\" stroke-width=\""
                << (marked ? 4 : 1) << "\"/>\n";
            out << "<text x=\"" << x + kCell / 2 << "\" y=\"" << y + 26
                << "\" text-anchor=\"middle\" font-size=\"13\" font-weight=\"bold\">port " << port
                << "</text>\n";
            if (used) {
                out << "<text x=\"" << x + kCell / 2 << "\" y=\"" << y + 46
                    << "\" text-anchor=\"middle\" font-size=\"11\">" << it->second.checked
                    << " checked</text>\n<text x=\"" << x + kCell / 2 << "\" y=\"" << y + 62
                    << "\" text-anchor=\"middle\" font-size=\"11\">"
                    << Percent(it->second.FailureRate()) << "</text>\n";
            }
        }
        out << "</svg>\n";
    }
}

void Tables(const Summary& s, std::ostream& out) {
    out << "<h2>Failed items</h2>\n<table id=\"items\"><tr><th>Item</th><th>Failures</th></tr>\n";
    for (const auto& [item, count] : s.RankedItems())
        out << "<tr><td>" << Escape(ItemName(item)) << "</td><td>" << count << "</td></tr>\n";
    out << "</table>\n";

    out << "<h2>Ports</h2>\n<table id=\"ports\"><tr><th>Station</th><th>Port</th><th>Checked</th>"
           "<th>Failed</th><th>Failure rate</th><th></th></tr>\n";
    for (const auto& [port, tally] : s.ports)
        out << "<tr><td>" << Escape(port.station) << "</td><td>"
            << (port.ordinal ? "ordinal " : "port ") << port.number << "</td><td>" << tally.checked
            << "</td><td>" << tally.failed << "</td><td>" << Percent(tally.FailureRate())
            << "</td><td>" << (s.StandsOut(port) ? "stands out" : "") << "</td></tr>\n";
    out << "</table>\n";

    out << "<h2>Hours</h2>\n<table id=\"hours\"><tr><th>Hour</th><th>Checked</th><th>Yield</th>"
           "</tr>\n";
    for (const auto& [hour, tally] : s.hours)
        out << "<tr><td>" << hour << ":00</td><td>" << tally.checked << "</td><td>"
            << Percent(tally.Yield()) << "</td></tr>\n";
    out << "</table>\n";

    out << "<h2>Checked more than once</h2>\n<table id=\"retests\"><tr><th>Serial number</th>"
           "<th>Checks</th></tr>\n";
    for (const auto& [serial, checks] : s.Retests()) {
        out << "<tr><td>" << Escape(serial) << "</td><td>";
        for (std::size_t i = 0; i < checks.size(); ++i)
            out << (i == 0 ? "" : ", ") << checks[i].time << " "
                << (checks[i].pass ? "PASS" : "FAIL");
        out << "</td></tr>\n";
    }
    out << "</table>\n";
}

}  // namespace

void WriteHtml(const Summary& s, std::ostream& out) {
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<title>Tavrin report</title>\n<style>\n"
           "body{font-family:sans-serif;margin:24px;color:#222}\n"
           "table{border-collapse:collapse;margin-bottom:16px}\n"
           "td,th{border:1px solid #bbb;padding:2px 8px;text-align:left}\n"
           "svg{display:block;margin-bottom:8px}\n"
           "</style></head><body>\n<h1>Tavrin report</h1>\n";
    out << "<p id=\"totals\">Checked " << s.total.checked << ", PASS "
        << s.total.checked - s.total.failed << ", FAIL " << s.total.failed << ", yield "
        << Percent(s.total.Yield()) << "</p>\n";
    YieldChart(s, out);
    ParetoChart(s, out);
    PortGrids(s, out);
    Tables(s, out);
    out << "</body></html>\n";
}

}  // namespace tools::report
