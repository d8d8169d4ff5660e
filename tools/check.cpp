#include "tools/check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "app/version.h"
#include "config/settings.h"
#include "config/stored_path.h"
#include "device/controller.h"
#include "platform/device_watch.h"
#include "platform/log_file.h"
#include "platform/text.h"
#include "qc/check_file.h"
#include "qc/check_model.h"
#include "qc/disk_offer.h"
#include "qc/disk_place.h"
#include "qc/result_log.h"
#include "tools/block_line.h"
#include "usb/enum_usb.h"
#include "usb/port_map.h"

namespace tools {
namespace {

// The languages come from their table, so that a new one is listed here too.
std::string UsageText() {
    return "usage: tavrin-check [--lang " + device::LanguageOptions() +
           "] [--check FILE.chk] [--ports FILE.pfg]\n"
           "                    [--format text|csv] [--log FILE] [--station FILE] [--watch]\n"
           "                    [--verbose] [DISK...]\n"
           "       tavrin-check --help | --version";
}

// How long the last try waits for another writer that holds the log.
constexpr std::chrono::seconds kLastHeldWait{3};

// A disk a stop left unfinished; one wording, whatever the interrupted call said.
constexpr const char* kStopped = "the run was stopped";
// A disk that another took the place of between the walk and its read.
constexpr char16_t kChanged[] = u"the disk changed during the run";

std::atomic<platform::DeviceWatch*> runningWatch{nullptr};
// StopCheck calls under way: the watch they may ring is not destroyed until they are done.
std::atomic<int> stopsUnderWay{0};
// The exit status a stop asked for; 0 while none was. A stop that comes before a run begins ends
// that run; each run takes it up at its end.
std::atomic<int> stopStatus{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

// The watch that stop requests ring while it lives. Its end waits for a stop that may have
// taken the watch before it was withdrawn: a stop runs to its end in a signal handler or the
// console's thread, and never waits, so this wait is short.
class WatchStops {
  public:
    explicit WatchStops(platform::DeviceWatch& watch) { runningWatch = &watch; }
    ~WatchStops() {
        runningWatch = nullptr;
        while (stopsUnderWay.load() != 0)
            std::this_thread::yield();
    }
    WatchStops(const WatchStops&) = delete;
    WatchStops& operator=(const WatchStops&) = delete;
};

int Usage(std::ostream& err, const std::string& why) {
    err << "tavrin-check: " << why << "\n" << UsageText() << "\n";
    return 2;
}

struct Options {
    bool help = false;
    bool version = false;
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
        if (arg == "--help") {
            o.help = true;
            return std::nullopt;
        } else if (arg == "--version") {
            o.version = true;
            return std::nullopt;
        } else if (arg == "--watch") {
            o.watch = true;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--lang") {
            std::string why;
            const auto language = LanguageOption(args, i, &why);
            if (!language)
                return Usage(err, why);
            o.language = *language;
        } else if (arg == "--check" || arg == "--ports" || arg == "--format" || arg == "--log" ||
                   arg == "--station") {
            if (i + 1 == args.size())
                return Usage(err, arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--format") {
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

    // Reads the check file and the port map and looks at the log's path; an exit status when
    // one of them cannot be used. Nothing is asked of a disk before.
    std::optional<int> Prepare() {
        const device::SelectionLists& lists = device::SelectionListsFor(o_.language);
        for (const auto* file : {&o_.check, &o_.ports}) {
            if (!*file)
                continue;
            if (const auto why = Unreadable(**file))
                return Refuse(**file, *why);
        }
        if (o_.check && !qc::IsCheckFile(FullPath(*o_.check)))
            return Refuse(*o_.check, "not a check file (no [Value] or [Enable] section)");
        if (o_.ports && !usb::HasPortMap(FullPath(*o_.ports)))
            return Refuse(*o_.ports, "not a port map (no [PortMap] section)");
        // No check file: the window's check with no file loaded, where nothing is enabled.
        setup_ = qc::SetupFromCheckFile(
            o_.check ? qc::ReadCheckFile(FullPath(*o_.check)) : qc::StoredCheck{}, lists);
        if (o_.check && std::none_of(setup_.enabled.begin(), setup_.enabled.end(),
                                     [](auto flag) { return flag != 0; }))
            return Refuse(*o_.check, "enables no item: every disk would pass");
        if (o_.check)
            setup_.checkFile =
                config::MakeStoredPath(FullPath(*o_.check), config::ProgramDirectory());
        if (o_.ports) {
            setup_.portFile = FullPath(*o_.ports);
            stationMode_ = usb::EnablePortOf(setup_.portFile) == 1;
        }
        if (o_.log) {
            // Looked at, never opened: opening a FIFO waits for a reader for ever, a pipe's
            // takes it from its reader. As given: the full path would lose a device's name.
            const platform::LogPathKind kind = platform::LookAtLogPath(platform::FromUtf8(*o_.log));
            if (kind == platform::LogPathKind::Folder || kind == platform::LogPathKind::Other)
                return Refuse(*o_.log, kind == platform::LogPathKind::Folder
                                           ? "a folder, not a file: the log must be a file"
                                           : "not a regular file: the log must be a file");
            log_.SetPath(FullPath(*o_.log));
            // Each line waits a little for another writer; the last try longer (FinishLog). A
            // stop ends any wait.
            log_.SetHeldWait(std::chrono::milliseconds(250), [] { return stopStatus.load() != 0; });
        }
        for (const std::string& disk : o_.disks) {
            std::string why = "names no disk";
            const auto name = system_.resolveDisk ? system_.resolveDisk(disk, &why)
                                                  : std::optional<std::string>(disk);
            if (!name)
                return Refuse(disk, why);
            resolved_.push_back(*name);
        }
        return std::nullopt;
    }

    // One walk: every disk not checked yet, checked once. Disks gone since are forgotten, so
    // that a disk plugged again is checked again. False when a stop ended it.
    bool Pass() {
        usb::CEnumUSB enumerator;
        const std::vector<qc::FoundDevice> found = qc::CopyDevices(nullptr, &enumerator);
        std::map<char16_t, const usb::UsbDeviceEntry*> byLetter;
        instanceOf_.clear();
        walkIdentity_.clear();
        for (const qc::FoundDevice& device : found) {
            if (device.entry.diskNumbers[0] >= 0)
                ++seen_.usbDisks;
            if (device.entry.firstVolume != nullptr && device.entry.firstVolume->driveLetter != 0) {
                const char16_t letter = device.entry.firstVolume->driveLetter;
                byLetter[letter] = &device.entry;
                // The disk's device instance, with its serial where it has one.
                instanceOf_[letter] = platform::ToUtf8(device.entry.diskInterfacePath);
            }
        }
        std::set<std::string> present;
        const qc::DiskTaker taker{
            [&](char16_t letter) -> std::optional<bool> {
                if (stopStatus.load() != 0)
                    return std::nullopt;
                const std::string key = KeyOf(letter);
                present.insert(key);
                if ((checked_.count(key) != 0 && !AskAgain(key)) || !Wanted(letter))
                    return true;
                // As the window: a disk on a port outside the station's rows is not asked.
                const usb::UsbDeviceEntry* entry = byLetter[letter];
                if (stationMode_ && entry != nullptr) {
                    const int station = StationOf(entry->portOrdinal);
                    if (station < 1 || station > usb::kStationPorts) {
                        PassOver(*entry, "port outside the station's map");
                        return true;
                    }
                }
                // A disk's time starts before its identification.
                StartClock();
                return false;
            },
            [&](const usb::UsbDeviceEntry& entry) {
                const std::string key = KeyOf(entry.firstVolume->driveLetter);
                checked_.insert(key);
                retry_.erase(key);
                CheckDisk(entry);
                return true;
            },
            [&](const usb::UsbDeviceEntry& entry, qc::PassedOver why) { PassedOver(entry, why); }};
        const bool whole = qc::OfferDisks(found, taker);
        std::erase_if(checked_, [&](const std::string& key) { return present.count(key) == 0; });
        std::erase_if(retry_, [&](const auto& entry) { return present.count(entry.first) == 0; });
        saidBefore_ = std::move(said_);
        said_.clear();
        return whole && stopStatus.load() == 0;
    }

    // The end of a run without --watch: DISK arguments that named no disk of the walk, and a
    // run that found nothing to check.
    void ReportMissing() {
        for (std::size_t i = 0; i < o_.disks.size(); ++i) {
            if (matched_.count(i) == 0) {
                err_ << "tavrin-check: no USB disk " << o_.disks[i];
                if (resolved_[i] != o_.disks[i])
                    err_ << " (" << resolved_[i] << ")";
                err_ << "\n";
                status_ = 1;
            }
        }
        if (!o_.disks.empty() || seen_.checked > 0 || seen_.notChecked > 0)
            return;
        err_ << "tavrin-check: no disk found";
        if (seen_.usbDisks == 0) {
            err_ << " (no USB disk)";
        } else {
            std::string why;
            if (seen_.unmounted > 0)
                why = std::to_string(seen_.unmounted) + " USB disk" +
                      (seen_.unmounted > 1 ? "s" : "") + " without a mounted volume";
            if (seen_.otherController > 0)
                why += (why.empty() ? "" : ", ") + std::to_string(seen_.otherController) +
                       " of another controller";
            if (seen_.outsideMap > 0)
                why += (why.empty() ? "" : ", ") + std::to_string(seen_.outsideMap) +
                       " on ports outside the station's map";
            if (!why.empty())
                err_ << " (" << why << ")";
        }
        err_ << "\n";
        status_ = 1;
    }

    // The last try for log lines that wait: those that stay unwritten go to `err` whole, so that
    // the record is not lost, and the run fails.
    void FinishLog() {
        if (!o_.log)
            return;
        const std::size_t tried = log_.WaitingLines();
        if (log_.WriteWaiting(kLastHeldWait))
            Written(tried);
        lost_.insert(lost_.end(), waiting_.begin(), waiting_.end());
        waiting_.clear();
        if (lost_.empty())
            return;
        const std::size_t lost = lost_.size();
        err_ << "tavrin-check: " << *o_.log << ": " << lost << " line" << (lost == 1 ? "" : "s")
             << " not written (" << FailureText() << "):\n";
        for (const std::string& line : lost_)
            err_ << line;
        // Said lost: a last try when the log goes would write them after all.
        log_.SetPath(u"");
        lost_.clear();
        status_ = 1;
    }

    int status() const { return status_; }

    // How long a watch may wait before a disk it could not check is due to be asked again.
    std::uint32_t NextAskMs() const {
        if (retry_.empty())
            return platform::DeviceWatch::kForever;
        Clock::time_point first = Clock::time_point::max();
        for (const auto& [key, retry] : retry_)
            first = std::min(first, retry.due);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(first - Clock::now());
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(left.count(), 0, 0x7FFFFFFF));
    }

  private:
    std::optional<int> Refuse(const std::string& what, const std::string& why) {
        err_ << "tavrin-check: " << what << ": " << why << "\n";
        return 2;
    }

    std::string NameOf(char16_t letter) const {
        const std::vector<std::string> names = system_.diskNames(letter);
        return names.empty() ? std::string("?") : names.front();
    }

    // Which disk this is across walks: its identity where the system has one (Linux: device
    // number and sequence; Windows: the volume's GUID name), with the walk's device instance;
    // else its letter. The first identity of a walk is kept, to tell a swap after it.
    std::string KeyOf(char16_t letter) {
        std::string identity = system_.diskIdentity ? system_.diskIdentity(letter) : std::string();
        walkIdentity_.try_emplace(letter, identity);
        const auto instance = instanceOf_.find(letter);
        if (instance != instanceOf_.end() && !instance->second.empty())
            identity += "|" + instance->second;
        return identity.empty() ? platform::ToUtf8(std::u16string(1, letter)) : identity;
    }

    // Whether the disk under `letter` is still the one the walk found: another that took its
    // letter since, on the same drive number, would have been read in its place.
    bool SameDiskAsWalked(char16_t letter) const {
        const auto walked = walkIdentity_.find(letter);
        if (!system_.diskIdentity || walked == walkIdentity_.end() || walked->second.empty())
            return true;
        return system_.diskIdentity(letter) == walked->second;
    }

    // The port map's station port of an ordinal, read once per port in a run.
    int StationOf(int ordinal) {
        const auto [at, added] = stationOf_.try_emplace(ordinal, 0);
        if (added)
            at->second = usb::StationPortOf(setup_.portFile, ordinal);
        return at->second;
    }

    bool Wanted(char16_t letter) {
        if (o_.disks.empty())
            return true;
        bool wanted = false;
        for (const std::string& name : system_.diskNames(letter)) {
            for (std::size_t i = 0; i < resolved_.size(); ++i) {
                if (platform::EqualsNoCase(name, resolved_[i])) {
                    matched_.insert(i);
                    wanted = true;
                }
            }
        }
        return wanted;
    }

    // The names of a disk without a lettered volume, where the system has them.
    std::vector<std::string> UnmountedNames(const usb::UsbDeviceEntry& entry) const {
        if (entry.diskNumbers[0] < 0 || !system_.unmountedDiskNames)
            return {};
        return system_.unmountedDiskNames(entry.diskNumbers[0]);
    }

    std::string PlaceOf(const usb::UsbDeviceEntry& entry) const {
        const usb::VolumeEntry* volume = entry.firstVolume;
        const bool named = volume != nullptr && volume->driveLetter != 0;
        if (named)
            return NameOf(volume->driveLetter) + " port " + PortPathText(entry.portPath);
        const std::vector<std::string> names = UnmountedNames(entry);
        return (names.empty() ? "" : names.front() + " ") + "port " + PortPathText(entry.portPath);
    }

    // Whether a disk without a lettered volume is one a DISK argument names.
    bool AskedUnmounted(const usb::UsbDeviceEntry& entry) {
        bool asked = false;
        for (const std::string& name : UnmountedNames(entry)) {
            for (std::size_t i = 0; i < resolved_.size(); ++i) {
                if (platform::EqualsNoCase(name, resolved_[i])) {
                    matched_.insert(i);
                    asked = true;
                }
            }
        }
        return asked;
    }

    // A disk not checked is asked again when its time is up, at the walk after it: a watch
    // woken by other devices does not ask it each time.
    bool AskAgain(const std::string& key) {
        const auto retry = retry_.find(key);
        if (retry == retry_.end() || Clock::now() < retry->second.due)
            return false;
        checked_.erase(key);
        return true;
    }

    void PassedOver(const usb::UsbDeviceEntry& entry, qc::PassedOver why) {
        switch (why) {
            case qc::PassedOver::CannotOpen:
            case qc::PassedOver::NotAnswered:
                NotChecked(entry, platform::LastDeviceError());
                return;
            case qc::PassedOver::NoVolume: {
                if (entry.diskNumbers[0] >= 0)
                    ++seen_.unmounted;
                const bool asked = AskedUnmounted(entry);
                // A disk mounted where it cannot be used is not silently one without a mount.
                const std::string unusable = entry.diskNumbers[0] >= 0 && system_.unusableMount
                                                 ? system_.unusableMount(entry.diskNumbers[0])
                                                 : std::string();
                if (!unusable.empty() && (asked || o_.disks.empty()))
                    NotChecked(entry, {0, platform::FromUtf8(unusable)});
                else if (asked)
                    NotChecked(entry, {0, u"no mounted volume"});
                else
                    PassOver(entry, "no mounted volume");
                return;
            }
            case qc::PassedOver::OtherController:
                ++seen_.otherController;
                PassOver(entry, "not the supported controller");
                return;
        }
    }

    static std::string ReasonOf(const platform::DeviceError& error) {
        const std::string reason = platform::ToUtf8(error.text);
        if (!reason.empty())
            return reason;
        return error.code != 0 ? "error " + std::to_string(error.code) : "no reason given";
    }

    // Told always: a disk the run did not check although it may be the station's.
    void NotChecked(const usb::UsbDeviceEntry& entry, const platform::DeviceError& error) {
        ++seen_.notChecked;
        status_ = 1;
        // A call cut short by a stop failed for the stop, whatever the system called it.
        const bool stopped = stopStatus.load() != 0;
        const std::string reason = stopped ? kStopped : ReasonOf(error);
        const std::string advice =
            !stopped && system_.adviceFor ? system_.adviceFor(error.code) : "";
        const std::string line = "tavrin-check: " + PlaceOf(entry) + ": not checked (" + reason +
                                 ")" + (advice.empty() ? "" : ": " + advice) + "\n";
        bool again = false;
        if (entry.firstVolume != nullptr && entry.firstVolume->driveLetter != 0) {
            // Left alone for a while, then asked again: said again only when the reason changed.
            const std::string key = KeyOf(entry.firstVolume->driveLetter);
            checked_.insert(key);
            Retry& retry = retry_[key];
            again = retry.line == line;
            retry = {Clock::now() + std::chrono::milliseconds(system_.retryMs), line};
        } else {
            // Walked each time and never taken: said once while it stays.
            again = saidBefore_.count(line) != 0;
            said_.insert(line);
        }
        if (!again)
            err_ << line;
        err_.flush();
    }

    void PassOver(const usb::UsbDeviceEntry& entry, const std::string& why) {
        const usb::VolumeEntry* volume = entry.firstVolume;
        const bool named = volume != nullptr && volume->driveLetter != 0;
        if (why == "port outside the station's map")
            ++seen_.outsideMap;
        // Not asked again while it stays: another controller stays another.
        if (named)
            checked_.insert(KeyOf(volume->driveLetter));
        // A disk asked for by name that is passed over could not be read.
        const bool asked = !o_.disks.empty() && named && Wanted(volume->driveLetter);
        if (asked)
            status_ = 1;
        if (!asked && (!o_.verbose || !o_.disks.empty()))
            return;
        const std::string line =
            "passed over " +
            (named ? NameOf(volume->driveLetter) : "port " + PortPathText(entry.portPath)) + " (" +
            why + ")";
        // Said once while the device stays as it is, however often a watch walks.
        if (saidBefore_.count(line) == 0)
            err_ << line << "\n";
        said_.insert(line);
    }

    void StartClock() {
        start_ = Clock::now();
        kernelBefore_ = system_.kernelMicroseconds ? system_.kernelMicroseconds() : 0;
    }

    std::string FailureText() const {
        const std::u16string& why = log_.LastFailure();
        return why.empty() ? std::string("the file could not be written") : platform::ToUtf8(why);
    }

    // The log took its last `written` waiting lines; those before them it had given up to bound
    // its memory: they are lost.
    void Written(std::size_t written) {
        lost_.insert(lost_.end(), waiting_.begin(),
                     waiting_.end() - static_cast<std::ptrdiff_t>(written));
        waiting_.clear();
    }

    void Log(const qc::LogLine& line) {
        waiting_.push_back(line.text);
        const std::size_t dropped = log_.DroppedLines();
        const std::size_t tried = log_.WaitingLines() + 1;
        if (log_.Append(line)) {
            Written(tried - (log_.DroppedLines() - dropped));
            return;
        }
        // Once per run of failures: each line is tried again with the next and at the end.
        if (waiting_.size() == 1)
            err_ << "tavrin-check: " << *o_.log << ": not written now (" << FailureText()
                 << "); tried again with the next line and at the end\n";
    }

    void CheckDisk(const usb::UsbDeviceEntry& entry) {
        const char16_t letter = entry.firstVolume->driveLetter;
        device::ValueSlots values;
        const device::InfoRead got =
            device::DecodeControllerInfo(entry.diskNumbers[0], letter, values, setup_.lists);
        const bool read = got == device::InfoRead::Done;
        // Why a block was not read, taken before anything else can fail.
        const platform::DeviceError why = platform::LastDeviceError();
        if (!read && stopStatus.load() != 0) {
            // Stopped in the middle: no verdict of a disk the run did not finish.
            NotChecked(entry, {});
            return;
        }
        // A disk pulled or swapped before its read was never judged: no record, no verdict.
        const bool swapped = got != device::InfoRead::NotOpened && !SameDiskAsWalked(letter);
        if (got == device::InfoRead::NotOpened || swapped) {
            NotChecked(entry, swapped ? platform::DeviceError{0, kChanged} : why);
            if (o_.verbose) {
                const auto spent =
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_);
                err_ << "time " << NameOf(letter) << " " << spent.count();
                if (system_.kernelMicroseconds)
                    err_ << " " << system_.kernelMicroseconds() - kernelBefore_;
                err_ << "\n";
            }
            return;
        }
        ++seen_.checked;
        const qc::Verdict verdict = read ? qc::Judge(setup_, values) : qc::Verdict{false, {}};
        const bool pass = read && verdict.pass;
        // The disk's time: its identification, reading, decoding and check; not naming its
        // port and not the writing.
        const auto spent =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_);
        const std::uint64_t kernel =
            system_.kernelMicroseconds ? system_.kernelMicroseconds() - kernelBefore_ : 0;
        // As the window's row: a station port only in station mode, then the port's map entry.
        const int station = stationMode_ ? StationOf(entry.portOrdinal) : 0;
        const qc::DiskPlace place = qc::MakeDiskPlace(entry, station, system_.volumeName);

        // A block that cannot be read is recorded as the window records it: FAIL, no values,
        // "(not read)".
        if (o_.log || o_.csv) {
            const qc::LogLine line =
                qc::LogLineOf(platform::CurrentLocalTime(), place, setup_.checkFile,
                              read ? std::optional<qc::Verdict>(verdict) : std::nullopt, values);
            if (o_.log)
                Log(line);
            if (o_.csv)
                out_ << line.text;
        }
        if (!o_.csv) {
            out_ << "disk " << NameOf(letter) << " port " << PortPathText(entry.portPath)
                 << " ordinal " << entry.portOrdinal;
            if (o_.ports)
                out_ << " station " << station;
            out_ << " vol " << platform::ToUtf8(place.vol) << "\n";
            out_ << SerialLine(place.serial) << "\n";
            if (read) {
                for (std::size_t i = 0; i < device::kSlotCount; ++i)
                    out_ << SlotLine(i, values[i]) << "\n";
                if (o_.check) {
                    out_ << "verdict " << (pass ? "PASS" : "FAIL");
                    for (std::size_t item : verdict.failed)
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
            (o_.csv ? err_ : out_)
                << "the information block could not be read (" << ReasonOf(why) << ")\n";
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
    std::vector<std::string> waiting_;   // the lines appended since the log last took them all
    std::vector<std::string> lost_;      // lines the log gave up before it took the rest
    std::vector<std::string> resolved_;  // the DISK arguments as the system resolves them
    std::map<int, int> stationOf_;
    std::set<std::string> checked_;                 // disks by KeyOf
    std::map<char16_t, std::string> instanceOf_;    // the walk's device instance of a letter
    std::map<char16_t, std::string> walkIdentity_;  // the system's identity of a letter at the walk
    // Disks by KeyOf that were not checked: when to ask again, and the line said of them.
    struct Retry {
        Clock::time_point due;
        std::string line;
    };
    std::map<std::string, Retry> retry_;
    std::set<std::size_t> matched_;
    // What the walks met, for a run that found nothing to check.
    struct {
        int usbDisks = 0, unmounted = 0, otherController = 0, outsideMap = 0;
        int checked = 0, notChecked = 0;
    } seen_;
    std::set<std::string> said_, saidBefore_;
    int status_ = 0;
    Clock::time_point start_;
    std::uint64_t kernelBefore_ = 0;
};

}  // namespace

void StopCheck(int exitStatus) {
    ++stopsUnderWay;
    int none = 0;
    stopStatus.compare_exchange_strong(none, exitStatus);
    if (platform::DeviceWatch* watch = runningWatch.load())
        watch->Stop();
    --stopsUnderWay;
}

std::optional<std::string> StationAsked(const std::vector<std::string>& args) {
    Options options;
    std::ostringstream ignored;
    if (Parse(args, options, ignored))
        return std::nullopt;
    return options.station;
}

namespace {

int RunOnce(const std::vector<std::string>& args, const CheckSystem& system, std::ostream& out,
            std::ostream& err) {
    Options options;
    if (const auto status = Parse(args, options, err))
        return *status;
    if (options.help) {
        out << UsageText() << "\n";
        return 0;
    }
    if (options.version) {
        out << "tavrin-check " << TAVRIN_VERSION_TEXT << "\n";
        return 0;
    }
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
        if (checker.Pass())
            checker.ReportMissing();
        checker.FinishLog();
        return checker.status();
    }

    // Listening before the first walk: a disk that arrives during it is not missed.
    platform::DeviceWatch watch;
    if (!watch.listening()) {
        err << "tavrin-check: --watch: the system's device notices cannot be received\n";
        return 2;
    }
    const WatchStops stops(watch);
    if (stopStatus.load() == 0 && checker.Pass()) {
        err << "watching\n";
        err.flush();
    }
    while (stopStatus.load() == 0) {
        const platform::DeviceWatch::Wake wake = watch.Wait(checker.NextAskMs());
        if (wake == platform::DeviceWatch::Wake::Stopped)
            break;
        if (wake == platform::DeviceWatch::Wake::Failed) {
            err << "tavrin-check: --watch: the system's device notices stopped\n";
            checker.FinishLog();
            return 2;
        }
        checker.Pass();
    }
    checker.FinishLog();
    return checker.status();
}

}  // namespace

int RunCheck(const std::vector<std::string>& args, const CheckSystem& system, std::ostream& out,
             std::ostream& err) {
    const int status = RunOnce(args, system, out, err);
    // The stop is this run's, whenever it came: the next run starts without it.
    const int stopped = stopStatus.exchange(0);
    return stopped != 0 && status != 2 ? stopped : status;
}

}  // namespace tools
