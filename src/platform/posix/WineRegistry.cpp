#include "platform/posix/WineRegistry.h"

#include "platform/RuntimeError.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
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
std::string_view Content(const std::string& line) {
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

std::vector<std::u16string> Fold(const std::vector<std::u16string>& path) {
    std::vector<std::u16string> out;
    out.reserve(path.size());
    for (const auto& part : path)
        out.push_back(Fold(part));
    return out;
}

// Wine's order of keys and values: folded names unit by unit, a name before
// the longer names it begins.
int CompareFolded(const std::u16string& a, const std::u16string& b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The order in which Wine writes keys: depth first, each key's sub-keys in
// name order.
int ComparePaths(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < common; ++k) {
        if (int c = CompareFolded(a[k], b[k]))
            return c;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool HasPrefix(const std::vector<std::u16string>& path, const std::vector<std::u16string>& prefix) {
    return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
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
            case 'a':
                control = 0x07;
                break;
            case 'b':
                control = 0x08;
                break;
            case 'e':
                control = 0x1B;
                break;
            case 'f':
                control = 0x0C;
                break;
            case 'n':
                control = 0x0A;
                break;
            case 'r':
                control = 0x0D;
                break;
            case 't':
                control = 0x09;
                break;
            case 'v':
                control = 0x0B;
                break;
            default:
                break;
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
std::vector<std::u16string> ReadKeyLine(const std::string& line) {
    const std::string_view content = Content(line);
    const std::size_t open = SkipSpaces(content, 0);
    std::u16string path;
    if (open >= content.size() || content[open] != '[' ||
        ReadEscaped(content, open + 1, ']', path) == std::string_view::npos)
        Corrupt();
    return SplitPath(path);
}

// Reads a comma-separated list of hex bytes at `at`; returns the position
// after it.
std::size_t ReadHexBytes(std::string_view text, std::size_t at, std::string& bytes) {
    while (at < text.size() && IsHexDigit(static_cast<unsigned char>(text[at]))) {
        unsigned value = 0;
        int digits = 0;
        while (at < text.size() && IsHexDigit(static_cast<unsigned char>(text[at]))) {
            value = value * 16 + HexValue(text[at]);
            ++at;
            if (++digits > 2 && value > 0xFF)
                Corrupt();
        }
        bytes += static_cast<char>(value);
        at = SkipSpaces(text, at);
        if (at < text.size() && text[at] == ',')
            ++at;
        at = SkipSpaces(text, at);
    }
    return at;
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

// Parses the value that starts at lines[first] (a hex list may go on over
// further lines, each before the last ending with a backslash).
ParsedValue ReadValue(const std::vector<std::string>& lines, std::size_t first) {
    ParsedValue value;
    std::string_view content = Content(lines[first]);
    std::size_t at = SkipSpaces(content, 0);
    if (at < content.size() && content[at] == '@') {
        ++at;
    } else {
        at = ReadEscaped(content, at + 1, '"', value.name);
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
            if (ReadEscaped(content, at + tag.text.size(), '"', value.text) ==
                std::string_view::npos)
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
        at = SkipSpaces(content, ReadHexBytes(content, at, value.bytes));
        if (at >= content.size())
            break;
        if (content[at] != '\\')
            Corrupt();
        const std::size_t next = first + value.lineCount;
        if (next >= lines.size())
            Corrupt();
        content = Content(lines[next]);
        ++value.lineCount;
        at = SkipSpaces(content, 0);
    }
    return value;
}

} // namespace

// --- RegistryHive ---------------------------------------------------------------

RegistryHive RegistryHive::Parse(const std::string& text) {
    if (text.empty() || text.back() != '\n')
        Corrupt();
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t stop = text.find('\n', start);
        stop = stop == std::string::npos ? text.size() : stop + 1;
        lines.push_back(text.substr(start, stop - start));
        start = stop;
    }
    if (Content(lines.front()) != HeaderLine)
        Corrupt();

    RegistryHive hive;
    const std::string& first = lines.front();
    hive.newline_ = first.size() >= 2 && first[first.size() - 2] == '\r' ? "\r\n" : "\n";
    hive.prologue_.push_back(first);

    std::vector<std::string> blankLines;
    auto owner = [&hive]() -> std::vector<std::string>& {
        return hive.blocks_.empty() ? hive.prologue_ : hive.blocks_.back().lines;
    };
    auto flushBlankLines = [&]() {
        auto& target = owner();
        target.insert(target.end(), blankLines.begin(), blankLines.end());
        blankLines.clear();
    };

    for (std::size_t k = 1; k < lines.size();) {
        const std::string_view content = Content(lines[k]);
        const std::size_t at = SkipSpaces(content, 0);
        if (at >= content.size()) {
            blankLines.push_back(lines[k++]);
            continue;
        }
        const char c = content[at];
        if (c == '[') {
            Block block;
            block.lines = std::move(blankLines);
            blankLines.clear();
            block.keyLine = block.lines.size();
            block.lines.push_back(lines[k]);
            ReadKeyLine(lines[k]); // a broken key line stops here
            hive.blocks_.push_back(std::move(block));
            ++k;
            continue;
        }
        flushBlankLines();
        if (c == '@' || c == '"') {
            if (hive.blocks_.empty())
                Corrupt();
            // A hex list may go on over further lines.
            const std::size_t count = ReadValue(lines, k).lineCount;
            auto& target = hive.blocks_.back().lines;
            target.insert(target.end(), lines.begin() + static_cast<std::ptrdiff_t>(k),
                          lines.begin() + static_cast<std::ptrdiff_t>(k + count));
            k += count;
            continue;
        }
        if (c == '#' && hive.blocks_.empty() && StartsWith(content.substr(at), ArchOption)) {
            const std::string_view arch = content.substr(at + ArchOption.size());
            if (arch != "win32" && arch != "win64")
                Corrupt();
        } else if (c != '#' && c != ';') {
            Corrupt();
        }
        owner().push_back(lines[k++]);
    }
    flushBlankLines();
    for (auto& block : hive.blocks_)
        IndexBlock(block);
    return hive;
}

std::string RegistryHive::Serialize() const {
    std::size_t size = 0;
    for (const auto& line : prologue_)
        size += line.size();
    for (const auto& block : blocks_)
        for (const auto& line : block.lines)
            size += line.size();
    std::string text;
    text.reserve(size);
    for (const auto& line : prologue_)
        text += line;
    for (const auto& block : blocks_)
        for (const auto& line : block.lines)
            text += line;
    return text;
}

void RegistryHive::IndexBlock(Block& block) {
    block.path = ReadKeyLine(block.lines[block.keyLine]);
    block.foldedPath = Fold(block.path);
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

bool RegistryHive::HasBlockFor(const std::vector<std::u16string>& foldedPath) const {
    return std::any_of(blocks_.begin(), blocks_.end(),
                       [&](const Block& block) { return HasPrefix(block.foldedPath, foldedPath); });
}

bool RegistryHive::KeyExists(const std::string& keyPath) const {
    const auto path = Fold(SplitPath(keyPath));
    return path.empty() || HasBlockFor(path);
}

std::vector<std::u16string> RegistryHive::SpellPath(const std::vector<std::u16string>& path) const {
    std::vector<std::u16string> spelled = path;
    std::vector<std::u16string> prefix;
    for (std::size_t depth = 0; depth < path.size(); ++depth) {
        prefix.push_back(Fold(path[depth]));
        const auto found = std::find_if(blocks_.begin(), blocks_.end(), [&](const Block& block) {
            return HasPrefix(block.foldedPath, prefix);
        });
        if (found == blocks_.end())
            break;
        spelled[depth] = found->path[depth];
    }
    return spelled;
}

std::size_t RegistryHive::InsertBlock(const std::vector<std::u16string>& path) {
    const auto folded = Fold(path);
    const auto position = std::find_if(blocks_.begin(), blocks_.end(), [&](const Block& block) {
        return ComparePaths(block.foldedPath, folded) > 0;
    });
    const Stamp stamp = Now();
    char time[64];
    std::snprintf(time, sizeof time, "#time=%llx", stamp.fileTime);

    Block block;
    block.lines.push_back(newline_);
    block.keyLine = 1;
    block.lines.push_back("[" + EscapePath(path) + "] " + std::to_string(stamp.seconds) + newline_);
    block.lines.push_back(time + newline_);
    block.path = path;
    block.foldedPath = folded;
    const auto inserted = blocks_.insert(position, std::move(block));
    return static_cast<std::size_t>(inserted - blocks_.begin());
}

void RegistryHive::CreateKey(const std::string& keyPath) {
    const auto path = SplitPath(keyPath);
    if (path.empty() || HasBlockFor(Fold(path)))
        return;
    InsertBlock(SpellPath(path));
}

bool RegistryHive::DeleteKeyTree(const std::string& keyPath) {
    const auto path = SplitPath(keyPath);
    if (path.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const auto folded = Fold(path);
    const auto parent = SpellPath(std::vector<std::u16string>(path.begin(), path.end() - 1));
    const auto removed = std::erase_if(
        blocks_, [&](const Block& block) { return HasPrefix(block.foldedPath, folded); });
    if (removed == 0)
        return false;
    // Deleting a key never deletes its parent.
    if (!parent.empty() && !HasBlockFor(Fold(parent)))
        InsertBlock(parent);
    return true;
}

const RegistryHive::Value* RegistryHive::FindValue(const std::vector<std::u16string>& foldedPath,
                                                   const std::u16string& foldedName) const {
    // When a name occurs more than once, the last one counts, as when Wine
    // loads the file.
    const Value* found = nullptr;
    for (const auto& block : blocks_) {
        if (block.foldedPath != foldedPath)
            continue;
        for (const auto& value : block.values) {
            if (value.foldedName == foldedName)
                found = &value;
        }
    }
    return found;
}

std::optional<std::string> RegistryHive::GetString(const std::string& keyPath,
                                                   const std::string& valueName) const {
    const Value* value = FindValue(Fold(SplitPath(keyPath)), Fold(ToUtf16(valueName)));
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
    const auto folded = Fold(path);
    const std::u16string name = ToUtf16(valueName);
    const std::u16string foldedName = Fold(name);
    const std::u16string text = ToUtf16(value);
    const std::string data = "\"" + Escape(text, '"', '"') + "\"" + newline_;

    // The last block of the key, and the last value of that name in the key.
    constexpr std::size_t None = static_cast<std::size_t>(-1);
    std::size_t targetBlock = None;
    std::size_t existingBlock = None;
    std::size_t existingValue = None;
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        if (blocks_[b].foldedPath != folded)
            continue;
        targetBlock = b;
        for (std::size_t v = 0; v < blocks_[b].values.size(); ++v) {
            if (blocks_[b].values[v].foldedName == foldedName)
                existingBlock = b, existingValue = v;
        }
    }

    if (existingBlock != None) {
        Block& block = blocks_[existingBlock];
        const Value& existing = block.values[existingValue];
        if (existing.type == RegSz && existing.quoted && existing.text == text)
            return false;
        const auto first = block.lines.begin() + static_cast<std::ptrdiff_t>(existing.firstLine);
        std::string line = first->substr(0, existing.nameEnd) + "=" + data;
        const auto erased =
            block.lines.erase(first, first + static_cast<std::ptrdiff_t>(existing.lineCount));
        block.lines.insert(erased, std::move(line));
        IndexBlock(block);
        return true;
    }

    Block* target = targetBlock != None ? &blocks_[targetBlock] : nullptr;
    if (target == nullptr)
        target = &blocks_[InsertBlock(SpellPath(path))];

    // The new line goes before the first value that sorts after it, else
    // after the block's last line that is not blank.
    std::size_t position = target->lines.size();
    const auto after =
        std::find_if(target->values.begin(), target->values.end(),
                     [&](const Value& v) { return CompareFolded(v.foldedName, foldedName) > 0; });
    if (after != target->values.end()) {
        position = after->firstLine;
    } else {
        while (position > target->keyLine + 1 &&
               SkipSpaces(Content(target->lines[position - 1]), 0) ==
                   Content(target->lines[position - 1]).size())
            --position;
        // A hex list whose last line ends with a backslash goes on over the
        // blank line after it: the new line must not become part of it.
        for (const Value& value : target->values) {
            if (position > value.firstLine && position < value.firstLine + value.lineCount)
                position = value.firstLine + value.lineCount;
        }
    }
    const std::string nameToken = name.empty() ? "@" : "\"" + Escape(name, '"', '"') + "\"";
    target->lines.insert(target->lines.begin() + static_cast<std::ptrdiff_t>(position),
                         nameToken + "=" + data);
    IndexBlock(*target);
    return true;
}

std::vector<std::string> RegistryHive::SubKeyNames(const std::string& keyPath) const {
    const auto folded = Fold(SplitPath(keyPath));
    std::vector<std::string> names;
    std::vector<std::u16string> seen;
    for (const auto& block : blocks_) {
        if (block.foldedPath.size() <= folded.size() || !HasPrefix(block.foldedPath, folded))
            continue;
        const std::u16string& child = block.foldedPath[folded.size()];
        if (std::find(seen.begin(), seen.end(), child) != seen.end())
            continue;
        seen.push_back(child);
        names.push_back(ToUtf8(block.path[folded.size()]));
    }
    return names;
}

std::string RegistryHive::RootPath() const {
    for (const auto& line : prologue_) {
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
    for (const auto& line : prologue_) {
        const std::string_view content = Content(line);
        const std::size_t at = SkipSpaces(content, 0);
        if (StartsWith(content.substr(at), ArchOption))
            return std::string(content.substr(at + ArchOption.size()));
    }
    return "";
}

} // namespace kestovan::posix
