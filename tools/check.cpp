#include "tools/check.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "device/controller.h"
#include "platform/device_watch.h"
#include "platform/text.h"
#include "qc/check_file.h"
#include "qc/disk_offer.h"
#include "qc/result_log.h"
#include "tools/block_line.h"
#include "usb/enum_usb.h"
#include "usb/port_map.h"

namespace tools {
namespace {

constexpr const char* kUsage =
    "usage: tavrin-check [--lang en|zh-CN|zh-TW] [--check FILE.chk] [--ports FILE.pfg]\n"
    "                    [--format text|csv] [--log FILE] [--watch] [--verbose] [DISK...]";

std::atomic<platform::DeviceWatch*> runningWatch{nullptr};
std::atomic<bool> stopAsked{false};

int Usage(std::ostream& err, const std::string& why) {
    err << "tavrin-check: " << why << "\n" << kUsage << "\n";
    return 2;
}

struct Options {
    device::Language language = device::Language::English;
    std::optional<std::string> check;
    std::optional<std::string> ports;
    bool csv = false;
    std::optional<std::string> log;
    bool watch = false;
    bool verbose = false;
    std::optional<std::string> station;
    std::vector<std::string> disks;
};

// Parses the arguments; an exit status (2) with its reason on `err` when they do not fit.
std::optional<int> Parse(const std::vector<std::string>& args, Options& o, std::ostream& err) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--watch") {
            o.watch = true;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--lang" || arg == "--check" || arg == "--ports" || arg == "--format" ||
                   arg == "--log" || arg == "--station") {
            if (i + 1 == args.size())
                return Usage(err, arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--lang") {
                const auto language = ParseLanguage(value);
                if (!language)
                    return Usage(err, "unknown language '" + value + "'");
                o.language = *language;
            } else if (arg == "--format") {
                if (value != "text" && value != "csv")
                    return Usage(err, "--format is text or csv, not '" + value + "'");
                o.csv = value == "csv";
            } else {
                std::optional<std::string>& slot = arg == "--check"   ? o.check
                                                   : arg == "--ports" ? o.ports
                                                   : arg == "--log"   ? o.log
                                                                      : o.station;
                if (slot)
                    return Usage(err, arg + " given twice");
                if (value.empty())
                    return Usage(err, arg + " needs a value");
                slot = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return Usage(err, "unknown option '" + arg + "'");
        } else {
            o.disks.push_back(arg);
        }
    }
    if (o.watch && !o.disks.empty())
        return Usage(err, "--watch checks every disk that arrives: no DISK with it");
    return std::nullopt;
}

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// The full path: the profile functions look for a bare name in the Windows folder.
std::u16string FullPath(const std::string& utf8) {
    std::error_code error;
    const fs::path full = fs::absolute(PathOf(utf8), error);
    return error ? platform::FromUtf8(utf8) : full.u16string();
}

// A file the command reads must be there and readable: the profile functions would read a
// missing one as empty, and check against nothing.
std::optional<std::string> Unreadable(const std::string& path) {
    const fs::path file = PathOf(path);
    std::error_code error;
    if (!fs::exists(file, error))
        return "no such file";
    if (!fs::is_regular_file(file, error))
        return "not a file";
    if (!std::ifstream(file, std::ios::binary))
        return "cannot be opened";
    return std::nullopt;
}

class Checker {
  public:
    Checker(const Options& options, const CheckSystem& system, std::ostream& out, std::ostream& err)
        : o_(options), system_(system), out_(out), err_(err) {}

    // Reads the check file and the port map; an exit status when one cannot be read.
    std::optional<int> Prepare() {
        const device::SelectionLists& lists = device::SelectionListsFor(o_.language);
        for (const auto* file : {&o_.check, &o_.ports}) {
            if (!*file)
                continue;
            if (const auto why = Unreadable(**file)) {
                err_ << "tavrin-check: " << **file << ": " << *why << "\n";
                return 2;
            }
        }
        // No check file: the window's check with no file loaded, where nothing is enabled.
        setup_ = qc::SetupFromCheckFile(
            o_.check ? qc::ReadCheckFile(FullPath(*o_.check)) : qc::StoredCheck{}, lists);
        if (o_.ports) {
            setup_.portFile = FullPath(*o_.ports);
            stationMode_ = usb::EnablePortOf(setup_.portFile) == 1;
        }
        if (o_.log)
            log_.SetPath(FullPath(*o_.log));
        return std::nullopt;
    }

    // One walk: every disk not checked yet, checked once. Disks gone since are forgotten, so
    // that a disk plugged again is checked again.
    void Pass() {
        usb::CEnumUSB enumerator;
        const std::vector<qc::FoundDevice> found = qc::CopyDevices(nullptr, &enumerator);
        std::set<char16_t> present;
        const qc::DiskTaker taker{
            [&](char16_t letter) -> std::optional<bool> {
                present.insert(letter);
                const bool taken = checked_.count(letter) != 0 || !Wanted(letter);
                // A disk's time starts before its identification.
                StartClock();
                return taken;
            },
            [&](const usb::UsbDeviceEntry& entry) {
                CheckDisk(entry);
                checked_.insert(entry.firstVolume->driveLetter);
                return true;
            },
            [&](const usb::UsbDeviceEntry& entry, qc::PassedOver why) { PassOver(entry, why); }};
        qc::OfferDisks(found, taker);
        std::erase_if(checked_, [&](char16_t letter) { return present.count(letter) == 0; });
        saidBefore_ = std::move(said_);
        said_.clear();
    }

    // DISK arguments that named no disk of the walk.
    void ReportMissing() {
        for (std::size_t i = 0; i < o_.disks.size(); ++i) {
            if (matched_.count(i) == 0) {
                err_ << "tavrin-check: no USB disk " << o_.disks[i] << "\n";
                status_ = 1;
            }
        }
    }

    int status() const { return status_; }

  private:
    std::string NameOf(char16_t letter) const {
        const std::vector<std::string> names = system_.diskNames(letter);
        return names.empty() ? std::string("?") : names.front();
    }

    bool Wanted(char16_t letter) {
        if (o_.disks.empty())
            return true;
        bool wanted = false;
        for (const std::string& name : system_.diskNames(letter)) {
            for (std::size_t i = 0; i < o_.disks.size(); ++i) {
                if (platform::EqualsNoCase(name, o_.disks[i])) {
                    matched_.insert(i);
                    wanted = true;
                }
            }
        }
        return wanted;
    }

    void PassOver(const usb::UsbDeviceEntry& entry, qc::PassedOver why) {
        const usb::VolumeEntry* volume = entry.firstVolume;
        const bool named = volume != nullptr && volume->driveLetter != 0;
        // Not asked again while it stays: another controller stays another.
        if (named)
            checked_.insert(volume->driveLetter);
        // A disk asked for by name that is passed over could not be read.
        const bool asked = !o_.disks.empty() && named && Wanted(volume->driveLetter);
        if (asked)
            status_ = 1;
        if (!asked && (!o_.verbose || !o_.disks.empty()))
            return;
        const std::string line =
            "passed over " +
            (named ? NameOf(volume->driveLetter) : "port " + PortPathText(entry.portPath)) + " (" +
            (why == qc::PassedOver::NoVolume     ? "no mounted volume"
             : why == qc::PassedOver::CannotOpen ? "its volume does not open"
                                                 : "not the supported controller") +
            ")";
        // Said once while the device stays as it is, however often a watch walks.
        if (saidBefore_.count(line) == 0)
            err_ << line << "\n";
        said_.insert(line);
    }

    void StartClock() {
        start_ = Clock::now();
        kernelBefore_ = system_.kernelMicroseconds ? system_.kernelMicroseconds() : 0;
    }

    void CheckDisk(const usb::UsbDeviceEntry& entry) {
        const char16_t letter = entry.firstVolume->driveLetter;
        std::u16string letters;
        for (const usb::VolumeEntry* v = entry.firstVolume; v != nullptr; v = v->next) {
            if (v->driveLetter != 0)
                letters += v->driveLetter;
        }
        device::ValueSlots values;
        const bool read =
            device::DecodeControllerInfo(entry.diskNumbers[0], letter, values, setup_.lists);
        const std::vector<std::size_t> failed =
            read ? qc::FailedItems(setup_, values) : std::vector<std::size_t>{};
        const bool pass = read && failed.empty();
        // The disk's time: its identification, reading, decoding and check; not naming its
        // port and not the writing.
        const auto spent =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_);
        const std::uint64_t kernel =
            system_.kernelMicroseconds ? system_.kernelMicroseconds() - kernelBefore_ : 0;
        // As the window's row: a station port only in station mode, then the port's map entry.
        const int station =
            stationMode_ ? usb::StationPortOf(setup_.portFile, entry.portOrdinal) : 0;

        if (read && (o_.log || o_.csv)) {
            const std::string line =
                qc::FormatLogLine(platform::CurrentLocalTime(), station, entry.portOrdinal,
                                  qc::VolText(letters), pass, values);
            if (o_.log && !log_.Append(line))
                err_ << "tavrin-check: " << *o_.log << ": the line waits, not written\n";
            if (o_.csv)
                out_ << line;
        }
        if (!o_.csv) {
            out_ << "disk " << NameOf(letter) << " port " << PortPathText(entry.portPath)
                 << " ordinal " << entry.portOrdinal;
            if (o_.ports)
                out_ << " station " << station;
            out_ << "\n";
            if (read) {
                for (std::size_t i = 0; i < device::kSlotCount; ++i)
                    out_ << SlotLine(i, values[i]) << "\n";
                if (o_.check) {
                    out_ << "verdict " << (pass ? "PASS" : "FAIL");
                    for (std::size_t item : failed)
                        out_ << " " << platform::ToUtf8(device::kSlotKeys[item]);
                    out_ << "\n";
                }
            }
        }
        if (!read) {
            if (o_.csv)
                err_ << "tavrin-check: disk " << NameOf(letter) << ": ";
            else
                out_ << "error ";
            (o_.csv ? err_ : out_) << "the information block could not be read\n";
        }
        if (!o_.csv)
            out_ << "\n";
        out_.flush();
        if (!read || (o_.check && !pass))
            status_ = 1;

        if (o_.verbose) {
            err_ << "time " << NameOf(letter) << " " << spent.count();
            if (system_.kernelMicroseconds)
                err_ << " " << kernel;
            err_ << "\n";
        }
    }

    using Clock = std::chrono::steady_clock;

    const Options& o_;
    const CheckSystem& system_;
    std::ostream& out_;
    std::ostream& err_;
    qc::CheckSetup setup_;
    bool stationMode_ = false;
    qc::ResultLog log_;
    std::set<char16_t> checked_;
    std::set<std::size_t> matched_;
    std::set<std::string> said_, saidBefore_;
    int status_ = 0;
    Clock::time_point start_;
    std::uint64_t kernelBefore_ = 0;
};

}  // namespace

void StopCheckWatch() {
    stopAsked = true;
    if (platform::DeviceWatch* watch = runningWatch.load())
        watch->Stop();
}

int RunCheck(const std::vector<std::string>& args, const CheckSystem& system, std::ostream& out,
             std::ostream& err) {
    stopAsked = false;
    Options options;
    if (const auto status = Parse(args, options, err))
        return *status;
    if (options.station && !system.loadStation)
        return Usage(err, "--station: this build checks the real machine's disks");
    if (!options.station && system.loadStation)
        return Usage(err, "--station FILE is needed: this build has no real machine");
    if (options.station) {
        std::string error;
        if (!system.loadStation(*options.station, &error)) {
            err << "tavrin-check: " << *options.station << ": " << error << "\n";
            return 2;
        }
    }

    Checker checker(options, system, out, err);
    if (const auto status = checker.Prepare())
        return *status;
    if (!options.watch) {
        checker.Pass();
        checker.ReportMissing();
        return checker.status();
    }

    // Listening before the first walk: a disk that arrives during it is not missed.
    platform::DeviceWatch watch;
    if (!watch.listening()) {
        err << "tavrin-check: --watch: the system's device notices cannot be received\n";
        return 2;
    }
    runningWatch = &watch;
    checker.Pass();
    err << "watching\n";
    err.flush();
    while (!stopAsked) {
        const platform::DeviceWatch::Wake wake = watch.Wait(platform::DeviceWatch::kForever);
        if (wake == platform::DeviceWatch::Wake::Stopped)
            break;
        if (wake == platform::DeviceWatch::Wake::Failed) {
            err << "tavrin-check: --watch: the system's device notices stopped\n";
            runningWatch = nullptr;
            return 2;
        }
        checker.Pass();
    }
    runningWatch = nullptr;
    return checker.status();
}

}  // namespace tools
