#include "platform/sim/station_file.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
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
struct Errors {
    StationFileResult result{true, 0, {}};

    bool Fail(int line, std::string message) {
        if (result.ok)
            result = {false, line, "line " + std::to_string(line) + ": " + std::move(message)};
        return false;
    }
    bool Failed() const { return !result.ok; }
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

template <class Entries>
std::string Names(const Entries& entries) {
    std::string names;
    for (const auto& e : entries)
        names += (names.empty() ? "" : ", ") + std::string(e.name);
    return names;
}

class Parser;

// How a key's lines come: once per owner unless repeatable; a nested key owns the lines
// indented below its own.
enum KeyRule : unsigned { kOnce = 0, kRepeatable = 1, kNested = 2 };

// One key of a kind of node: how its line is read and where the value goes. `C` is what the
// node's lines are read into: the described thing itself, or the thing (its `item`) with what
// its lines gather on the way.
template <class C>
struct Key {
    std::string_view name;
    bool (*read)(Parser&, const Node&, C&);
    unsigned rule = kOnce;

    std::string_view Name() const { return name; }
    bool Read(Parser& parser, const Node& node, C& into) const { return read(parser, node, into); }
};

// One word of a "fails" or "missing" line, and what it does to the described thing.
template <class T>
struct Flag {
    std::string_view name;
    void (*set)(T&);
};

// ---- The controller's answers: the information block's lines ----------------------------

constexpr std::size_t kBlockSize = 1024;
using BlockBytes = std::array<std::uint8_t, kBlockSize>;

// How each block line's value is read; where it lands is the shared layout's (info_block.h).
enum class BlockValue {
    kIndex,     // a list entry's English name or the number itself
    kText,      // bytes up to the field's width
    kNumber,    // decimal, up to what the field holds
    kHex,       // bare digits are hexadecimal
    kName,      // the older layout's bytes, and the newer one's UTF-16 copy
    kFlagBits,  // names of bits, or one number
    kMaster,    // a letter from A, or the number
    kEfsSize,   // the area's size from its start: sectors, or bytes with a suffix
    kBytes,     // raw bytes at an offset, anywhere in the block
};

struct BlockKey {
    const BlockField* field;
    BlockValue value;
    std::span<const Word> names = {};
    const BlockField* wide = nullptr;
    std::string_view key = {};  // when not the field's own
    unsigned rule = kOnce;

    std::string_view Name() const { return key.empty() ? field->key : key; }
    bool Read(Parser& parser, const Node& node, BlockBytes& block) const;
};

// The lines of each kind of node that gather more than their thing: a hub's ports as
// described, a device's named strings until its indexes are known, a disk's answers.
struct StationLines {
    UsbMachine& item;
    unsigned codePage = 1252;
};

struct HubLines {
    UsbHub& item;
    std::set<std::size_t> listed{};  // port numbers
    std::optional<std::size_t> declared{};
};

struct DeviceLines {
    UsbDevice& item;
    std::optional<UsbStringDescriptor> manufacturer{}, product{}, serial{};
};

struct DiskLines {
    UsbDisk& item;
    ControllerAnswers answers{};
};

class Parser {
  public:
    Parser(std::filesystem::path folder, Errors& errors)
        : folder_(std::move(folder)), errors_(errors) {}

    bool Station(const Node& root, StationDescription& out);

    // ---- Values: each false after the error that names its line.

    bool Fail(const Line& line, std::string message) {
        return errors_.Fail(line.number, std::move(message));
    }
    bool NoChildren(const Node& node) {
        if (node.children.empty())
            return true;
        return Fail(node.children.front().line,
                    "'" + node.line.key + "' takes no indented lines below it");
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
            const std::size_t n = t.size() - std::min(t.size(), u.name.size());  // the digits
            if (n > 0 && SameWord(t.substr(n), u.name) && t[n - 1] >= '0' && t[n - 1] <= '9') {
                digits.text.resize(n);
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
        return Fail(line, "'" + token.text + "' is not one of " + Names(words));
    }
    // An entry's name from `words` (never a number), or a number up to `max`.
    bool NameOrNumber(const Line& line, const Token& token, std::span<const Word> words,
                      std::uint64_t max, std::uint64_t& out) {
        if (LooksNumeric(token))
            return Number(line, token, max, out);
        return Choice(line, token, words, out);
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

    // ---- Nodes.

    // A node's lines by the table of its kind. Volumes and blocks refuse lines below a key before
    // a key given twice, the other kinds the other way round: each error keeps its line.
    template <class Keys, class C>
    bool Lines(const Node& node, const Keys& keys, C& into, std::string_view where,
               bool childrenFirst = false) {
        std::vector<std::string_view> seen;
        for (const Node& child : node.children) {
            const Line& l = child.line;
            const auto key = std::find_if(std::begin(keys), std::end(keys),
                                          [&](const auto& k) { return k.Name() == l.key; });
            const bool known = key != std::end(keys);
            const bool nested = known && (key->rule & kNested);
            if (childrenFirst && !nested && !NoChildren(child))
                return false;
            if (!(known && (key->rule & kRepeatable))) {
                if (std::find(seen.begin(), seen.end(), l.key) != seen.end())
                    return Fail(l, "'" + l.key + "' given twice");
                seen.push_back(l.key);
            }
            if (!nested && !NoChildren(child))
                return false;
            if (!known)
                return Fail(l, "unknown key '" + l.key + "' in " + std::string(where));
            if (!key->Read(*this, child, into))
                return false;
        }
        return true;
    }

    bool Controller(const Node& node, UsbController& controller);
    bool Hub(const Node& node, UsbHub& hub);
    bool Port(const Node& node, HubLines& hub);
    bool Device(const Node& node, UsbDevice& device);
    bool Aux(const Node& node, UsbAuxInterface& aux);
    bool StringLine(const Node& node, DeviceLines& device);
    bool NamedString(const Node& node, std::optional<UsbStringDescriptor>& out);
    bool StringDescriptor(const Line& line, std::size_t arg, UsbStringDescriptor& out);
    bool Disk(const Node& node, UsbDisk& disk);
    bool Model(const Node& node, ControllerAnswers& answers);
    bool Volume(const Node& node, UsbVolume& volume);
    bool Block(const Node& node, ControllerAnswers& answers);
    bool BlockFile(const Line& line, BlockBytes& block);
    bool BlockLine(const BlockKey& key, const Line& line, BlockBytes& block);
    bool Name(const Line& line, const BlockField& field, const BlockField& wide, BlockBytes& block);
    bool FlagBits(const Line& line, std::uint64_t& flags);
    bool EfsSize(const Line& line, const BlockBytes& block, std::uint64_t& end);
    bool ReplyLine(const Node& node, ControllerAnswers& answers);

  private:
    std::filesystem::path folder_;
    Errors& errors_;
    StationDescription* out_ = nullptr;
};

bool BlockKey::Read(Parser& parser, const Node& node, BlockBytes& block) const {
    return parser.BlockLine(*this, node.line, block);
}

// ---- How values are read, and where they go --------------------------------------------------

namespace as {

template <class C>
auto& Item(C& into) {
    if constexpr (requires { into.item; })
        return into.item;
    else
        return into;
}

// Where a value goes: a field of what the lines gather, or of the described thing; with no
// field, the whole of it.
template <auto M, class C>
auto& Field(C& into) {
    if constexpr (std::is_null_pointer_v<decltype(M)>)
        return into;
    else if constexpr (std::is_invocable_v<decltype(M), C&>)
        return into.*M;
    else
        return Item(into).*M;
}

// The type of a field, or of what its optional holds.
template <class T, class V>
V Held(V T::*);
template <class T, class V>
V Held(std::optional<V> T::*);
template <auto M>
using ValueOf = decltype(Held(M));
template <auto M>
constexpr std::uint64_t kLimit = std::numeric_limits<ValueOf<M>>::max();

// Text as written: into a string, an optional one, or (a repeatable key) a list of them.
template <auto M, class C>
bool Text(Parser& parser, const Node& node, C& into) {
    std::u16string text;
    if (!parser.Text(node.line, text))
        return false;
    auto& field = Field<M>(into);
    if constexpr (std::is_same_v<ValueOf<M>, std::vector<std::u16string>>)
        field.push_back(std::move(text));
    else
        field = std::move(text);
    return true;
}

// A number up to `kMax`; with `kHex` bare digits are hexadecimal.
template <auto M, std::uint64_t kMax = kLimit<M>, bool kHex = false, class C>
bool Number(Parser& parser, const Node& node, C& into) {
    ValueOf<M> value{};
    if (!parser.Single(node.line, value, kHex, kMax))
        return false;
    Field<M>(into) = value;
    return true;
}

template <auto M, class C>
bool Hex(Parser& parser, const Node& node, C& into) {
    return Number<M, kLimit<M>, true>(parser, node, into);
}

// One of `kWords`; with `kOrNumber` also any number the field holds.
template <auto M, const auto& kWords, bool kOrNumber = false, class C>
bool Choice(Parser& parser, const Node& node, C& into) {
    const Line& line = node.line;
    std::uint64_t value = 0;
    if (!parser.Count(line, 1, 1) ||
        !(kOrNumber ? parser.NameOrNumber(line, line.args[0], kWords, kLimit<M>, value)
                    : parser.Choice(line, line.args[0], kWords, value)))
        return false;
    Field<M>(into) = static_cast<ValueOf<M>>(value);
    return true;
}

template <auto M, class C>
bool Size(Parser& parser, const Node& node, C& into) {
    return parser.Count(node.line, 1, 1) &&
           parser.Size(node.line, node.line.args[0], Field<M>(into));
}

// "fails a b" / "missing a": each word does its part.
template <const auto& kFlags, class C>
bool Flags(Parser& parser, const Node& node, C& into) {
    const Line& line = node.line;
    if (!parser.Count(line, 1, std::size(kFlags)))
        return false;
    for (const auto& arg : line.args) {
        const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags), [&](const auto& f) {
            return !arg.quoted && SameWord(arg.text, f.name);
        });
        if (flag == std::end(kFlags))
            return parser.Fail(
                line, "'" + arg.text + "' after '" + line.key + "' is not one of " + Names(kFlags));
        flag->set(Item(into));
    }
    return true;
}

// What a node function of the parser reads: a nested node, or a line of a kind of its own. A list
// gets a new entry for it.
template <auto kRead, auto M = nullptr, class C>
bool Parsed(Parser& parser, const Node& node, C& into) {
    auto& field = Field<M>(into);
    if constexpr (requires { field.emplace_back(); })
        return (parser.*kRead)(node, field.emplace_back());
    else
        return (parser.*kRead)(node, field);
}

// What a word of a flag list does.
template <auto M, auto kValue, class T>
void Set(T& item) {
    item.*M = kValue;
}
template <auto M, class T>
void Clear(T& item) {
    (item.*M).reset();
}

}  // namespace as

// ---- The tables ------------------------------------------------------------------------------

constexpr Word kOnOff[] = {{"ON", 0}, {"OFF", 1}};
constexpr Word kBlinks[] = {{"Always", 0}, {"Quick", 1}, {"Slow", 2}};
constexpr Word kClocks[] = {{"20MHZ", 0}, {"30MHZ", 1}, {"40MHZ", 2}, {"15MHZ", 3}};
constexpr Word kFlagBits[] = {{"Randomize", 0x04},  {"MultiPlane", 0x08}, {"CacheProgram", 0x10},
                              {"Interleave", 0x20}, {"DualMode", 0x40},   {"none", 0}};

constexpr BlockKey kBlockKeys[] = {
    {&fields::kMagic, BlockValue::kHex},
    {&fields::kLayout, BlockValue::kNumber},
    {&fields::kVid, BlockValue::kHex},
    {&fields::kPid, BlockValue::kHex},
    {&fields::kDiskType, BlockValue::kNumber},
    {&fields::kPartition, BlockValue::kNumber},
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
    {&fields::kEfsStart, BlockValue::kNumber},
    {&fields::kEfsEnd, BlockValue::kNumber},
    {&fields::kEfsEnd, BlockValue::kEfsSize, {}, nullptr, "efs"},
    {&fields::kSleep, BlockValue::kIndex, kOnOff},
    {nullptr, BlockValue::kBytes, {}, nullptr, "bytes", kRepeatable},
};

constexpr Word kCodePages[] = {{"1252", 1252}, {"28591", 28591}, {"65001", 65001}};
constexpr Word kYesNo[] = {{"yes", 1}, {"no", 0}};
constexpr Word kDriveTypes[] = {
    {"unknown", platform::kDriveUnknown},     {"no-root", platform::kDriveNoRootDir},
    {"removable", platform::kDriveRemovable}, {"fixed", platform::kDriveFixed},
    {"remote", platform::kDriveRemote},       {"cdrom", platform::kDriveCdrom},
    {"ramdisk", platform::kDriveRamdisk}};

using as::Clear;
using as::Set;

// Disks and volumes fail alike.
template <class T>
constexpr Flag<T> kStorageFails[] = {{"open", Set<&T::opens, false>},
                                     {"number", Set<&T::numberFails, true>},
                                     {"node-driver", Set<&T::nodeDriverReadable, false>},
                                     {"detail", Set<&T::detailFails, true>}};
// A controller's and a device's class key.
template <class T>
constexpr Flag<T> kClassKeyMissing[] = {{"class-key", Set<&T::classKeyPresent, false>},
                                        {"description", Clear<&T::driverDesc>}};
constexpr Flag<UsbController> kControllerFails[] = {
    {"open", Set<&UsbController::opens, false>},
    {"driver-key", Set<&UsbController::driverKeyFails, true>},
    {"detail", Set<&UsbController::detailFails, true>}};
constexpr Flag<UsbHub> kHubFails[] = {{"name", Set<&UsbHub::nameFails, true>},
                                      {"node-info", Set<&UsbHub::nodeInformationFails, true>}};
constexpr Flag<UsbHub> kHubMissing[] = {{"enum-key", Set<&UsbHub::enumKeyPresent, false>},
                                        {"description", Clear<&UsbHub::deviceDesc>}};
constexpr Flag<UsbDevice> kDeviceFails[] = {
    {"driver-key", Set<&UsbDevice::driverKeyFails, true>},
    {"node-driver", Set<&UsbDevice::nodeDriverReadable, false>}};
constexpr Flag<UsbAuxInterface> kAuxFails[] = {
    {"detail", Set<&UsbAuxInterface::detailFails, true>}};

constexpr Key<StationLines> kStationKeys[] = {
    {"controller", as::Parsed<&Parser::Controller, &UsbMachine::controllers>,
     kRepeatable | kNested},
    {"disk", as::Parsed<&Parser::Disk, &UsbMachine::otherDisks>, kRepeatable | kNested},
    {"code-page", as::Choice<&StationLines::codePage, kCodePages>},
    {"lang-id", as::Hex<&UsbMachine::langId>},
};

constexpr Key<UsbController> kControllerKeys[] = {
    {"root-hub", as::Parsed<&Parser::Hub, &UsbController::rootHub>, kNested},
    {"path", as::Text<&UsbController::interfacePath>},
    {"driver-key", as::Text<&UsbController::driverKey>},
    {"description", as::Text<&UsbController::driverDesc>},
    {"fails", as::Flags<kControllerFails>},
    {"missing", as::Flags<kClassKeyMissing<UsbController>>},
};

// A root hub takes all but the last three.
constexpr Key<HubLines> kHubKeys[] = {
    {"port", as::Parsed<&Parser::Port>, kRepeatable | kNested},
    {"ports", as::Number<&HubLines::declared, 255>},
    {"reported-ports", as::Number<&UsbHub::reportedPorts>},
    {"name", as::Text<&UsbHub::symbolicName>},
    {"description", as::Text<&UsbHub::deviceDesc>},
    {"bus-powered", as::Choice<&UsbHub::busPowered, kYesNo>},
    {"fails", as::Flags<kHubFails>},
    {"missing", as::Flags<kHubMissing>},
    {"driver-key", as::Text<&UsbHub::driverKey>},
    {"vid", as::Hex<&UsbHub::vendorId>},
    {"pid", as::Hex<&UsbHub::productId>},
};

constexpr Key<DeviceLines> kDeviceKeys[] = {
    {"disk", as::Parsed<&Parser::Disk, &UsbDevice::disks>, kRepeatable | kNested},
    {"cdrom", as::Parsed<&Parser::Volume, &UsbDevice::cdromVolumes>, kRepeatable | kNested},
    {"aux", as::Parsed<&Parser::Aux, &UsbDevice::auxInterfaces>, kRepeatable | kNested},
    {"string", as::Parsed<&Parser::StringLine>, kRepeatable},
    {"vid", as::Hex<&UsbDevice::vendorId>},
    {"pid", as::Hex<&UsbDevice::productId>},
    {"bcd-usb", as::Hex<&UsbDevice::bcdUsb>},
    {"class", as::Hex<&UsbDevice::deviceClass>},
    {"speed", as::Number<&UsbDevice::speed, 3>},
    {"pipes", as::Number<&UsbDevice::numberOfOpenPipes, 30>},
    {"manufacturer-index", as::Number<&UsbDevice::iManufacturer>},
    {"product-index", as::Number<&UsbDevice::iProduct>},
    {"serial-index", as::Number<&UsbDevice::iSerialNumber>},
    {"manufacturer", as::Parsed<&Parser::NamedString, &DeviceLines::manufacturer>},
    {"product", as::Parsed<&Parser::NamedString, &DeviceLines::product>},
    {"serial", as::Parsed<&Parser::NamedString, &DeviceLines::serial>},
    {"driver-key", as::Text<&UsbDevice::driverKey>},
    {"description", as::Text<&UsbDevice::driverDesc>},
    {"fails", as::Flags<kDeviceFails>},
    {"missing", as::Flags<kClassKeyMissing<UsbDevice>>},
};

constexpr Key<UsbAuxInterface> kAuxKeys[] = {
    {"path", as::Text<&UsbAuxInterface::interfacePath>},
    {"fails", as::Flags<kAuxFails>},
};

constexpr Key<DiskLines> kDiskKeys[] = {
    {"volume", as::Parsed<&Parser::Volume, &UsbDisk::volumes>, kRepeatable | kNested},
    {"block", as::Parsed<&Parser::Block, &DiskLines::answers>, kNested},
    {"reply", as::Parsed<&Parser::ReplyLine, &DiskLines::answers>, kRepeatable},
    {"model", as::Parsed<&Parser::Model, &DiskLines::answers>},
    {"path", as::Text<&UsbDisk::interfacePath>},
    {"node-driver", as::Text<&UsbDisk::nodeDriver>},
    {"fails", as::Flags<kStorageFails<UsbDisk>>},
};

constexpr Key<UsbVolume> kVolumeKeys[] = {
    {"mount", as::Text<&UsbVolume::mountPaths>, kRepeatable},
    {"type", as::Choice<&UsbVolume::driveType, kDriveTypes, true>},
    {"free", as::Size<&UsbVolume::freeBytes>},
    {"path", as::Text<&UsbVolume::interfacePath>},
    {"name", as::Text<&UsbVolume::volumeName>},
    {"number", as::Number<&UsbVolume::deviceNumber>},
    {"node-driver", as::Text<&UsbVolume::nodeDriver>},
    {"fails", as::Flags<kStorageFails<UsbVolume>>},
};

// ---- The controller's answers ---------------------------------------------------------------

bool Parser::BlockLine(const BlockKey& key, const Line& line, BlockBytes& block) {
    // Fields land in the order written; names go where the layout in force puts them.
    std::uint64_t number = 0;
    switch (key.value) {
        case BlockValue::kBytes: {
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
        case BlockValue::kIndex:
            if (!Count(line, 1, 1) || !NameOrNumber(line, line.args[0], key.names, 0xFF, number))
                return false;
            break;
        case BlockValue::kText: {
            std::string text;
            if (!FieldText(line, key.field->width, text))
                return false;
            PutField(block, *key.field, text);
            return true;
        }
        case BlockValue::kNumber:
        case BlockValue::kHex: {
            const auto kind = key.field->kind;
            const std::uint64_t max = kind == BlockField::kU8      ? 0xFF
                                      : kind == BlockField::kU16Le ? 0xFFFF
                                                                   : 0xFFFFFFFF;
            if (!Single(line, number, key.value == BlockValue::kHex, max))
                return false;
            break;
        }
        case BlockValue::kName:
            return Name(line, *key.field, *key.wide, block);
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
        case BlockValue::kEfsSize:
            if (!EfsSize(line, block, number))
                return false;
            break;
    }
    PutField(block, *key.field, static_cast<std::uint32_t>(number));
    return true;
}

bool Parser::Name(const Line& line, const BlockField& field, const BlockField& wide,
                  BlockBytes& block) {
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

bool Parser::EfsSize(const Line& line, const BlockBytes& block, std::uint64_t& end) {
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
    end = platform::ByteReader(block).At(fields::kEfsStart.offset).U32Be() + sectors;
    if (end > 0xFFFFFFFFu)
        return Fail(line, "the EFS area ends beyond sector 4294967295");
    return true;
}

bool Parser::BlockFile(const Line& line, BlockBytes& block) {
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
    return Lines(node, kBlockKeys, block, "a block", true);
}

bool Parser::ReplyLine(const Node& node, ControllerAnswers& answers) {
    const Line& line = node.line;
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
    if (answers.script.size() + times > 10000)
        return Fail(line, "more than 10000 scripted replies for one disk");
    answers.script.insert(answers.script.end(), times, reply);
    return true;
}

// ---- The USB machine ------------------------------------------------------------------------

bool IsLetter(std::string_view t) {
    return t.size() == 1 && ((t[0] >= 'A' && t[0] <= 'Z') || (t[0] >= 'a' && t[0] <= 'z'));
}

bool Parser::Volume(const Node& node, UsbVolume& volume) {
    const Line& line = node.line;
    const bool cdrom = line.key == "cdrom";
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
    return Lines(node, kVolumeKeys, volume, cdrom ? "a CD-ROM volume" : "a volume", true);
}

bool Parser::Disk(const Node& node, UsbDisk& disk) {
    const Line& line = node.line;
    if (!Single(line, disk.number, false, 999))
        return false;
    if (out_->answers.count(disk.number))
        return Fail(line, "disk " + std::to_string(disk.number) + " is described twice");
    DiskLines lines{disk};
    std::copy_n("RV7730", 6, lines.answers.identification.begin());
    if (!Lines(node, kDiskKeys, lines, "a disk"))
        return false;
    out_->answers.emplace(disk.number, std::move(lines.answers));
    return true;
}

// The identification's first bytes: a text, or "bytes HH ..." for any bytes.
bool Parser::Model(const Node& node, ControllerAnswers& answers) {
    const Line& line = node.line;
    auto& identification = answers.identification;
    std::string model;
    if (!line.args.empty() && !line.args[0].quoted && line.args[0].text == "bytes") {
        std::vector<std::uint8_t> bytes;
        if (!Count(line, 2, 1 + identification.size()) || !HexBytes(line, 1, bytes))
            return false;
        model.assign(bytes.begin(), bytes.end());
    } else if (!FieldText(line, identification.size(), model)) {
        return false;  // a text too long for the field must not reach it
    }
    identification.fill(0);
    std::copy(model.begin(), model.end(), identification.begin());
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

bool Parser::NamedString(const Node& node, std::optional<UsbStringDescriptor>& out) {
    return StringDescriptor(node.line, 0, out.emplace());
}

// "string I S": the descriptor at an index of its own.
bool Parser::StringLine(const Node& node, DeviceLines& lines) {
    const Line& line = node.line;
    UsbDevice& device = lines.item;
    std::uint8_t index = 0;
    UsbStringDescriptor descriptor;
    if (!Count(line, 2, 258) || !Value(line, 0, index) || !StringDescriptor(line, 1, descriptor))
        return false;
    if (index == 0)
        return Fail(line, "string index 0 is the language list, not a string");
    if (device.strings.count(index))
        return Fail(line, "string " + std::to_string(index) + " given twice");
    device.strings[index] = std::move(descriptor);
    return true;
}

bool Parser::Device(const Node& node, UsbDevice& device) {
    DeviceLines lines{device};
    if (!Lines(node, kDeviceKeys, lines, "a device"))
        return false;
    const bool described = std::any_of(node.children.begin(), node.children.end(),
                                       [](const Node& c) { return c.line.key == "description"; });
    if (!device.driverDesc && described)
        return Fail(node.line, "a device's description is both given and missing");
    const std::pair<std::uint8_t, std::optional<UsbStringDescriptor>*> named[] = {
        {device.iManufacturer, &lines.manufacturer},
        {device.iProduct, &lines.product},
        {device.iSerialNumber, &lines.serial}};
    for (const auto& [index, string] : named) {
        if (!*string)
            continue;
        if (index == 0)
            return Fail(node.line, "a string is given for an index of 0");
        if (device.strings.count(index))
            return Fail(node.line, "string " + std::to_string(index) + " given twice");
        device.strings[index] = std::move(**string);
    }
    return true;
}

bool Parser::Aux(const Node& node, UsbAuxInterface& aux) {
    const Line& line = node.line;
    if (!Count(line, 0, 1))
        return false;
    if (!line.args.empty() && (line.args[0].quoted || line.args[0].text != "on-device"))
        return Fail(line, "'aux' is followed by nothing or 'on-device'");
    aux.onDeviceNode = !line.args.empty();
    return Lines(node, kAuxKeys, aux, "an auxiliary interface");
}

bool Parser::Port(const Node& node, HubLines& hub) {
    // port N empty|fails|device|hub [status N]
    const Line& line = node.line;
    if (!Count(line, 2, 4))
        return false;
    std::size_t number = 0;
    if (!Value(line, 0, number, false, 255))
        return false;
    if (number == 0)
        return Fail(line, "ports are numbered from 1");
    if (!hub.listed.insert(number).second)
        return Fail(line, "port " + std::to_string(number) + " is described twice");
    if (hub.item.ports.size() < number)
        hub.item.ports.resize(number);
    UsbPort& port = hub.item.ports[number - 1];
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
            return Hub(node, *port.hub);
    }
}

bool Parser::Hub(const Node& node, UsbHub& hub) {
    const bool root = node.line.key == "root-hub";
    if (root && !Count(node.line, 0, 0))
        return false;
    HubLines lines{hub};
    const std::span<const Key<HubLines>> keys = kHubKeys;
    if (!(root ? Lines(node, keys.first(keys.size() - 3), lines, "a root hub")
               : Lines(node, keys, lines, "a hub")))
        return false;
    if (lines.declared) {
        const auto ports = std::find_if(node.children.begin(), node.children.end(),
                                        [](const Node& c) { return c.line.key == "ports"; });
        if (hub.ports.size() > *lines.declared)
            return Fail(ports->line, "the hub has port " + std::to_string(hub.ports.size()) +
                                         " but only " + std::to_string(*lines.declared) + " ports");
        hub.ports.resize(*lines.declared);
    }
    return true;
}

bool Parser::Controller(const Node& node, UsbController& controller) {
    // The root hub has no ports until the file gives some.
    return Count(node.line, 0, 0) && Lines(node, kControllerKeys, controller, "a controller");
}

bool Parser::Station(const Node& root, StationDescription& out) {
    out_ = &out;
    StationLines lines{out.machine};
    if (!Lines(root, kStationKeys, lines, "the station"))
        return false;
    out.codePage = lines.codePage;
    return true;
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
    return errors.result;
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
