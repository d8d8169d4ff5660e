// The result log: one line per verdict, appended to a file so that the record of what the
// station judged outlives the window. A line is on disk before its verdict shows; a line that
// could not be written waits and goes first with the next one, and once more when the window
// closes. A failed write leaves the file as it was, so every line is in it once and whole. The
// file is held for this log alone from its length to its cut-back, so that two programs
// appending to one log lose and splice nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "device/controller.h"
#include "platform/log_file.h"

namespace qc {

// Date and time, station port (empty in free mode: 0), the port's ordinal, the "Vol" text,
// PASS or FAIL, then the 23 value texts; comma-separated, a field quoted when it holds a comma,
// a quote or a line break (quotes doubled), UTF-8, ended by CR LF.
std::string FormatLogLine(const platform::LocalTime& time, int stationPort, int portOrdinal,
                          std::u16string_view vol, bool pass, const device::ValueSlots& values);

// What a new (missing or empty) log starts with: the UTF-8 byte-order mark, so that a
// spreadsheet reads the product names right, and a line naming the columns.
std::string LogHeader();

class ResultLog {
  public:
    // Lines kept for a log that cannot be written, at most: beyond it the oldest go, so that a
    // log gone for good cannot eat the station's memory.
    static constexpr std::size_t kMaxWaitingBytes = 16u << 20;

    ResultLog() = default;
    // The last try for lines still waiting.
    ~ResultLog() { WriteWaiting(); }
    ResultLog(const ResultLog&) = delete;
    ResultLog& operator=(const ResultLog&) = delete;

    // Empty: no log, nothing is written.
    void SetPath(std::u16string path) { path_ = std::move(path); }
    const std::u16string& path() const { return path_; }

    // Appends `line` after those still waiting; false when they all wait for the next try.
    bool Append(std::string line);
    // Writes the lines still waiting; false when they wait on.
    bool WriteWaiting();

    // Lines still waiting for a try that writes them.
    std::size_t WaitingLines() const { return waiting_.size(); }
    // Why the last failed try failed, as the system said it; empty before any failed.
    const std::u16string& LastFailure() const { return lastFailure_; }

  private:
    std::u16string path_;
    std::deque<std::string> waiting_;  // whole lines, oldest first
    std::size_t waitingBytes_ = 0;
    // The length the file had before a write whose cut-back failed: what is past it is part of a
    // line that is still waiting, and goes before anything else is written; but only while the
    // file still ends where that write left it (leftAt_), for past it another program's lines
    // would go with it.
    std::optional<std::uint64_t> cutTo_;
    std::optional<std::uint64_t> leftAt_;
    std::u16string lastFailure_;

    bool Failed();
};

}  // namespace qc
