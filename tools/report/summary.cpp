#include "tools/report/summary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

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

}  // namespace

std::string ItemName(std::size_t item) {
    if (item == kNotRead)
        return "(not read)";
    if (item == kNotRecorded)
        return "(not recorded)";
    return platform::ToUtf8(device::kSlotKeys[item]);
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

void Summary::Add(const Record& r, std::string_view station,
                  std::span<const std::size_t> failedItems) {
    const std::uint64_t failed = r.pass ? 0 : 1;
    ++total.checked;
    total.failed += failed;

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

    const std::string_view hour = r.time.substr(0, 13);
    if (lastHourTally_ == nullptr || hour != lastHour_) {
        lastHour_.assign(hour);
        lastHourTally_ = &hours[lastHour_];
    }
    ++lastHourTally_->checked;
    lastHourTally_->failed += failed;

    if (!r.pass) {
        for (const std::size_t item : failedItems) {
            if (item < kItemCount)
                ++itemFailures[item];
        }
        if (failedItems.empty())
            ++itemFailures[kNotRecorded];
    }

    if (!r.serial.empty() && Seen(seen_, Hash(r.serial)))
        Candidate(r.serial);
}

void Summary::AddSecond(const Record& r) {
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

bool Summary::StandsOut(const PortKey& port) const {
    const auto p = ports.find(port);
    const auto s = stations.find(port.station);
    if (p == ports.end() || s == stations.end() || p->second.failed < 3)
        return false;
    const double np = double(p->second.checked);
    const double nr = double(s->second.checked - p->second.checked);
    const double fr = double(s->second.failed - p->second.failed);
    const double pooled = s->second.FailureRate();
    if (nr <= 0 || pooled <= 0 || pooled >= 1)
        return false;
    const double z =
        (p->second.FailureRate() - fr / nr) / std::sqrt(pooled * (1 - pooled) * (1 / np + 1 / nr));
    return z >= 3;
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

void WriteText(const Summary& s, std::ostream& out) {
    out << "checked " << s.total.checked << ", PASS " << s.total.checked - s.total.failed
        << ", FAIL " << s.total.failed << ", yield " << Percent(s.total.Yield()) << "\n";

    out << "\nfailed items\n";
    for (const auto& [item, count] : s.RankedItems())
        out << "  " << ItemName(item) << " " << count << "\n";

    out << "\nstations\n";
    for (const auto& [station, tally] : s.stations) {
        out << "  " << station << ": " << tally.checked << " checked, " << tally.failed
            << " failed, " << Percent(tally.FailureRate()) << "\n";
        for (const auto& [port, ptally] : s.ports) {
            if (port.station != station)
                continue;
            out << "    " << PortName(port) << ": " << ptally.checked << " checked, "
                << ptally.failed << " failed, " << Percent(ptally.FailureRate())
                << (s.StandsOut(port) ? ", stands out" : "") << "\n";
        }
    }

    out << "\nhours\n";
    for (const auto& [hour, tally] : s.hours)
        out << "  " << hour << ":00 " << tally.checked << " checked, yield "
            << Percent(tally.Yield()) << "\n";

    const auto retests = s.Retests();
    out << "\nchecked more than once\n";
    for (const auto& [serial, checks] : retests) {
        out << "  " << serial << ":";
        for (std::size_t i = 0; i < checks.size(); ++i)
            out << (i == 0 ? " " : ", ") << checks[i].time << " "
                << (checks[i].pass ? "PASS" : "FAIL");
        out << "\n";
    }
}

void WriteCsv(const Summary& s, std::ostream& out) {
    out << "\xEF\xBB\xBF"
        << "Table,Station,Port,Ordinal,Hour,Checked,PASS,FAIL,Failure rate,Stands out\r\n";
    const auto row = [&out](std::string_view table, std::string_view station, std::string_view port,
                            std::string_view ordinal, std::string_view hour, const Tally& t,
                            std::string_view mark) {
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.4f", t.FailureRate());
        out << table << "," << CsvField(station) << "," << port << "," << ordinal << "," << hour
            << "," << t.checked << "," << t.checked - t.failed << "," << t.failed << "," << rate
            << "," << mark << "\r\n";
    };
    for (const auto& [port, tally] : s.ports) {
        const std::string number = std::to_string(port.number);
        row("port", port.station, port.ordinal ? "" : number, port.ordinal ? number : "", "", tally,
            s.StandsOut(port) ? "yes" : "");
    }
    for (const auto& [hour, tally] : s.hours)
        row("hour", "", "", "", hour + ":00", tally, "");
}

}  // namespace tools::report
