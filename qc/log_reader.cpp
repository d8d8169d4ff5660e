#include "qc/log_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/text.h"
#include "qc/result_log.h"

namespace qc {
namespace {

constexpr std::size_t kChunk = 1u << 20;
// A record longer than this is no record of ours: the rest of its line is passed over.
constexpr std::size_t kMaxRecord = 1u << 16;

// Splits one record off the front of `data`: its fields, unescaped, go into `text`, each
// followed by one separator byte, and each field's end into `ends`. Answers the bytes it took
// (its line end included), or 0 when the record does not end within `data` and more may follow.
// At `end`, the rest is the last record.
class Splitter {
  public:
    std::size_t lines = 0;  // line breaks inside the record and at its end
    bool unclosed = false;

    std::size_t Count() const { return ends_.size(); }
    std::string_view Field(std::size_t i) const {
        const std::size_t from = i == 0 ? 0 : ends_[i - 1] + 1;
        return std::string_view(text_).substr(from, ends_[i] - from);
    }

    std::size_t Split(std::string_view data, bool end) {
        text_.clear();
        ends_.clear();
        lines = 0;
        unclosed = false;
        // Nearly every record is one line without quotes: its commas are its separators.
        const void* eol = std::memchr(data.data(), '\n', data.size());
        if (eol != nullptr) {
            const std::size_t length =
                static_cast<std::size_t>(static_cast<const char*>(eol) - data.data());
            if (std::memchr(data.data(), '"', length) == nullptr) {
                std::string_view line = data.substr(0, length);
                if (!line.empty() && line.back() == '\r')
                    line.remove_suffix(1);
                text_.assign(line);
                for (std::size_t i = 0; i < line.size(); ++i) {
                    if (line[i] == ',')
                        ends_.push_back(i);
                }
                ends_.push_back(line.size());
                lines = 1;
                return length + 1;
            }
        }
        std::size_t i = 0;
        for (;;) {
            if (i < data.size() && data[i] == '"') {
                ++i;
                for (;;) {
                    const std::size_t q = data.find('"', i);
                    if (q == std::string_view::npos) {
                        if (!end)
                            return 0;
                        lines += LinesIn(data.substr(i));
                        text_.append(data.substr(i));
                        ends_.push_back(text_.size());
                        unclosed = true;
                        return data.size();
                    }
                    lines += LinesIn(data.substr(i, q - i));
                    text_.append(data.substr(i, q - i));
                    if (q + 1 < data.size() && data[q + 1] == '"') {
                        text_ += '"';
                        i = q + 2;
                        continue;
                    }
                    if (q + 1 == data.size() && !end)
                        return 0;  // a doubled quote may follow
                    i = q + 1;
                    break;
                }
            }
            // The field's unquoted part; after a closing quote, whatever stands before the
            // separator belongs to the field too.
            const std::size_t stop = data.find_first_of(",\n", i);
            if (stop == std::string_view::npos && !end)
                return 0;
            const std::size_t to = stop == std::string_view::npos ? data.size() : stop;
            text_.append(data.substr(i, to - i));
            ends_.push_back(text_.size());
            text_ += ',';
            i = to;
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
        if (!Field(ends_.size() - 1).empty() && Field(ends_.size() - 1).back() == '\r')
            --ends_.back();
        return i;
    }

  private:
    static std::size_t LinesIn(std::string_view text) {
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }

    std::string text_;
    std::vector<std::size_t> ends_;
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
    std::optional<std::size_t> time, stationPort, ordinal, vol, verdict, serial, checkFile, station,
        failedItems;
    std::array<std::optional<std::size_t>, device::kSlotCount> values;
    std::size_t count = 0;
};

Columns ColumnsOf(const Splitter& header) {
    Columns c;
    c.count = header.Count();
    for (std::size_t i = 0; i < header.Count(); ++i) {
        const std::string_view name = header.Field(i);
        // The first column of a name counts.
        auto set = [&](std::optional<std::size_t>& column) {
            if (!column)
                column = i;
        };
        if (name == kTimeColumn)
            set(c.time);
        else if (name == kStationPortColumn)
            set(c.stationPort);
        else if (name == kOrdinalColumn)
            set(c.ordinal);
        else if (name == kVolColumn)
            set(c.vol);
        else if (name == kVerdictColumn)
            set(c.verdict);
        else if (name == kSerialColumn)
            set(c.serial);
        else if (name == kCheckFileColumn)
            set(c.checkFile);
        else if (name == kStationColumn)
            set(c.station);
        else if (name == kFailedItemsColumn)
            set(c.failedItems);
        else if (const std::optional<std::size_t> slot = ItemOfKey(name))
            set(c.values[*slot]);
    }
    return c;
}

// At most 40 bytes of a field, for a message.
std::string Quoted(std::string_view field) {
    return "\"" + std::string(field.substr(0, 40)) + "\"";
}

}  // namespace

bool IsLogTime(std::string_view t) {
    return t.size() == 19 && Digits(t, 0, 4) && t[4] == '-' && Digits(t, 5, 2) && t[7] == '-' &&
           Digits(t, 8, 2) && t[10] == ' ' && Digits(t, 11, 2) && t[13] == ':' &&
           Digits(t, 14, 2) && t[16] == ':' && Digits(t, 17, 2);
}

bool ParseFailedItems(std::string_view field, std::vector<std::size_t>& items) {
    items.clear();
    if (field == kNotReadItems)
        return true;
    for (;;) {
        const std::size_t bar = field.find(kFailedItemsSeparator);
        const std::optional<std::size_t> slot = ItemOfKey(field.substr(0, bar));
        if (!slot)
            return false;
        items.push_back(*slot);
        if (bar == std::string_view::npos)
            return true;
        field.remove_prefix(bar + 1);
    }
}

LogReadResult ReadResultLog(std::istream& in,
                            const std::function<void(const LogLineFields&)>& onRecord,
                            const std::function<void(const BadLogLine&)>& onBad) {
    LogReadResult result;
    std::string buffer;
    std::size_t start = 0;  // where the next record begins in `buffer`
    bool end = false;
    std::uint64_t line = 1;
    Splitter splitter;
    std::optional<Columns> columns;
    LogLineFields record;
    std::vector<std::size_t> items;

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
    if (std::string_view(buffer).starts_with(kLogByteOrderMark))
        start = kLogByteOrderMark.size();
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
        if (!columns) {
            Columns c = ColumnsOf(splitter);
            if (!c.time || !c.verdict) {
                result.why = "not a result log (no \"Date and time\" and \"Verdict\" columns)";
                return result;
            }
            columns = c;
            result.read = true;
            continue;
        }
        if (splitter.Count() == 1 && splitter.Field(0).empty())
            continue;  // an empty line
        if (splitter.unclosed) {
            bad(at, "a quoted field is not closed");
            continue;
        }
        if (splitter.Count() != columns->count) {
            bad(at, std::to_string(splitter.Count()) + " fields where the header names " +
                        std::to_string(columns->count));
            continue;
        }
        const auto field = [&](const std::optional<std::size_t>& column) {
            return column ? splitter.Field(*column) : std::string_view();
        };
        record.line = at;
        record.time = field(columns->time);
        const std::string_view verdict = field(columns->verdict);
        record.stationPort = field(columns->stationPort);
        record.ordinal = field(columns->ordinal);
        if (!IsLogTime(record.time)) {
            bad(at, "not a date and time: " + Quoted(record.time));
            continue;
        }
        if (verdict != kLogPass && verdict != kLogFail) {
            bad(at, "not a verdict: " + Quoted(verdict));
            continue;
        }
        if ((!record.stationPort.empty() && !Number(record.stationPort)) ||
            (!record.ordinal.empty() && !Number(record.ordinal))) {
            bad(at, "not a port number");
            continue;
        }
        record.pass = verdict == kLogPass;
        record.hasFailedItems = columns->failedItems.has_value();
        record.failedItems = field(columns->failedItems);
        if (record.hasFailedItems) {
            if (record.pass != record.failedItems.empty()) {
                bad(at, record.pass ? "failed items of a PASS" : "a FAIL without failed items");
                continue;
            }
            if (!record.pass && !ParseFailedItems(record.failedItems, items)) {
                bad(at, "not failed items: " + Quoted(record.failedItems));
                continue;
            }
        }
        record.vol = field(columns->vol);
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

}  // namespace qc
