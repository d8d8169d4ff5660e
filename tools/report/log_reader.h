// The report reads result logs with the station's own reader (qc/log_reader.h), under the
// report's names.
#pragma once

#include <functional>
#include <istream>
#include <string_view>

#include "qc/log_reader.h"

namespace tools::report {

// One log line's fields as read, views valid during the callback: time, station port, ordinal, vol,
// verdict, serial, check file, station, the values by slot, the raw "Failed items" field with
// whether the log has that column, and the physical line the record starts on.
using LogLineFields = qc::LogLineFields;
using BadLogLine = qc::BadLogLine;
using ReadResult = qc::LogReadResult;

inline ReadResult ReadLog(std::istream& in,
                          const std::function<void(const LogLineFields&)>& onRecord,
                          const std::function<void(const BadLogLine&)>& onBad) {
    return qc::ReadResultLog(in, onRecord, onBad);
}

inline bool IsLogTime(std::string_view text) {
    return qc::IsLogTime(text);
}

}  // namespace tools::report
