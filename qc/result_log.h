// The result log: one line per verdict, appended to a file so that the record of what the
// station judged outlives the window. A line is on disk before its verdict shows; a line that
// could not be written waits and goes first with the next one, and once more when the window
// closes. A failed write leaves the file as it was, so every line is in it once and whole. The
// file is held for this log alone from its length to its cut-back, so that two programs
// appending to one log lose and splice nothing; a writer that finds it held waits a bounded time,
// never for ever. A line is only appended after a line end, so that a fragment another writer
// could not cut back never runs into a whole line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/controller.h"
#include "platform/log_file.h"

namespace qc {

// The log's texts, here alone: every writer and reader of result logs goes by them.
inline constexpr std::string_view kLogByteOrderMark = "\xEF\xBB\xBF";
inline constexpr std::string_view kLogPass = "PASS";
inline constexpr std::string_view kLogFail = "FAIL";
inline constexpr std::string_view kTimeColumn = "Date and time";
inline constexpr std::string_view kStationPortColumn = "Station port";
inline constexpr std::string_view kOrdinalColumn = "Ordinal";
inline constexpr std::string_view kVolColumn = "Vol";
inline constexpr std::string_view kVerdictColumn = "Verdict";
inline constexpr std::string_view kSerialColumn = "Serial number";
inline constexpr std::string_view kCheckFileColumn = "Check file";
inline constexpr std::string_view kStationColumn = "Station";
inline constexpr std::string_view kFailedItemsColumn = "Failed items";
// "Failed items" of a disk whose block could not be read; the keys of the others are joined by
// kFailedItemsSeparator in column order.
inline constexpr std::string_view kNotReadItems = "(not read)";
inline constexpr char kFailedItemsSeparator = '|';

// The formats the station has written, oldest first: each adds columns at the end.
enum class LogFormat {
    Values,       // time, ports, "Vol", verdict and the 23 values: 28 columns
    Trail,        // then serial number, check file and station: 31
    FailedItems,  // then the failed items: 32, the current one
};
inline constexpr LogFormat kCurrentLogFormat = LogFormat::FailedItems;

// What a line records beyond the disk's place, verdict and values, in the columns after "FWVer":
// the disk's USB serial number, the check file in use (its stored path), the station (the
// computer's name), each empty when there is none; and the items the disk failed
// (FailedItemsText; empty for PASS).
struct LogTrail {
    std::u16string serial;
    std::u16string checkFile;
    std::u16string station;
    std::u16string failedItems;
};

// The "Failed items" text of a disk that failed `items` (slot indexes, in index order).
std::u16string FailedItemsText(const std::vector<std::size_t>& items);
// The slot of an item's key as the header names its column; nullopt for no item's key.
std::optional<std::size_t> ItemOfKey(std::string_view key);

// One verdict's line in every format a log may hold: a log begun with an older header keeps
// taking lines of its format.
struct LogLine {
    std::string text;  // the current format, ended by CR LF
    // Bytes of `text` in each older format, before its line end; npos: a line the same in all.
    std::size_t valuesLength = std::string::npos;
    std::size_t trailLength = std::string::npos;

    LogLine() = default;
    // A line the same in every format.
    LogLine(std::string line) : text(std::move(line)) {}
    LogLine(const char* line) : text(line) {}
    std::string In(LogFormat format) const;
};

// Date and time, station port (empty in free mode: 0), the port's ordinal, the "Vol" text,
// PASS or FAIL, the 23 value texts, then the trail; comma-separated, a field quoted when it holds
// a comma, a quote or a line break (quotes doubled), UTF-8, ended by CR LF.
LogLine FormatLogLine(const platform::LocalTime& time, int stationPort, int portOrdinal,
                      std::u16string_view vol, bool pass, const device::ValueSlots& values,
                      const LogTrail& trail);

// What a new (missing or empty) log starts with: the UTF-8 byte-order mark, so that a
// spreadsheet reads the product names right, and a line naming the columns of `format`.
std::string LogHeader(LogFormat format = kCurrentLogFormat);

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

    // How long a try waits for another writer that holds the file before the lines wait for the
    // next try (none at first: one look), and what ends that wait sooner (a stop request).
    void SetHeldWait(std::chrono::milliseconds wait, std::function<bool()> stopped = {}) {
        heldWait_ = wait;
        stopped_ = std::move(stopped);
    }

    // Appends `line` after those still waiting; false when they all wait for the next try. Each
    // is written in the format of the file's header.
    bool Append(LogLine line);
    // Writes the lines still waiting; false when they wait on. `heldWait`: this try's own wait
    // for another writer, where it differs (the last try may wait longer).
    bool WriteWaiting();
    bool WriteWaiting(std::chrono::milliseconds heldWait);

    // Lines still waiting for a try that writes them.
    std::size_t WaitingLines() const { return waiting_.size(); }
    // Lines given up unwritten to keep the waiting ones within kMaxWaitingBytes.
    std::size_t DroppedLines() const { return dropped_; }
    // Why the last failed try failed, as the system said it; empty before any failed.
    const std::u16string& LastFailure() const { return lastFailure_; }

  private:
    std::u16string path_;
    std::deque<LogLine> waiting_;  // whole lines, oldest first
    std::size_t waitingBytes_ = 0;
    std::size_t dropped_ = 0;
    std::chrono::milliseconds heldWait_{0};
    std::function<bool()> stopped_;
    // The length the file had before a write whose cut-back failed: what is past it is part of a
    // line that is still waiting, and goes before anything else is written; but only while the
    // file still ends where that write left it (leftAt_), for past it another program's lines
    // would go with it.
    std::optional<std::uint64_t> cutTo_;
    std::optional<std::uint64_t> leftAt_;
    std::u16string lastFailure_;

    bool Failed();
    // Opens the file, trying again while another writer holds it, for at most `heldWait`.
    platform::LogFile Open(std::uint64_t* length, std::chrono::milliseconds heldWait);
    // Whether the file, `length` bytes long, ends with a line end (an empty one does).
    std::optional<bool> EndsWithLineEnd(platform::LogFile file, std::uint64_t length);
    // The format of the file, `length` bytes long, by its header: an older one's, or the current
    // one (an empty file, or a header of no older format).
    std::optional<LogFormat> FormatOf(platform::LogFile file, std::uint64_t length);
};

}  // namespace qc
