#include "platform/sim/station_file.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "platform/sim/info_block.h"
#include "platform/text.h"

namespace sim {
namespace {

// ---- Lines and their nesting ------------------------------------------------------------

constexpr std::size_t kMaxDepth = 64;  // far deeper than any real tree; bounds the recursion

struct Token {
    std::string text;
    bool quoted = false;
    std::size_t begin = 0;  // in the line as written
};

struct Line {
    int number = 0;
    std::size_t indent = 0;
    std::string key;
    std::vector<Token> args;
    std::string raw;          // as written
    std::size_t argsEnd = 0;  // where the last argument ends in `raw`
};

struct Node {
    Line line;
    std::vector<Node> children;
};

// The first error wins; everything after it is skipped.
class Errors {
  public:
    bool Fail(int line, std::string message) {
        if (message_.empty()) {
            line_ = line;
            message_ = "line " + std::to_string(line) + ": " + std::move(message);
        }
        return false;
    }
    bool Failed() const { return !message_.empty(); }
    int LineNumber() const { return line_; }
    const std::string& Message() const { return message_; }

  private:
    int line_ = 0;
    std::string message_;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted token from `at` (the opening quote) on; `at` ends after the closing quote. The text
// is taken as written, backslashes and all (Windows paths and keys are full of them); a quote
// inside it is written twice.
bool ReadQuoted(std::string_view text, std::size_t& at, int number, Token& token, Errors& errors) {
    token.quoted = true;
    for (++at; at < text.size(); ++at) {
        if (text[at] != '"') {
            token.text += text[at];
        } else if (at + 1 < text.size() && text[at + 1] == '"') {
            token.text += '"';
            ++at;
        } else {
            ++at;
            return true;
        }
    }
    return errors.Fail(number, "text without its closing quote");
}

// Splits one line into its key and arguments. False with no error for a blank or comment line.
bool ReadLine(std::string_view text, int number, Line& line, Errors& errors) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    if (at < text.size() && text[at] == '\t')
        return errors.Fail(number, "a tab in the indentation: indent with spaces");
    line.number = number;
    line.indent = at;
    std::vector<Token> tokens;
    while (true) {
        while (at < text.size() && IsBlank(text[at]))
            ++at;
        if (at == text.size() || text[at] == '#')
            break;
        Token token;
        token.begin = at;
        if (text[at] == '"') {
            if (!ReadQuoted(text, at, number, token, errors))
                return false;
            if (at < text.size() && !IsBlank(text[at]))
                return errors.Fail(number, "text after a closing quote");
        } else {
            while (at < text.size() && !IsBlank(text[at]))
                token.text += text[at++];
        }
        tokens.push_back(std::move(token));
        line.argsEnd = at;
    }
    if (tokens.empty())
        return false;
    if (tokens[0].quoted)
        return errors.Fail(number, "a line starts with a key, not with quoted text");
    line.key = std::move(tokens[0].text);
    line.args.assign(std::make_move_iterator(tokens.begin() + 1),
                     std::make_move_iterator(tokens.end()));
    line.raw = std::string(text);
    return true;
}

// The lines as a tree: a line belongs to the nearest line above it that is indented less.
bool ReadTree(std::string_view text, Node& root, Errors& errors) {
    struct Open {
        Node* node;
        long indent;  // the node's own; -1 for the root
    };
    std::vector<Open> open{{&root, -1}};
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);  // a byte-order mark is no text
    int number = 0;
    for (std::size_t begin = 0; begin <= text.size();) {
        std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string_view raw = text.substr(begin, end - begin);
        begin = end + 1;
        ++number;
        if (raw.find('\0') != std::string_view::npos)
            return errors.Fail(number, "a NUL byte in the text");
        Line line;
        if (!ReadLine(raw, number, line, errors)) {
            if (errors.Failed())
                return false;
            continue;
        }
        const long indent = static_cast<long>(line.indent);
        while (open.back().indent >= indent)
            open.pop_back();
        Node& parent = *open.back().node;
        if (!parent.children.empty() && parent.children.back().line.indent != line.indent)
            return errors.Fail(number, "indentation matches no line above it");
        if (&parent == &root && indent != 0)
            return errors.Fail(number, "a line at the top level must not be indented");
        if (open.size() > kMaxDepth)
            return errors.Fail(number, "nested too deeply");
        parent.children.push_back(Node{std::move(line), {}});
        open.push_back({&parent.children.back(), indent});
    }
    return true;
}

// ---- Values ------------------------------------------------------------------------------

struct Word {
    std::string_view name;
    std::uint64_t value;
};

bool SameWord(std::string_view a, std::string_view b) {
    return platform::EqualsNoCase(a, b);
}

// Decimal digits, or 0x and hexadecimal ones: read as a number rather than as a name.
bool LooksNumeric(const Token& token) {
    std::string_view t = token.text;
    if (token.quoted || t.empty())
        return false;
    const bool hex = t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
    if (hex)
        t.remove_prefix(2);
    return std::all_of(t.begin(), t.end(),
                       [&](char c) { return hex ? HexDigit(c) >= 0 : (c >= '0' && c <= '9'); });
}

// The keys of one kind of line, with the meanings of its children.
class Parser {
  public:
    Parser(std::filesystem::path folder, Errors& errors)
        : folder_(std::move(folder)), errors_(errors) {}

    bool Station(const Node& root, StationDescription& out);

  private:
    using Flags = std::vector<std::pair<std::string_view, bool*>>;

    bool Fail(const Line& line, std::string message) {
        return errors_.Fail(line.number, std::move(message));
    }
    bool Unknown(const Line& line, std::string_view where) {
        return Fail(line, "unknown key '" + line.key + "' in " + std::string(where));
    }
    bool NoChildren(const Node& node) {
        if (node.children.empty())
            return true;
        return Fail(node.children.front().line,
                    "'" + node.line.key + "' takes no indented lines below it");
    }
    // Keys that may appear once per block of lines.
    bool Once(std::vector<std::string>& seen, const Line& line) {
        for (const auto& key : seen)
            if (key == line.key)
                return Fail(line, "'" + line.key + "' given twice");
        seen.push_back(line.key);
        return true;
    }
    bool Count(const Line& line, std::size_t min, std::size_t max) {
        if (line.args.size() < min)
            return Fail(line, "'" + line.key + "' needs a value");
        if (line.args.size() > max)
            return Fail(line, "too many values after '" + line.key + "'");
        return true;
    }

    // Decimal, or hexadecimal after 0x; `hex` reads bare digits as hexadecimal.
    bool Number(const Line& line, const Token& token, std::uint64_t max, std::uint64_t& out,
                bool hex = false) {
        std::string_view t = token.text;
        unsigned base = hex ? 16 : 10;
        if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
            t.remove_prefix(2);
            base = 16;
        }
        std::uint64_t value = 0;
        bool any = false;
        for (char c : t) {
            const int d = HexDigit(c);
            if (d < 0 || static_cast<unsigned>(d) >= base || token.quoted)
                return Fail(line, "'" + token.text + "' is not a number");
            if (static_cast<unsigned>(d) > max || value > (max - static_cast<unsigned>(d)) / base)
                return Fail(line, "'" + token.text + "' is above " + std::to_string(max));
            value = value * base + static_cast<unsigned>(d);
            any = true;
        }
        if (!any)
            return Fail(line, "'" + token.text + "' is not a number");
        out = value;
        return true;
    }
    template <class T>
    bool Value(const Line& line, std::size_t arg, T& out, bool hex = false,
               std::uint64_t max = std::numeric_limits<T>::max()) {
        std::uint64_t value = 0;
        if (!Number(line, line.args[arg], max, value, hex))
            return false;
        out = static_cast<T>(value);
        return true;
    }
    template <class T>
    bool Single(const Line& line, T& out, bool hex = false,
                std::uint64_t max = std::numeric_limits<T>::max()) {
        return Count(line, 1, 1) && Value(line, 0, out, hex, max);
    }

    // A byte count with an optional binary suffix: K, M, G, T (or KB, MB, GB, TB).
    bool Size(const Line& line, const Token& token, std::uint64_t& out) {
        static constexpr Word kUnits[] = {
            {"KB", 1ull << 10}, {"MB", 1ull << 20}, {"GB", 1ull << 30}, {"TB", 1ull << 40},
            {"K", 1ull << 10},  {"M", 1ull << 20},  {"G", 1ull << 30},  {"T", 1ull << 40}};
        Token digits = token;
        std::uint64_t unit = 1;
        for (const auto& u : kUnits) {
            const std::string_view t = token.text;
            if (t.size() > u.name.size() && SameWord(t.substr(t.size() - u.name.size()), u.name) &&
                HexDigit(t[t.size() - u.name.size() - 1]) >= 0 &&
                t[t.size() - u.name.size() - 1] <= '9') {
                digits.text.resize(t.size() - u.name.size());
                unit = u.value;
                break;
            }
        }
        std::uint64_t count = 0;
        if (!Number(line, digits, std::numeric_limits<std::uint64_t>::max() / unit, count))
            return false;
        out = count * unit;
        return true;
    }

    bool Duration(const Line& line, const Token& token, std::chrono::milliseconds& out) {
        constexpr std::uint64_t kMaxMs = 600'000;  // ten minutes: longer is a typing slip
        std::string_view t = token.text;
        std::uint64_t scale = 1;
        if (t.size() > 2 && t.substr(t.size() - 2) == "ms") {
            t.remove_suffix(2);
        } else if (t.size() > 1 && t.back() == 's') {
            t.remove_suffix(1);
            scale = 1000;
        } else {
            return Fail(line, "'" + token.text + "' is not a duration such as 250ms or 3s");
        }
        std::uint64_t value = 0;
        if (!Number(line, Token{std::string(t), token.quoted}, kMaxMs / scale, value))
            return false;
        out = std::chrono::milliseconds(value * scale);
        return true;
    }

    // The text from argument `arg` on: one quoted token, or the bare words as written.
    bool Text(const Line& line, std::string& out, std::size_t arg = 0) {
        if (line.args.size() <= arg)
            return Fail(line, "'" + line.key + "' needs a text");
        const Token& first = line.args[arg];
        if (first.quoted) {
            if (line.args.size() > arg + 1)
                return Fail(line, "text after the quoted text of '" + line.key + "'");
            out = first.text;
        } else {
            out = line.raw.substr(first.begin, line.argsEnd - first.begin);
        }
        return true;
    }
    bool Text(const Line& line, std::u16string& out, std::size_t arg = 0) {
        std::string text;
        if (!Text(line, text, arg))
            return false;
        out = platform::FromUtf8(text);
        return true;
    }
    // An entry's name from `words`, or a number up to `max`.
    bool NameOrNumber(const Line& line, const Token& token, std::span<const Word> words,
                      std::uint64_t max, std::uint64_t& out) {
        for (const auto& w : words) {
            if (!token.quoted && SameWord(token.text, w.name)) {
                out = w.value;
                return true;
            }
        }
        if (LooksNumeric(token))
            return Number(line, token, max, out);
        return Choice(line, token, words, out);
    }
    // A text that must fit a field of `width` bytes or units.
    template <class S>
    bool FieldText(const Line& line, std::size_t width, S& out) {
        if (!Text(line, out))
            return false;
        if (out.size() > width)
            return Fail(line, "'" + line.key + "' holds at most " + std::to_string(width) +
                                  (sizeof(out[0]) == 1 ? " bytes" : " characters"));
        return true;
    }

    bool Choice(const Line& line, const Token& token, std::span<const Word> words,
                std::uint64_t& out) {
        for (const auto& w : words) {
            if (!token.quoted && SameWord(token.text, w.name)) {
                out = w.value;
                return true;
            }
        }
        std::string names;
        for (const auto& w : words)
            names += (names.empty() ? "" : ", ") + std::string(w.name);
        return Fail(line, "'" + token.text + "' is not one of " + names);
    }

    // "fails a b" / "missing a": each word sets its switch.
    bool Switches(const Line& line, const Flags& flags, bool value) {
        if (!Count(line, 1, flags.size()))
            return false;
        for (const auto& arg : line.args) {
            bool found = false;
            for (const auto& [name, target] : flags) {
                if (!arg.quoted && SameWord(arg.text, name)) {
                    *target = value;
                    found = true;
                }
            }
            if (!found) {
                std::string names;
                for (const auto& f : flags)
                    names += (names.empty() ? "" : ", ") + std::string(f.first);
                return Fail(line,
                            "'" + arg.text + "' after '" + line.key + "' is not one of " + names);
            }
        }
        return true;
    }

    bool HexBytes(const Line& line, std::size_t from, std::vector<std::uint8_t>& out) {
        for (std::size_t i = from; i < line.args.size(); ++i) {
            std::uint8_t b = 0;
            if (!Value(line, i, b, true))
                return false;
            out.push_back(b);
        }
        return true;
    }

    bool Block(const Node& node, ControllerAnswers& answers);
    bool BlockFile(const Line& line, std::array<std::uint8_t, 1024>& block);
    bool BlockLine(const Line& line, std::array<std::uint8_t, 1024>& block);
    bool Name(const Line& line, const BlockField& field, const BlockField& wide,
              std::array<std::uint8_t, 1024>& block);
    bool FlagBits(const Line& line, std::uint64_t& flags);
    bool EfsSize(const Line& line, const std::array<std::uint8_t, 1024>& block, std::uint64_t& end);
    bool ReplyLine(const Line& line, std::deque<Reply>& script);
    bool Disk(const Node& node, UsbDisk& disk);
    bool Volume(const Node& node, UsbVolume& volume, bool cdrom);
    bool StringDescriptor(const Line& line, std::size_t arg, UsbStringDescriptor& out);
    bool Device(const Node& node, UsbDevice& device);
    bool Hub(const Node& node, UsbHub& hub, bool root);
    bool Port(const Node& node, UsbHub& hub, std::vector<bool>& listed);
    bool Controller(const Node& node, UsbController& controller);

    std::filesystem::path folder_;
    Errors& errors_;
    StationDescription* out_ = nullptr;
};

// ---- The controller's answers ---------------------------------------------------------------

constexpr std::size_t kBlockSize = 1024;

constexpr Word kOnOff[] = {{"ON", 0}, {"OFF", 1}};
constexpr Word kBlinks[] = {{"Always", 0}, {"Quick", 1}, {"Slow", 2}};
constexpr Word kClocks[] = {{"20MHZ", 0}, {"30MHZ", 1}, {"40MHZ", 2}, {"15MHZ", 3}};
constexpr Word kFlagBits[] = {{"Randomize", 0x04},  {"MultiPlane", 0x08}, {"CacheProgram", 0x10},
                              {"Interleave", 0x20}, {"DualMode", 0x40},   {"none", 0}};

// How each block line's value is read; where it lands is the shared layout's (info_block.h).
enum class BlockValue {
    kIndex,     // a list entry's English name or the number itself
    kText,      // bytes up to the field's width
    kByte,      // decimal
    kHex,       // bare digits are hexadecimal
    kDecimal,   // a 16-bit number
    kName,      // the older layout's bytes, and the newer one's UTF-16 copy
    kFlagBits,  // names of bits, or one number
    kMaster,    // a letter from A, or the number
    kSector,    // a 32-bit sector number
    kEfsSize,   // the area's size from its start: sectors, or bytes with a suffix
};

struct BlockKey {
    const BlockField* field;
    BlockValue value;
    std::span<const Word> names = {};
    const BlockField* wide = nullptr;
    std::string_view key = {};  // when not the field's own

    std::string_view Key() const { return key.empty() ? field->key : key; }
};

constexpr BlockKey kBlockKeys[] = {
    {&fields::kMagic, BlockValue::kHex},
    {&fields::kLayout, BlockValue::kDecimal},
    {&fields::kVid, BlockValue::kHex},
    {&fields::kPid, BlockValue::kHex},
    {&fields::kDiskType, BlockValue::kByte},
    {&fields::kPartition, BlockValue::kByte},
    {&fields::kVendor, BlockValue::kName, {}, &fields::kWideVendor},
    {&fields::kProduct, BlockValue::kName, {}, &fields::kWideProduct},
    {&fields::kRevision, BlockValue::kText},
    {&fields::kIdle, BlockValue::kIndex, kOnOff},
    {&fields::kBlink, BlockValue::kIndex, kBlinks},
    {&fields::kMpVersion, BlockValue::kText},
    {&fields::kFwVersion, BlockValue::kText},
    {&fields::kFlags, BlockValue::kFlagBits},
    {&fields::kReadClock, BlockValue::kIndex, kClocks},
    {&fields::kWriteClock, BlockValue::kIndex, kClocks},
    {&fields::kMaster, BlockValue::kMaster},
    {&fields::kEfsStart, BlockValue::kSector},
    {&fields::kEfsEnd, BlockValue::kSector},
    {&fields::kEfsEnd, BlockValue::kEfsSize, {}, nullptr, "efs"},
    {&fields::kSleep, BlockValue::kIndex, kOnOff},
};

std::uint32_t BigAt(const std::array<std::uint8_t, kBlockSize>& block, std::size_t offset) {
    return platform::ByteReader(block).At(offset).U32Be();
}

bool Parser::BlockLine(const Line& line, std::array<std::uint8_t, kBlockSize>& block) {
    // Fields land in the order written; names go where the layout in force puts them.
    if (line.key == "bytes") {
        // Raw bytes at an offset: "bytes 0x1F0 01 02 03".
        if (!Count(line, 2, 1 + kBlockSize))
            return false;
        std::size_t offset = 0;
        std::vector<std::uint8_t> bytes;
        if (!Value(line, 0, offset, false, kBlockSize - 1) || !HexBytes(line, 1, bytes))
            return false;
        if (offset + bytes.size() > kBlockSize)
            return Fail(line, "the bytes run past the end of the block");
        platform::ByteWriter(block).At(offset).Bytes(bytes);
        return true;
    }
    const auto known = std::find_if(std::begin(kBlockKeys), std::end(kBlockKeys),
                                    [&](const BlockKey& k) { return k.Key() == line.key; });
    if (known == std::end(kBlockKeys))
        return Unknown(line, "a block");
    const BlockField& field = *known->field;
    std::uint64_t number = 0;
    switch (known->value) {
        case BlockValue::kIndex:
            if (!Count(line, 1, 1) || !NameOrNumber(line, line.args[0], known->names, 0xFF, number))
                return false;
            break;
        case BlockValue::kText: {
            std::string text;
            if (!FieldText(line, field.width, text))
                return false;
            PutField(block, field, text);
            return true;
        }
        case BlockValue::kByte:
            if (!Single(line, number, false, 0xFF))
                return false;
            break;
        case BlockValue::kHex:
        case BlockValue::kDecimal:
            if (!Single(line, number, known->value == BlockValue::kHex,
                        field.kind == BlockField::kU32Le ? 0xFFFFFFFFu : 0xFFFFu))
                return false;
            break;
        case BlockValue::kName:
            return Name(line, field, *known->wide, block);
        case BlockValue::kFlagBits:
            if (!FlagBits(line, number))
                return false;
            break;
        case BlockValue::kMaster: {
            if (!Count(line, 1, 1))
                return false;
            const Token& t = line.args[0];
            if (!t.quoted && t.text.size() == 1 && t.text[0] >= 'A' && t.text[0] <= 'Z')
                number = static_cast<std::uint64_t>(t.text[0] - 'A');
            else if (!Value(line, 0, number, false, 0xFF))
                return false;
            break;
        }
        case BlockValue::kSector:
            if (!Single(line, number, false, 0xFFFFFFFFu))
                return false;
            break;
        case BlockValue::kEfsSize:
            if (!EfsSize(line, block, number))
                return false;
            break;
    }
    PutField(block, field, static_cast<std::uint32_t>(number));
    return true;
}

bool Parser::Name(const Line& line, const BlockField& field, const BlockField& wide,
                  std::array<std::uint8_t, kBlockSize>& block) {
    std::string text;
    if (!Text(line, text))
        return false;
    const std::u16string units = platform::FromUtf8(text);
    if (units.size() > wide.width)
        return Fail(
            line, "'" + line.key + "' holds at most " + std::to_string(wide.width) + " characters");
    const bool newer =
        platform::ByteReader(block).At(fields::kLayout.offset).U16Le() >= fields::kWideNamesLayout;
    if (!newer && text.size() > field.width)
        return Fail(line, "'" + line.key + "' of the older layout holds at most " +
                              std::to_string(field.width) + " bytes");
    // The older layout's field, and in the newer one its copy as far as it fits.
    PutField(block, field, text);
    if (newer)
        PutField(block, wide, units);
    return true;
}

bool Parser::FlagBits(const Line& line, std::uint64_t& flags) {
    if (!Count(line, 1, std::size(kFlagBits)))
        return false;
    const Token& first = line.args[0];
    if (line.args.size() == 1 && LooksNumeric(first))
        return Number(line, first, 0xFFFFFFFFu, flags);
    flags = 0;
    for (const auto& t : line.args) {
        std::uint64_t bit = 0;
        if (!Choice(line, t, kFlagBits, bit))
            return false;
        flags |= bit;
    }
    return true;
}

bool Parser::EfsSize(const Line& line, const std::array<std::uint8_t, kBlockSize>& block,
                     std::uint64_t& end) {
    if (!Count(line, 1, 1))
        return false;
    const Token& t = line.args[0];
    std::uint64_t sectors = 0;
    const bool suffixed = !platform::StartsWithNoCase(t.text, "0x") && !t.text.empty() &&
                          !(t.text.back() >= '0' && t.text.back() <= '9');
    if (!(suffixed ? Size(line, t, sectors) : Number(line, t, 0xFFFFFFFFu, sectors)))
        return false;
    if (suffixed) {
        if (sectors % 512 != 0)
            return Fail(line, "'" + t.text + "' is not a whole number of sectors");
        sectors /= 512;
    }
    end = BigAt(block, fields::kEfsStart.offset) + sectors;
    if (end > 0xFFFFFFFFu)
        return Fail(line, "the EFS area ends beyond sector 4294967295");
    return true;
}

bool Parser::BlockFile(const Line& line, std::array<std::uint8_t, kBlockSize>& block) {
    std::string name;
    if (!Count(line, 2, 2))
        return false;
    name = line.args[1].text;
    const std::filesystem::path path = folder_ / std::u8string(name.begin(), name.end());
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Fail(line, "cannot read the block file '" + name + "'");
    std::vector<char> bytes(kBlockSize + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    if (in.bad())
        return Fail(line, "cannot read the block file '" + name + "'");
    if (n == 0 || n > kBlockSize)
        return Fail(line, "the block file '" + name + "' holds " +
                              (n == 0 ? std::string("no bytes") : "more than 1024 bytes"));
    block.fill(0);
    std::copy_n(bytes.begin(), n, block.begin());
    return true;
}

bool Parser::Block(const Node& node, ControllerAnswers& answers) {
    const Line& line = node.line;
    auto& block = answers.block;
    if (line.args.empty()) {
        block = InfoBlock(fields::kWideNamesLayout).Bytes();
    } else if (!line.args[0].quoted && line.args[0].text == "file") {
        if (!BlockFile(line, block))
            return false;
    } else if (!line.args[0].quoted && line.args[0].text == "sample") {
        if (!Count(line, 1, 1))
            return false;
        block = SampleInfoBlock().Bytes();
    } else if (!line.args[0].quoted && line.args[0].text == "zero") {
        if (!Count(line, 1, 1))
            return false;
        block.fill(0);
    } else {
        return Fail(line, "'block' is followed by nothing, 'file NAME', 'sample' or 'zero'");
    }
    std::vector<std::string> seen;
    for (const Node& child : node.children) {
        if (!NoChildren(child))
            return false;
        if (child.line.key != "bytes" && !Once(seen, child.line))
            return false;
        if (!BlockLine(child.line, block))
            return false;
    }
    return true;
}

bool Parser::ReplyLine(const Line& line, std::deque<Reply>& script) {
    // reply answer|sense KEY ASC ASCQ|transport [descriptor] [status N] [reports N]
    //       [delay DURATION] [times N]
    if (!Count(line, 1, 12))
        return false;
    static constexpr Word kKinds[] = {{"answer", 0}, {"sense", 1}, {"transport", 2}};
    std::uint64_t kind = 0;
    if (!Choice(line, line.args[0], kKinds, kind))
        return false;
    Reply reply = Reply::Answer();
    std::size_t at = 1;
    if (kind == 1) {
        if (line.args.size() < 4)
            return Fail(line, "'reply sense' needs the key, ASC and ASCQ in hexadecimal");
        std::uint8_t key = 0, asc = 0, ascq = 0;
        if (!Value(line, 1, key, true, 0x0F) || !Value(line, 2, asc, true) ||
            !Value(line, 3, ascq, true))
            return false;
        reply = Reply::Sense(key, asc, ascq);
        at = 4;
    } else if (kind == 2) {
        reply = Reply::Transport();
    }
    std::uint32_t times = 1;
    std::vector<std::string> seen;
    while (at < line.args.size()) {
        const Token& option = line.args[at];
        if (option.quoted)
            return Fail(line, "'" + option.text + "' is no option of 'reply'");
        if (std::find(seen.begin(), seen.end(), option.text) != seen.end())
            return Fail(line, "'" + option.text + "' given twice");
        seen.push_back(option.text);
        if (option.text == "descriptor" && kind == 1) {
            reply.sense.descriptorFormat = true;
            ++at;
            continue;
        }
        if (at + 1 == line.args.size())
            return Fail(line, "'" + option.text + "' of 'reply' needs a value");
        const std::size_t v = at + 1;
        if (option.text == "status") {
            if (!Value(line, v, reply.scsiStatus))
                return false;
        } else if (option.text == "reports") {
            std::uint32_t bytes = 0;
            if (!Value(line, v, bytes))
                return false;
            reply.reportedBytes = bytes;
        } else if (option.text == "delay") {
            if (!Duration(line, line.args[v], reply.delay))
                return false;
        } else if (option.text == "times") {
            if (!Value(line, v, times, false, 1000))
                return false;
            if (times == 0)
                return Fail(line, "'times' of 'reply' is at least 1");
        } else {
            return Fail(line, "'" + option.text + "' is no option of 'reply'");
        }
        at += 2;
    }
    if (script.size() + times > 10000)
        return Fail(line, "more than 10000 scripted replies for one disk");
    script.insert(script.end(), times, reply);
    return true;
}

// ---- The USB machine ------------------------------------------------------------------------

constexpr Word kDriveTypes[] = {
    {"unknown", platform::kDriveUnknown},     {"no-root", platform::kDriveNoRootDir},
    {"removable", platform::kDriveRemovable}, {"fixed", platform::kDriveFixed},
    {"remote", platform::kDriveRemote},       {"cdrom", platform::kDriveCdrom},
    {"ramdisk", platform::kDriveRamdisk}};

bool IsLetter(std::string_view t) {
    return t.size() == 1 && ((t[0] >= 'A' && t[0] <= 'Z') || (t[0] >= 'a' && t[0] <= 'z'));
}

bool Parser::Volume(const Node& node, UsbVolume& volume, bool cdrom) {
    const Line& line = node.line;
    volume.driveType = cdrom ? platform::kDriveCdrom : platform::kDriveRemovable;
    if (!Count(line, 0, 1))
        return false;
    if (!line.args.empty()) {
        // "volume E" or "volume E:": mounted at the drive's root.
        std::string_view letter = line.args[0].text;
        if (letter.size() == 2 && letter[1] == ':')
            letter.remove_suffix(1);
        if (line.args[0].quoted || !IsLetter(letter))
            return Fail(line, "'" + line.args[0].text + "' is not a drive letter");
        volume.mountPaths.push_back(std::u16string(1, platform::AsciiUpper(letter[0])) + u":\\");
    }
    std::vector<std::string> seen;
    for (const Node& child : node.children) {
        const Line& l = child.line;
        if (!NoChildren(child) || (l.key != "mount" && !Once(seen, l)))
            return false;
        bool ok = true;
        if (l.key == "mount") {
            std::u16string path;
            ok = Text(l, path);
            volume.mountPaths.push_back(std::move(path));
        } else if (l.key == "type") {
            std::uint64_t type = 0;
            ok = Count(l, 1, 1) && NameOrNumber(l, l.args[0], kDriveTypes, 0xFFFFFFFFu, type);
            volume.driveType = static_cast<std::uint32_t>(type);
        } else if (l.key == "free") {
            ok = Count(l, 1, 1) && Size(l, l.args[0], volume.freeBytes);
        } else if (l.key == "path") {
            ok = Text(l, volume.interfacePath);
        } else if (l.key == "name") {
            ok = Text(l, volume.volumeName);
        } else if (l.key == "number") {
            int number = 0;
            ok = Single(l, number);
            volume.deviceNumber = number;
        } else if (l.key == "node-driver") {
            std::u16string driver;
            ok = Text(l, driver);
            volume.nodeDriver = std::move(driver);
        } else if (l.key == "fails") {
            bool opens = false, unreadable = false;
            ok = Switches(l,
                          {{"open", &opens},
                           {"number", &volume.numberFails},
                           {"node-driver", &unreadable},
                           {"detail", &volume.detailFails}},
                          true);
            volume.opens = volume.opens && !opens;
            volume.nodeDriverReadable = volume.nodeDriverReadable && !unreadable;
        } else {
            return Unknown(l, cdrom ? "a CD-ROM volume" : "a volume");
        }
        if (!ok)
            return false;
    }
    return true;
}

bool Parser::Disk(const Node& node, UsbDisk& disk) {
    const Line& line = node.line;
    if (!Single(line, disk.number, false, 999))
        return false;
    if (out_->answers.count(disk.number))
        return Fail(line, "disk " + std::to_string(disk.number) + " is described twice");
    ControllerAnswers answers;
    std::copy_n("RV7730", 6, answers.identification.begin());
    std::vector<std::string> seen;
    for (const Node& child : node.children) {
        const Line& l = child.line;
        const bool repeated = l.key == "volume" || l.key == "reply";
        if (!repeated && !Once(seen, l))
            return false;
        if (l.key == "volume") {
            disk.volumes.emplace_back();
            if (!Volume(child, disk.volumes.back(), false))
                return false;
            continue;
        }
        if (l.key == "block") {
            if (!Block(child, answers))
                return false;
            continue;
        }
        if (!NoChildren(child))
            return false;
        bool ok = true;
        if (l.key == "model") {
            // The identification's first bytes: a text, or "bytes HH ..." for any bytes.
            std::string model;
            if (!l.args.empty() && !l.args[0].quoted && l.args[0].text == "bytes") {
                std::vector<std::uint8_t> bytes;
                ok = Count(l, 2, 1 + answers.identification.size()) && HexBytes(l, 1, bytes);
                model.assign(bytes.begin(), bytes.end());
            } else {
                ok = FieldText(l, answers.identification.size(), model);
            }
            // A text too long for the field is refused, and must not reach it.
            if (ok) {
                answers.identification.fill(0);
                std::copy(model.begin(), model.end(), answers.identification.begin());
            }
        } else if (l.key == "reply") {
            ok = ReplyLine(l, answers.script);
        } else if (l.key == "path") {
            ok = Text(l, disk.interfacePath);
        } else if (l.key == "node-driver") {
            std::u16string driver;
            ok = Text(l, driver);
            disk.nodeDriver = std::move(driver);
        } else if (l.key == "fails") {
            bool opens = false, unreadable = false;
            ok = Switches(l,
                          {{"open", &opens},
                           {"number", &disk.numberFails},
                           {"node-driver", &unreadable},
                           {"detail", &disk.detailFails}},
                          true);
            disk.opens = disk.opens && !opens;
            disk.nodeDriverReadable = disk.nodeDriverReadable && !unreadable;
        } else {
            return Unknown(l, "a disk");
        }
        if (!ok)
            return false;
    }
    out_->answers.emplace(disk.number, std::move(answers));
    return true;
}

// TEXT, "bytes HH ...", or "fails".
bool Parser::StringDescriptor(const Line& line, std::size_t arg, UsbStringDescriptor& out) {
    if (line.args.size() <= arg)
        return Fail(line, "'" + line.key + "' needs a text, 'bytes HH ...' or 'fails'");
    const Token& first = line.args[arg];
    if (!first.quoted && first.text == "fails") {
        if (!Count(line, arg + 1, arg + 1))
            return false;
        out = UsbStringDescriptor::Failing();
        return true;
    }
    if (!first.quoted && first.text == "bytes") {
        std::vector<std::uint8_t> bytes;
        if (!Count(line, arg + 1, arg + 256) || !HexBytes(line, arg + 1, bytes))
            return false;
        out = UsbStringDescriptor::Raw(std::move(bytes));
        return true;
    }
    std::u16string text;
    if (!Text(line, text, arg))
        return false;
    if (text.size() > 126)
        return Fail(line, "a string descriptor holds at most 126 characters");
    out = UsbStringDescriptor::Text(text);
    return true;
}

bool Parser::Device(const Node& node, UsbDevice& device) {
    std::optional<UsbStringDescriptor> named[3];  // manufacturer, product, serial
    std::vector<std::string> seen;
    for (const Node& child : node.children) {
        const Line& l = child.line;
        const bool repeated =
            l.key == "disk" || l.key == "cdrom" || l.key == "string" || l.key == "aux";
        if (!repeated && !Once(seen, l))
            return false;
        if (l.key == "disk") {
            device.disks.emplace_back();
            if (!Disk(child, device.disks.back()))
                return false;
            continue;
        }
        if (l.key == "cdrom") {
            device.cdromVolumes.emplace_back();
            if (!Volume(child, device.cdromVolumes.back(), true))
                return false;
            continue;
        }
        if (l.key == "aux") {
            UsbAuxInterface aux;
            if (!Count(l, 0, 1))
                return false;
            if (!l.args.empty() && (l.args[0].quoted || l.args[0].text != "on-device"))
                return Fail(l, "'aux' is followed by nothing or 'on-device'");
            aux.onDeviceNode = !l.args.empty();
            std::vector<std::string> auxSeen;
            for (const Node& sub : child.children) {
                const Line& a = sub.line;
                if (!Once(auxSeen, a) || !NoChildren(sub))
                    return false;
                if (a.key == "path") {
                    if (!Text(a, aux.interfacePath))
                        return false;
                } else if (a.key == "fails") {
                    if (!Switches(a, {{"detail", &aux.detailFails}}, true))
                        return false;
                } else {
                    return Unknown(a, "an auxiliary interface");
                }
            }
            device.auxInterfaces.push_back(std::move(aux));
            continue;
        }
        if (!NoChildren(child))
            return false;
        bool ok = true;
        const std::string& k = l.key;
        if (k == "vid") {
            ok = Single(l, device.vendorId, true);
        } else if (k == "pid") {
            ok = Single(l, device.productId, true);
        } else if (k == "bcd-usb") {
            ok = Single(l, device.bcdUsb, true);
        } else if (k == "class") {
            ok = Single(l, device.deviceClass, true);
        } else if (k == "speed") {
            ok = Single(l, device.speed, false, 3);
        } else if (k == "pipes") {
            ok = Single(l, device.numberOfOpenPipes, false, 30);
        } else if (k == "manufacturer-index") {
            ok = Single(l, device.iManufacturer);
        } else if (k == "product-index") {
            ok = Single(l, device.iProduct);
        } else if (k == "serial-index") {
            ok = Single(l, device.iSerialNumber);
        } else if (k == "manufacturer" || k == "product" || k == "serial") {
            const int which = k == "manufacturer" ? 0 : k == "product" ? 1 : 2;
            named[which].emplace();
            ok = StringDescriptor(l, 0, *named[which]);
        } else if (k == "string") {
            std::uint8_t index = 0;
            UsbStringDescriptor descriptor;
            ok = Count(l, 2, 258) && Value(l, 0, index) && StringDescriptor(l, 1, descriptor);
            if (ok && index == 0)
                return Fail(l, "string index 0 is the language list, not a string");
            if (ok && device.strings.count(index))
                return Fail(l, "string " + std::to_string(index) + " given twice");
            device.strings[index] = std::move(descriptor);
        } else if (k == "driver-key") {
            ok = Text(l, device.driverKey);
        } else if (k == "description") {
            std::u16string text;
            ok = Text(l, text);
            device.driverDesc = std::move(text);
        } else if (k == "fails") {
            bool unreadable = false;
            ok = Switches(l, {{"driver-key", &device.driverKeyFails}, {"node-driver", &unreadable}},
                          true);
            device.nodeDriverReadable = !unreadable;
        } else if (k == "missing") {
            bool noClassKey = false, noDescription = false;
            ok = Switches(l, {{"class-key", &noClassKey}, {"description", &noDescription}}, true);
            device.classKeyPresent = !noClassKey;
            if (noDescription)
                device.driverDesc.reset();
        } else {
            return Unknown(l, "a device");
        }
        if (!ok)
            return false;
    }
    if (!device.driverDesc && std::find(seen.begin(), seen.end(), "description") != seen.end())
        return Fail(node.line, "a device's description is both given and missing");
    const std::uint8_t indexes[3] = {device.iManufacturer, device.iProduct, device.iSerialNumber};
    for (int i = 0; i < 3; ++i) {
        if (!named[i])
            continue;
        if (indexes[i] == 0)
            return Fail(node.line, "a string is given for an index of 0");
        if (device.strings.count(indexes[i]))
            return Fail(node.line, "string " + std::to_string(indexes[i]) + " given twice");
        device.strings[indexes[i]] = std::move(*named[i]);
    }
    return true;
}

bool Parser::Port(const Node& node, UsbHub& hub, std::vector<bool>& listed) {
    // port N empty|fails|device|hub [status N]
    const Line& line = node.line;
    if (!Count(line, 2, 4))
        return false;
    std::size_t number = 0;
    if (!Value(line, 0, number, false, 255))
        return false;
    if (number == 0)
        return Fail(line, "ports are numbered from 1");
    if (listed.size() < number)
        listed.resize(number);
    if (listed[number - 1])
        return Fail(line, "port " + std::to_string(number) + " is described twice");
    listed[number - 1] = true;
    if (hub.ports.size() < number)
        hub.ports.resize(number);
    UsbPort& port = hub.ports[number - 1];
    static constexpr Word kKinds[] = {{"empty", 0}, {"fails", 1}, {"device", 2}, {"hub", 3}};
    std::uint64_t kind = 0;
    if (!Choice(line, line.args[1], kKinds, kind))
        return false;
    if (line.args.size() > 2) {
        if (line.args[2].quoted || line.args[2].text != "status" || line.args.size() != 4)
            return Fail(line, "after the port's kind only 'status N' may follow");
        std::uint32_t status = 0;
        if (!Value(line, 3, status))
            return false;
        port.status = status;
    }
    switch (kind) {
        case 0:
        case 1:
            port.connectionFails = kind == 1;
            return NoChildren(node);
        case 2:
            port.device.emplace();
            return Device(node, *port.device);
        default:
            port.hub = Boxed<UsbHub>(UsbHub{});
            return Hub(node, *port.hub, false);
    }
}

bool Parser::Hub(const Node& node, UsbHub& hub, bool root) {
    std::vector<std::string> seen;
    std::vector<bool> listed;
    std::optional<std::size_t> declared;
    const Line* declaredAt = nullptr;
    for (const Node& child : node.children) {
        const Line& l = child.line;
        if (l.key == "port") {
            if (!Port(child, hub, listed))
                return false;
            continue;
        }
        if (!Once(seen, l) || !NoChildren(child))
            return false;
        bool ok = true;
        const std::string& k = l.key;
        if (k == "ports") {
            std::size_t count = 0;
            ok = Single(l, count, false, 255);
            declared = count;
            declaredAt = &l;
        } else if (k == "reported-ports") {
            std::uint8_t count = 0;
            ok = Single(l, count);
            hub.reportedPorts = count;
        } else if (k == "name") {
            ok = Text(l, hub.symbolicName);
        } else if (k == "description") {
            std::u16string text;
            ok = Text(l, text);
            hub.deviceDesc = std::move(text);
        } else if (k == "bus-powered") {
            static constexpr Word kYesNo[] = {{"yes", 1}, {"no", 0}};
            std::uint64_t yes = 0;
            ok = Count(l, 1, 1) && Choice(l, l.args[0], kYesNo, yes);
            hub.busPowered = yes != 0;
        } else if (!root && k == "driver-key") {
            ok = Text(l, hub.driverKey);
        } else if (!root && k == "vid") {
            ok = Single(l, hub.vendorId, true);
        } else if (!root && k == "pid") {
            ok = Single(l, hub.productId, true);
        } else if (k == "fails") {
            ok = Switches(l, {{"name", &hub.nameFails}, {"node-info", &hub.nodeInformationFails}},
                          true);
        } else if (k == "missing") {
            bool noKey = false, noDescription = false;
            ok = Switches(l, {{"enum-key", &noKey}, {"description", &noDescription}}, true);
            hub.enumKeyPresent = !noKey;
            if (noDescription)
                hub.deviceDesc.reset();
        } else {
            return Unknown(l, root ? "a root hub" : "a hub");
        }
        if (!ok)
            return false;
    }
    if (declared) {
        if (hub.ports.size() > *declared)
            return Fail(*declaredAt, "the hub has port " + std::to_string(hub.ports.size()) +
                                         " but only " + std::to_string(*declared) + " ports");
        hub.ports.resize(*declared);
    }
    return true;
}

bool Parser::Controller(const Node& node, UsbController& controller) {
    std::vector<std::string> seen;
    for (const Node& child : node.children) {
        const Line& l = child.line;
        if (!Once(seen, l))
            return false;
        if (l.key == "root-hub") {
            if (!Count(l, 0, 0) || !Hub(child, controller.rootHub, true))
                return false;
            continue;
        }
        if (!NoChildren(child))
            return false;
        bool ok = true;
        const std::string& k = l.key;
        if (k == "path") {
            ok = Text(l, controller.interfacePath);
        } else if (k == "driver-key") {
            ok = Text(l, controller.driverKey);
        } else if (k == "description") {
            std::u16string text;
            ok = Text(l, text);
            controller.driverDesc = std::move(text);
        } else if (k == "fails") {
            bool open = false;
            ok = Switches(l,
                          {{"open", &open},
                           {"driver-key", &controller.driverKeyFails},
                           {"detail", &controller.detailFails}},
                          true);
            controller.opens = !open;
        } else if (k == "missing") {
            bool noKey = false, noDescription = false;
            ok = Switches(l, {{"class-key", &noKey}, {"description", &noDescription}}, true);
            controller.classKeyPresent = !noKey;
            if (noDescription)
                controller.driverDesc.reset();
        } else {
            return Unknown(l, "a controller");
        }
        if (!ok)
            return false;
    }
    return true;
}

bool Parser::Station(const Node& root, StationDescription& out) {
    out_ = &out;
    std::vector<std::string> seen;
    for (const Node& child : root.children) {
        const Line& l = child.line;
        if (l.key == "controller") {
            UsbController controller;
            // The root hub has no ports until the file gives some.
            if (!Count(l, 0, 0) || !Controller(child, controller))
                return false;
            out.machine.controllers.push_back(std::move(controller));
            continue;
        }
        if (l.key == "disk") {
            out.machine.otherDisks.emplace_back();
            if (!Disk(child, out.machine.otherDisks.back()))
                return false;
            continue;
        }
        if (!Once(seen, l) || !NoChildren(child))
            return false;
        if (l.key == "code-page") {
            static constexpr Word kPages[] = {{"1252", 1252}, {"28591", 28591}, {"65001", 65001}};
            std::uint64_t page = 0;
            if (!Count(l, 1, 1) || !Choice(l, l.args[0], kPages, page))
                return false;
            out.codePage = static_cast<unsigned>(page);
        } else if (l.key == "lang-id") {
            if (!Single(l, out.machine.langId, true))
                return false;
        } else {
            return Unknown(l, "the station");
        }
    }
    return true;
}

StationFileResult Result(const Errors& errors) {
    StationFileResult result;
    result.ok = !errors.Failed();
    result.error = errors.Message();
    result.line = errors.LineNumber();
    return result;
}

}  // namespace

StationFileResult ParseStation(std::string_view text, const std::filesystem::path& folder,
                               StationDescription& out) {
    Errors errors;
    Node root;
    StationDescription parsed;
    if (ReadTree(text, root, errors))
        Parser(folder, errors).Station(root, parsed);
    if (!errors.Failed())
        out = std::move(parsed);
    return Result(errors);
}

StationFileResult ReadStationFile(const std::filesystem::path& file, StationDescription& out) {
    constexpr std::uintmax_t kMaxSize = 4u << 20;  // a station is a few kilobytes
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    if (ec || !in || size > kMaxSize) {
        StationFileResult result;
        const std::u8string name = file.u8string();
        result.error = (ec || !in ? "cannot read the station file " : "too large a station file ") +
                       std::string(name.begin(), name.end());
        return result;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return ParseStation(text, file.parent_path(), out);
}

void InstallStation(const StationDescription& description) {
    Station& station = Station::Get();
    station.Reset();
    station.SetAnsiCodePage(description.codePage);
    for (const auto& [number, answers] : description.answers) {
        VirtualDisk& disk = station.AddDisk(number);
        disk.identification = answers.identification;
        disk.block = answers.block;
        disk.script = answers.script;
    }
    station.Usb().SetMachine(description.machine);
}

StationFileResult LoadStationFile(const std::filesystem::path& file) {
    StationDescription description;
    StationFileResult result = ReadStationFile(file, description);
    if (result.ok)
        InstallStation(description);
    return result;
}

}  // namespace sim
