// What a shift's result logs say, gathered line by line: memory grows with the stations, ports,
// items and hours met, never with the lines; disks checked more than once are found with a
// fixed-size filter on the first pass and followed exactly on a second.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tools/report/log_reader.h"

namespace tools::report {

// Failures are counted by item: slots 0 to 22 are device::kSlotKeys, then two of the report's
// own, for a disk whose block was not read and a failure whose items its record does not name.
inline constexpr std::size_t kNotRead = device::kSlotCount;
inline constexpr std::size_t kNotRecorded = device::kSlotCount + 1;
inline constexpr std::size_t kItemCount = device::kSlotCount + 2;

// An item's name: its key, "(not read)" or "(not recorded)".
std::string ItemName(std::size_t item);

struct Tally {
    std::uint64_t checked = 0;
    std::uint64_t failed = 0;
    double FailureRate() const { return checked == 0 ? 0.0 : double(failed) / double(checked); }
    double Yield() const { return checked == 0 ? 0.0 : 1.0 - FailureRate(); }
};

// A port of a station: its station port, or in free mode (no station port) its ordinal.
struct PortKey {
    std::string station;
    bool ordinal = false;
    int number = 0;
    auto operator<=>(const PortKey&) const = default;
};

struct Check {
    std::string time;
    bool pass = false;
};

class Summary {
  public:
    Summary();

    // The first pass: one record. `station` names the station (the record's, or a stand-in for a
    // log without the column); `failedItems` the items a FAIL failed, never empty ({kNotRecorded}
    // where they are not known, {kNotRead} for a disk not read); a PASS's are passed over.
    void Add(const Record& record, std::string_view station,
             std::span<const std::size_t> failedItems);
    // Whether a second pass is needed to tell the retests, and its one record.
    bool WantsSecondPass() const { return !candidates_.empty(); }
    void AddSecond(const Record& record);

    Tally total;
    std::array<std::uint64_t, kItemCount> itemFailures{};
    std::map<std::string, Tally> stations;
    std::map<PortKey, Tally> ports;
    std::map<std::string, Tally> hours;  // "YYYY-MM-DD HH"

    // Items by failures, most first; those that never failed left out.
    std::vector<std::pair<std::size_t, std::uint64_t>> RankedItems() const;
    // Whether a port fails clearly more often than the rest of its station: at least three
    // failures, and a two-proportion z of 3 or more against the station's other ports.
    bool StandsOut(const PortKey& port) const;
    // Disks checked more than once, by serial number, each with its checks in time order.
    std::vector<std::pair<std::string, std::vector<Check>>> Retests() const;

  private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    void Candidate(std::string_view serial);

    std::vector<std::uint64_t> seen_;  // the filter's bits
    std::vector<std::uint64_t> candidateFilter_;
    std::unordered_set<std::string, TextHash, std::equal_to<>> candidates_;
    std::unordered_map<std::string, std::vector<std::uint64_t>> checks_;  // packed checks
    // The last station and hour met, to spare a lookup on a run of one station's lines.
    std::string lastStation_;
    Tally* lastStationTally_ = nullptr;
    std::string lastHour_;
    Tally* lastHourTally_ = nullptr;
};

// The summary as text, for the terminal.
void WriteText(const Summary& summary, std::ostream& out);
// The per-port and per-hour tables, one CSV file as the result log is written (UTF-8 with a
// byte-order mark, CR LF).
void WriteCsv(const Summary& summary, std::ostream& out);
// One self-contained page: charts in inline SVG, no script, nothing beside it.
void WriteHtml(const Summary& summary, std::ostream& out);

// "12.34%" of a fraction.
std::string Percent(double fraction);

}  // namespace tools::report
