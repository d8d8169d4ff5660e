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

// Failed items by index: the value slots, then two that are not a value: a disk whose block could
// not be read, and a FAIL whose items its record does not say.
inline constexpr std::size_t kNotRead = device::kSlotCount;
inline constexpr std::size_t kNotRecorded = device::kSlotCount + 1;
inline constexpr std::size_t kItemCount = device::kSlotCount + 2;

// "FWVer", or "(not read)", "(not recorded)".
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

// A port against the other ports of its station (those of the same mode).
struct PortFigures {
    bool tested = false;    // false: its station has no other port with a verdict
    double othersRate = 0;  // the other ports' failure rate
    double ratio = 0;       // its rate over theirs; infinity when they never failed
    double pValue = 1;      // P[X >= its failures | its verdicts, their rate]
    double qValue = 1;      // the p-value adjusted over every port tested (Benjamini-Hochberg)
    bool standsOut = false;
};

// A port stands out when all three hold.
inline constexpr double kStandOutRatio = 2.0;
inline constexpr double kFalseDiscoveryRate = 0.01;
inline constexpr std::uint64_t kStandOutFailures = 5;
// The rule in words, for the text and the page.
extern const char kStandOutRule[];

struct Check {
    std::string time;
    bool pass = false;
};

// Disks by serial number. A record without one cannot be matched to another, so it counts as a
// disk of its own, checked once.
struct DiskFigures {
    std::uint64_t disks = 0;
    std::uint64_t withoutSerial = 0;  // records without a serial number
    std::uint64_t retested = 0;       // disks checked more than once
    std::uint64_t failThenPass = 0;   // of those, disks that failed and passed later
    std::uint64_t firstPass = 0;      // disks whose first verdict is PASS
    std::uint64_t finalPass = 0;      // disks whose last verdict is PASS
    double FirstPassYield() const { return disks == 0 ? 0.0 : double(firstPass) / double(disks); }
    double FinalYield() const { return disks == 0 ? 0.0 : double(finalPass) / double(disks); }
};

// A bad day: its worst station (by failures) and the value failed most that day.
struct DayNote {
    std::string day;
    Tally tally;
    std::string station;
    Tally stationTally;
    std::size_t item = kItemCount;  // kItemCount: no failure that day
    std::string value;
    std::uint64_t count = 0;
};

struct BadRecordAt {
    std::string file;
    std::uint64_t line = 0;
    std::string reason;
};

class Summary {
  public:
    Summary();

    // The first pass: one record. `station` names the station (the record's, or a stand-in for a
    // log without the column); `failedItems` the items a FAIL failed, never empty (`kNotRecorded`
    // where they are not known); not looked at for a PASS.
    void Add(const LogLineFields& record, std::string_view station,
             std::span<const std::size_t> failedItems);
    // Whether a second pass is needed to tell the retests, and its one record.
    bool WantsSecondPass() const { return !candidates_.empty(); }
    void AddSecond(const LogLineFields& record);
    // A record that could not be read; the first `kKeptBadRecords` of a run are kept by name.
    void AddBadRecord(std::string_view file, const BadLogLine& bad);
    static constexpr std::size_t kKeptBadRecords = 1000;

    std::uint64_t logs = 0;            // logs read
    std::uint64_t recordsNotRead = 0;  // records passed over
    std::vector<BadRecordAt> badRecords;
    std::optional<double> target;  // the yield aimed at, a fraction

    Tally total;
    std::string first, last;  // the first and last record's time
    std::array<std::uint64_t, kItemCount> itemFailures{};
    // Per value slot, the values that failed it and how often. Past `kKeptValues` distinct
    // values of one item, new ones count under `kOtherValues`.
    std::array<std::map<std::string, std::uint64_t, std::less<>>, device::kSlotCount> failingValues;
    static constexpr std::size_t kKeptValues = 1000;
    static constexpr std::string_view kOtherValues = "(other values)";
    std::map<std::string, Tally> stations;
    std::map<PortKey, Tally> ports;
    std::map<std::string, Tally> days;   // "YYYY-MM-DD"
    std::map<std::string, Tally> hours;  // "YYYY-MM-DD HH"

    // Items by failures, most first, the two that are not a value among them; those that never
    // failed left out.
    std::vector<std::pair<std::size_t, std::uint64_t>> RankedItems() const;
    // An item's failing values, most frequent first, at most `count`.
    std::vector<std::pair<std::string, std::uint64_t>> TopValues(std::size_t item,
                                                                 std::size_t count) const;
    // The share of failures whose items are not known.
    double UnknownItemsShare() const;
    // Stations by failure rate, worst first.
    std::vector<std::pair<std::string, Tally>> RankedStations() const;

    const PortFigures& Figures(const PortKey& port) const;
    bool StandsOut(const PortKey& port) const { return Figures(port).standsOut; }
    // Ports tested, and ports that stand out.
    std::size_t PortsTested() const;
    // The ports most likely to be worn, at most `count`: those that stand out first, then by
    // p-value.
    std::vector<PortKey> WorstPorts(std::size_t count) const;

    // Disks checked more than once, by serial number, each with its checks in time order.
    std::vector<std::pair<std::string, std::vector<Check>>> Retests() const;
    DiskFigures Disks() const;
    // The days under the target, or without one the days of the lowest yield, worst first, at
    // most `count`.
    std::vector<DayNote> WorstDays(std::size_t count) const;

  private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    void Candidate(std::string_view serial);
    void Judge() const;

    std::vector<std::uint64_t> seen_;  // the filter's bits
    std::vector<std::uint64_t> candidateFilter_;
    std::unordered_set<std::string, TextHash, std::equal_to<>> candidates_;
    std::unordered_map<std::string, std::vector<std::uint64_t>> checks_;  // packed checks
    std::uint64_t withSerial_ = 0, passWithSerial_ = 0, passWithoutSerial_ = 0;
    // The last station, day and hour met, to spare a lookup on a run of one station's lines.
    std::string lastStation_;
    Tally* lastStationTally_ = nullptr;
    std::string lastDay_;
    Tally* lastDayTally_ = nullptr;
    std::string lastHour_;
    Tally* lastHourTally_ = nullptr;
    // Per station and day, by the two tallies' addresses (map nodes never move).
    struct PairHash {
        std::size_t operator()(const std::pair<const Tally*, const Tally*>& p) const {
            return std::hash<const void*>{}(p.first) * 31 + std::hash<const void*>{}(p.second);
        }
    };
    std::unordered_map<std::pair<const Tally*, const Tally*>, Tally, PairHash> stationDays_;
    std::pair<const Tally*, const Tally*> lastStationDay_{};
    Tally* lastStationDayTally_ = nullptr;
    // Failing values per day: "YYYY-MM-DD", the item's index, the value.
    std::map<std::tuple<std::string, std::size_t, std::string>, std::uint64_t> dayValues_;
    mutable bool judged_ = false;
    mutable std::map<PortKey, PortFigures> figures_;
};

// The summary as text, for the terminal.
void WriteText(const Summary& summary, std::ostream& out);
// The per-port and per-hour tables and every check of a disk checked more than once, one CSV
// file as the result log is written (UTF-8 with a byte-order mark, CR LF).
void WriteCsv(const Summary& summary, std::ostream& out);
// One self-contained page: charts in inline SVG, no script, nothing beside it.
void WriteHtml(const Summary& summary, std::ostream& out);
// The whole summary as one JSON document.
void WriteJson(const Summary& summary, std::ostream& out);

// The station a log without a Station column stands for: its file's stem without a trailing
// date or time ("QC-07_2026-11-05" is QC-07), so that a station's daily logs are one station.
std::string StationOfStem(std::string_view stem);
// A yield aimed at, "0.98" or "98%", as a fraction; nothing outside 0 to 1.
std::optional<double> ParseYield(const std::string& text);

// "12.34%" of a fraction.
std::string Percent(double fraction);
// "10,773": a count with its thousands marked.
std::string Count(std::uint64_t n);

}  // namespace tools::report
