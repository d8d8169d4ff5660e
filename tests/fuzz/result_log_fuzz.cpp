// The result log's reader on any bytes: every record it hands out has a time, a verdict, port
// numbers and failed items that fit, on a line the text has; every record it passes over is
// named by such a line. Lines the writer makes of any texts read back as those texts.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "platform/text.h"
#include "qc/log_reader.h"
#include "qc/result_log.h"

namespace {

using tavrin_fuzz::Fail;
using tavrin_fuzz::Input;

constexpr std::u16string_view kFieldChars = u"a,\"\r\n|\u00e9\u95ea ";

// Reads `text` and checks what every record and every passed-over one says of itself.
std::vector<std::vector<std::string>> ReadChecked(const std::string& text) {
    const auto lines = static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    std::vector<std::vector<std::string>> records;
    std::uint64_t last = 0;
    std::vector<std::size_t> items;
    std::istringstream in(text);
    const qc::LogReadResult result = qc::ReadResultLog(
        in,
        [&](const qc::LogLineFields& r) {
            if (r.line < 2 || r.line > lines || r.line <= last)
                Fail("a record on a line the text does not have, or out of order");
            last = r.line;
            if (!qc::IsLogTime(r.time))
                Fail("a record without a time");
            if (r.hasFailedItems && (r.pass != r.failedItems.empty() ||
                                     (!r.pass && !qc::ParseFailedItems(r.failedItems, items))))
                Fail("failed items that do not fit the verdict");
            if (!r.hasFailedItems && !r.failedItems.empty())
                Fail("failed items without their column");
            // Every byte of every field, copied: a view into freed storage shows here.
            std::vector<std::string> fields = {
                std::string(r.time),    std::string(r.stationPort), std::string(r.ordinal),
                std::string(r.vol),     std::string(r.serial),      std::string(r.checkFile),
                std::string(r.station), std::string(r.failedItems), r.pass ? "PASS" : "FAIL"};
            for (const std::string_view value : r.values)
                fields.emplace_back(value);
            records.push_back(std::move(fields));
        },
        [&](const qc::BadLogLine& bad) {
            if (bad.line < 2 || bad.line > lines)
                Fail("a record passed over on a line the text does not have");
            if (bad.why.empty())
                Fail("a record passed over without a reason");
        });
    if (result.records != records.size())
        Fail("records counted wrong");
    if (!result.read && (result.records != 0 || result.why.empty()))
        Fail("not read, without a reason or with records");
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    if (in.Byte() % 2 == 0) {
        ReadChecked(std::string(reinterpret_cast<const char*>(data), size));
        return 0;
    }
    // Lines of any texts in one format, as the station writes them.
    const auto format = static_cast<qc::LogFormat>(in.Below(3));
    std::string text = qc::LogHeader(format);
    std::vector<std::vector<std::string>> expected;
    for (std::size_t n = in.Below(4); n > 0; --n) {
        device::ValueSlots values;
        for (std::u16string& value : values)
            value = in.Text(kFieldChars, 6);
        const bool pass = in.Bool();
        std::vector<std::size_t> failed;
        if (!pass)
            failed = {in.Below(device::kSlotCount), in.Below(device::kSlotCount)};
        const qc::LogTrail trail{in.Text(kFieldChars, 6), in.Text(kFieldChars, 6),
                                 in.Text(kFieldChars, 6), pass ? u"" : qc::FailedItemsText(failed)};
        const int port = static_cast<int>(in.Below(17));
        const std::u16string vol = in.Text(kFieldChars, 6);
        const auto part = [&](std::size_t from, std::size_t count) {
            return static_cast<std::uint16_t>(from + in.Below(count));
        };
        const platform::LocalTime time{2026,        part(1, 12), part(1, 28),
                                       part(0, 24), part(0, 60), part(0, 60)};
        text += qc::FormatLogLine(time, port, 7, vol, pass, values, trail).In(format);
        const bool hasTrail = format != qc::LogFormat::Values;
        std::vector<std::string> fields = {
            "",
            port == 0 ? "" : std::to_string(port),
            "7",
            platform::ToUtf8(vol),
            hasTrail ? platform::ToUtf8(trail.serial) : "",
            hasTrail ? platform::ToUtf8(trail.checkFile) : "",
            hasTrail ? platform::ToUtf8(trail.station) : "",
            format == qc::LogFormat::FailedItems ? platform::ToUtf8(trail.failedItems) : "",
            pass ? "PASS" : "FAIL"};
        for (const std::u16string& value : values)
            fields.push_back(platform::ToUtf8(value));
        expected.push_back(std::move(fields));
    }
    std::vector<std::vector<std::string>> read = ReadChecked(text);
    for (auto& fields : read)
        fields[0].clear();  // the time is checked as a time
    if (read != expected)
        Fail("a line the writer wrote did not read back as written");
    return 0;
}
