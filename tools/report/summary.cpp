#include "tools/report/summary.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/text.h"

namespace tools::report {
namespace {

// 16 MiB of filter: a false match per few hundred disks at ten million, which costs no more
// than one more serial followed on the second pass. Each serial sets four bits of one word, so
// that a look costs one memory access.
constexpr std::size_t kFilterWords = std::size_t{1} << 21;
// The candidates' own filter, to pass over the others on the second pass without a lookup.
constexpr std::size_t kCandidateFilterWords = std::size_t{1} << 16;

// Whether the four bits of `h` were all set in `filter` already; sets them with `set`.
bool Seen(std::vector<std::uint64_t>& filter, std::uint64_t h, bool set = true) {
    std::uint64_t& word = filter[h & (filter.size() - 1)];
    std::uint64_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= std::uint64_t{1} << ((h >> (40 + 6 * i)) & 63);
    const bool all = (word & bits) == bits;
    if (set)
        word |= bits;
    return all;
}

std::uint64_t Hash(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ull;
    }
    // A final mix, so that the second probe step is as good as the first.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

// A check of a disk followed on the second pass, in eight bytes: the time's fourteen digits as
// a number, then the verdict.
std::uint64_t PackedCheck(std::string_view time, bool pass) {
    std::uint64_t n = 0;
    for (const char c : time) {
        if (c >= '0' && c <= '9')
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n * 2 + (pass ? 1 : 0);
}

Check UnpackedCheck(std::uint64_t packed) {
    std::uint64_t n = packed / 2;
    char digits[15] = {};
    for (int i = 13; i >= 0; --i, n /= 10)
        digits[i] = static_cast<char>('0' + n % 10);
    const std::string d(digits, 14);
    return {d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) + " " + d.substr(8, 2) +
                ":" + d.substr(10, 2) + ":" + d.substr(12, 2),
            packed % 2 == 1};
}

int NumberOf(std::string_view text) {
    int n = 0;
    std::from_chars(text.data(), text.data() + text.size(), n);
    return n;
}

std::string PortName(const PortKey& port) {
    return (port.ordinal ? "ordinal " : "port ") + std::to_string(port.number);
}

// A CSV field as the result log writes it.
std::string CsvField(std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(field);
    std::string out = "\"";
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

// P[X >= k] for X binomial(n, p), summed in logarithms from the side whose terms are small, so
// that the tiny p-values of a worn port keep their precision.
double UpperTail(std::uint64_t n, std::uint64_t k, double p) {
    if (k == 0 || p >= 1)
        return 1.0;
    if (p <= 0)
        return 0.0;
    if (k > n)
        return 0.0;
    const double lp = std::log(p), lq = std::log1p(-p), lnf = std::lgamma(double(n) + 1);
    const auto term = [&](std::uint64_t j) {
        return std::exp(lnf - std::lgamma(double(j) + 1) - std::lgamma(double(n - j) + 1) +
                        double(j) * lp + double(n - j) * lq);
    };
    double sum = 0;
    if (double(k) > double(n) * p) {
        for (std::uint64_t j = k; j <= n; ++j) {
            const double t = term(j);
            sum += t;
            if (t < sum * 1e-17)
                break;
        }
        return std::min(sum, 1.0);
    }
    for (std::uint64_t j = k; j-- > 0;) {
        const double t = term(j);
        sum += t;
        if (t < sum * 1e-17)
            break;
    }
    return std::clamp(1.0 - sum, 0.0, 1.0);
}

}  // namespace

const char kStandOutRule[] =
    "a port stands out when its failure rate is at least twice that of its station's other "
    "ports, a one-sided binomial test against their rate stays significant after a "
    "Benjamini-Hochberg correction at 1% over every port tested, and it has at least 5 failures";

namespace {

// Whether `text` is a date, "YYYY-MM-DD" or "YYYYMMDD" (any of "-_." between), with perhaps a
// time after it, "HH-MM[-SS]" or "HHMM[SS]".
bool IsDateTime(std::string_view text) {
    std::size_t i = 0;
    const auto digits = [&](std::size_t n) {
        for (std::size_t k = 0; k < n; ++k, ++i) {
            if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
                return false;
        }
        return true;
    };
    const auto separator = [&](std::string_view which) {
        if (i < text.size() && which.find(text[i]) != std::string_view::npos)
            ++i;
    };
    if (!digits(4))
        return false;
    separator("-_.");
    if (!digits(2))
        return false;
    separator("-_.");
    if (!digits(2))
        return false;
    if (i == text.size())
        return true;
    if (std::string_view("-_. T").find(text[i]) == std::string_view::npos)
        return false;
    ++i;
    if (!digits(2))
        return false;
    separator("-_.");
    if (!digits(2))
        return false;
    if (i == text.size())
        return true;
    separator("-_.");
    return digits(2) && i == text.size();
}

}  // namespace

std::string StationOfStem(std::string_view stem) {
    for (std::size_t p = 1; p < stem.size(); ++p) {
        if (std::string_view("-_. ").find(stem[p]) != std::string_view::npos &&
            IsDateTime(stem.substr(p + 1)))
            return std::string(stem.substr(0, p));
    }
    return std::string(stem);
}

std::optional<double> ParseYield(const std::string& text) {
    const bool percent = !text.empty() && text.back() == '%';
    const std::string number = percent ? text.substr(0, text.size() - 1) : text;
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || end != number.data() + number.size())
        return std::nullopt;
    value /= percent ? 100.0 : 1.0;
    if (!(value >= 0 && value <= 1))
        return std::nullopt;
    return value;
}

std::string ItemName(std::size_t item) {
    if (item == kNotRead)
        return "(not read)";
    if (item == kNotRecorded)
        return "(not recorded)";
    return platform::ToUtf8(device::kSlotKeys[item]);
}

std::string Count(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string Percent(double fraction) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", fraction * 100.0);
    return text;
}

Summary::Summary() : seen_(kFilterWords, 0), candidateFilter_(kCandidateFilterWords, 0) {}

void Summary::Candidate(std::string_view serial) {
    if (candidates_.emplace(serial).second)
        Seen(candidateFilter_, Hash(serial));
}

void Summary::Add(const LogLineFields& r, std::string_view station,
                  std::span<const std::size_t> failedItems) {
    const std::uint64_t failed = r.pass ? 0 : 1;
    ++total.checked;
    total.failed += failed;
    judged_ = false;
    if (first.empty() || r.time < std::string_view(first))
        first.assign(r.time);
    if (r.time > std::string_view(last))
        last.assign(r.time);

    if (lastStationTally_ == nullptr || station != lastStation_) {
        lastStation_.assign(station);
        lastStationTally_ = &stations[lastStation_];
    }
    ++lastStationTally_->checked;
    lastStationTally_->failed += failed;

    if (!r.stationPort.empty() || !r.ordinal.empty()) {
        const bool free = r.stationPort.empty();
        Tally& port = ports[{lastStation_, free, NumberOf(free ? r.ordinal : r.stationPort)}];
        ++port.checked;
        port.failed += failed;
    }

    const std::string_view day = r.time.substr(0, 10);
    if (lastDayTally_ == nullptr || day != lastDay_) {
        lastDay_.assign(day);
        lastDayTally_ = &days[lastDay_];
    }
    ++lastDayTally_->checked;
    lastDayTally_->failed += failed;

    const std::pair<const Tally*, const Tally*> stationDay{lastStationTally_, lastDayTally_};
    if (lastStationDayTally_ == nullptr || stationDay != lastStationDay_) {
        lastStationDay_ = stationDay;
        lastStationDayTally_ = &stationDays_[stationDay];
    }
    ++lastStationDayTally_->checked;
    lastStationDayTally_->failed += failed;

    const std::string_view hour = r.time.substr(0, 13);
    if (lastHourTally_ == nullptr || hour != lastHour_) {
        lastHour_.assign(hour);
        lastHourTally_ = &hours[lastHour_];
    }
    ++lastHourTally_->checked;
    lastHourTally_->failed += failed;

    if (!r.pass) {
        if (failedItems.empty()) {
            ++itemFailures[kNotRecorded];
            ++dayValues_[{lastDay_, kNotRecorded, ""}];
        }
        for (const std::size_t item : failedItems) {
            if (item >= kItemCount)
                continue;
            ++itemFailures[item];
            ++dayValues_[{lastDay_, item,
                          std::string(item < device::kSlotCount ? r.values[item] : "")}];
            if (item >= device::kSlotCount)
                continue;
            auto& values = failingValues[item];
            auto it = values.find(r.values[item]);
            if (it == values.end())
                it = values.size() < kKeptValues
                         ? values.emplace(std::string(r.values[item]), 0).first
                         : values.emplace(std::string(kOtherValues), 0).first;
            ++it->second;
        }
    }

    if (r.serial.empty()) {
        passWithoutSerial_ += 1 - failed;
        return;
    }
    ++withSerial_;
    passWithSerial_ += 1 - failed;
    if (Seen(seen_, Hash(r.serial)))
        Candidate(r.serial);
}

void Summary::AddBadRecord(std::string_view file, const BadLogLine& bad) {
    if (badRecords.size() < kKeptBadRecords)
        badRecords.push_back({std::string(file), bad.line, bad.why});
}

void Summary::AddSecond(const LogLineFields& r) {
    if (r.serial.empty())
        return;
    if (Seen(candidateFilter_, Hash(r.serial), false) &&
        candidates_.find(r.serial) != candidates_.end())
        checks_[std::string(r.serial)].push_back(PackedCheck(r.time, r.pass));
}

std::vector<std::pair<std::size_t, std::uint64_t>> Summary::RankedItems() const {
    std::vector<std::pair<std::size_t, std::uint64_t>> ranked;
    for (std::size_t item = 0; item < itemFailures.size(); ++item) {
        if (itemFailures[item] != 0)
            ranked.emplace_back(item, itemFailures[item]);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return ranked;
}

std::vector<std::pair<std::string, std::uint64_t>> Summary::TopValues(std::size_t item,
                                                                      std::size_t count) const {
    std::vector<std::pair<std::string, std::uint64_t>> top;
    if (item >= device::kSlotCount)
        return top;
    top.assign(failingValues[item].begin(), failingValues[item].end());
    std::stable_sort(top.begin(), top.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    if (top.size() > count)
        top.resize(count);
    return top;
}

double Summary::UnknownItemsShare() const {
    return total.failed == 0 ? 0.0 : double(itemFailures[kNotRecorded]) / double(total.failed);
}

std::vector<std::pair<std::string, Tally>> Summary::RankedStations() const {
    std::vector<std::pair<std::string, Tally>> ranked(stations.begin(), stations.end());
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        return a.second.FailureRate() > b.second.FailureRate();
    });
    return ranked;
}

void Summary::Judge() const {
    if (judged_)
        return;
    figures_.clear();
    // The ports of a station in one mode, summed, to take each port's own share out.
    std::map<std::pair<std::string_view, bool>, Tally> groups;
    for (const auto& [port, tally] : ports) {
        Tally& group = groups[{port.station, port.ordinal}];
        group.checked += tally.checked;
        group.failed += tally.failed;
    }
    std::vector<std::pair<double, PortFigures*>> tested;
    for (const auto& [port, tally] : ports) {
        PortFigures& f = figures_[port];
        const Tally& group = groups[{port.station, port.ordinal}];
        const std::uint64_t n = group.checked - tally.checked;
        if (n == 0)
            continue;
        f.tested = true;
        f.othersRate = double(group.failed - tally.failed) / double(n);
        f.ratio = f.othersRate > 0   ? tally.FailureRate() / f.othersRate
                  : tally.failed > 0 ? std::numeric_limits<double>::infinity()
                                     : 0.0;
        f.pValue = UpperTail(tally.checked, tally.failed, f.othersRate);
        tested.emplace_back(f.pValue, &f);
    }
    // Benjamini-Hochberg: each p-value times the ports tested over its rank, made monotone from
    // the largest down.
    std::stable_sort(tested.begin(), tested.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const double m = double(tested.size());
    double q = 1.0;
    for (std::size_t i = tested.size(); i-- > 0;) {
        q = std::min(q, tested[i].first * m / double(i + 1));
        tested[i].second->qValue = q;
    }
    for (const auto& [port, tally] : ports) {
        PortFigures& f = figures_[port];
        f.standsOut = f.tested && f.ratio >= kStandOutRatio && f.qValue <= kFalseDiscoveryRate &&
                      tally.failed >= kStandOutFailures;
    }
    judged_ = true;
}

const PortFigures& Summary::Figures(const PortKey& port) const {
    static const PortFigures kNone;
    Judge();
    const auto it = figures_.find(port);
    return it == figures_.end() ? kNone : it->second;
}

std::size_t Summary::PortsTested() const {
    Judge();
    return std::size_t(std::count_if(figures_.begin(), figures_.end(),
                                     [](const auto& f) { return f.second.tested; }));
}

std::vector<PortKey> Summary::WorstPorts(std::size_t count) const {
    Judge();
    std::vector<PortKey> worst;
    for (const auto& [port, f] : figures_) {
        if (f.tested && ports.at(port).failed > 0 && f.ratio > 1)
            worst.push_back(port);
    }
    std::stable_sort(worst.begin(), worst.end(), [this](const PortKey& a, const PortKey& b) {
        const PortFigures &fa = figures_.at(a), &fb = figures_.at(b);
        if (fa.standsOut != fb.standsOut)
            return fa.standsOut;
        return fa.pValue < fb.pValue;
    });
    if (worst.size() > count)
        worst.resize(count);
    return worst;
}

std::vector<std::pair<std::string, std::vector<Check>>> Summary::Retests() const {
    std::vector<std::pair<std::string, std::vector<Check>>> retests;
    for (const auto& [serial, packed] : checks_) {
        if (packed.size() < 2)
            continue;
        auto ordered = packed;
        // The time's digits lead, so the numbers sort as the times.
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](std::uint64_t a, std::uint64_t b) { return a / 2 < b / 2; });
        std::vector<Check> checks;
        for (const std::uint64_t check : ordered)
            checks.push_back(UnpackedCheck(check));
        retests.emplace_back(serial, std::move(checks));
    }
    std::sort(retests.begin(), retests.end(), [](const auto& a, const auto& b) {
        return a.second.front().time != b.second.front().time
                   ? a.second.front().time < b.second.front().time
                   : a.first < b.first;
    });
    return retests;
}

DiskFigures Summary::Disks() const {
    DiskFigures d;
    d.withoutSerial = total.checked - withSerial_;
    d.disks = total.checked;
    d.firstPass = passWithSerial_ + passWithoutSerial_;
    d.finalPass = d.firstPass;
    // A disk checked k times was counted k times above: once is kept, with its first or its last
    // verdict.
    for (const auto& [serial, checks] : Retests()) {
        std::uint64_t passes = 0;
        bool failed = false, passedAfter = false;
        for (const Check& c : checks) {
            passes += c.pass ? 1 : 0;
            passedAfter = passedAfter || (failed && c.pass);
            failed = failed || !c.pass;
        }
        d.disks -= checks.size() - 1;
        d.firstPass += (checks.front().pass ? 1 : 0);
        d.firstPass -= passes;
        d.finalPass += (checks.back().pass ? 1 : 0);
        d.finalPass -= passes;
        ++d.retested;
        d.failThenPass += passedAfter ? 1 : 0;
    }
    return d;
}

std::vector<DayNote> Summary::WorstDays(std::size_t count) const {
    std::vector<DayNote> notes;
    for (const auto& [day, tally] : days) {
        if (!target || tally.Yield() < *target)
            notes.push_back({day, tally, {}, {}, kItemCount, {}, 0});
    }
    std::stable_sort(notes.begin(), notes.end(), [](const DayNote& a, const DayNote& b) {
        return a.tally.Yield() < b.tally.Yield();
    });
    if (notes.size() > count)
        notes.resize(count);
    std::map<std::string_view, DayNote*> byDay;
    for (DayNote& note : notes)
        byDay[note.day] = &note;
    std::map<const Tally*, std::string_view> names;
    for (const auto& [station, tally] : stations)
        names[&tally] = station;
    for (const auto& [day, tally] : days)
        names[&tally] = day;
    // The station with the most failures that day; then the higher rate, then the name.
    const auto worse = [](const Tally& a, std::string_view an, const Tally& b,
                          std::string_view bn) {
        if (a.failed != b.failed)
            return a.failed > b.failed;
        if (a.FailureRate() != b.FailureRate())
            return a.FailureRate() > b.FailureRate();
        return an < bn;
    };
    for (const auto& [key, tally] : stationDays_) {
        const auto note = byDay.find(names.at(key.second));
        if (note == byDay.end())
            continue;
        DayNote& n = *note->second;
        const std::string_view station = names.at(key.first);
        if (n.station.empty() || worse(tally, station, n.stationTally, n.station)) {
            n.station.assign(station);
            n.stationTally = tally;
        }
    }
    for (const auto& [key, n] : dayValues_) {
        const auto note = byDay.find(std::get<0>(key));
        if (note != byDay.end() && n > note->second->count) {
            note->second->item = std::get<1>(key);
            note->second->value = std::get<2>(key);
            note->second->count = n;
        }
    }
    return notes;
}

void WriteText(const Summary& s, std::ostream& out) {
    out << "checked " << s.total.checked << ", PASS " << s.total.checked - s.total.failed
        << ", FAIL " << s.total.failed << ", yield " << Percent(s.total.Yield()) << "\n";
    if (s.total.checked != 0)
        out << "period " << s.first << " to " << s.last << "\n";
    const DiskFigures d = s.Disks();
    out << "disks " << d.disks << ", first-pass yield " << Percent(d.FirstPassYield())
        << ", final yield " << Percent(d.FinalYield()) << ", retested " << d.retested
        << ", FAIL then PASS " << d.failThenPass << "\n";
    if (d.withoutSerial != 0)
        out << "  (" << d.withoutSerial
            << " records without a serial number, each counted as a disk of its own)\n";

    out << "\nfailed items (items not known for " << Percent(s.UnknownItemsShare())
        << " of the failures)\n";
    for (const auto& [item, count] : s.RankedItems()) {
        out << "  " << ItemName(item) << " " << count;
        const auto values = s.TopValues(item, 3);
        for (std::size_t i = 0; i < values.size(); ++i)
            out << (i == 0 ? " (" : "; ") << values[i].first << ": " << values[i].second;
        out << (values.empty() ? "" : ")") << "\n";
    }

    out << "\nstations, worst first (" << kStandOutRule << "; " << s.PortsTested()
        << " ports tested)\n";
    for (const auto& [station, tally] : s.RankedStations()) {
        out << "  " << station << ": " << tally.checked << " checked, " << tally.failed
            << " failed, " << Percent(tally.FailureRate()) << "\n";
        for (auto it = s.ports.lower_bound({station, false, std::numeric_limits<int>::min()});
             it != s.ports.end() && it->first.station == station; ++it) {
            const auto& [port, ptally] = *it;
            out << "    " << PortName(port) << ": " << ptally.checked << " checked, "
                << ptally.failed << " failed, " << Percent(ptally.FailureRate())
                << (s.StandsOut(port) ? ", stands out" : "") << "\n";
        }
    }

    out << "\ndays\n";
    for (const auto& [day, tally] : s.days) {
        out << "  " << day << " " << tally.checked << " checked, yield " << Percent(tally.Yield());
        if (s.target && tally.Yield() < *s.target)
            out << ", below the target of " << Percent(*s.target);
        out << "\n";
    }
}

void WriteCsv(const Summary& s, std::ostream& out) {
    out << "\xEF\xBB\xBF"
        << "Table,Station,Port,Ordinal,Hour,Checked,PASS,FAIL,Failure rate,Stands out,"
           "Serial number,Date and time,Verdict\r\n";
    const auto row = [&out](std::string_view table, std::string_view station, std::string_view port,
                            std::string_view ordinal, std::string_view hour, const Tally& t,
                            std::string_view mark) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.4f", t.FailureRate());
        out << table << "," << CsvField(station) << "," << port << "," << ordinal << "," << hour
            << "," << t.checked << "," << t.checked - t.failed << "," << t.failed << "," << rate
            << "," << mark << ",,,\r\n";
    };
    for (const auto& [port, tally] : s.ports) {
        const std::string number = std::to_string(port.number);
        row("port", port.station, port.ordinal ? "" : number, port.ordinal ? number : "", "", tally,
            s.StandsOut(port) ? "yes" : "");
    }
    for (const auto& [hour, tally] : s.hours)
        row("hour", "", "", "", hour + ":00", tally, "");
    // Every check of a disk checked more than once, a row each.
    for (const auto& [serial, checks] : s.Retests()) {
        for (const Check& c : checks)
            out << "check,,,,,,,,,," << CsvField(serial) << "," << c.time << ","
                << (c.pass ? "PASS" : "FAIL") << "\r\n";
    }
}

}  // namespace tools::report
