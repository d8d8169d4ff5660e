#include "tools/report/report.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string_view>

#include "device/selection_lists.h"
#include "platform/code_page.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "qc/check_file.h"
#include "qc/check_setup.h"
#include "qc/result_log.h"
#include "tools/report/log_reader.h"
#include "tools/report/summary.h"

namespace tools::report {
namespace {

namespace fs = std::filesystem;

// Paths as the arguments give them, in UTF-8, on every system.
fs::path PathOf(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

constexpr const char* kUsage =
    "usage: tavrin-report [--since DATE] [--until DATE] [--target YIELD] [--check FILE [--codepage N]]\n"
    "                     [--html FILE] [--csv FILE] [--json FILE] LOG|FOLDER...";
constexpr unsigned kUtf8 = 65001;
// A check file that is not UTF-8 on a system that reads UTF-8 comes from a Chinese station.
constexpr unsigned kDefaultCodePage = 936;
// Records named on standard error per log; past this they are only counted.
constexpr std::uint64_t kNamedBadRecords = 100;

struct Options {
    std::string since = "0000-00-00 00:00:00";
    std::string until = "9999-99-99 99:99:99";
    std::optional<std::string> html, csv, json, check;
    std::optional<unsigned> codePage;
    std::optional<double> target;
    std::vector<std::string> inputs;
};

// "YYYY-MM-DD[ HH:MM[:SS]]" as the log writes times, the parts not given filled with `fill`
// ("00:00:00" for a start, "23:59:59" for an end).
std::optional<std::string> ParseDate(std::string text, std::string_view fill) {
    if (text.size() > 10 && text[10] == 'T')
        text[10] = ' ';
    if (text.size() != 10 && text.size() != 16 && text.size() != 19)
        return std::nullopt;
    std::string full = text + std::string(" ").append(fill).substr(text.size() - 10);
    if (!IsLogTime(full))
        return std::nullopt;
    return full;
}

// What `--check` gives to judge the FAIL records of logs that do not name their failed items:
// the check file as the window reads it, its drop-down values in the language the record's
// values are in.
class OlderRecordJudge {
  public:
    explicit OlderRecordJudge(qc::StoredCheck stored) : stored_(std::move(stored)) {}

    // The items the record failed by the check file; none where it finds none.
    const std::vector<std::size_t>& FailedItems(const Record& r) {
        // The values are in the station's language: the first whose lists hold every list value.
        std::size_t language = 0;
        for (std::size_t l = 0; l < kLanguages.size(); ++l) {
            if (HoldsListValues(device::SelectionListsFor(kLanguages[l]), r)) {
                language = l;
                break;
            }
        }
        auto& setup = setups_[language];
        if (!setup)
            setup =
                qc::SetupFromCheckFile(stored_, device::SelectionListsFor(kLanguages[language]));
        for (std::size_t slot = 0; slot < values_.size(); ++slot)
            values_[slot] = platform::FromUtf8(r.values[slot]);
        failed_ = qc::FailedItems(*setup, values_);
        return failed_;
    }

  private:
    static constexpr std::array<device::Language, 3> kLanguages = {
        device::Language::English, device::Language::SimplifiedChinese,
        device::Language::TraditionalChinese};

    static bool HoldsListValues(const device::SelectionLists& lists, const Record& r) {
        for (std::size_t slot = 0; slot < device::kSlotCount; ++slot) {
            const auto* list = slot == 13 ? nullptr : device::ListOfSlot(lists, slot);
            if (list == nullptr || r.values[slot].empty())
                continue;
            const std::u16string value = platform::FromUtf8(r.values[slot]);
            if (std::find(list->begin(), list->end(), value) == list->end())
                return false;
        }
        return true;
    }

    qc::StoredCheck stored_;
    std::array<std::optional<qc::CheckSetup>, 3> setups_;
    device::ValueSlots values_;
    std::vector<std::size_t> failed_;
};

// The check file of `--check`, decoded as this system's programs read it: UTF-16 after its
// mark; else in the system's code page, where a file that is not UTF-8 on a system that reads
// UTF-8 is taken as written on a station of `codePage`. Answers why not where it cannot.
std::optional<qc::StoredCheck> ReadCheck(const std::string& file, std::optional<unsigned> codePage,
                                         std::ostream& err, std::string* why) {
    std::ifstream in(PathOf(file), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (!in.is_open() || in.bad()) {
        *why = "cannot be read";
        return std::nullopt;
    }
    const unsigned system = platform::SystemCodePage();
    std::optional<std::u16string> text;
    if (bytes.starts_with("\xFF\xFE")) {
        text = platform::ini::Decode(bytes, {}).text;
    } else if (system == kUtf8 && platform::IsUtf8(bytes)) {
        text = platform::FromUtf8(bytes);
    } else {
        const unsigned page = codePage ? *codePage : system == kUtf8 ? kDefaultCodePage : system;
        text = platform::FromCodePage(bytes, page);
        if (!text) {
            *why = "not text in code page " + std::to_string(page);
            return std::nullopt;
        }
        if (page != system)
            err << "tavrin-report: " << file << ": read in code page " << page << "\n";
    }
    if (!qc::IsCheckText(*text)) {
        *why = "not a check file (no [Value] or [Enable] section)";
        return std::nullopt;
    }
    return qc::ReadCheckText(*text);
}

struct Log {
    fs::path path;
    std::string name;   // as the user gave it, or the folder's path joined with the file's
    std::string stand;  // the station name for records without one: the file's stem
};

bool Within(const Options& o, const Record& r) {
    return r.time >= std::string_view(o.since) && r.time <= std::string_view(o.until);
}

}  // namespace

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    const auto misuse = [&err](const std::string& why) {
        err << "tavrin-report: " << why << "\n" << kUsage << "\n";
        return 2;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help") {
            out << kUsage << "\n";
            return 0;
        }
        if (arg == "--since" || arg == "--until" || arg == "--html" || arg == "--csv" ||
            arg == "--json" || arg == "--target" || arg == "--check" || arg == "--codepage") {
            if (i + 1 >= args.size())
                return misuse(arg + " wants a value");
            const std::string& value = args[++i];
            if (arg == "--since" || arg == "--until") {
                const auto date = ParseDate(value, arg == "--since" ? "00:00:00" : "23:59:59");
                if (!date)
                    return misuse("not a date: " + value);
                (arg == "--since" ? o.since : o.until) = *date;
            } else if (arg == "--check") {
                o.check = value;
            } else if (arg == "--codepage") {
                unsigned page = 0;
                const auto [end, error] =
                    std::from_chars(value.data(), value.data() + value.size(), page);
                if (error != std::errc() || end != value.data() + value.size() || page == 0 ||
                    page > 65535)
                    return misuse("not a code page: " + value);
                o.codePage = page;
            } else if (arg == "--target") {
                o.target = ParseYield(value);
                if (!o.target)
                    return misuse("not a yield: " + value);
            } else {
                (arg == "--html" ? o.html : arg == "--csv" ? o.csv : o.json) = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return misuse("unknown option " + arg);
        } else {
            o.inputs.push_back(arg);
        }
    }
    if (o.inputs.empty())
        return misuse("no log named");
    if (o.codePage && !o.check)
        return misuse("--codepage wants --check");
    std::optional<OlderRecordJudge> judge;
    if (o.check) {
        std::string why;
        std::optional<qc::StoredCheck> stored = ReadCheck(*o.check, o.codePage, err, &why);
        if (!stored) {
            err << "tavrin-report: " << *o.check << ": " << why << "\n";
            return 2;
        }
        judge.emplace(std::move(*stored));
    }

    int status = 0;
    std::vector<Log> logs;
    for (const std::string& input : o.inputs) {
        std::error_code error;
        const fs::path path = PathOf(input);
        if (fs::is_directory(path, error)) {
            std::vector<fs::path> found;
            for (fs::directory_iterator it(path, error), end; !error && it != end;
                 it.increment(error)) {
                if (it->path().extension() == ".csv" && it->is_regular_file(error))
                    found.push_back(it->path());
            }
            if (error) {
                err << "tavrin-report: " << input << ": not read (" << error.message() << ")\n";
                status = 1;
                continue;
            }
            std::sort(found.begin(), found.end());
            for (const fs::path& file : found)
                logs.push_back({file, Utf8Of(file), StationOfStem(Utf8Of(file.stem()))});
        } else {
            logs.push_back({path, input, StationOfStem(Utf8Of(path.stem()))});
        }
    }

    Summary summary;
    std::vector<std::size_t> failed;
    // The items a FAIL record failed: as it names them; for a log that does not name them, by
    // the check file of --check, or not recorded.
    const auto failedItems = [&](const Record& r) -> std::span<const std::size_t> {
        static constexpr std::size_t kNotReadItem[] = {kNotRead};
        static constexpr std::size_t kNotRecordedItem[] = {kNotRecorded};
        if (r.pass)
            return {};
        if (r.hasFailedItems) {
            if (r.failedItems == qc::kNotReadItems)
                return kNotReadItem;
            qc::ParseFailedItems(r.failedItems, failed);
            return failed;
        }
        if (!judge)
            return kNotRecordedItem;
        const std::vector<std::size_t>& judged = judge->FailedItems(r);
        if (judged.empty())
            return kNotRecordedItem;
        return judged;
    };
    summary.target = o.target;
    std::uint64_t badRecords = 0;
    const auto pass = [&](bool first) {
        for (const Log& log : logs) {
            std::ifstream in(log.path, std::ios::binary);
            if (!in) {
                if (first) {
                    err << "tavrin-report: " << log.name << ": not read (cannot be opened)\n";
                    status = 1;
                }
                continue;
            }
            std::uint64_t named = 0;
            const ReadResult result = ReadLog(
                in,
                [&](const Record& r) {
                    if (!Within(o, r))
                        return;
                    if (first) {
                        const std::string_view station = r.station.empty() ? log.stand : r.station;
                        summary.Add(r, station, failedItems(r));
                    } else {
                        summary.AddSecond(r);
                    }
                },
                [&](const BadRecord& bad) {
                    if (first)
                        summary.AddBadRecord(log.name, bad);
                    if (first && ++named <= kNamedBadRecords)
                        err << "tavrin-report: " << log.name << ":" << bad.line << ": not read ("
                            << bad.why << ")\n";
                });
            if (!first)
                continue;
            badRecords += result.badRecords;
            summary.logs += result.read ? 1 : 0;
            if (named > kNamedBadRecords)
                err << "tavrin-report: " << log.name << ": " << named - kNamedBadRecords
                    << " more records not read\n";
            if (!result.read) {
                err << "tavrin-report: " << log.name << ": not read (" << result.why << ")\n";
                status = 1;
            }
        }
    };
    // Folders without a log: nothing was summed up, and the run must not look as if it was.
    if (logs.empty() && status == 0) {
        err << "tavrin-report: no result log found (no .csv file in the folders named)\n";
        status = 1;
    }
    pass(true);
    if (summary.WantsSecondPass())
        pass(false);

    summary.recordsNotRead = badRecords;
    out << "logs " << logs.size() << ", records not read " << badRecords << "\n";
    WriteText(summary, out);
    out.flush();

    const auto write = [&](const std::optional<std::string>& file, auto writer) {
        if (!file)
            return;
        std::ofstream page(PathOf(*file), std::ios::binary | std::ios::trunc);
        if (page)
            writer(summary, page);
        page.close();
        if (!page) {
            err << "tavrin-report: " << *file << ": not written\n";
            status = 1;
        }
    };
    write(o.html, WriteHtml);
    write(o.csv, WriteCsv);
    write(o.json, WriteJson);
    return status;
}

}  // namespace tools::report
