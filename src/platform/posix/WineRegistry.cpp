#include "platform/posix/WineRegistry.h"

#include "platform/RuntimeError.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace kestovan::posix {
namespace {

constexpr std::string_view HeaderLine = "WINE REGISTRY Version 2";
constexpr std::string_view RootComment = ";; All keys relative to ";
constexpr std::string_view ArchOption = "#arch=";

constexpr std::uint32_t RegSz = 1;
constexpr std::uint32_t RegExpandSz = 2;
constexpr std::uint32_t RegBinary = 3;
constexpr std::uint32_t RegDword = 4;
constexpr std::uint32_t RegMultiSz = 7;

[[noreturn]] void Corrupt() {
    throw RuntimeError(err::PathFileAccessError);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsHexDigit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A line without its line end (Wine drops one carriage return before the
// line feed).
std::string_view Content(std::string_view line) {
    std::string_view view(line);
    if (!view.empty() && view.back() == '\n')
        view.remove_suffix(1);
    if (!view.empty() && view.back() == '\r')
        view.remove_suffix(1);
    return view;
}

std::size_t SkipSpaces(std::string_view text, std::size_t at) {
    while (at < text.size() && IsSpace(text[at]))
        ++at;
    return at;
}

// --- UTF-8 and UTF-16 ----------------------------------------------------

// Decodes one UTF-8 sequence at `at`; false (and `at` moved past the first
// byte) when the bytes there are not one.
bool NextCodePoint(std::string_view text, std::size_t& at, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        codePoint = lead;
        ++at;
        return true;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++at;
        return false;
    }
    if (at + length > text.size()) {
        ++at;
        return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return false;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF) {
        ++at;
        return false;
    }
    at += length;
    codePoint = value;
    return true;
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
        out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    } else {
        out += static_cast<char16_t>(codePoint);
    }
}

// Program text to UTF-16.  A byte that does not start a valid UTF-8
// sequence stands for the character of the same number (Latin-1).
std::u16string ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = at;
        char32_t codePoint = 0;
        if (NextCodePoint(text, at, codePoint))
            AppendUtf16(out, codePoint);
        else
            out += static_cast<char16_t>(static_cast<unsigned char>(text[start]));
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// UTF-16 to program text.  An unpaired surrogate is written in the
// three-byte form, so that it survives the way back.
std::string ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char16_t unit = text[k];
        if (unit >= 0xD800 && unit < 0xDC00 && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
            text[k + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[k + 1]) - 0xDC00));
            ++k;
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

// --- Letter case ------------------------------------------------------------

// Names are compared in lower case, as Wine does (which also fixes the order
// of '_' against letters); ASCII and Latin-1 letters are folded.
char16_t Fold(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c == 0x178)
        return 0xFF;
    return c;
}

std::u16string Fold(const std::u16string& text) {
    std::u16string out(text);
    for (auto& c : out)
        c = Fold(c);
    return out;
}

// Wine's order of keys and values: folded names unit by unit, a name before
// the longer names it begins.
int CompareFolded(const std::u16string& a, const std::u16string& b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// --- Escapes ----------------------------------------------------------------

// Reads an escaped string from `at` up to the unescaped character `end`
// (0: up to the end of the text).  Returns the position after `end`, or npos
// when the text stops first.
std::size_t ReadEscaped(std::string_view text, std::size_t at, char end, std::u16string& out) {
    while (at < text.size() && (end == 0 || text[at] != end)) {
        if (text[at] == '\\') {
            if (++at >= text.size())
                return std::string_view::npos;
            const char c = text[at];
            char16_t control = 0;
            switch (c) {
            case 'a': control = 0x07; break;
            case 'b': control = 0x08; break;
            case 'e': control = 0x1B; break;
            case 'f': control = 0x0C; break;
            case 'n': control = 0x0A; break;
            case 'r': control = 0x0D; break;
            case 't': control = 0x09; break;
            case 'v': control = 0x0B; break;
            default: break;
            }
            if (control != 0) {
                out += control;
                ++at;
                continue;
            }
            if (c == 'x') {
                ++at;
                if (at >= text.size() || !IsHexDigit(static_cast<unsigned char>(text[at]))) {
                    out += u'x';
                    continue;
                }
                unsigned value = 0;
                for (int digits = 0; digits < 4 && at < text.size() &&
                                     IsHexDigit(static_cast<unsigned char>(text[at]));
                     ++digits, ++at)
                    value = value * 16 + HexValue(text[at]);
                out += static_cast<char16_t>(value);
                continue;
            }
            if (c >= '0' && c <= '7') {
                unsigned value = 0;
                for (int digits = 0;
                     digits < 3 && at < text.size() && text[at] >= '0' && text[at] <= '7';
                     ++digits, ++at)
                    value = value * 8 + static_cast<unsigned>(text[at] - '0');
                out += static_cast<char16_t>(value);
                continue;
            }
            // Any other escaped character stands for itself.
        }
        char32_t codePoint = 0;
        if (NextCodePoint(text, at, codePoint))
            AppendUtf16(out, codePoint);
    }
    if (end == 0)
        return text.size();
    if (at >= text.size())
        return std::string_view::npos;
    return at + 1;
}

// Writes UTF-16 text with Wine's escapes; `quote1` and `quote2` are the
// delimiters that need a backslash ('"' in strings, '[' and ']' in key
// names).
std::string Escape(const std::u16string& text, char quote1, char quote2) {
    static constexpr char Letters[33] = ".......abtnvfr.............e....";
    std::string out;
    out.reserve(text.size() + 8);
    char buffer[16];
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char16_t c = text[k];
        const char16_t next = k + 1 < text.size() ? text[k + 1] : 0;
        if (c > 127) {
            const bool hexFollows = next < 128 && IsHexDigit(next);
            std::snprintf(buffer, sizeof buffer, hexFollows ? "\\x%04x" : "\\x%x",
                          static_cast<unsigned>(c));
            out += buffer;
        } else if (c < 32) {
            if (Letters[c] != '.') {
                out += '\\';
                out += Letters[c];
            } else {
                const bool octalFollows = next >= u'0' && next <= u'7';
                std::snprintf(buffer, sizeof buffer, octalFollows ? "\\%03o" : "\\%o",
                              static_cast<unsigned>(c));
                out += buffer;
            }
        } else {
            const char ascii = static_cast<char>(c);
            if (ascii == '\\' || ascii == quote1 || ascii == quote2)
                out += '\\';
            out += ascii;
        }
    }
    return out;
}

std::string EscapePath(const std::vector<std::u16string>& path) {
    std::string out;
    for (std::size_t k = 0; k < path.size(); ++k) {
        if (k > 0)
            out += "\\\\";
        out += Escape(path[k], '[', ']');
    }
    return out;
}

std::vector<std::u16string> SplitPath(const std::u16string& path) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t stop = path.find(u'\\', start);
        if (stop == std::u16string::npos)
            stop = path.size();
        if (stop > start)
            parts.push_back(path.substr(start, stop - start));
        start = stop + 1;
    }
    return parts;
}

std::vector<std::u16string> SplitPath(const std::string& path) {
    return SplitPath(ToUtf16(path));
}

// --- Lines ------------------------------------------------------------------

// Parses a key line ("[Path\\To\\Key] <seconds>") into its path.
std::vector<std::u16string> ReadKeyLine(std::string_view line) {
    const std::string_view content = Content(line);
    const std::size_t open = SkipSpaces(content, 0);
    std::u16string path;
    if (open >= content.size() || content[open] != '[' ||
        ReadEscaped(content, open + 1, ']', path) == std::string_view::npos)
        Corrupt();
    return SplitPath(path);
}

// --- Folded paths -------------------------------------------------------------

// A path's folded form as bytes whose plain byte order is the order in which
// Wine writes keys: each folded unit below 0x7F as unit + 1, any other as
// three bytes (0x80 + the top four bits, then two groups of six bits, each
// + 1), and a 0 between components (and nowhere else), so that a key sorts before the longer keys
// below it.
void AppendFoldedUnit(std::string& out, char16_t unit) {
    const char16_t c = Fold(unit);
    if (c < 0x7F) {
        out += static_cast<char>(c + 1);
    } else {
        out += static_cast<char>(0x80 + (c >> 12));
        out += static_cast<char>(((c >> 6) & 0x3F) + 1);
        out += static_cast<char>((c & 0x3F) + 1);
    }
}

void AppendKey(std::string& out, const std::vector<std::u16string>& path) {
    for (std::size_t k = 0; k < path.size(); ++k) {
        if (k > 0)
            out += '\0';
        for (const char16_t c : path[k])
            AppendFoldedUnit(out, c);
    }
}

std::string KeyOf(const std::vector<std::u16string>& path) {
    std::string key;
    AppendKey(key, path);
    return key;
}

// Appends the folded path of a key line to out; raises 75 for a broken key
// line.  Plain ASCII names separated by "\\" are folded as they are read; any
// other escape goes the whole way through the decoder.
void AppendKeyOfLine(std::string& out, std::string_view line) {
    const std::string_view content = Content(line);
    const std::size_t open = SkipSpaces(content, 0);
    if (open < content.size() && content[open] == '[') {
        // Written in place: at most one byte for each byte of the line.
        const std::size_t mark = out.size();
        out.resize(mark + content.size());
        char* const start = out.data() + mark;
        char* to = start;
        bool pendingSeparator = false;
        bool inName = false;
        for (std::size_t at = open + 1; at < content.size(); ++at) {
            const auto c = static_cast<unsigned char>(content[at]);
            if (c == ']') {
                out.resize(mark + static_cast<std::size_t>(to - start));
                return;
            }
            if (c == '\\') {
                if (at + 1 >= content.size() || content[at + 1] != '\\')
                    break;
                ++at;
                if (inName)
                    pendingSeparator = true;
                inName = false;
                continue;
            }
            if (c < 0x20 || c >= 0x7F)
                break;
            if (pendingSeparator) {
                *to++ = '\0';
                pendingSeparator = false;
            }
            inName = true;
            *to++ = static_cast<char>((c >= 'A' && c <= 'Z' ? c + 32 : c) + 1);
        }
        out.resize(mark);
    }
    AppendKey(out, ReadKeyLine(line));
}

// key lies at or below prefix.
bool IsBelow(std::string_view key, std::string_view prefix) {
    if (prefix.empty())
        return true;
    return key.size() >= prefix.size() && key.compare(0, prefix.size(), prefix) == 0 &&
           (key.size() == prefix.size() || key[prefix.size()] == '\0');
}

// Reads a comma-separated list of hex bytes at `at`; returns the position
// after it.  bytes may be null when only the form is checked.
std::size_t ReadHexBytes(std::string_view text, std::size_t at, std::string* bytes) {
    while (at < text.size() && IsHexDigit(static_cast<unsigned char>(text[at]))) {
        unsigned value = 0;
        int digits = 0;
        while (at < text.size() && IsHexDigit(static_cast<unsigned char>(text[at]))) {
            value = value * 16 + HexValue(text[at]);
            ++at;
            if (++digits > 2 && value > 0xFF)
                Corrupt();
        }
        if (bytes != nullptr)
            *bytes += static_cast<char>(value);
        at = SkipSpaces(text, at);
        if (at < text.size() && text[at] == ',')
            ++at;
        at = SkipSpaces(text, at);
    }
    return at;
}

// Finds the end of an escaped string as ReadEscaped does, without decoding
// it: the position after the unescaped `end`, or npos.
std::size_t SkipEscaped(std::string_view text, std::size_t at, char end) {
    while (at < text.size()) {
        const char c = text[at];
        if (c == '\\') {
            if (at + 1 >= text.size())
                return std::string_view::npos;
            at += 2;
        } else if (c == end) {
            return at + 1;
        } else {
            ++at;
        }
    }
    return std::string_view::npos;
}

// Current time as Wine stamps keys: whole seconds since 1970 on the key line,
// 100-nanosecond units since 1601 in "#time=".
struct Stamp {
    unsigned long long seconds;
    unsigned long long fileTime;
};

Stamp Now() {
    using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;
    constexpr unsigned long long TicksFrom1601To1970 = 116444736000000000ULL;
    const auto ticks =
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
    const unsigned long long fileTime =
        static_cast<unsigned long long>(ticks.count()) + TicksFrom1601To1970;
    return {(fileTime - TicksFrom1601To1970) / 10000000ULL, fileTime};
}

// --- Values -----------------------------------------------------------------

struct ParsedValue {
    std::u16string name;
    std::size_t nameEnd = 0;
    std::size_t lineCount = 1;
    std::uint32_t type = 0;
    bool quoted = false;
    std::u16string text;
    std::string bytes;
};

// Parses the value that starts at line first (a hex list may go on over
// further lines, each before the last ending with a backslash; nextLine()
// gives them one after the other, nullopt past the end of the text).  With
// decode false only the form is checked and the lines counted.
template <typename NextLine>
ParsedValue ReadValue(std::string_view first, NextLine nextLine, bool decode) {
    ParsedValue value;
    std::string_view content = Content(first);
    std::size_t at = SkipSpaces(content, 0);
    if (at < content.size() && content[at] == '@') {
        ++at;
    } else {
        at = decode ? ReadEscaped(content, at + 1, '"', value.name)
                    : SkipEscaped(content, at + 1, '"');
        if (at == std::string_view::npos)
            Corrupt();
    }
    value.nameEnd = at;
    at = SkipSpaces(content, at);
    if (at >= content.size() || content[at] != '=')
        Corrupt();
    at = SkipSpaces(content, at + 1);

    const std::string_view data = content.substr(at);
    struct Tag {
        std::string_view text;
        std::uint32_t type;
    };
    static constexpr Tag StringTags[] = {
        {"\"", RegSz}, {"str:\"", RegSz}, {"str(2):\"", RegExpandSz}, {"str(7):\"", RegMultiSz}};
    for (const auto& tag : StringTags) {
        if (StartsWith(data, tag.text)) {
            value.type = tag.type;
            value.quoted = true;
            const std::size_t end =
                decode ? ReadEscaped(content, at + tag.text.size(), '"', value.text)
                       : SkipEscaped(content, at + tag.text.size(), '"');
            if (end == std::string_view::npos)
                Corrupt();
            return value;
        }
    }
    if (StartsWith(data, "dword:")) {
        value.type = RegDword;
        return value;
    }
    if (StartsWith(data, "hex:")) {
        value.type = RegBinary;
        at += 4;
    } else if (StartsWith(data, "hex(")) {
        std::size_t close = at + 4;
        unsigned long long type = 0;
        while (close < content.size() && IsHexDigit(static_cast<unsigned char>(content[close])) &&
               type <= 0xFFFFFFFFULL) {
            type = type * 16 + HexValue(content[close]);
            ++close;
        }
        if (close == at + 4 || type > 0xFFFFFFFFULL || content.substr(close, 2) != "):")
            Corrupt();
        value.type = static_cast<std::uint32_t>(type);
        at = close + 2;
    } else {
        Corrupt();
    }
    for (;;) {
        at = SkipSpaces(content, ReadHexBytes(content, at, decode ? &value.bytes : nullptr));
        if (at >= content.size())
            break;
        if (content[at] != '\\')
            Corrupt();
        const std::optional<std::string_view> next = nextLine();
        if (!next)
            Corrupt();
        content = Content(*next);
        ++value.lineCount;
        at = SkipSpaces(content, 0);
    }
    return value;
}

ParsedValue ReadValue(const std::vector<std::string>& lines, std::size_t first) {
    std::size_t next = first + 1;
    return ReadValue(
        lines[first],
        [&]() -> std::optional<std::string_view> {
            if (next >= lines.size())
                return std::nullopt;
            return std::string_view(lines[next++]);
        },
        true);
}

// The lines of a text, each with its line end.
std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t stop = text.find('\n', start);
        stop = stop == std::string_view::npos ? text.size() : stop + 1;
        lines.emplace_back(text.substr(start, stop - start));
        start = stop;
    }
    return lines;
}

bool IsBlank(std::string_view line) {
    const std::string_view content = Content(line);
    return SkipSpaces(content, 0) == content.size();
}

} // namespace

// --- RegistryHive ---------------------------------------------------------------

RegistryHive RegistryHive::Parse(const std::string& text) {
    return Parse(std::string(text));
}

RegistryHive RegistryHive::Parse(std::string&& source) {
    RegistryHive hive;
    hive.text_ = std::make_shared<const std::string>(std::move(source));
    const std::string_view text(*hive.text_);
    if (text.empty() || text.back() != '\n')
        Corrupt();

    // The line starting at `at` (with its line end; the text ends with one).
    auto lineAt = [&](std::size_t at) {
        const char* end =
            static_cast<const char*>(std::memchr(text.data() + at, '\n', text.size() - at));
        return text.substr(at, static_cast<std::size_t>(end - text.data()) + 1 - at);
    };
    const std::string_view first = lineAt(0);
    if (Content(first) != HeaderLine)
        Corrupt();
    hive.newline_ = first.size() >= 2 && first[first.size() - 2] == '\r' ? "\r\n" : "\n";
    // Untouched pages cost no memory: room for the folded paths and blocks
    // of a text of this size, so that they are not copied while they grow.
    hive.keys_.reserve(text.size() / 2);
    hive.blocks_.reserve(text.size() / 48 + 16);

    constexpr std::size_t None = std::string_view::npos;
    std::size_t blankStart = None; // the first of the blank lines read last
    std::size_t at = first.size();
    while (at < text.size()) {
        const std::string_view line = lineAt(at);
        const std::string_view content = Content(line);
        const std::size_t lead = SkipSpaces(content, 0);
        if (lead >= content.size()) {
            if (blankStart == None)
                blankStart = at;
            at += line.size();
            continue;
        }
        const char c = content[lead];
        if (c == '[') {
            Block block;
            block.begin = blankStart == None ? at : blankStart;
            block.keyLine = at - block.begin;
            block.keyBegin = hive.keys_.size();
            AppendKeyOfLine(hive.keys_, line); // a broken key line stops here
            block.keyLength = static_cast<std::uint32_t>(hive.keys_.size() - block.keyBegin);
            if (hive.blocks_.empty())
                hive.prologueEnd_ = block.begin;
            else
                hive.blocks_.back().end = block.begin;
            hive.blocks_.push_back(block);
            blankStart = None;
            at += line.size();
            continue;
        }
        blankStart = None;
        if (c == '@' || c == '"') {
            if (hive.blocks_.empty())
                Corrupt();
            // A hex list may go on over further lines.
            std::size_t next = at + line.size();
            const ParsedValue value = ReadValue(
                line,
                [&]() -> std::optional<std::string_view> {
                    if (next >= text.size())
                        return std::nullopt;
                    const std::string_view more = lineAt(next);
                    next += more.size();
                    return more;
                },
                false);
            (void)value;
            at = next;
            continue;
        }
        if (c == '#' && hive.blocks_.empty() && StartsWith(content.substr(lead), ArchOption)) {
            const std::string_view arch = content.substr(lead + ArchOption.size());
            if (arch != "win32" && arch != "win64")
                Corrupt();
        } else if (c != '#' && c != ';') {
            Corrupt();
        }
        at += line.size();
    }
    if (hive.blocks_.empty())
        hive.prologueEnd_ = text.size();
    else
        hive.blocks_.back().end = text.size();

    hive.sorted_.resize(hive.blocks_.size());
    for (std::size_t k = 0; k < hive.sorted_.size(); ++k)
        hive.sorted_[k] = static_cast<std::uint32_t>(k);
    // Wine writes its keys in this order already; a file in another order
    // is sorted once.
    auto before = [&hive](std::uint32_t a, std::uint32_t b) { return hive.Key(a) < hive.Key(b); };
    if (!std::is_sorted(hive.sorted_.begin(), hive.sorted_.end(), before))
        std::stable_sort(hive.sorted_.begin(), hive.sorted_.end(), before);
    return hive;
}

std::vector<std::string_view> RegistryHive::Pieces() const {
    const std::string_view text(*text_);
    std::vector<std::string_view> pieces;
    std::size_t runBegin = 0, runEnd = prologueEnd_;
    for (const Block& block : blocks_) {
        if (!block.live)
            continue;
        if (block.owned < 0 && block.begin == runEnd) {
            runEnd = block.end;
            continue;
        }
        if (runEnd > runBegin)
            pieces.push_back(text.substr(runBegin, runEnd - runBegin));
        if (block.owned < 0) {
            runBegin = block.begin;
            runEnd = block.end;
        } else {
            pieces.emplace_back(owned_[static_cast<std::size_t>(block.owned)]);
            runBegin = runEnd = 0;
        }
    }
    if (runEnd > runBegin)
        pieces.push_back(text.substr(runBegin, runEnd - runBegin));
    return pieces;
}

std::string RegistryHive::Serialize() const {
    const auto pieces = Pieces();
    std::size_t size = 0;
    for (const auto piece : pieces)
        size += piece.size();
    std::string text;
    text.reserve(size);
    for (const auto piece : pieces)
        text += piece;
    return text;
}

std::string_view RegistryHive::BlockText(const Block& block) const {
    if (block.owned >= 0)
        return owned_[static_cast<std::size_t>(block.owned)];
    return std::string_view(*text_).substr(block.begin, block.end - block.begin);
}

std::string_view RegistryHive::Key(std::uint32_t block) const {
    const Block& b = blocks_[block];
    return std::string_view(keys_).substr(b.keyBegin, b.keyLength);
}

std::vector<std::u16string> RegistryHive::PathOf(const Block& block) const {
    const std::string_view text = BlockText(block).substr(block.keyLine);
    return ReadKeyLine(text.substr(0, text.find('\n') + 1));
}

RegistryHive::ParsedBlock RegistryHive::Parse(const Block& block) const {
    ParsedBlock parsed;
    parsed.lines = SplitLines(BlockText(block));
    while (parsed.keyLine < parsed.lines.size() && IsBlank(parsed.lines[parsed.keyLine]))
        ++parsed.keyLine;
    IndexBlock(parsed);
    return parsed;
}

void RegistryHive::IndexBlock(ParsedBlock& block) {
    block.values.clear();
    for (std::size_t k = block.keyLine + 1; k < block.lines.size();) {
        const std::string_view content = Content(block.lines[k]);
        const std::size_t at = SkipSpaces(content, 0);
        if (at < content.size() && (content[at] == '@' || content[at] == '"')) {
            ParsedValue parsed = ReadValue(block.lines, k);
            Value value;
            value.name = std::move(parsed.name);
            value.foldedName = Fold(value.name);
            value.firstLine = k;
            value.lineCount = parsed.lineCount;
            value.nameEnd = parsed.nameEnd;
            value.type = parsed.type;
            value.quoted = parsed.quoted;
            value.text = std::move(parsed.text);
            value.bytes = std::move(parsed.bytes);
            block.values.push_back(std::move(value));
            k += parsed.lineCount;
        } else {
            ++k;
        }
    }
}

RegistryHive::Range RegistryHive::Below(std::string_view key) const {
    const auto first = std::partition_point(sorted_.begin(), sorted_.end(),
                                            [&](std::uint32_t b) { return Key(b) < key; });
    const auto last = std::partition_point(first, sorted_.end(),
                                           [&](std::uint32_t b) { return IsBelow(Key(b), key); });
    return {static_cast<std::size_t>(first - sorted_.begin()),
            static_cast<std::size_t>(last - sorted_.begin())};
}

RegistryHive::Range RegistryHive::Exactly(std::string_view key) const {
    const Range below = Below(key);
    std::size_t last = below.first;
    while (last < below.last && Key(sorted_[last]) == key)
        ++last;
    return {below.first, last};
}

std::uint32_t RegistryHive::FirstInFile(Range range) const {
    return *std::min_element(sorted_.begin() + static_cast<std::ptrdiff_t>(range.first),
                             sorted_.begin() + static_cast<std::ptrdiff_t>(range.last));
}

bool RegistryHive::KeyExists(const std::string& keyPath) const {
    const auto path = SplitPath(keyPath);
    if (path.empty())
        return true;
    const Range range = Below(KeyOf(path));
    return range.first < range.last;
}

std::vector<std::u16string> RegistryHive::SpellPath(const std::vector<std::u16string>& path) const {
    std::vector<std::u16string> spelled = path;
    std::string prefix;
    for (std::size_t depth = 0; depth < path.size(); ++depth) {
        if (depth > 0)
            prefix += '\0';
        for (const char16_t c : path[depth])
            AppendFoldedUnit(prefix, c);
        const Range range = Below(prefix);
        if (range.first == range.last)
            break;
        spelled[depth] = PathOf(blocks_[FirstInFile(range)])[depth];
    }
    return spelled;
}

std::size_t RegistryHive::InsertBlock(const std::vector<std::u16string>& path) {
    const std::string key = KeyOf(path);
    // Before the first block, in file order, of a key that sorts after it.
    std::size_t position = blocks_.size();
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        if (blocks_[b].live && Key(static_cast<std::uint32_t>(b)) > key) {
            position = b;
            break;
        }
    }
    const Stamp stamp = Now();
    char time[64];
    std::snprintf(time, sizeof time, "#time=%llx", stamp.fileTime);

    Block block;
    block.keyLine = newline_.size();
    block.keyBegin = keys_.size();
    keys_ += key;
    block.keyLength = static_cast<std::uint32_t>(key.size());
    block.owned = static_cast<std::int32_t>(owned_.size());
    owned_.push_back(newline_ + "[" + EscapePath(path) + "] " + std::to_string(stamp.seconds) +
                     newline_ + time + newline_);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(position), block);
    for (auto& b : sorted_)
        if (b >= position)
            ++b;
    const auto at = std::partition_point(sorted_.begin(), sorted_.end(), [&](std::uint32_t b) {
        const std::string_view other = Key(b);
        return other < key || (other == key && b < position);
    });
    sorted_.insert(at, static_cast<std::uint32_t>(position));
    return position;
}

void RegistryHive::Replace(std::size_t block, const ParsedBlock& parsed) {
    std::string text;
    for (const auto& line : parsed.lines)
        text += line;
    Block& target = blocks_[block];
    std::size_t keyLine = 0;
    for (std::size_t k = 0; k < parsed.keyLine; ++k)
        keyLine += parsed.lines[k].size();
    target.keyLine = keyLine;
    if (target.owned >= 0) {
        owned_[static_cast<std::size_t>(target.owned)] = std::move(text);
    } else {
        target.owned = static_cast<std::int32_t>(owned_.size());
        owned_.push_back(std::move(text));
    }
}

void RegistryHive::CreateKey(const std::string& keyPath) {
    const auto path = SplitPath(keyPath);
    if (path.empty())
        return;
    const Range range = Below(KeyOf(path));
    if (range.first < range.last)
        return;
    InsertBlock(SpellPath(path));
}

bool RegistryHive::DeleteKeyTree(const std::string& keyPath) {
    const auto path = SplitPath(keyPath);
    if (path.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const Range range = Below(KeyOf(path));
    if (range.first == range.last)
        return false;
    // Deleting a key never deletes its parent: when the parent has nothing
    // else it gets a block of its own, spelled as before the deletion.
    const std::vector<std::u16string> parentPath(path.begin(), path.end() - 1);
    std::optional<std::vector<std::u16string>> parent;
    if (!parentPath.empty()) {
        const Range parentRange = Below(KeyOf(parentPath));
        if (parentRange.first == range.first && parentRange.last == range.last)
            parent = SpellPath(parentPath);
    }
    for (std::size_t k = range.first; k < range.last; ++k)
        blocks_[sorted_[k]].live = false;
    sorted_.erase(sorted_.begin() + static_cast<std::ptrdiff_t>(range.first),
                  sorted_.begin() + static_cast<std::ptrdiff_t>(range.last));
    if (parent)
        InsertBlock(*parent);
    return true;
}

const RegistryHive::Value* RegistryHive::FindValue(std::string_view key,
                                                   const std::u16string& foldedName,
                                                   ParsedBlock& holder) const {
    // When a name occurs more than once, the last one counts, as when Wine
    // loads the file.
    const Range range = Exactly(key);
    for (std::size_t k = range.last; k > range.first; --k) {
        ParsedBlock parsed = Parse(blocks_[sorted_[k - 1]]);
        for (std::size_t v = parsed.values.size(); v > 0; --v) {
            if (parsed.values[v - 1].foldedName == foldedName) {
                holder = std::move(parsed);
                return &holder.values[v - 1];
            }
        }
    }
    return nullptr;
}

std::optional<std::string> RegistryHive::GetString(const std::string& keyPath,
                                                   const std::string& valueName) const {
    ParsedBlock holder;
    const Value* value = FindValue(KeyOf(SplitPath(keyPath)), Fold(ToUtf16(valueName)), holder);
    if (value == nullptr || (value->type != RegSz && value->type != RegExpandSz))
        return std::nullopt;
    if (value->quoted)
        return ToUtf8(value->text);
    // A string Wine could not write as one (no terminating NUL) is kept as
    // UTF-16LE bytes.
    std::u16string text;
    for (std::size_t k = 0; k + 1 < value->bytes.size(); k += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(value->bytes[k]) |
                                      (static_cast<unsigned char>(value->bytes[k + 1]) << 8));
    if (!text.empty() && text.back() == 0)
        text.pop_back();
    return ToUtf8(text);
}

bool RegistryHive::SetString(const std::string& keyPath, const std::string& valueName,
                             const std::string& value) {
    const auto path = SplitPath(keyPath);
    const std::string key = KeyOf(path);
    const std::u16string name = ToUtf16(valueName);
    const std::u16string foldedName = Fold(name);
    const std::u16string text = ToUtf16(value);
    const std::string data = "\"" + Escape(text, '"', '"') + "\"" + newline_;

    // The last value of that name in the key, else the key's last block.
    const Range range = Exactly(key);
    for (std::size_t k = range.last; k > range.first; --k) {
        const std::size_t b = sorted_[k - 1];
        ParsedBlock block = Parse(blocks_[b]);
        for (std::size_t v = block.values.size(); v > 0; --v) {
            const Value& existing = block.values[v - 1];
            if (existing.foldedName != foldedName)
                continue;
            if (existing.type == RegSz && existing.quoted && existing.text == text)
                return false;
            const auto first =
                block.lines.begin() + static_cast<std::ptrdiff_t>(existing.firstLine);
            std::string line = first->substr(0, existing.nameEnd) + "=" + data;
            const auto erased =
                block.lines.erase(first, first + static_cast<std::ptrdiff_t>(existing.lineCount));
            block.lines.insert(erased, std::move(line));
            Replace(b, block);
            return true;
        }
    }

    const std::size_t targetBlock =
        range.first < range.last ? sorted_[range.last - 1] : InsertBlock(SpellPath(path));
    ParsedBlock target = Parse(blocks_[targetBlock]);

    // The new line goes before the first value that sorts after it, else
    // after the block's last line that is not blank.
    std::size_t position = target.lines.size();
    const auto after =
        std::find_if(target.values.begin(), target.values.end(),
                     [&](const Value& v) { return CompareFolded(v.foldedName, foldedName) > 0; });
    if (after != target.values.end()) {
        position = after->firstLine;
    } else {
        while (position > target.keyLine + 1 && IsBlank(target.lines[position - 1]))
            --position;
        // A hex list whose last line ends with a backslash goes on over the
        // blank line after it: the new line must not become part of it.
        for (const Value& v : target.values) {
            if (position > v.firstLine && position < v.firstLine + v.lineCount)
                position = v.firstLine + v.lineCount;
        }
    }
    const std::string nameToken = name.empty() ? "@" : "\"" + Escape(name, '"', '"') + "\"";
    target.lines.insert(target.lines.begin() + static_cast<std::ptrdiff_t>(position),
                        nameToken + "=" + data);
    Replace(targetBlock, target);
    return true;
}

std::vector<std::string> RegistryHive::SubKeyNames(const std::string& keyPath) const {
    const auto path = SplitPath(keyPath);
    const std::string key = KeyOf(path);
    const Range range = Below(key);
    // The direct sub-keys in the order in which they first appear in the
    // file, each spelled as there.
    struct Child {
        std::uint32_t firstBlock;
    };
    std::vector<Child> children;
    const std::size_t childStart = key.empty() ? 0 : key.size() + 1;
    std::string_view current;
    for (std::size_t k = range.first; k < range.last; ++k) {
        const std::string_view other = Key(sorted_[k]);
        if (other.size() <= key.size() && !key.empty())
            continue; // the key's own blocks
        if (key.empty() && other.empty())
            continue;
        const std::size_t stop = other.find('\0', childStart);
        const std::string_view child = other.substr(0, stop);
        if (children.empty() || child != current) {
            children.push_back({sorted_[k]});
            current = child;
        } else if (sorted_[k] < children.back().firstBlock) {
            children.back().firstBlock = sorted_[k];
        }
    }
    std::sort(children.begin(), children.end(),
              [](const Child& a, const Child& b) { return a.firstBlock < b.firstBlock; });
    std::vector<std::string> names;
    names.reserve(children.size());
    for (const Child& child : children)
        names.push_back(ToUtf8(PathOf(blocks_[child.firstBlock])[path.size()]));
    return names;
}

std::string RegistryHive::RootPath() const {
    for (const auto& line : SplitLines(std::string_view(*text_).substr(0, prologueEnd_))) {
        const std::string_view content = Content(line);
        if (StartsWith(content, RootComment)) {
            std::u16string path;
            ReadEscaped(content, RootComment.size(), 0, path);
            return ToUtf8(path);
        }
    }
    return "";
}

std::string RegistryHive::Architecture() const {
    for (const auto& line : SplitLines(std::string_view(*text_).substr(0, prologueEnd_))) {
        const std::string_view content = Content(line);
        const std::size_t at = SkipSpaces(content, 0);
        if (StartsWith(content.substr(at), ArchOption))
            return std::string(content.substr(at + ArchOption.size()));
    }
    return "";
}

} // namespace kestovan::posix
