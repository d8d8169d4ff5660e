// The result log's reader: every line the writer writes reads back field for field, in every
// format, and what does not fit is named by its line.
#include "qc/log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "qc/result_log.h"

namespace {

constexpr platform::LocalTime kTime{2026, 11, 5, 7, 8, 9};

// What a record holds, copied out of the callback.
struct Read {
    std::string time, stationPort, ordinal, vol, serial, checkFile, station, failedItems;
    bool pass = false;
    bool hasFailedItems = false;
    std::uint64_t line = 0;
    std::vector<std::string> values;
};

struct Outcome {
    qc::LogReadResult result;
    std::vector<Read> records;
    std::vector<qc::BadLogLine> bad;
};

Outcome ReadText(const std::string& text) {
    std::istringstream in(text);
    Outcome o;
    o.result = qc::ReadResultLog(
        in,
        [&](const qc::LogLineFields& r) {
            Read read{std::string(r.time),
                      std::string(r.stationPort),
                      std::string(r.ordinal),
                      std::string(r.vol),
                      std::string(r.serial),
                      std::string(r.checkFile),
                      std::string(r.station),
                      std::string(r.failedItems),
                      r.pass,
                      r.hasFailedItems,
                      r.line,
                      {}};
            for (const std::string_view value : r.values)
                read.values.emplace_back(value);
            o.records.push_back(std::move(read));
        },
        [&](const qc::BadLogLine& bad) { o.bad.push_back(bad); });
    return o;
}

// The fields that overran freed memory: a FAIL whose vendor and product names both need quotes,
// short enough to be kept inside the string, and quoted fields after them.
TEST(LogReaderTest, ShortQuotedFieldsOfOneRecordStayWhole) {
    device::ValueSlots values;
    values[device::kSlotVendorName] = u"A,B";
    values[device::kSlotProductName] = u"C\"D";
    values[device::kSlotMpVer] = u"E\nF";
    values[device::kSlotFwVer] = u"G,H";
    const qc::LogLine line = qc::FormatLogLine(kTime, 3, 4, u"E", false, values,
                                               {u"S,N", u"a,b.chk", u"Q,C", u"ProductName"});
    const Outcome o = ReadText(qc::LogHeader() + line.text + line.text);
    ASSERT_TRUE(o.result.read) << o.result.why;
    ASSERT_TRUE(o.bad.empty()) << o.bad.front().why;
    ASSERT_EQ(o.records.size(), 2u);
    for (const Read& r : o.records) {
        EXPECT_EQ(r.values[device::kSlotVendorName], "A,B");
        EXPECT_EQ(r.values[device::kSlotProductName], "C\"D");
        EXPECT_EQ(r.values[device::kSlotMpVer], "E\nF");
        EXPECT_EQ(r.values[device::kSlotFwVer], "G,H");
        EXPECT_EQ(r.serial, "S,N");
        EXPECT_EQ(r.checkFile, "a,b.chk");
        EXPECT_EQ(r.station, "Q,C");
        EXPECT_EQ(r.failedItems, "ProductName");
    }
    EXPECT_EQ(o.records[0].line, 2u);
    EXPECT_EQ(o.records[1].line, 4u) << "the first record spans two lines";
}

// Every format the station has written, with every kind of field the writer makes (quoted,
// with line breaks, empty, not ASCII), over more than one read of the stream: each field comes
// back as it went in, and each record knows its line.
TEST(LogReaderTest, ReadsBackEveryLineTheWriterWrites) {
    using qc::LogFormat;
    const std::u16string texts[] = {
        u"",           u"plain", u"a,b", u"\"quoted\"", u"two\r\nlines", u"\u95ea\u5b58\u76d8",
        u"trailing\r", u"\n",    u",",   u"\"\""};
    for (const LogFormat format : {LogFormat::Values, LogFormat::Trail, LogFormat::FailedItems}) {
        SCOPED_TRACE(int(format));
        std::string text = qc::LogHeader(format);
        struct Expected {
            std::uint64_t line;
            bool pass;
            int port;
            device::ValueSlots values;
            qc::LogTrail trail;
        };
        std::vector<Expected> expected;
        std::uint64_t line = 2;
        // Enough records to cross the reader's chunks of a mebibyte.
        for (int i = 0; i < 6000; ++i) {
            Expected e{line, i % 3 != 0, i % 17, {}, {}};
            for (std::size_t slot = 0; slot < device::kSlotCount; ++slot)
                e.values[slot] = texts[(i + slot) % std::size(texts)] +
                                 platform::DecimalText(static_cast<long long>(slot));
            e.trail = {texts[i % std::size(texts)], texts[(i + 1) % std::size(texts)],
                       texts[(i + 2) % std::size(texts)],
                       e.pass  ? u""
                       : i % 2 ? std::u16string(u"(not read)")
                               : qc::FailedItemsText({std::size_t(i % 23), 22})};
            const qc::LogLine written = qc::FormatLogLine(
                kTime, e.port, i, texts[(i + 5) % std::size(texts)], e.pass, e.values, e.trail);
            const std::string bytes = written.In(format);
            line += static_cast<std::uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
            text += bytes;
            expected.push_back(std::move(e));
        }
        ASSERT_GT(text.size(), std::size_t{1} << 20);
        const Outcome o = ReadText(text);
        ASSERT_TRUE(o.result.read) << o.result.why;
        ASSERT_TRUE(o.bad.empty()) << o.bad.front().line << ": " << o.bad.front().why;
        ASSERT_EQ(o.records.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Expected& e = expected[i];
            const Read& r = o.records[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(r.line, e.line);
            EXPECT_EQ(r.time, "2026-11-05 07:08:09");
            EXPECT_EQ(r.pass, e.pass);
            EXPECT_EQ(r.stationPort, e.port == 0 ? "" : std::to_string(e.port));
            EXPECT_EQ(r.ordinal, std::to_string(i));
            EXPECT_EQ(r.vol, platform::ToUtf8(texts[(i + 5) % std::size(texts)]));
            for (std::size_t slot = 0; slot < device::kSlotCount; ++slot)
                ASSERT_EQ(r.values[slot], platform::ToUtf8(e.values[slot])) << slot;
            const bool trail = format != LogFormat::Values;
            EXPECT_EQ(r.serial, trail ? platform::ToUtf8(e.trail.serial) : "");
            EXPECT_EQ(r.checkFile, trail ? platform::ToUtf8(e.trail.checkFile) : "");
            EXPECT_EQ(r.station, trail ? platform::ToUtf8(e.trail.station) : "");
            EXPECT_EQ(r.hasFailedItems, format == LogFormat::FailedItems);
            EXPECT_EQ(r.failedItems, r.hasFailedItems ? platform::ToUtf8(e.trail.failedItems) : "");
        }
    }
}

// What does not fit is named by the line it starts on and passed over; the records around it
// are read. Failed items must name items, a FAIL must have them and a PASS none.
TEST(LogReaderTest, RecordsThatDoNotFitAreNamedByLine) {
    const std::string good = qc::FormatLogLine(kTime, 1, 1, u"E", true, {}, {}).text;
    const auto fail = [](std::u16string items) {
        return qc::FormatLogLine(kTime, 1, 1, u"E", false, {}, {u"", u"", u"", std::move(items)})
            .text;
    };
    const std::string text =
        qc::LogHeader() + good +                                                        // 2
        fail(u"vid|Speed") +                                                            // 3
        fail(u"") +                                                                     // 4
        qc::FormatLogLine(kTime, 1, 1, u"E", true, {}, {u"", u"", u"", u"vid"}).text +  // 5
        "2026-11-05 07:08:09,1,1,E,PASS\r\n" +                                          // 6
        "2026-11-31 7:08:09" + good.substr(19) +                                        // 7
        "\r\n" +                                     // 8: an empty line
        fail(u"vid|FWVer") +                         // 9
        fail(u"(not read)") +                        // 10
        "2026-11-05 07:08:09,x" + good.substr(21) +  // 11
        "2026-11-05 07:08:09,1,1,\"E\n";             // 12, never closed
    const Outcome o = ReadText(text);
    ASSERT_TRUE(o.result.read);
    ASSERT_EQ(o.records.size(), 3u);
    EXPECT_EQ(o.records[0].line, 2u);
    EXPECT_EQ(o.records[1].line, 9u);
    EXPECT_EQ(o.records[1].failedItems, "vid|FWVer");
    EXPECT_EQ(o.records[2].failedItems, "(not read)");
    std::vector<std::pair<std::uint64_t, std::string>> bad;
    for (const auto& b : o.bad)
        bad.emplace_back(b.line, b.why);
    const std::vector<std::pair<std::uint64_t, std::string>> want = {
        {3, "not failed items: \"vid|Speed\""},
        {4, "a FAIL without failed items"},
        {5, "failed items of a PASS"},
        {6, "5 fields where the header names 32"},
        {7, "not a date and time: \"2026-11-31 7:08:09\""},
        {11, "not a port number"},
        {12, "a quoted field is not closed"},
    };
    EXPECT_EQ(bad, want);
    EXPECT_EQ(o.result.records, 3u);
    EXPECT_EQ(o.result.badRecords, want.size());

    std::vector<std::size_t> items;
    EXPECT_TRUE(qc::ParseFailedItems("CapMin|CapMax", items));
    EXPECT_EQ(items, (std::vector<std::size_t>{device::kSlotCapMin, device::kSlotCapMax}));
    EXPECT_TRUE(qc::ParseFailedItems("(not read)", items));
    EXPECT_TRUE(items.empty());
    EXPECT_FALSE(qc::ParseFailedItems("vid|", items));
    EXPECT_FALSE(qc::ParseFailedItems("", items));

    // Not a log at all, and nothing.
    EXPECT_FALSE(ReadText("Date,Result\r\n1,2\r\n").result.read);
    EXPECT_EQ(ReadText("").result.why, "empty");
}

}  // namespace
