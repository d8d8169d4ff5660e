// The summary as one JSON document, for other tools: every figure the text and the page show,
// names in lower case with underscores, yields and rates as fractions from 0 to 1.
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/text.h"
#include "tools/report/summary.h"

namespace tools::report {
namespace {

// A JSON string. The logs' bytes are not trusted to be UTF-8: malformed sequences become
// U+FFFD, so that the document is always valid.
std::string Quoted(std::string_view text) {
    const std::string utf8 = platform::ToUtf8(platform::FromUtf8(text));
    std::string out = "\"";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(u));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Fraction(double value) {
    if (!std::isfinite(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

void WriteJson(const Summary& s, std::ostream& out) {
    const DiskFigures d = s.Disks();
    const bool any = s.total.checked != 0;
    out << "{\n\"logs\": " << s.logs << ",\n\"records_not_read\": " << s.recordsNotRead
        << ",\n\"first\": " << (any ? Quoted(s.first) : "null")
        << ",\n\"last\": " << (any ? Quoted(s.last) : "null")
        << ",\n\"verdicts\": " << s.total.checked
        << ",\n\"pass\": " << s.total.checked - s.total.failed << ",\n\"fail\": " << s.total.failed
        << ",\n\"yield\": " << Fraction(s.total.Yield())
        << ",\n\"target\": " << (s.target ? Fraction(*s.target) : "null")
        << ",\n\"disks\": " << d.disks << ",\n\"records_without_serial\": " << d.withoutSerial
        << ",\n\"first_pass_yield\": " << Fraction(d.FirstPassYield())
        << ",\n\"final_yield\": " << Fraction(d.FinalYield()) << ",\n\"retested\": " << d.retested
        << ",\n\"fail_then_pass\": " << d.failThenPass
        << ",\n\"unknown_items_share\": " << Fraction(s.UnknownItemsShare());

    out << ",\n\"items\": [";
    const char* comma = "";
    for (const auto& [item, count] : s.RankedItems()) {
        out << comma << "\n  {\"item\": " << Quoted(ItemName(item)) << ", \"failures\": " << count
            << ", \"values\": [";
        const char* inner = "";
        for (const auto& [value, n] : s.TopValues(item, Summary::kKeptValues + 1)) {
            out << inner << "{\"value\": " << Quoted(value) << ", \"count\": " << n << "}";
            inner = ", ";
        }
        out << "]}";
        comma = ",";
    }

    out << "\n],\n\"stations\": [";
    comma = "";
    for (const auto& [station, tally] : s.RankedStations()) {
        out << comma << "\n  {\"station\": " << Quoted(station)
            << ", \"verdicts\": " << tally.checked << ", \"fail\": " << tally.failed << "}";
        comma = ",";
    }

    out << "\n],\n\"ports_tested\": " << s.PortsTested() << ",\n\"ports\": [";
    comma = "";
    for (const auto& [port, tally] : s.ports) {
        const PortFigures& f = s.Figures(port);
        out << comma << "\n  {\"station\": " << Quoted(port.station)
            << ", \"port\": " << port.number << ", \"free\": " << (port.ordinal ? "true" : "false")
            << ", \"verdicts\": " << tally.checked << ", \"fail\": " << tally.failed
            << ", \"stands_out\": " << (f.standsOut ? "true" : "false");
        if (f.tested)
            out << ", \"others_rate\": " << Fraction(f.othersRate)
                << ", \"ratio\": " << Fraction(f.ratio) << ", \"p_value\": " << Fraction(f.pValue)
                << ", \"q_value\": " << Fraction(f.qValue);
        out << "}";
        comma = ",";
    }

    out << "\n],\n\"days\": [";
    comma = "";
    for (const auto& [day, tally] : s.days) {
        out << comma << "\n  {\"day\": " << Quoted(day) << ", \"verdicts\": " << tally.checked
            << ", \"pass\": " << tally.checked - tally.failed << "}";
        comma = ",";
    }

    out << "\n],\n\"bad_records\": [";
    comma = "";
    for (const BadRecordAt& bad : s.badRecords) {
        out << comma << "\n  {\"file\": " << Quoted(bad.file) << ", \"line\": " << bad.line
            << ", \"reason\": " << Quoted(bad.reason) << "}";
        comma = ",";
    }
    out << "\n]\n}\n";
}

}  // namespace tools::report
