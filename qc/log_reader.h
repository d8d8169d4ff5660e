// Reading result logs of every format the station has written (qc/result_log.h): a UTF-8
// byte-order mark, a header line naming the columns, then one record a verdict, comma-separated,
// a field in double quotes where it holds a comma, a quote (doubled) or a line break. Columns are
// found by the header's names, so that a log of any column set reads alike; a record that does
// not fit is named and passed over, never fatal. Each record is split into one buffer of its
// own, unescaped, with the ends of its fields: what a record hands out points into nothing that
// moves while it is looked at.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "device/controller.h"

namespace qc {

// The fields of one log line as read back (a record: a line, or more where a quoted field holds
// a line break); views valid during the callback.
struct LogLineFields {
    std::string_view time;         // "YYYY-MM-DD HH:MM:SS"
    std::string_view stationPort;  // empty in free mode
    std::string_view ordinal;
    std::string_view vol;
    bool pass = false;
    std::string_view serial;     // empty where the log has no such column
    std::string_view checkFile;  // likewise
    std::string_view station;    // likewise
    // The value columns by slot; empty for a column the log lacks.
    std::array<std::string_view, device::kSlotCount> values;
    // The "Failed items" field as written (empty for PASS, and where the log has no such column).
    std::string_view failedItems;
    bool hasFailedItems = false;
    std::uint64_t line = 0;  // the physical line the record starts on, from 1
};

// Where a log line could not be read, and why.
struct BadLogLine {
    std::uint64_t line = 0;  // the physical line it starts on, from 1
    std::string why;
};

struct LogReadResult {
    bool read = false;  // false: not a result log at all, or not readable (`why`)
    std::string why;
    std::uint64_t records = 0;
    std::uint64_t badRecords = 0;
};

// Reads `in` to its end. `onRecord` sees every record that fits; `onBad` every one that does
// not: fields not as the header names them, a time, verdict or port number that is none, failed
// items that name no item (or a FAIL without them, a PASS with them). A stream whose first
// record names neither "Date and time" nor "Verdict" is not a log.
LogReadResult ReadResultLog(std::istream& in,
                            const std::function<void(const LogLineFields&)>& onRecord,
                            const std::function<void(const BadLogLine&)>& onBad);

// "YYYY-MM-DD HH:MM:SS" with digits where digits belong.
bool IsLogTime(std::string_view text);

// The slots a "Failed items" field names, in its order, into `items`; false when a part names
// no item. "(not read)" names none and is true.
bool ParseFailedItems(std::string_view field, std::vector<std::size_t>& items);

}  // namespace qc
