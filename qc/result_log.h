// The result log: one line per verdict, appended to a file so that the record of what the
// station judged outlives the window. A line is on disk before its verdict shows; a line that
// could not be written waits and goes first with the next one.
#pragma once

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

class ResultLog {
  public:
    // Empty: no log, nothing is written.
    void SetPath(std::u16string path) { path_ = std::move(path); }
    const std::u16string& path() const { return path_; }

    // Appends `line` after those still waiting; false when they all wait for the next try.
    bool Append(std::string_view line);
    std::size_t waitingBytes() const { return waiting_.size(); }

  private:
    std::u16string path_;
    std::string waiting_;
};

}  // namespace qc
