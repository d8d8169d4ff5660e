#include "qc/result_log.h"

#include "platform/text.h"

namespace qc {

namespace {

// Lines kept for a log that cannot be written, at most: beyond it the oldest go, so that a log
// gone for good cannot eat the station's memory.
constexpr std::size_t kMaxWaitingBytes = 16u << 20;

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

std::string Number(int value) {
    return std::to_string(value);
}

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    if (text.size() < 2)
        text.insert(text.begin(), '0');
    return text;
}

}  // namespace

std::string FormatLogLine(const platform::LocalTime& time, int stationPort, int portOrdinal,
                          std::u16string_view vol, bool pass, const device::ValueSlots& values) {
    std::string stamp = Number(time.year);
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
    AppendField(line, stationPort > 0 ? Number(stationPort) : std::string());
    AppendField(line, Number(portOrdinal));
    AppendField(line, platform::ToUtf8(vol));
    AppendField(line, pass ? "PASS" : "FAIL");
    for (const std::u16string& value : values)
        AppendField(line, platform::ToUtf8(value));
    line += "\r\n";
    return line;
}

bool ResultLog::Append(std::string_view line) {
    if (path_.empty())
        return true;
    waiting_ += line;
    if (waiting_.size() > kMaxWaitingBytes) {
        const std::size_t cut = waiting_.find('\n', waiting_.size() - kMaxWaitingBytes);
        waiting_.erase(0, cut == std::string::npos ? waiting_.size() : cut + 1);
    }
    if (!platform::AppendToFile(path_, waiting_))
        return false;
    waiting_.clear();
    return true;
}

}  // namespace qc
