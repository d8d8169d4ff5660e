#include "tools/rcgen/rc_parser.h"

#include <algorithm>
#include <array>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "platform/resource_names.h"

namespace rcgen {

namespace {

// Stops the parse; caught in Parse() and turned into the result's error.
struct Failure {
    std::string message;
};

struct NameValue {
    std::string_view name;
    std::uint32_t value;
};
#define TAVRIN_RCGEN_ENTRY(name, value) {#name, static_cast<std::uint32_t>(value)},
constexpr NameValue kNames[] = {TAVRIN_RESOURCE_NAMES(TAVRIN_RCGEN_ENTRY)};
#undef TAVRIN_RCGEN_ENTRY

// A name's value at compile time; a name not in the list does not compile.
consteval std::uint32_t N(std::string_view name) {
    for (const NameValue& n : kNames) {
        if (n.name == name)
            return n.value;
    }
    throw "not a resource name";
}

constexpr std::uint32_t kWsChild = N("WS_CHILD");
constexpr std::uint32_t kWsVisible = N("WS_VISIBLE");
constexpr std::uint32_t kWsCaption = N("WS_CAPTION");
constexpr std::uint32_t kDsSetFont = N("DS_SETFONT");
constexpr std::uint16_t kDefaultLanguage = 0x0409;  // windres's, without a LANGUAGE statement
constexpr int kMaxIncludeDepth = 64;
constexpr int kMaxMacroDepth = 64;

bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Strict UTF-8: the Windows builds read the same bytes with code page 65001.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes) {
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        char32_t cp = 0;
        int extra = 0;
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (extra > 0 && i + static_cast<std::size_t>(extra) >= bytes.size())
            return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// ---- Tokens ------------------------------------------------------------------------------------

struct Token {
    enum Kind { End, Number, Name, String, Punct } kind = End;
    std::string text;     // Name: the identifier; String: the bytes; Punct: the character
    std::u16string wide;  // L"..." strings
    bool isWide = false;  // String written L"..."
    std::uint32_t value = 0;
    bool isLong = false;  // Number with an L suffix: a 32-bit item in raw data
    std::shared_ptr<const std::string> file;
    int line = 0;
    int depth = 0;          // of macro expansion
    unsigned codePage = 0;  // in force where the token was read

    bool Is(char punct) const { return kind == Punct && text.size() == 1 && text[0] == punct; }
    bool IsName(std::string_view name) const { return kind == Name && text == name; }
};

std::string Where(const Token& t) {
    return (t.file ? *t.file : std::string("?")) + ":" + std::to_string(t.line);
}

[[noreturn]] void Fail(const Token& at, const std::string& message) {
    throw Failure{Where(at) + ": " + message};
}

// Lexes one token from `text` at `pos` (spaces and comments already skipped). Strings are decoded
// as windres decodes them: C escapes, and "" for a quote.
Token LexToken(const std::string& text, std::size_t& pos, const Token& where) {
    Token t = where;
    const char c = text[pos];
    const bool wideString = c == 'L' && pos + 1 < text.size() && text[pos + 1] == '"';
    if (IsIdentStart(c) && !wideString) {
        const std::size_t start = pos;
        while (pos < text.size() && IsIdentChar(text[pos]))
            ++pos;
        t.kind = Token::Name;
        t.text = text.substr(start, pos - start);
        return t;
    }
    if (IsDigit(c)) {
        const std::size_t start = pos;
        while (pos < text.size() && IsIdentChar(text[pos]))
            ++pos;
        std::string digits = text.substr(start, pos - start);
        while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                                   digits.back() == 'U' || digits.back() == 'u')) {
            if (digits.back() == 'L' || digits.back() == 'l')
                t.isLong = true;
            digits.pop_back();
        }
        const bool hex =
            digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        std::uint64_t value = 0;
        for (std::size_t i = hex ? 2 : 0; i < digits.size(); ++i) {
            const int d = HexValue(digits[i]);
            if (d < 0 || (!hex && d > 9))
                Fail(t, "malformed number '" + text.substr(start, pos - start) + "'");
            value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
            if (value > 0xFFFFFFFFu)
                Fail(t, "number out of range: " + text.substr(start, pos - start));
        }
        if (digits.empty() || (hex && digits.size() == 2))
            Fail(t, "malformed number '" + text.substr(start, pos - start) + "'");
        t.kind = Token::Number;
        t.value = static_cast<std::uint32_t>(value);
        return t;
    }
    if (c == '"' || wideString) {
        t.kind = Token::String;
        t.isWide = wideString;
        pos += wideString ? 2 : 1;
        std::u16string units;  // L"..." as units, "..." as bytes
        for (;;) {
            if (pos >= text.size() || text[pos] == '\n')
                Fail(t, "unterminated string");
            const char ch = text[pos++];
            if (ch == '"') {
                if (pos < text.size() && text[pos] == '"') {
                    units += u'"';
                    ++pos;
                    continue;
                }
                break;
            }
            if (ch != '\\') {
                if (wideString && static_cast<unsigned char>(ch) >= 0x80)
                    Fail(t,
                         "non-ASCII text in an L\"...\" string: windres garbles it; write a "
                         "narrow string under #pragma code_page(65001)");
                units += static_cast<char16_t>(static_cast<unsigned char>(ch));
                continue;
            }
            if (pos >= text.size())
                Fail(t, "unterminated string");
            const char e = text[pos++];
            const std::uint32_t limit = wideString ? 0xFFFF : 0xFF;
            switch (e) {
                case 'a':
                    units += u'\a';
                    break;
                case 'b':
                    units += u'\b';
                    break;
                case 'f':
                    units += u'\f';
                    break;
                case 'n':
                    units += u'\n';
                    break;
                case 'r':
                    units += u'\r';
                    break;
                case 't':
                    units += u'\t';
                    break;
                case 'v':
                    units += u'\v';
                    break;
                case '\\':
                    units += u'\\';
                    break;
                case '"':
                    units += u'"';
                    break;
                case '\'':
                    units += u'\'';
                    break;
                case 'x': {
                    std::uint32_t v = 0;
                    int n = 0;
                    while (pos < text.size() && HexValue(text[pos]) >= 0 &&
                           n < (wideString ? 4 : 2)) {
                        v = v * 16 + static_cast<std::uint32_t>(HexValue(text[pos++]));
                        ++n;
                    }
                    if (n == 0)
                        Fail(t, "\\x without hex digits");
                    units += static_cast<char16_t>(v & limit);
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        std::uint32_t v = static_cast<std::uint32_t>(e - '0');
                        for (int n = 1;
                             n < 3 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7';
                             ++n)
                            v = v * 8 + static_cast<std::uint32_t>(text[pos++] - '0');
                        if (v > limit)
                            Fail(t, "octal escape out of range");
                        units += static_cast<char16_t>(v);
                        break;
                    }
                    Fail(t, std::string("unknown escape sequence \\") + e);
            }
        }
        if (wideString) {
            t.wide = std::move(units);
        } else {
            for (char16_t u : units)
                t.text += static_cast<char>(u);
        }
        return t;
    }
    static constexpr std::string_view kPunct = ",|()+-*/%&^~={}";
    if (kPunct.find(c) != std::string_view::npos) {
        t.kind = Token::Punct;
        t.text = std::string(1, c);
        ++pos;
        return t;
    }
    Fail(t, std::string("unexpected character '") + c + "'");
}

// ---- Preprocessing reader ----------------------------------------------------------------------
//
// What cpp does for windres, as far as our scripts need it: #include of our own files (system
// headers in angle brackets are left out: their names are built in), object-like #define,
// #undef, #ifdef/#ifndef/#else/#endif, #pragma once and #pragma code_page.

class Reader {
  public:
    Reader(const Options& options, std::vector<std::string>& files)
        : options_(options), files_(files) {}

    void Open(const std::string& path, const Token& from) {
        Push(path, from);
        masterDir_ = std::filesystem::path(path).parent_path().string();
    }

    // Reads a file that a resource names (icon, manifest): beside the master script, then in the
    // include directories, as windres looks for them.
    std::string ReadResourceFile(const std::string& name, const Token& at) {
        std::vector<std::string> dirs{masterDir_};
        dirs.insert(dirs.end(), options_.includeDirs.begin(), options_.includeDirs.end());
        for (const std::string& dir : dirs) {
            const std::string path =
                (std::filesystem::path(dir) / name).lexically_normal().string();
            if (auto bytes = options_.read(path)) {
                Note(path);
                return *bytes;
            }
        }
        Fail(at, "cannot find file '" + name + "'");
    }

    Token Next() {
        for (;;) {
            Token t;
            if (!pending_.empty()) {
                t = std::move(pending_.front());
                pending_.pop_front();
            } else {
                t = NextRaw();
            }
            if (t.kind == Token::Name) {
                auto macro = macros_.find(t.text);
                if (macro != macros_.end()) {
                    if (t.depth >= kMaxMacroDepth)
                        Fail(t, "macro '" + t.text + "' expands into itself");
                    for (auto it = macro->second.rbegin(); it != macro->second.rend(); ++it) {
                        Token e = *it;
                        e.file = t.file;
                        e.line = t.line;
                        e.depth = t.depth + 1;
                        e.codePage = t.codePage;
                        pending_.push_front(std::move(e));
                    }
                    continue;
                }
            }
            return t;
        }
    }

  private:
    struct Condition {
        bool active;  // this branch is read
        bool outerActive;
        bool seenElse;
    };
    struct Frame {
        std::shared_ptr<const std::string> path;
        std::string text;
        std::size_t pos = 0;
        int line = 1;
        bool lineStart = true;
        std::size_t conditionDepth = 0;  // conditions_ size when the file began
    };

    void Note(const std::string& path) {
        if (std::find(files_.begin(), files_.end(), path) == files_.end())
            files_.push_back(path);
    }

    void Push(const std::string& path, const Token& from) {
        if (onceFiles_.count(path))
            return;
        if (frames_.size() >= kMaxIncludeDepth)
            Fail(from, "#include nested too deeply");
        auto bytes = options_.read(path);
        if (!bytes)
            Fail(from, "cannot read '" + path + "'");
        Note(path);
        Frame f;
        f.path = std::make_shared<const std::string>(path);
        f.text = std::move(*bytes);
        f.conditionDepth = conditions_.size();
        frames_.push_back(std::move(f));
    }

    bool Active() const { return conditions_.empty() || conditions_.back().active; }

    bool Defined(const std::string& name) const {
        return macros_.count(name) || name == "RC_INVOKED" || LookupName(name).has_value();
    }

    Token Here(const Frame& f) const {
        Token t;
        t.file = f.path;
        t.line = f.line;
        return t;
    }

    // Skips spaces and comments within the frame, counting lines; stops at a newline.
    void SkipBlanks(Frame& f) {
        while (f.pos < f.text.size()) {
            const char c = f.text[f.pos];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++f.pos;
            } else if (c == '\\' && f.pos + 1 < f.text.size() && f.text[f.pos + 1] == '\n') {
                f.pos += 2;
                ++f.line;
            } else if (c == '/' && f.pos + 1 < f.text.size() && f.text[f.pos + 1] == '/') {
                while (f.pos < f.text.size() && f.text[f.pos] != '\n')
                    ++f.pos;
            } else if (c == '/' && f.pos + 1 < f.text.size() && f.text[f.pos + 1] == '*') {
                const Token start = Here(f);
                const std::size_t end = f.text.find("*/", f.pos + 2);
                if (end == std::string::npos)
                    Fail(start, "unterminated comment");
                f.line +=
                    static_cast<int>(std::count(f.text.begin() + static_cast<long>(f.pos),
                                                f.text.begin() + static_cast<long>(end), '\n'));
                f.pos = end + 2;
            } else {
                return;
            }
        }
    }

    Token NextRaw() {
        while (!frames_.empty()) {
            Frame& f = frames_.back();
            SkipBlanks(f);
            if (f.pos >= f.text.size()) {
                if (conditions_.size() != f.conditionDepth)
                    Fail(Here(f), "#ifdef without #endif");
                lastFile_ = f.path;
                lastLine_ = f.line;
                frames_.pop_back();
                continue;
            }
            const char c = f.text[f.pos];
            if (c == '\n') {
                ++f.pos;
                ++f.line;
                f.lineStart = true;
                continue;
            }
            if (f.lineStart && c == '#') {
                Directive(f);  // may push a frame: f is not used after this
                continue;
            }
            f.lineStart = false;
            if (!Active()) {
                // Skipped text: only its lines matter.
                while (f.pos < f.text.size() && f.text[f.pos] != '\n')
                    ++f.pos;
                continue;
            }
            Token here = Here(f);
            here.codePage = codePage_;
            return LexToken(f.text, f.pos, here);
        }
        Token end;
        end.kind = Token::End;
        end.file = lastFile_;
        end.line = lastLine_;
        return end;
    }

    // Reads a directive line (with continuations, comments dropped) and acts on it.
    void Directive(Frame& f) {
        const Token at = Here(f);
        std::string line;
        ++f.pos;  // '#'
        while (f.pos < f.text.size() && f.text[f.pos] != '\n') {
            const char c = f.text[f.pos];
            if (c == '\\' && f.pos + 1 < f.text.size() &&
                (f.text[f.pos + 1] == '\n' ||
                 (f.text[f.pos + 1] == '\r' && f.pos + 2 < f.text.size() &&
                  f.text[f.pos + 2] == '\n'))) {
                f.pos += f.text[f.pos + 1] == '\r' ? 3 : 2;
                ++f.line;
                line += ' ';
            } else if (c == '/' && f.pos + 1 < f.text.size() && f.text[f.pos + 1] == '/') {
                while (f.pos < f.text.size() && f.text[f.pos] != '\n')
                    ++f.pos;
            } else if (c == '/' && f.pos + 1 < f.text.size() && f.text[f.pos + 1] == '*') {
                SkipBlanks(f);
                line += ' ';
            } else if (c == '"') {
                // Copied whole: a quoted path may hold "//".
                const std::size_t end = f.text.find_first_of("\"\n", f.pos + 1);
                const std::size_t stop =
                    end == std::string::npos ? f.text.size() : end + (f.text[end] == '"');
                line += f.text.substr(f.pos, stop - f.pos);
                f.pos = stop;
            } else {
                line += c;
                ++f.pos;
            }
        }

        std::size_t p = 0;
        auto skipSpace = [&] {
            while (p < line.size() && (line[p] == ' ' || line[p] == '\t' || line[p] == '\r'))
                ++p;
        };
        auto word = [&] {
            skipSpace();
            const std::size_t start = p;
            while (p < line.size() && IsIdentChar(line[p]))
                ++p;
            return line.substr(start, p - start);
        };
        const std::string name = word();
        const bool active = Active();

        if (name == "ifdef" || name == "ifndef") {
            const std::string macro = word();
            if (macro.empty())
                Fail(at, "#" + name + " without a name");
            const bool defined = Defined(macro);
            conditions_.push_back(
                {active && (name == "ifdef" ? defined : !defined), active, false});
            return;
        }
        if (name == "else") {
            if (conditions_.size() <= frames_.back().conditionDepth || conditions_.back().seenElse)
                Fail(at, "#else without #ifdef");
            Condition& c = conditions_.back();
            c.active = c.outerActive && !c.active;
            c.seenElse = true;
            return;
        }
        if (name == "endif") {
            if (conditions_.size() <= frames_.back().conditionDepth)
                Fail(at, "#endif without #ifdef");
            conditions_.pop_back();
            return;
        }
        if (name == "if" || name == "elif") {
            // Inside skipped text a whole #if group is skipped; elsewhere it is not ours to read.
            const bool skipped = name == "if"
                                     ? !active
                                     : conditions_.size() > frames_.back().conditionDepth &&
                                           !conditions_.back().outerActive;
            if (!skipped)
                Fail(at, "#" + name + " is not supported: use #ifdef or #ifndef");
            if (name == "if")
                conditions_.push_back({false, false, false});
            return;
        }
        if (!active)
            return;
        if (name.empty()) {
            skipSpace();
            if (p < line.size())
                Fail(at, "unknown directive");
            return;
        }
        if (name == "include") {
            skipSpace();
            if (p < line.size() && line[p] == '<')
                return;  // a system header: its names are built in
            if (p >= line.size() || line[p] != '"')
                Fail(at, "#include expects \"file\"");
            const std::size_t end = line.find('"', p + 1);
            if (end == std::string::npos)
                Fail(at, "#include expects \"file\"");
            Include(line.substr(p + 1, end - p - 1), at);
            return;
        }
        if (name == "define") {
            const std::string macro = word();
            if (macro.empty())
                Fail(at, "#define without a name");
            if (p < line.size() && line[p] == '(')
                Fail(at, "function-like macros are not supported: " + macro);
            std::vector<Token> body;
            for (;;) {
                skipSpace();
                if (p >= line.size())
                    break;
                body.push_back(LexToken(line, p, at));
            }
            macros_[macro] = std::move(body);
            return;
        }
        if (name == "undef") {
            macros_.erase(word());
            return;
        }
        if (name == "pragma") {
            const std::string pragma = word();
            if (pragma == "once") {
                onceFiles_.insert(*frames_.back().path);
            } else if (pragma == "code_page") {
                const std::size_t open = line.find('(', p);
                const std::size_t close = line.find(')', p);
                std::string value = open < close && close != std::string::npos
                                        ? line.substr(open + 1, close - open - 1)
                                        : std::string();
                value.erase(0, value.find_first_not_of(" \t"));
                value.erase(value.find_last_not_of(" \t") + 1);
                if (value != "65001")
                    Fail(at, "only #pragma code_page(65001) (UTF-8) is supported");
                codePage_ = 65001;
            }
            return;  // other pragmas mean nothing here, as to cpp
        }
        if (name == "error") {
            skipSpace();
            Fail(at, "#error " + line.substr(p));
        }
        Fail(at, "unsupported directive #" + name);
    }

    void Include(const std::string& name, const Token& at) {
        std::vector<std::string> dirs{
            std::filesystem::path(*frames_.back().path).parent_path().string()};
        dirs.insert(dirs.end(), options_.includeDirs.begin(), options_.includeDirs.end());
        for (const std::string& dir : dirs) {
            const std::string path =
                (std::filesystem::path(dir) / name).lexically_normal().string();
            if (options_.read(path)) {
                Push(path, at);
                return;
            }
        }
        Fail(at, "cannot find include file '" + name + "'");
    }

    const Options& options_;
    std::vector<std::string>& files_;
    std::vector<Frame> frames_;
    std::vector<Condition> conditions_;
    std::map<std::string, std::vector<Token>> macros_;
    std::set<std::string> onceFiles_;
    std::deque<Token> pending_;
    std::string masterDir_;
    unsigned codePage_ = 0;  // 0: not set, which windres reads as its default ANSI code page
    std::shared_ptr<const std::string> lastFile_;
    int lastLine_ = 0;
};

// ---- Parser ------------------------------------------------------------------------------------

struct Number {
    std::uint32_t value = 0;
    bool isLong = false;
};

// A typed control statement: windres (2.40, as checked) uses `defaultStyle` when no style is
// written and starts a written style from `baseStyle` (so `LTEXT ..., SS_NOTIFY` has no WS_GROUP).
struct ControlKind {
    std::string_view keyword;
    std::u16string_view className;
    std::uint32_t defaultStyle;
    std::uint32_t baseStyle;
    bool hasText;
};
constexpr std::uint32_t kTab = N("WS_TABSTOP");
constexpr std::uint32_t kGroup = N("WS_GROUP");
constexpr ControlKind kControlKinds[] = {
    {"AUTO3STATE", u"Button", N("BS_AUTO3STATE") | kTab, N("BS_AUTO3STATE"), true},
    {"AUTOCHECKBOX", u"Button", N("BS_AUTOCHECKBOX") | kTab, N("BS_AUTOCHECKBOX") | kTab, true},
    {"AUTORADIOBUTTON", u"Button", N("BS_AUTORADIOBUTTON") | kTab, N("BS_AUTORADIOBUTTON"), true},
    {"CHECKBOX", u"Button", N("BS_CHECKBOX") | kTab, N("BS_CHECKBOX") | kTab, true},
    {"COMBOBOX", u"ComboBox", N("CBS_SIMPLE") | kTab, 0, false},
    {"CTEXT", u"Static", N("SS_CENTER") | kGroup, N("SS_CENTER"), true},
    {"DEFPUSHBUTTON", u"Button", N("BS_DEFPUSHBUTTON") | kTab, N("BS_DEFPUSHBUTTON") | kTab, true},
    {"EDITTEXT", u"Edit", N("ES_LEFT") | N("WS_BORDER") | kTab,
     N("ES_LEFT") | N("WS_BORDER") | kTab, false},
    {"GROUPBOX", u"Button", N("BS_GROUPBOX"), N("BS_GROUPBOX"), true},
    {"LISTBOX", u"ListBox", N("LBS_NOTIFY") | N("WS_BORDER"), N("LBS_NOTIFY") | N("WS_BORDER"),
     false},
    {"LTEXT", u"Static", N("SS_LEFT") | kGroup, N("SS_LEFT"), true},
    {"PUSHBUTTON", u"Button", N("BS_PUSHBUTTON") | kTab, N("BS_PUSHBUTTON") | kTab, true},
    {"RADIOBUTTON", u"Button", N("BS_RADIOBUTTON") | kTab, N("BS_RADIOBUTTON"), true},
    {"RTEXT", u"Static", N("SS_RIGHT") | kGroup, N("SS_RIGHT"), true},
    {"SCROLLBAR", u"ScrollBar", N("SBS_HORZ"), 0, false},
    {"STATE3", u"Button", N("BS_3STATE") | kTab, N("BS_3STATE"), true},
};

// The predefined classes, by the ordinal a dialog template stores for them.
constexpr std::pair<std::uint32_t, std::u16string_view> kClassOrdinals[] = {
    {0x80, u"Button"},  {0x81, u"Edit"},      {0x82, u"Static"},
    {0x83, u"ListBox"}, {0x84, u"ScrollBar"}, {0x85, u"ComboBox"},
};

constexpr std::string_view kMemoryFlags[] = {"MOVEABLE", "FIXED",      "PURE",       "IMPURE",
                                             "PRELOAD",  "LOADONCALL", "DISCARDABLE"};

struct ResourceId {
    bool named = false;
    std::uint32_t number = 0;
    std::string name;
};

template <class T>
struct Located {
    T item;
    Token where;
};

class Parser {
  public:
    Parser(const Options& options, Resources& out) : options_(options), out_(out) {}

    void Script(const std::string& path) {
        Reader reader(options_, out_.files);
        reader_ = &reader;
        language_ = kDefaultLanguage;
        Token from;
        from.file = std::make_shared<const std::string>(path);
        reader.Open(path, from);
        while (Peek().kind != Token::End) {
            if (Peek().IsName("LANGUAGE")) {
                Next();
                language_ = Language();
            } else if (Peek().IsName("STRINGTABLE")) {
                Next();
                StringTable();
            } else {
                Resource();
            }
        }
        reader_ = nullptr;
        lookahead_.clear();
    }

    // Checks across all scripts, then moves the items out.
    void Finish() {
        for (const auto& e : entries_) {
            const Dialog* dialog = nullptr;
            for (const auto& d : dialogs_) {
                if (d.item.id == e.item.dialogId && d.item.language == e.item.language)
                    dialog = &d.item;
            }
            if (!dialog)
                Fail(e.where, "drop-down entries for dialog " + std::to_string(e.item.dialogId) +
                                  " in a language that has no such dialog");
            const bool isList = std::any_of(
                dialog->controls.begin(), dialog->controls.end(), [&](const Control& c) {
                    return c.id == e.item.controlId &&
                           (c.className == u"ComboBox" || c.className == u"ListBox");
                });
            if (!isList)
                Fail(e.where, "dialog " + std::to_string(e.item.dialogId) +
                                  " has no drop-down list " + std::to_string(e.item.controlId));
        }
        for (auto& d : dialogs_)
            out_.dialogs.push_back(std::move(d.item));
        for (auto& e : entries_)
            out_.listEntries.push_back(std::move(e.item));
    }

  private:
    // ---- tokens ----
    const Token& Peek() {
        if (lookahead_.empty())
            lookahead_.push_back(reader_->Next());
        return lookahead_.front();
    }
    Token Next() {
        Token t = Peek();
        lookahead_.pop_front();
        return t;
    }
    bool Accept(char punct) {
        if (Peek().Is(punct)) {
            Next();
            return true;
        }
        return false;
    }
    void Expect(char punct, const char* what) {
        if (!Accept(punct))
            Fail(Peek(), std::string("expected '") + punct + "' " + what + Describe(Peek()));
    }
    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case Token::End:
                return ", found the end of the input";
            case Token::Name:
                return ", found '" + t.text + "'";
            case Token::Number:
                return ", found " + std::to_string(t.value);
            case Token::String:
                return ", found a string";
            case Token::Punct:
                return ", found '" + t.text + "'";
        }
        return {};
    }
    bool IsBegin(const Token& t) { return t.IsName("BEGIN") || t.Is('{'); }
    bool IsEnd(const Token& t) { return t.IsName("END") || t.Is('}'); }
    void ExpectBegin() {
        if (!IsBegin(Peek()))
            Fail(Peek(), "expected BEGIN" + Describe(Peek()));
        Next();
    }

    // ---- expressions, with windres's precedence ----
    Number Primary(bool allowNegation) {
        const Token t = Next();
        if (t.kind == Token::Number)
            return {t.value, t.isLong};
        if (t.kind == Token::Name) {
            if (auto v = LookupName(t.text))
                return {*v, false};
            Fail(t, "undefined name '" + t.text + "'");
        }
        if (t.Is('(')) {
            const Number n = Expression();
            Expect(')', "to close '('");
            return n;
        }
        if (t.Is('~')) {
            const Number n = Primary(true);
            return {~n.value, n.isLong};
        }
        if (t.Is('-') && allowNegation) {
            const Number n = Primary(true);
            return {0u - n.value, n.isLong};
        }
        Fail(t, "expected a number" + Describe(t));
    }
    static int Precedence(const Token& t) {
        if (t.kind != Token::Punct)
            return 0;
        switch (t.text[0]) {
            case '|':
                return 1;
            case '^':
                return 2;
            case '&':
                return 3;
            case '+':
            case '-':
                return 4;
            case '*':
            case '/':
            case '%':
                return 5;
            default:
                return 0;
        }
    }
    Number Binary(int minPrecedence, bool allowNegation) {
        Number left = Primary(allowNegation);
        for (int p; (p = Precedence(Peek())) >= minPrecedence && p > 0;) {
            const Token op = Next();
            const Number right = Binary(p + 1, true);
            std::uint32_t v = 0;
            switch (op.text[0]) {
                case '|':
                    v = left.value | right.value;
                    break;
                case '^':
                    v = left.value ^ right.value;
                    break;
                case '&':
                    v = left.value & right.value;
                    break;
                case '+':
                    v = left.value + right.value;
                    break;
                case '-':
                    v = left.value - right.value;
                    break;
                case '*':
                    v = left.value * right.value;
                    break;
                default:
                    if (right.value == 0)
                        Fail(op, "division by zero");
                    v = op.text[0] == '/' ? left.value / right.value : left.value % right.value;
            }
            left = {v, left.isLong || right.isLong};
        }
        return left;
    }
    Number Expression() { return Binary(1, true); }
    std::uint32_t Value() { return Expression().value; }
    // Expressions that windres reads without a leading minus (resource ids).
    std::uint32_t PositiveValue() { return Binary(1, false).value; }

    int Coordinate() {
        const Token at = Peek();
        const auto v = static_cast<std::int32_t>(Value());
        if (v < -32768 || v > 32767)
            Fail(at, "coordinate out of range: " + std::to_string(v));
        return v;
    }

    // `[NOT] term | [NOT] term ...`: each term sets or clears bits of `style`, left to right.
    void Style(std::uint32_t& style) {
        do {
            const bool clear = Peek().IsName("NOT");
            if (clear)
                Next();
            const Token at = Peek();
            if (!(at.kind == Token::Number || at.kind == Token::Name || at.Is('(')))
                Fail(at, "expected a style" + Describe(at));
            const std::uint32_t v = Primary(false).value;
            style = clear ? (style & ~v) : (style | v);
        } while (Accept('|'));
    }

    std::uint16_t Language() {
        const Token at = Peek();
        const std::uint32_t primary = Value();
        Expect(',', "between language and sublanguage");
        const std::uint32_t sub = Value();
        if (primary > 0x3FF || sub > 0x3F)
            Fail(at, "language out of range");
        return static_cast<std::uint16_t>(primary | (sub << 10));
    }

    // ---- text ----
    std::u16string Text(const Token& t) {
        if (t.kind != Token::String)
            Fail(t, "expected a string" + Describe(t));
        if (t.isWide)
            return t.wide;
        if (t.text.find('\0') != std::string::npos)
            Fail(t, "text with an embedded \\0");
        const bool ascii = std::all_of(t.text.begin(), t.text.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (!ascii && t.codePage != 65001)
            Fail(t,
                 "non-ASCII text before #pragma code_page(65001): windres would read it in its "
                 "default code page");
        auto text = DecodeUtf8(t.text);
        if (!text)
            Fail(t, "text is not valid UTF-8");
        return *text;
    }
    // Adjacent strings join, as in CAPTION, FONT and string tables.
    std::u16string TextConcat() {
        std::u16string text = Text(Next());
        while (Peek().kind == Token::String)
            text += Text(Next());
        return text;
    }

    // ---- statements ----
    std::uint16_t NumericId(const ResourceId& id, const Token& at, const char* what) {
        if (id.named)
            Fail(at, std::string(what) + " needs a number, not the name '" + id.name +
                         "' (an undefined id?)");
        if (id.number > 0xFFFF)
            Fail(at, std::string(what) + " id out of range: " + std::to_string(id.number));
        return static_cast<std::uint16_t>(id.number);
    }

    void SkipMemoryFlags() {
        while (Peek().kind == Token::Name &&
               std::find(std::begin(kMemoryFlags), std::end(kMemoryFlags), Peek().text) !=
                   std::end(kMemoryFlags))
            Next();
    }

    // Memory flags and the optional statements before a block; returns the resource's language.
    std::uint16_t SubOptions() {
        std::uint16_t language = language_;
        for (;;) {
            SkipMemoryFlags();
            if (Peek().IsName("LANGUAGE")) {
                Next();
                language = Language();
            } else if (Peek().IsName("CHARACTERISTICS") || Peek().IsName("VERSION")) {
                Next();
                Value();
            } else {
                return language;
            }
        }
    }

    void SkipBlock() {
        const Token open = Peek();
        ExpectBegin();
        for (int depth = 1; depth > 0;) {
            const Token t = Next();
            if (t.kind == Token::End)
                Fail(open, "BEGIN without END");
            if (IsBegin(t))
                ++depth;
            else if (IsEnd(t))
                --depth;
        }
    }

    void StringTable() {
        const std::uint16_t language = SubOptions();
        ExpectBegin();
        while (!IsEnd(Peek())) {
            const Token at = Peek();
            if (at.kind == Token::End)
                Fail(at, "STRINGTABLE without END");
            const std::uint32_t id = Value();
            if (id > 0xFFFF)
                Fail(at, "string id out of range: " + std::to_string(id));
            Accept(',');
            std::u16string text = TextConcat();
            for (const auto& s : strings_) {
                if (s.item.id == id && s.item.language == language)
                    Fail(at, "string " + std::to_string(id) + " defined twice (first at " +
                                 Where(s.where) + ")");
            }
            strings_.push_back({{static_cast<std::uint16_t>(id), language, text}, at});
            // An empty string is no string to LoadString: leave it out as Windows does.
            if (!text.empty())
                out_.strings.push_back({static_cast<std::uint16_t>(id), language, std::move(text)});
        }
        Next();
    }

    void Resource() {
        const Token at = Peek();
        ResourceId id;
        if (at.kind == Token::Name && !LookupName(at.text)) {
            id.named = true;
            id.name = Next().text;
        } else if (at.kind == Token::String) {
            id.named = true;
            id.name = Next().text;
        } else {
            id.number = PositiveValue();
        }
        const Token type = Next();
        if (type.IsName("DIALOGEX"))
            return DialogEx(NumericId(id, at, "a dialog"), at);
        if (type.IsName("DIALOG"))
            Fail(type, "write DIALOGEX: the headless tables follow the extended template");
        if (type.IsName("ICON"))
            return IconResource(NumericId(id, at, "an icon"), at);
        if (type.IsName("LISTENTRIES"))
            return ListEntries(NumericId(id, at, "LISTENTRIES"), at);
        if (type.kind == Token::Name || type.kind == Token::Number ||
            (type.kind == Token::String && !type.isWide))
            return Skipped(type);
        Fail(type, "expected a resource type" + Describe(type));
    }

    // A resource the headless side does not use: a file reference or a block.
    void Skipped(const Token& type) {
        if (IsBegin(type) || IsEnd(type) || type.Is(','))
            Fail(type, "expected a resource type" + Describe(type));
        SubOptions();
        if (Peek().kind == Token::String) {
            const Token file = Next();
            reader_->ReadResourceFile(file.text, file);
            return;
        }
        while (!IsBegin(Peek())) {
            if (Peek().kind == Token::End)
                Fail(type, "resource '" + type.text + "' without BEGIN");
            Next();
        }
        SkipBlock();
    }

    void DialogEx(std::uint16_t id, const Token& at) {
        Dialog d;
        d.id = id;
        SkipMemoryFlags();
        d.x = Coordinate();
        Expect(',', "after x");
        d.y = Coordinate();
        Expect(',', "after y");
        d.width = Coordinate();
        Expect(',', "after the width");
        d.height = Coordinate();
        if (Accept(','))
            Value();  // help id
        d.language = language_;
        d.style = N("WS_POPUP") | N("WS_BORDER") | N("WS_SYSMENU");
        // As windres: CAPTION and FONT add their bits to the dialog's style and to the running
        // style that a later STYLE statement starts from.
        std::uint32_t style = 0;
        while (!IsBegin(Peek())) {
            const Token t = Next();
            if (t.IsName("STYLE")) {
                Style(style);
                d.style = style;
            } else if (t.IsName("EXSTYLE")) {
                d.exStyle = Value();
            } else if (t.IsName("CAPTION")) {
                d.caption = TextConcat();
                d.style |= kWsCaption;
                style |= kWsCaption;
            } else if (t.IsName("FONT")) {
                d.pointSize = static_cast<int>(Value());
                Expect(',', "after the point size");
                d.fontName = TextConcat();
                for (int extra = 0; extra < 3 && Accept(','); ++extra)
                    Value();  // weight, italic, character set
                d.style |= kDsSetFont;
                style |= kDsSetFont;
            } else if (t.IsName("LANGUAGE")) {
                d.language = Language();
            } else if (t.IsName("CHARACTERISTICS") || t.IsName("VERSION")) {
                Value();
            } else {
                Fail(t, "unexpected statement in a dialog" + Describe(t));
            }
        }
        Next();
        while (!IsEnd(Peek())) {
            if (Peek().kind == Token::End)
                Fail(at, "dialog " + std::to_string(id) + " without END");
            d.controls.push_back(ControlStatement());
        }
        Next();
        for (const auto& other : dialogs_) {
            if (other.item.id == d.id && other.item.language == d.language)
                Fail(at, "dialog " + std::to_string(id) + " defined twice (first at " +
                             Where(other.where) + ")");
        }
        dialogs_.push_back({std::move(d), at});
    }

    // x, y, width, height after a comma
    void Rect(Control& c) {
        Expect(',', "before x");
        c.x = Coordinate();
        Expect(',', "after x");
        c.y = Coordinate();
        Expect(',', "after y");
        c.width = Coordinate();
        Expect(',', "after the width");
        c.height = Coordinate();
    }

    std::int32_t ControlId() { return static_cast<std::int32_t>(Value()); }

    // Optional exstyle and help id after the style.
    void Tail(Control& c) {
        if (Accept(',')) {
            c.exStyle = Value();
            if (Accept(','))
                Value();
        }
        if (IsBegin(Peek()))
            Fail(Peek(), "control data blocks are not supported");
    }

    Control ControlStatement() {
        const Token kw = Next();
        if (kw.kind != Token::Name)
            Fail(kw, "expected a control statement" + Describe(kw));
        Control c;
        if (kw.text == "CONTROL") {
            if (Peek().kind == Token::String) {
                c.text = Text(Next());
                Expect(',', "after the text");
            }
            c.id = ControlId();
            Expect(',', "before the class");
            const Token cls = Next();
            if (cls.kind == Token::String) {
                c.className = Text(cls);
                const std::string lower =
                    Lower(std::string(c.className.begin(), c.className.end()));
                for (const auto& [ordinal, name] : kClassOrdinals) {
                    if (lower == Lower(std::string(name.begin(), name.end())))
                        c.className = name;
                }
            } else if (cls.kind == Token::Number) {
                for (const auto& [ordinal, name] : kClassOrdinals) {
                    if (cls.value == ordinal)
                        c.className = name;
                }
                if (c.className.empty())
                    Fail(cls, "unknown class ordinal " + std::to_string(cls.value));
            } else {
                Fail(cls, "expected a class name in quotes" + Describe(cls));
            }
            Expect(',', "before the style");
            c.style = kWsChild | kWsVisible;
            Style(c.style);
            Rect(c);
            Tail(c);
            return c;
        }
        if (kw.text == "ICON") {
            // windres ignores the size of an icon control: the icon sets it.
            const Token ref = Peek();
            if (ref.kind == Token::String || ref.kind == Token::Name) {
                Next();
                // A name, as windres stores it: upper case.
                for (char ch : ref.text)
                    c.text += static_cast<char16_t>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
            } else {
                const std::string number = std::to_string(PositiveValue());
                c.text = u"#" + std::u16string(number.begin(), number.end());
            }
            Accept(',');
            c.className = u"Static";
            c.id = ControlId();
            Expect(',', "before x");
            c.x = Coordinate();
            Expect(',', "after x");
            c.y = Coordinate();
            c.style = N("SS_ICON") | kWsChild | kWsVisible;
            if (Accept(',')) {
                Coordinate();
                Expect(',', "after the width");
                Coordinate();
                if (Accept(',')) {
                    Style(c.style);
                    Tail(c);
                    return c;
                }
            }
            if (IsBegin(Peek()))
                Fail(Peek(), "control data blocks are not supported");
            return c;
        }
        const auto kind = std::find_if(std::begin(kControlKinds), std::end(kControlKinds),
                                       [&](const ControlKind& k) { return k.keyword == kw.text; });
        if (kind == std::end(kControlKinds))
            Fail(kw, "unknown control statement '" + kw.text + "'");
        c.className = kind->className;
        if (kind->hasText && Peek().kind == Token::String) {
            c.text = Text(Next());
            Expect(',', "after the text");
        }
        c.id = ControlId();
        Rect(c);
        if (Accept(',')) {
            c.style = kind->baseStyle | kWsChild | kWsVisible;
            Style(c.style);
            Tail(c);
        } else {
            c.style = kind->defaultStyle | kWsChild | kWsVisible;
            if (IsBegin(Peek()))
                Fail(Peek(), "control data blocks are not supported");
        }
        return c;
    }

    void IconResource(std::uint16_t id, const Token& at) {
        SkipMemoryFlags();
        const Token file = Next();
        if (file.kind != Token::String || file.isWide)
            Fail(file, "ICON expects a file name in quotes");
        const std::string bytes = reader_->ReadResourceFile(file.text, file);
        auto u8 = [&](std::size_t i) {
            return static_cast<unsigned>(static_cast<unsigned char>(bytes[i]));
        };
        auto u16 = [&](std::size_t i) { return u8(i) | (u8(i + 1) << 8); };
        if (bytes.size() < 6 || u16(0) != 0 || u16(2) != 1 || u16(4) == 0 ||
            bytes.size() < 6 + 16 * static_cast<std::size_t>(u16(4)))
            Fail(file, "'" + file.text + "' is not an icon file");
        Icon icon{id, 0, 0};
        for (unsigned i = 0; i < u16(4); ++i) {
            const std::size_t entry = 6 + 16 * i;
            const int w = u8(entry) == 0 ? 256 : static_cast<int>(u8(entry));
            const int h = u8(entry + 1) == 0 ? 256 : static_cast<int>(u8(entry + 1));
            if (w * h > icon.width * icon.height) {
                icon.width = w;
                icon.height = h;
            }
        }
        for (const auto& other : icons_) {
            if (other.item.id == id)
                Fail(at, "icon " + std::to_string(id) + " defined twice (first at " +
                             Where(other.where) + ")");
        }
        icons_.push_back({icon, at});
        out_.icons.push_back(icon);
    }

    // Raw data as windres lays it out: numbers as 16 bits (32 with an L), strings as their bytes
    // (L strings as UTF-16), nothing added; then read as [WORD id, UTF-8 text, 0]..., WORD 0.
    void ListEntries(std::uint16_t dialogId, const Token& at) {
        const std::uint16_t language = SubOptions();
        ExpectBegin();
        std::string data;
        while (!IsEnd(Peek())) {
            const Token t = Peek();
            if (t.kind == Token::End)
                Fail(at, "LISTENTRIES without END");
            if (t.kind == Token::String) {
                while (Peek().kind == Token::String) {
                    const Token s = Next();
                    if (!s.isWide) {
                        data += s.text;
                        continue;
                    }
                    for (char16_t u : s.wide) {
                        data += static_cast<char>(u & 0xFF);
                        data += static_cast<char>(u >> 8);
                    }
                }
            } else {
                const Number n = Expression();
                for (int b = 0; b < (n.isLong ? 4 : 2); ++b)
                    data += static_cast<char>((n.value >> (8 * b)) & 0xFF);
            }
            if (!IsEnd(Peek()))
                Expect(',', "between data items");
        }
        Next();
        for (const auto& other : listResources_) {
            if (other.item.first == dialogId && other.item.second == language)
                Fail(at, "LISTENTRIES " + std::to_string(dialogId) + " defined twice (first at " +
                             Where(other.where) + ")");
        }
        listResources_.push_back({{dialogId, language}, at});

        std::size_t pos = 0;
        for (;;) {
            if (pos + 2 > data.size())
                Fail(at, "LISTENTRIES " + std::to_string(dialogId) + " does not end with the id 0");
            const int controlId = static_cast<unsigned char>(data[pos]) |
                                  (static_cast<unsigned char>(data[pos + 1]) << 8);
            pos += 2;
            if (controlId == 0)
                break;
            const std::size_t end = data.find('\0', pos);
            if (end == std::string::npos)
                Fail(at,
                     "LISTENTRIES " + std::to_string(dialogId) + ": text without its closing \\0");
            auto text = DecodeUtf8(std::string_view(data).substr(pos, end - pos));
            if (!text)
                Fail(at, "LISTENTRIES " + std::to_string(dialogId) + ": text is not valid UTF-8");
            entries_.push_back({{dialogId, language, controlId, std::move(*text)}, at});
            pos = end + 1;
        }
        if (pos != data.size())
            Fail(at, "LISTENTRIES " + std::to_string(dialogId) + ": data after the closing id 0");
    }

    const Options& options_;
    Resources& out_;
    Reader* reader_ = nullptr;
    std::deque<Token> lookahead_;
    std::uint16_t language_ = kDefaultLanguage;
    std::vector<Located<Dialog>> dialogs_;
    std::vector<Located<String>> strings_;
    std::vector<Located<ListEntry>> entries_;
    std::vector<Located<std::pair<std::uint16_t, std::uint16_t>>> listResources_;
    std::vector<Located<Icon>> icons_;
};

}  // namespace

std::optional<std::uint32_t> LookupName(std::string_view name) {
    for (const NameValue& n : kNames) {
        if (n.name == name)
            return n.value;
    }
    return std::nullopt;
}

Result Parse(const std::vector<std::string>& scripts, const Options& options) {
    Result result;
    Resources resources;
    try {
        Parser parser(options, resources);
        for (const std::string& script : scripts)
            parser.Script(script);
        parser.Finish();
    } catch (const Failure& failure) {
        result.error = failure.message;
        return result;
    }
    result.resources = std::move(resources);
    return result;
}

}  // namespace rcgen
