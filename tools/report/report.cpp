#include "tools/report/report.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <sstream>
#include <string_view>
#include <system_error>

#include "device/selection_lists.h"
#include "platform/code_page.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "qc/check_file.h"
#include "qc/check_setup.h"
#include "qc/result_log.h"
#include "tools/report/log_reader.h"
#include "tools/report/records.h"
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
    "usage: tavrin-report [--since DATE] [--until DATE] [--target YIELD] [--check FILE [--codepage "
    "N]]\n"
    "                     [--html FILE] [--csv FILE] [--json FILE] [--records FILE] LOG|FOLDER...";
constexpr unsigned kUtf8 = 65001;
// A check file that is not UTF-8 on a system that reads UTF-8 comes from a Chinese station.
constexpr unsigned kDefaultCodePage = 936;
// Records named on standard error per log; past this they are only counted.
constexpr std::uint64_t kNamedBadRecords = 100;
// What the records table gathers before it goes to its file.
constexpr std::size_t kRecordsChunk = 1u << 20;

struct Options {
    std::string since = "0000-00-00 00:00:00";
    std::string until = "9999-99-99 99:99:99";
    std::optional<std::string> sinceGiven, untilGiven;  // as the arguments give them
    std::optional<std::string> html, csv, json, records, check;
    std::optional<unsigned> codePage;
    std::optional<double> target;
    std::vector<std::string> inputs;
};

// The text as a message may show it: control bytes, C1 controls and bytes that are no UTF-8
// as "\xHH", so that a broken log cannot write NULs or terminal commands to the console.
std::string Shown(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&shown](char c) {
        constexpr char kHex[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        shown += "\\x";
        shown += kHex[byte >> 4];
        shown += kHex[byte & 0xF];
    };
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i);
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool control = length == 1 && (byte < 0x20 || byte == 0x7F);
        const bool c1 =
            length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0 || control) {
            escape(text[i]);
            ++i;
        } else if (c1) {
            escape(text[i]);
            escape(text[i + 1]);
            i += 2;
        } else {
            shown.append(text, i, length);
            i += length;
        }
    }
    return shown;
}

int Number(std::string_view text) {
    int value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

// Whether a "YYYY-MM-DD HH:MM:SS" of digits names a moment that exists.
bool Exists(std::string_view t) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = Number(t.substr(0, 4)), month = Number(t.substr(5, 2));
    const int day = Number(t.substr(8, 2));
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days = kDays[static_cast<std::size_t>(month - 1)] + (month == 2 && leap ? 1 : 0);
    return day <= days && Number(t.substr(11, 2)) <= 23 && Number(t.substr(14, 2)) <= 59 &&
           Number(t.substr(17, 2)) <= 59;
}

// "YYYY-MM-DD[ HH:MM[:SS]]" as the log writes times, the parts not given filled with `fill`
// ("00:00:00" for a start, "23:59:59" for an end); what is wrong with it in `why`.
std::optional<std::string> ParseDate(std::string text, std::string_view fill, std::string* why) {
    *why = "not a date and time (YYYY-MM-DD[ HH:MM[:SS]])";
    if (text.size() > 10 && text[10] == 'T')
        text[10] = ' ';
    if (text.size() != 10 && text.size() != 16 && text.size() != 19)
        return std::nullopt;
    std::string full = text + std::string(" ").append(fill).substr(text.size() - 10);
    if (!IsLogTime(full))
        return std::nullopt;
    if (!Exists(full)) {
        *why = "no such date or time";
        return std::nullopt;
    }
    return full;
}

// A file the run writes, with the system's reason for its first failure kept: the stream
// itself only says that it failed.
class OutputFile {
  public:
    explicit OutputFile(const fs::path& path) {
        errno = 0;
        file_.open(path, std::ios::binary | std::ios::trunc);
        if (!file_)
            Failed();
    }

    void Write(std::string_view bytes) {
        if (failed_)
            return;
        errno = 0;
        file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!file_)
            Failed();
    }

    // Closes the file: nullopt when every byte reached the system, else why not.
    std::optional<std::string> Close() {
        if (!failed_) {
            errno = 0;
            file_.close();
            if (!file_)
                Failed();
        }
        return failed_ ? std::optional(why_) : std::nullopt;
    }

  private:
    void Failed() {
        const int code = errno;
        failed_ = true;
        why_ = code != 0 ? std::generic_category().message(code) : "the system gave no reason";
    }

    std::ofstream file_;
    bool failed_ = false;
    std::string why_;
};

// What `--check` gives to judge the FAIL records of logs that do not name their failed items:
// the check file as the window reads it, its drop-down values in the language the record's
// values are in.
class OlderRecordJudge {
  public:
    explicit OlderRecordJudge(qc::StoredCheck stored) : stored_(std::move(stored)) {}

    // The items the record failed by the check file; none where it finds none.
    const std::vector<std::size_t>& FailedItems(const LogLineFields& r) {
        // The values are in the station's language: the first whose lists hold every list value.
        std::size_t language = 0;
        for (std::size_t l = 0; l < device::kLanguages.size(); ++l) {
            if (HoldsListValues(ListsOf(l), r)) {
                language = l;
                break;
            }
        }
        auto& setup = setups_[language];
        if (!setup)
            setup = qc::SetupFromCheckFile(stored_, ListsOf(language));
        for (std::size_t slot = 0; slot < values_.size(); ++slot)
            values_[slot] = platform::FromUtf8(r.values[slot]);
        failed_ = qc::FailedItems(*setup, values_);
        return failed_;
    }

  private:
    static const device::SelectionLists& ListsOf(std::size_t language) {
        return device::SelectionListsFor(device::kLanguages[language].language);
    }

    static bool HoldsListValues(const device::SelectionLists& lists, const LogLineFields& r) {
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
    std::array<std::optional<qc::CheckSetup>, device::kLanguages.size()> setups_;
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

bool Within(const Options& o, const LogLineFields& r) {
    return r.time >= std::string_view(o.since) && r.time <= std::string_view(o.until);
}

}  // namespace

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    const auto say = [&err](const std::string& message) {
        err << "tavrin-report: " << Shown(message) << "\n";
    };
    const auto misuse = [&](const std::string& why) {
        say(why);
        err << kUsage << "\n";
        return 2;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help") {
            out << kUsage << "\n";
            return 0;
        }
        if (arg == "--since" || arg == "--until" || arg == "--html" || arg == "--csv" ||
            arg == "--json" || arg == "--target" || arg == "--check" || arg == "--codepage" ||
            arg == "--records") {
            if (i + 1 >= args.size())
                return misuse(arg + " wants a value");
            const std::string& value = args[++i];
            if (arg == "--since" || arg == "--until") {
                const bool since = arg == "--since";
                std::string why;
                const auto date = ParseDate(value, since ? "00:00:00" : "23:59:59", &why);
                if (!date)
                    return misuse(arg + ": " + why + ": \"" + value + "\"");
                (since ? o.since : o.until) = *date;
                (since ? o.sinceGiven : o.untilGiven) = value;
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
                (arg == "--html"   ? o.html
                 : arg == "--csv"  ? o.csv
                 : arg == "--json" ? o.json
                                   : o.records) = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return misuse("unknown option " + arg);
        } else {
            o.inputs.push_back(arg);
        }
    }
    if (o.inputs.empty())
        return misuse("no log named");
    if (o.since > o.until)
        return misuse("--since " + o.sinceGiven.value_or("") + " comes after --until " +
                      o.untilGiven.value_or(""));

    struct Output {
        std::string option, name;
        fs::path path;
    };
    std::vector<Output> outputs;
    using Named = std::pair<const char*, const std::optional<std::string>*>;
    for (const auto& [option, name] : std::array<Named, 4>{{{"--html", &o.html},
                                                            {"--csv", &o.csv},
                                                            {"--json", &o.json},
                                                            {"--records", &o.records}}}) {
        if (*name)
            outputs.push_back({option, **name, PathOf(**name)});
    }
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
    std::vector<std::string> unread;  // inputs that could not be listed, said after the checks
    for (const std::string& input : o.inputs) {
        std::error_code error;
        const fs::path path = PathOf(input);
        if (fs::is_directory(path, error)) {
            std::vector<fs::path> found;
            for (fs::directory_iterator it(path, error), end; !error && it != end;
                 it.increment(error)) {
                // Logs copied from Windows keep whatever case their names were given.
                if (platform::EqualsNoCase(Utf8Of(it->path().extension()), ".csv") &&
                    it->is_regular_file(error))
                    found.push_back(it->path());
            }
            if (error) {
                unread.push_back(input + ": not read (" + error.message() + ")");
                continue;
            }
            std::sort(found.begin(), found.end());
            for (const fs::path& file : found)
                logs.push_back({file, Utf8Of(file), StationOfStem(Utf8Of(file.stem()))});
        } else {
            logs.push_back({path, input, StationOfStem(Utf8Of(path.stem()))});
        }
    }

    // An output that is also an input would be emptied before it is read: nothing is done.
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Output& output = outputs[i];
        const fs::path absolute = fs::absolute(output.path).lexically_normal();
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            std::error_code error;
            if (absolute == fs::absolute(outputs[j].path).lexically_normal() ||
                fs::equivalent(output.path, outputs[j].path, error)) {
                say(output.option + " and " + outputs[j].option + " name one file: " + output.name);
                return 2;
            }
        }
        for (const Log& log : logs) {
            std::error_code error;
            if (fs::equivalent(output.path, log.path, error)) {
                say(output.name + ": an output that is also an input (" + log.name +
                    "); nothing read, nothing written");
                return 2;
            }
        }
    }
    for (const std::string& message : unread) {
        say(message);
        status = 1;
    }

    const RecordsTable table;
    std::optional<OutputFile> recordsFile;
    std::string records;
    if (o.records) {
        recordsFile.emplace(PathOf(*o.records));
        records = table.Header();
    }

    Summary summary;
    std::vector<std::size_t> failed;
    // The items a FAIL record failed: as it names them; for a log that does not name them, by
    // the check file of --check, or not recorded.
    const auto failedItems = [&](const LogLineFields& r) -> std::span<const std::size_t> {
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
                    say(log.name + ": not read (cannot be opened)");
                    status = 1;
                }
                continue;
            }
            std::uint64_t named = 0;
            const ReadResult result = ReadLog(
                in,
                [&](const LogLineFields& r) {
                    if (!Within(o, r))
                        return;
                    if (first) {
                        const std::string_view station = r.station.empty() ? log.stand : r.station;
                        summary.Add(r, station, failedItems(r));
                        if (recordsFile) {
                            table.Append(r, log.name, records);
                            if (records.size() >= kRecordsChunk) {
                                recordsFile->Write(records);
                                records.clear();
                            }
                        }
                    } else {
                        summary.AddSecond(r);
                    }
                },
                [&](const BadLogLine& bad) {
                    if (first)
                        summary.AddBadRecord(log.name, bad);
                    if (first && ++named <= kNamedBadRecords)
                        say(log.name + ":" + std::to_string(bad.line) + ": not read (" + bad.why +
                            ")");
                });
            if (!first)
                continue;
            badRecords += result.badRecords;
            summary.logs += result.read ? 1 : 0;
            if (named > kNamedBadRecords)
                say(log.name + ": " + std::to_string(named - kNamedBadRecords) +
                    " more records not read");
            if (!result.read) {
                say(log.name + ": not read (" + result.why + ")");
                status = 1;
            }
        }
    };
    // Folders without a log: nothing was summed up, and the run must not look as if it was.
    if (logs.empty() && status == 0) {
        say("no result log found (no .csv file in the folders named)");
        status = 1;
    }
    pass(true);
    if (summary.WantsSecondPass())
        pass(false);

    summary.recordsNotRead = badRecords;
    out << "logs " << logs.size() << ", records not read " << badRecords << "\n";
    WriteText(summary, out);
    out.flush();
    // Logs that hold records, none of them in the period: a report of nothing is no report.
    if (!logs.empty() && summary.total.checked == 0) {
        std::string period = "no verdict in the period";
        if (o.sinceGiven)
            period += " since " + *o.sinceGiven;
        if (o.untilGiven)
            period += " until " + *o.untilGiven;
        say(period);
        status = 1;
    }

    const auto written = [&](const std::string& name, std::optional<std::string> why) {
        if (why) {
            say(name + ": not written (" + *why + ")");
            status = 1;
        }
    };
    const auto write = [&](const std::optional<std::string>& file, auto writer) {
        if (!file)
            return;
        std::ostringstream text;
        writer(summary, text);
        OutputFile output(PathOf(*file));
        output.Write(text.view());
        written(*file, output.Close());
    };
    write(o.html, WriteHtml);
    write(o.csv, WriteCsv);
    write(o.json, WriteJson);
    if (recordsFile) {
        recordsFile->Write(records);
        written(*o.records, recordsFile->Close());
    }
    return status;
}

}  // namespace tools::report
