#include "tools/report/log_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace tools::report {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kChunk = 1u << 20;
// A record longer than this is no record of ours: the rest of its line is passed over.
constexpr std::size_t kMaxRecord = 1u << 16;

// Splits one record off the front of `data` into `fields`; quoted fields are unescaped into
// `scratch`. Answers the bytes it took (its line end included), or 0 when the record does not
// end within `data` and more may follow. At `end`, the rest is the last record.
struct Splitter {
    std::vector<std::string_view> fields;
    std::vector<std::string> scratch;
    std::size_t lines = 0;  // line breaks inside the record and at its end
    bool unclosed = false;

    std::size_t Split(std::string_view data, bool end) {
        fields.clear();
        lines = 0;
        unclosed = false;
        // Nearly every record is one line without quotes: split it at its commas.
        const void* eol = std::memchr(data.data(), '\n', data.size());
        if (eol != nullptr) {
            const std::size_t length =
                static_cast<std::size_t>(static_cast<const char*>(eol) - data.data());
            if (std::memchr(data.data(), '"', length) == nullptr) {
                std::string_view line = data.substr(0, length);
                if (!line.empty() && line.back() == '\r')
                    line.remove_suffix(1);
                std::size_t from = 0;
                for (std::size_t i = 0; i < line.size(); ++i) {
                    if (line[i] == ',') {
                        fields.push_back(line.substr(from, i - from));
                        from = i + 1;
                    }
                }
                line.remove_prefix(from);
                fields.push_back(line);
                lines = 1;
                return length + 1;
            }
        }
        std::size_t i = 0;
        std::size_t quoted = 0;
        for (;;) {
            if (i < data.size() && data[i] == '"') {
                if (scratch.size() <= quoted)
                    scratch.emplace_back();
                std::string& text = scratch[quoted++];
                text.clear();
                ++i;
                for (;;) {
                    const std::size_t q = data.find('"', i);
                    if (q == std::string_view::npos) {
                        if (!end)
                            return 0;
                        lines += static_cast<std::size_t>(std::count(
                            data.begin() + static_cast<std::ptrdiff_t>(i), data.end(), '\n'));
                        text.append(data.substr(i));
                        unclosed = true;
                        fields.push_back(text);
                        return data.size();
                    }
                    lines += static_cast<std::size_t>(
                        std::count(data.begin() + static_cast<std::ptrdiff_t>(i),
                                   data.begin() + static_cast<std::ptrdiff_t>(q), '\n'));
                    text.append(data.substr(i, q - i));
                    if (q + 1 < data.size() && data[q + 1] == '"') {
                        text += '"';
                        i = q + 2;
                        continue;
                    }
                    if (q + 1 == data.size() && !end)
                        return 0;  // a doubled quote may follow
                    i = q + 1;
                    break;
                }
                fields.push_back(text);
                // Whatever stands between the closing quote and the separator belongs to the field.
                const std::size_t stop = data.find_first_of(",\n", i);
                if (stop == std::string_view::npos && !end)
                    return 0;
                const std::size_t to = stop == std::string_view::npos ? data.size() : stop;
                if (to > i) {
                    text.append(data.substr(i, to - i));
                    fields.back() = text;
                }
                i = to;
            } else {
                const std::size_t stop = data.find_first_of(",\n", i);
                if (stop == std::string_view::npos && !end)
                    return 0;
                const std::size_t to = stop == std::string_view::npos ? data.size() : stop;
                fields.push_back(data.substr(i, to - i));
                i = to;
            }
            if (i >= data.size())
                break;
            if (data[i] == '\n') {
                ++lines;
                ++i;
                break;
            }
            ++i;  // the comma
            if (i == data.size() && !end)
                return 0;
        }
        // The line's CR belongs to the line end, not to the last field.
        if (!fields.empty() && !fields.back().empty() && fields.back().back() == '\r')
            fields.back().remove_suffix(1);
        return i;
    }
};

bool Digits(std::string_view text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

bool Number(std::string_view text) {
    return !text.empty() && text.size() <= 9 && Digits(text, 0, text.size());
}

struct Columns {
    std::optional<std::size_t> time, stationPort, ordinal, vol, verdict, serial, checkFile, station;
    std::array<std::optional<std::size_t>, device::kSlotCount> values;
    std::size_t count = 0;
};

Columns ColumnsOf(const std::vector<std::string_view>& header) {
    Columns c;
    c.count = header.size();
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string_view name = header[i];
        auto set = [&](std::optional<std::size_t>& column) {
            if (!column)
                column = i;
        };
        if (name == "Date and time")
            set(c.time);
        else if (name == "Station port")
            set(c.stationPort);
        else if (name == "Ordinal")
            set(c.ordinal);
        else if (name == "Vol")
            set(c.vol);
        else if (name == "Verdict")
            set(c.verdict);
        else if (name == "Serial number")
            set(c.serial);
        else if (name == "Check file")
            set(c.checkFile);
        else if (name == "Station")
            set(c.station);
        for (std::size_t slot = 0; slot < device::kSlotCount; ++slot) {
            if (name == platform::ToUtf8(device::kSlotKeys[slot]))
                set(c.values[slot]);
        }
    }
    return c;
}

}  // namespace

bool IsLogTime(std::string_view t) {
    return t.size() == 19 && Digits(t, 0, 4) && t[4] == '-' && Digits(t, 5, 2) && t[7] == '-' &&
           Digits(t, 8, 2) && t[10] == ' ' && Digits(t, 11, 2) && t[13] == ':' &&
           Digits(t, 14, 2) && t[16] == ':' && Digits(t, 17, 2);
}

ReadResult ReadLog(std::istream& in, const std::function<void(const Record&)>& onRecord,
                   const std::function<void(const BadRecord&)>& onBad) {
    ReadResult result;
    std::string buffer;
    std::size_t start = 0;  // where the next record begins in `buffer`
    bool end = false;
    std::uint64_t line = 1;
    Splitter splitter;
    std::optional<Columns> columns;
    Record record;

    const auto fill = [&] {
        buffer.erase(0, start);
        start = 0;
        const std::size_t had = buffer.size();
        buffer.resize(had + kChunk);
        in.read(buffer.data() + had, static_cast<std::streamsize>(kChunk));
        buffer.resize(had + static_cast<std::size_t>(in.gcount()));
        end = in.gcount() == 0 || !in;
    };

    const auto bad = [&](std::uint64_t at, std::string why) {
        ++result.badRecords;
        onBad({at, std::move(why)});
    };

    fill();
    if (buffer.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0)
        start = kByteOrderMark.size();
    bool skipping = false;  // the rest of a line too long to be a record
    for (;;) {
        const std::string_view rest = std::string_view(buffer).substr(start);
        if (rest.empty()) {
            if (end)
                break;
            fill();
            continue;
        }
        if (skipping) {
            const std::size_t eol = rest.find('\n');
            start = eol == std::string_view::npos ? buffer.size() : start + eol + 1;
            if (eol != std::string_view::npos) {
                skipping = false;
                ++line;
            } else if (!end) {
                fill();
            }
            continue;
        }
        const std::size_t taken = splitter.Split(rest, end);
        if (taken == 0) {
            if (rest.size() > kMaxRecord) {
                // No record of ours is this long.
                bad(line, "a record too long");
                skipping = true;
                continue;
            }
            fill();
            continue;
        }
        const std::uint64_t at = line;
        line += splitter.lines;
        start += taken;
        const auto& f = splitter.fields;
        if (!columns) {
            Columns c = ColumnsOf(f);
            if (!c.time || !c.verdict) {
                result.why = "not a result log (no \"Date and time\" and \"Verdict\" columns)";
                return result;
            }
            columns = c;
            result.read = true;
            continue;
        }
        if (f.size() == 1 && f[0].empty())
            continue;  // an empty line
        if (splitter.unclosed) {
            bad(at, "a quoted field is not closed");
            continue;
        }
        if (f.size() != columns->count) {
            bad(at, std::to_string(f.size()) + " fields where the header names " +
                        std::to_string(columns->count));
            continue;
        }
        const auto field = [&](const std::optional<std::size_t>& column) {
            return column ? f[*column] : std::string_view();
        };
        record.time = f[*columns->time];
        const std::string_view verdict = f[*columns->verdict];
        record.stationPort = field(columns->stationPort);
        record.ordinal = field(columns->ordinal);
        if (!IsLogTime(record.time)) {
            bad(at, "not a date and time: \"" + std::string(record.time.substr(0, 40)) + "\"");
            continue;
        }
        if (verdict != "PASS" && verdict != "FAIL") {
            bad(at, "not a verdict: \"" + std::string(verdict.substr(0, 40)) + "\"");
            continue;
        }
        if ((!record.stationPort.empty() && !Number(record.stationPort)) ||
            (!record.ordinal.empty() && !Number(record.ordinal))) {
            bad(at, "not a port number");
            continue;
        }
        record.pass = verdict == "PASS";
        record.vol = field(columns->vol);
        record.line = at;
        record.serial = field(columns->serial);
        record.checkFile = field(columns->checkFile);
        record.station = field(columns->station);
        for (std::size_t slot = 0; slot < device::kSlotCount; ++slot)
            record.values[slot] = field(columns->values[slot]);
        ++result.records;
        onRecord(record);
    }
    if (in.bad()) {
        result.read = false;
        result.why = "a read failed";
    } else if (!columns) {
        result.why = "empty";
    }
    return result;
}

}  // namespace tools::report
