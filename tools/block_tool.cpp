#include "tools/block_tool.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>

#include "device/controller.h"
#include "platform/text.h"
#include "tools/block_line.h"

namespace tools {
namespace {

int Usage(std::ostream& err, const std::string& why) {
    err << "tavrin-block: " << why << "\n"
        << "usage: tavrin-block [--lang " << device::LanguageOptions() << "] [--free BYTES] FILE\n";
    return 2;
}

std::optional<std::uint64_t> ParseCount(const std::string& text) {
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

std::optional<device::Language> LanguageOption(const std::vector<std::string>& args, std::size_t& i,
                                               std::string* why) {
    if (i + 1 >= args.size()) {
        *why = args[i] + " needs a value";
        return std::nullopt;
    }
    const std::string& value = args[++i];
    if (const device::LanguageEntry* entry = device::LanguageNamed(value))
        return entry->language;
    *why = "unknown language '" + value + "'";
    return std::nullopt;
}

std::string PortPathText(const std::uint8_t (&path)[10]) {
    std::string text;
    for (std::size_t i = 0; i < std::size(path) && path[i] != 0xFF; ++i)
        text += (i == 0 ? "" : ".") + std::to_string(path[i]);
    return text;
}

namespace {

// UTF-8, its control characters as \xNN so that a line stays one line.
std::string Escaped(std::u16string_view text) {
    std::string out;
    for (char c : platform::ToUtf8(text)) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x" + platform::ToUtf8(platform::HexText(b, 2));
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string SlotLine(std::size_t slot, std::u16string_view text) {
    return std::to_string(slot) + " " + platform::ToUtf8(device::kSlotKeys[slot]) + "=" +
           Escaped(text);
}

std::string SerialLine(std::u16string_view serial) {
    return serial.empty() ? std::string("serial") : "serial " + Escaped(serial);
}

int RunBlockTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    device::Language language = device::Language::English;
    std::optional<std::uint64_t> freeBytes;
    std::optional<std::string> file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--lang") {
            std::string why;
            const auto parsed = LanguageOption(args, i, &why);
            if (!parsed)
                return Usage(err, why);
            language = *parsed;
        } else if (arg == "--free") {
            if (i + 1 == args.size())
                return Usage(err, arg + " needs a value");
            const std::string& value = args[++i];
            freeBytes = ParseCount(value);
            if (!freeBytes)
                return Usage(err, "--free takes a byte count, not '" + value + "'");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(err, "unknown option '" + arg + "'");
        } else if (file) {
            return Usage(err, "one FILE only");
        } else {
            file = arg;
        }
    }
    if (!file)
        return Usage(err, "no FILE");

    // The name in UTF-8 whatever the system's code page.
    std::ifstream in(std::filesystem::path(std::u8string(file->begin(), file->end())),
                     std::ios::binary);
    if (!in)
        return Usage(err, "cannot read '" + *file + "'");
    std::vector<std::uint8_t> block(device::kNewerBlockSize);
    in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
    if (in.bad())
        return Usage(err, "cannot read '" + *file + "'");
    block.resize(static_cast<std::size_t>(in.gcount()));

    switch (device::ExamineInfoBlock(block)) {
        case device::BlockStatus::Ok:
            break;
        case device::BlockStatus::TooShort:
            err << "tavrin-block: " << *file << ": " << block.size()
                << " bytes; a block holds at least 512\n";
            return 1;
        case device::BlockStatus::BadMagic:
            err << "tavrin-block: " << *file << ": not a controller information block "
                << "(the magic is not 8B 1C DB FA)\n";
            return 1;
        case device::BlockStatus::TooShortForNewerLayout:
            err << "tavrin-block: " << *file << ": " << block.size()
                << " bytes; a block of layout version 5 or more holds 1024\n";
            return 1;
    }

    const auto slots =
        device::DecodeInfoBlock(block, device::SelectionListsFor(language), freeBytes);
    for (std::size_t i = 0; i < device::kSlotCount; ++i) {
        if (!(*slots)[i])
            continue;
        out << SlotLine(i, *(*slots)[i]) << '\n';
    }
    return 0;
}

}  // namespace tools
