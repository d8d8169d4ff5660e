#include "qc/result_log.h"

#include <algorithm>
#include <array>
#include <thread>

#include "platform/text.h"

namespace qc {

namespace {

// One field and the comma before it (none before the first).
void AppendField(std::string& line, std::string_view field, bool first = false) {
    if (!first)
        line += ',';
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += field;
        return;
    }
    line += '"';
    for (char c : field) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

std::string TwoDigits(int value) {
    return platform::ToUtf8(platform::DecimalText(value, 2));
}

}  // namespace

std::u16string FailedItemsText(const std::vector<std::size_t>& items) {
    std::u16string text;
    for (const std::size_t item : items) {
        if (item >= device::kSlotCount)
            continue;
        if (!text.empty())
            text += static_cast<char16_t>(kFailedItemsSeparator);
        text += device::kSlotKeys[item];
    }
    return text;
}

std::optional<std::size_t> ItemOfKey(std::string_view key) {
    for (std::size_t slot = 0; slot < device::kSlotCount; ++slot) {
        const std::u16string_view name = device::kSlotKeys[slot];
        if (name.size() == key.size() &&
            std::equal(name.begin(), name.end(), key.begin(),
                       [](char16_t a, char b) { return a == static_cast<unsigned char>(b); }))
            return slot;
    }
    return std::nullopt;
}

std::string LogLine::In(LogFormat format) const {
    const std::size_t length = format == LogFormat::Values  ? valuesLength
                               : format == LogFormat::Trail ? trailLength
                                                            : std::string::npos;
    if (length == std::string::npos)
        return text;
    return text.substr(0, length) + "\r\n";
}

LogLine FormatLogLine(const platform::LocalTime& time, int stationPort, int portOrdinal,
                      std::u16string_view vol, bool pass, const device::ValueSlots& values,
                      const LogTrail& trail) {
    std::string stamp = std::to_string(time.year);
    stamp += '-';
    stamp += TwoDigits(time.month);
    stamp += '-';
    stamp += TwoDigits(time.day);
    stamp += ' ';
    stamp += TwoDigits(time.hour);
    stamp += ':';
    stamp += TwoDigits(time.minute);
    stamp += ':';
    stamp += TwoDigits(time.second);

    std::string line;
    AppendField(line, stamp, true);
    AppendField(line, stationPort > 0 ? std::to_string(stationPort) : std::string());
    AppendField(line, std::to_string(portOrdinal));
    AppendField(line, platform::ToUtf8(vol));
    AppendField(line, pass ? kLogPass : kLogFail);
    for (const std::u16string& value : values)
        AppendField(line, platform::ToUtf8(value));
    LogLine out;
    out.valuesLength = line.size();
    for (const std::u16string* field : {&trail.serial, &trail.checkFile, &trail.station})
        AppendField(line, platform::ToUtf8(*field));
    out.trailLength = line.size();
    AppendField(line, platform::ToUtf8(trail.failedItems));
    line += "\r\n";
    out.text = std::move(line);
    return out;
}

std::string LogHeader(LogFormat format) {
    std::string line(kLogByteOrderMark);
    for (const std::string_view name :
         {kTimeColumn, kStationPortColumn, kOrdinalColumn, kVolColumn, kVerdictColumn})
        AppendField(line, name, name == kTimeColumn);
    for (std::u16string_view key : device::kSlotKeys)
        AppendField(line, platform::ToUtf8(key));
    if (format != LogFormat::Values) {
        for (const std::string_view name : {kSerialColumn, kCheckFileColumn, kStationColumn})
            AppendField(line, name);
    }
    if (format == LogFormat::FailedItems)
        AppendField(line, kFailedItemsColumn);
    line += "\r\n";
    return line;
}

bool ResultLog::Append(LogLine line) {
    if (path_.empty())
        return true;
    waitingBytes_ += line.text.size();
    waiting_.push_back(std::move(line));
    // Whole lines only: a quoted field may hold a line break.
    while (waitingBytes_ > kMaxWaitingBytes) {
        waitingBytes_ -= waiting_.front().text.size();
        waiting_.pop_front();
        ++dropped_;
    }
    return WriteWaiting();
}

bool ResultLog::Failed() {
    lastFailure_ = platform::LastLogError();
    return false;
}

platform::LogFile ResultLog::Open(std::uint64_t* length, std::chrono::milliseconds heldWait) {
    using Clock = std::chrono::steady_clock;
    // Another writer holds a log for a write's time: a few tries a second find it free.
    constexpr std::chrono::milliseconds kPause{20};
    const Clock::time_point until = Clock::now() + heldWait;
    for (;;) {
        bool held = false;
        const platform::LogFile file = platform::OpenLogFile(path_, length, &held);
        if (file != platform::kNoLogFile)
            return file;
        Failed();
        if (!held || Clock::now() >= until || (stopped_ && stopped_()))
            return platform::kNoLogFile;
        std::this_thread::sleep_for(kPause);
    }
}

std::optional<bool> ResultLog::EndsWithLineEnd(platform::LogFile file, std::uint64_t length) {
    if (length == 0)
        return true;
    char last = 0;
    std::size_t read = 0;
    if (!platform::ReadLogFileAt(file, length - 1, std::span(&last, 1), &read) || read != 1)
        return std::nullopt;
    return last == '\n';
}

std::optional<LogFormat> ResultLog::FormatOf(platform::LogFile file, std::uint64_t length) {
    if (length == 0)
        return kCurrentLogFormat;
    // The header's line, and a little more, decides: a first line longer than this is no header.
    std::array<char, 1024> start{};
    std::size_t read = 0;
    if (!platform::ReadLogFileAt(file, 0, start, &read))
        return std::nullopt;
    std::string_view first(start.data(), read);
    if (first.starts_with(kLogByteOrderMark))
        first.remove_prefix(kLogByteOrderMark.size());
    first = first.substr(0, first.find('\n'));
    if (first.ends_with('\r'))
        first.remove_suffix(1);
    for (const LogFormat format : {LogFormat::Values, LogFormat::Trail}) {
        const std::string header = LogHeader(format);
        if (first == std::string_view(header).substr(kLogByteOrderMark.size(),
                                                     header.size() - kLogByteOrderMark.size() - 2))
            return format;
    }
    return kCurrentLogFormat;
}

bool ResultLog::WriteWaiting() {
    return WriteWaiting(heldWait_);
}

bool ResultLog::WriteWaiting(std::chrono::milliseconds heldWait) {
    if (path_.empty() || waiting_.empty())
        return true;
    std::uint64_t length = 0;
    const platform::LogFile file = Open(&length, heldWait);
    if (file == platform::kNoLogFile)
        return false;
    if (cutTo_ && length > *cutTo_ && (!leftAt_ || *leftAt_ == length)) {
        if (!platform::CutLogFile(file, *cutTo_) || !platform::FlushLogFile(file)) {
            Failed();
            platform::CloseLogFile(file);
            return false;
        }
        length = *cutTo_;
    }
    cutTo_.reset();
    leftAt_.reset();
    // Never two line formats in one file: its readers go by its header.
    const std::optional<LogFormat> format = FormatOf(file, length);
    const std::optional<bool> ended = format ? EndsWithLineEnd(file, length) : std::nullopt;
    if (!ended) {
        Failed();
        platform::CloseLogFile(file);
        return false;
    }
    // A fragment left by a writer whose cut-back failed ends here, not in our first line.
    std::string bytes = length == 0 ? LogHeader() : *ended ? std::string() : std::string("\r\n");
    bytes.reserve(bytes.size() + waitingBytes_);
    for (const LogLine& line : waiting_)
        bytes += *format == kCurrentLogFormat ? line.text : line.In(*format);
    const bool written = platform::WriteLogFile(file, bytes) && platform::FlushLogFile(file);
    if (!written)
        Failed();
    // Part of it may be in the file: cut it back, or the next try would write it twice. The
    // file is still ours alone, so nothing past `length` is another's.
    if (!written && !(platform::CutLogFile(file, length) && platform::FlushLogFile(file))) {
        cutTo_ = length;
        std::uint64_t now = 0;
        if (platform::LogFileLength(file, &now))
            leftAt_ = now;
    }
    platform::CloseLogFile(file);
    if (!written)
        return false;
    waiting_.clear();
    waitingBytes_ = 0;
    return true;
}

}  // namespace qc
