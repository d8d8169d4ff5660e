// Reading result logs as they are written: a UTF-8 byte-order mark, a header line naming the
// columns, then one record a verdict, comma-separated, a field in double quotes where it holds a
// comma, a quote (doubled) or a line break. Columns are found by the header's names, so a log of
// any column set the station has written reads alike; a record that does not fit is named and
// passed over, never fatal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/controller.h"

namespace tools::report {

// The fields of one record the report uses; views valid during the callback.
struct Record {
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
    std::string_view failedItems;  // the raw "Failed items" field, empty where absent
    bool hasFailedItems = false;   // whether the log has that column
    std::uint64_t line = 0;        // the physical line the record starts on, from 1
};

// Where a record could not be read, and why.
struct BadRecord {
    std::uint64_t line = 0;  // the physical line it starts on, from 1
    std::string why;
};

struct ReadResult {
    bool read = false;  // false: not a result log at all, or not readable (`why`)
    std::string why;
    std::uint64_t records = 0;
    std::uint64_t badRecords = 0;
};

// Reads `in` to its end. `onRecord` sees every record that fits; `onBad` every one that does
// not. A stream whose first record names neither "Date and time" nor "Verdict" is not a log.
ReadResult ReadLog(std::istream& in, const std::function<void(const Record&)>& onRecord,
                   const std::function<void(const BadRecord&)>& onBad);

// "YYYY-MM-DD HH:MM:SS" with digits where digits belong.
bool IsLogTime(std::string_view text);

}  // namespace tools::report
