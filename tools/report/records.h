// Every readable record of every log as one table for other tools: the result log's current
// columns, then "Log" (the log as the report names it) and "Line" (where the record starts in
// it). Written as the log is (commas, a field quoted where it holds a comma, a quote or a line
// break, CR LF) but without a byte-order mark, which some engines take into the first column's
// name, and always valid UTF-8: a byte that is no UTF-8, and a NUL, become U+FFFD. Records of an
// older format have empty fields for the columns they lack.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/report/log_reader.h"

namespace tools::report {

class RecordsTable {
  public:
    // The columns as the result log writes them now.
    RecordsTable();

    // The header line, CR LF ended.
    const std::string& Header() const { return header_; }
    // Appends the record's line to `out`.
    void Append(const LogLineFields& record, std::string_view log, std::string& out) const;
    // The log's columns this table cannot fill from a record: none while it keeps up with them.
    const std::vector<std::string>& UnknownColumns() const { return unknown_; }

  private:
    enum class Field {
        Time,
        StationPort,
        Ordinal,
        Vol,
        Verdict,
        Value,
        Serial,
        CheckFile,
        Station,
        FailedItems,
        Unknown
    };
    struct Column {
        Field field = Field::Unknown;
        std::size_t slot = 0;  // for Field::Value
    };
    std::vector<Column> columns_;
    std::string header_;
    std::vector<std::string> unknown_;
};

// The bytes of a valid UTF-8 sequence at `text[at]`, or 0 where none starts there.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at);

}  // namespace tools::report
