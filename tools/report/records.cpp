#include "tools/report/records.h"

#include "platform/text.h"
#include "qc/result_log.h"

namespace tools::report {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Valid UTF-8 without NULs, the way the field is stored.
std::string Clean(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i);
        if (length == 0 || text[i] == '\0') {
            clean += kReplacement;
            ++i;
        } else {
            clean.append(text, i, length);
            i += length;
        }
    }
    return clean;
}

void AppendField(std::string& out, std::string_view text, bool first = false) {
    if (!first)
        out += ',';
    bool plain = true;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ',' || byte == '"' || byte == '\r' || byte == '\n' || byte == 0 ||
            byte >= 0x80) {
            plain = false;
            break;
        }
    }
    if (plain) {
        out += text;
        return;
    }
    const std::string clean = Clean(text);
    if (clean.find_first_of(",\"\r\n") == std::string::npos) {
        out += clean;
        return;
    }
    out += '"';
    for (const char c : clean) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // no overlong form
        if (lead == 0xED)
            high = 0x9F;  // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = at + 2; i < at + length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

RecordsTable::RecordsTable() {
    // The columns come from the log's own header, so that a column the log gains shows here.
    const std::string header = qc::LogHeader();
    std::string_view names = header;
    if (names.starts_with("\xEF\xBB\xBF"))
        names.remove_prefix(3);
    while (!names.empty() && (names.back() == '\n' || names.back() == '\r'))
        names.remove_suffix(1);
    bool first = true;
    for (;;) {
        const std::size_t comma = names.find(',');
        const std::string_view name = names.substr(0, comma);
        Column column;
        if (name == "Date and time")
            column.field = Field::Time;
        else if (name == "Station port")
            column.field = Field::StationPort;
        else if (name == "Ordinal")
            column.field = Field::Ordinal;
        else if (name == "Vol")
            column.field = Field::Vol;
        else if (name == "Verdict")
            column.field = Field::Verdict;
        else if (name == "Serial number")
            column.field = Field::Serial;
        else if (name == "Check file")
            column.field = Field::CheckFile;
        else if (name == "Station")
            column.field = Field::Station;
        else if (name == "Failed items")
            column.field = Field::FailedItems;
        for (std::size_t slot = 0; slot < device::kSlotCount; ++slot) {
            if (name == platform::ToUtf8(device::kSlotKeys[slot]))
                column = {Field::Value, slot};
        }
        if (column.field == Field::Unknown)
            unknown_.emplace_back(name);
        columns_.push_back(column);
        AppendField(header_, name, first);
        first = false;
        if (comma == std::string_view::npos)
            break;
        names.remove_prefix(comma + 1);
    }
    AppendField(header_, "Log");
    AppendField(header_, "Line");
    header_ += "\r\n";
}

void RecordsTable::Append(const LogLineFields& r, std::string_view log, std::string& out) const {
    bool first = true;
    for (const Column& column : columns_) {
        std::string_view text;
        switch (column.field) {
            case Field::Time:
                text = r.time;
                break;
            case Field::StationPort:
                text = r.stationPort;
                break;
            case Field::Ordinal:
                text = r.ordinal;
                break;
            case Field::Vol:
                text = r.vol;
                break;
            case Field::Verdict:
                text = r.pass ? "PASS" : "FAIL";
                break;
            case Field::Value:
                text = r.values[column.slot];
                break;
            case Field::Serial:
                text = r.serial;
                break;
            case Field::CheckFile:
                text = r.checkFile;
                break;
            case Field::Station:
                text = r.station;
                break;
            case Field::FailedItems:
                text = r.failedItems;
                break;
            case Field::Unknown:
                break;
        }
        AppendField(out, text, first);
        first = false;
    }
    AppendField(out, log);
    AppendField(out, std::to_string(r.line));
    out += "\r\n";
}

}  // namespace tools::report
