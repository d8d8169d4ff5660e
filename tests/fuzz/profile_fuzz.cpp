// The private-profile functions on random files: any bytes, read as each encoding the reader
// knows (ANSI in each station code page, UTF-8 with and without its mark, UTF-16LE with its
// mark), then a run of reads and writes decoded from the input. After every write: the value
// reads back, the file reads back as the text the write made (re-reading gives the same view),
// and no other key changed.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_files.h"
#include "fuzz_input.h"
#include "platform/device_io.h"
#include "platform/ini.h"
#include "platform/profile.h"
#include "platform/sim/files.h"
#include "platform/sim/station.h"

namespace {

using tavrin_fuzz::Fail;
using tavrin_fuzz::Input;

constexpr std::u16string_view kFile = u"C:\\Tavrin\\Fuzz.ini";
// The station's code page, as its profile functions use it.
constexpr platform::ini::CodePage kAnsi{platform::AnsiToWide, sim::WideToAnsi};
// Characters every code page of the station can write, the case pairs among them.
constexpr std::u16string_view kNameChars = u"aAbB z1._\u00e9\u00c9";
constexpr std::u16string_view kValueChars = u"aB1 =;[]\"'\u00e9\u00e0-";
// Pieces a profile is made of, for the generated files.
constexpr std::u16string_view kPieces[] = {u"[", u"]",  u"=", u"\r\n",   u"\n",     u"\r",  u";",
                                           u" ", u"\t", u"a", u"A",      u"b",      u"B",   u"z",
                                           u"1", u"\"", u"'", u"\u00e9", u"\u00c9", u"\x1a"};

std::u16string Name(Input& in) {
    std::u16string name = in.Text(kNameChars, 3);
    return name;
}

// A value that reads back as written: no blanks around it, no pair of quotes around it.
std::u16string Value(Input& in) {
    std::u16string value = in.Text(kValueChars, 12);
    while (!value.empty() && value.front() == u' ')
        value.erase(0, 1);
    while (!value.empty() && value.back() == u' ')
        value.pop_back();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value += u'x';
    return value;
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string FileBytes(Input& in) {
    const std::uint8_t how = in.Byte();
    std::string bytes;
    if ((how & 0x80) == 0) {
        // Raw bytes after an optional mark.
        if ((how & 3) == 1)
            bytes = "\xEF\xBB\xBF";
        else if ((how & 3) == 2)
            bytes = "\xFF\xFE";
        for (std::uint8_t b : in.Bytes(400))
            bytes += static_cast<char>(b);
        return bytes;
    }
    // A text made of profile pieces, in one of the encodings.
    std::u16string text;
    for (std::size_t n = in.Below(120); n > 0 && !in.Empty(); --n)
        text += kPieces[in.Below(std::size(kPieces))];
    switch (how & 3) {
        case 0:
            return platform::ini::Encode(text, platform::ini::Encoding::Ansi, kAnsi);
        case 1:
            return "\xEF\xBB\xBF" + Utf8(text);
        case 2:
            return Utf8(text);
        default:
            return platform::ini::Encode(text, platform::ini::Encoding::Utf16Le, kAnsi);
    }
}

std::u16string View(const std::filesystem::path& host) {
    const std::vector<std::uint8_t> bytes = tavrin_fuzz::ReadFile(host);
    return platform::ini::Decode(std::string(bytes.begin(), bytes.end()), kAnsi).text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    static const bool ready = [] {
        sim::Files& files = sim::Files::Get();
        files.Reset();
        files.SetRoot(tavrin_fuzz::ScratchFolder() / "profile");
        std::filesystem::create_directories(tavrin_fuzz::ScratchFolder() / "profile" / "C" /
                                            "Tavrin");
        return true;
    }();
    (void)ready;
    static const unsigned kCodePages[] = {1252, 28591, 65001};
    sim::Station::Get().SetAnsiCodePage(kCodePages[in.Below(3)]);

    const auto host = sim::Files::Get().HostPath(kFile);
    if (!host)
        Fail("the profile has no host file");
    const std::string bytes = FileBytes(in);
    tavrin_fuzz::WriteFile(*host, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));

    // The names touched so far, and some the input names, probed around every write.
    std::vector<std::pair<std::u16string, std::u16string>> probes;
    for (std::size_t ops = in.Below(8) + 1; ops > 0; --ops) {
        const std::uint8_t op = in.Byte();
        const std::u16string section = Name(in);
        const std::u16string key = Name(in);
        probes.emplace_back(section, key);
        if (op % 4 == 0) {
            (void)platform::GetProfileInt(section, key, -7, kFile);
            continue;
        }
        if (op % 4 == 1) {
            const std::u16string got =
                platform::GetProfileString(section, key, u"", 1 + in.Below(40), kFile);
            const std::u16string pure =
                platform::ini::GetString(View(*host), section, key, u"", 0x10000);
            if (pure.compare(0, got.size(), got) != 0)
                Fail("a short read is not the start of the whole value");
            continue;
        }
        const std::u16string value = Value(in);
        const std::u16string before = View(*host);
        std::vector<std::u16string> others;
        for (const auto& [s, k] : probes)
            others.push_back(platform::GetProfileString(s, k,
                                                        u"\x1"
                                                        u"missing",
                                                        0x10000, kFile));
        const bool written = platform::WriteProfileString(section, key, value, kFile);
        const bool blankKey = key.find_first_not_of(u' ') == std::u16string::npos;
        if (written == blankKey)
            Fail(blankKey ? "a blank key was written" : "a write failed");
        if (!written)
            continue;
        const std::u16string after = View(*host);
        if (after != platform::ini::SetValue(before, section, key, value))
            Fail("the file does not read back as the text the write made");
        if (platform::GetProfileString(section, key, u"", 0x10000, kFile) != value)
            Fail("a written value does not read back");
        for (std::size_t i = 0; i < probes.size(); ++i) {
            const auto& [s, k] = probes[i];
            // The key written, named otherwise (case, blanks): a mark written through the
            // probe's names reads back through the written ones.
            const std::u16string marked = platform::ini::SetValue(before, s, k, u"\x2mark");
            if (platform::ini::GetString(marked, section, key, u"", 0x10000) == u"\x2mark")
                continue;
            if (platform::GetProfileString(s, k,
                                           u"\x1"
                                           u"missing",
                                           0x10000, kFile) != others[i])
                Fail("a write changed another key");
        }
    }
    return 0;
}
