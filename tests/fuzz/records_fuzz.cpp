// tavrin-report's records table on records of any bytes: what it writes is valid UTF-8 without
// a NUL, and splits back (commas, doubled quotes, CR LF) into the header's columns, each field
// the record's own wherever that was valid UTF-8 without a NUL.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "platform/text.h"
#include "tools/report/records.h"

namespace {

using tavrin_fuzz::Fail;

bool Clean(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = tools::report::Utf8SequenceAt(text, i);
        if (length == 0 || text[i] == '\0')
            return false;
        i += length;
    }
    return true;
}

// The fields of one line as the table writes it; false where it is not such a line.
bool SplitLine(std::string_view line, std::vector<std::string>& fields) {
    fields.clear();
    std::size_t i = 0;
    for (;;) {
        std::string field;
        if (i < line.size() && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= line.size())
                    return false;
                if (line[i] == '"') {
                    if (i + 1 >= line.size() || line[i + 1] != '"')
                        break;
                    ++i;
                }
                field += line[i];
            }
            ++i;
        } else {
            while (i < line.size() && line[i] != ',' && line[i] != '"' && line[i] != '\r' &&
                   line[i] != '\n')
                field += line[i++];
        }
        fields.push_back(std::move(field));
        if (i < line.size() && line[i] == ',') {
            ++i;
            continue;
        }
        return line.substr(i) == "\r\n";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tools::report::RecordsTable table;
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> names;
        if (!SplitLine(table.Header(), names) || !Clean(table.Header()))
            Fail("the header is no clean CSV line");
        return names;
    }();

    tavrin_fuzz::Input input(data, size);
    // Every field of the record from the input, kept where it does not move while viewed.
    std::vector<std::string> texts;
    for (int i = 0; i < 32; ++i) {
        const std::vector<std::uint8_t> bytes = input.Bytes(24);
        texts.emplace_back(bytes.begin(), bytes.end());
    }
    tools::report::LogLineFields r;
    r.time = texts[0];
    r.stationPort = texts[1];
    r.ordinal = texts[2];
    r.vol = texts[3];
    r.pass = input.Bool();
    for (std::size_t slot = 0; slot < device::kSlotCount; ++slot)
        r.values[slot] = texts[4 + slot];
    r.serial = texts[27];
    r.checkFile = texts[28];
    r.station = texts[29];
    r.failedItems = texts[30];
    r.hasFailedItems = input.Bool();
    r.line = input.U32();
    const std::string_view log = texts[31];

    std::map<std::string, std::string_view> byName = {{"Date and time", r.time},
                                                      {"Station port", r.stationPort},
                                                      {"Ordinal", r.ordinal},
                                                      {"Vol", r.vol},
                                                      {"Serial number", r.serial},
                                                      {"Check file", r.checkFile},
                                                      {"Station", r.station},
                                                      {"Failed items", r.failedItems},
                                                      {"Log", log}};
    for (std::size_t slot = 0; slot < device::kSlotCount; ++slot)
        byName[platform::ToUtf8(device::kSlotKeys[slot])] = r.values[slot];
    const std::string line = std::to_string(r.line);
    byName["Line"] = line;
    byName["Verdict"] = r.pass ? "PASS" : "FAIL";

    std::string out;
    table.Append(r, log, out);
    if (!Clean(out))
        Fail("a line that is no valid UTF-8, or holds a NUL");
    std::vector<std::string> fields;
    if (!SplitLine(out, fields))
        Fail("a line that does not split back");
    if (fields.size() != columns.size())
        Fail("a line whose fields are not the header's columns");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto it = byName.find(columns[i]);
        if (it == byName.end())
            Fail("a column the record does not fill");
        if (Clean(it->second) && fields[i] != it->second)
            Fail("a clean field that does not come back as it was");
    }
    return 0;
}
