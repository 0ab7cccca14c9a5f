#include "platform/ProfileText.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace kestovan {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The white space the profile functions strip around names and values.  LF
// never reaches here: it ends the line.  0x1A is the old end-of-file mark.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1A';
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

enum class LineKind { Other, Section, Comment, Key };

// One line of the file, as offsets into the text.
struct Line {
    std::size_t begin = 0;      // first byte of the line (after a BOM on line 1)
    std::size_t contentEnd = 0; // where the CR LF or LF that ends the line starts
    std::size_t end = 0;        // just after the line end (or the end of the text)
    bool hasLineEnd = false;
    bool blank = true; // nothing but white space
    LineKind kind = LineKind::Other;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
};

Line Classify(std::string_view text, std::size_t begin, std::size_t contentEnd, std::size_t end,
              bool hasLineEnd) {
    Line line;
    line.begin = begin;
    line.contentEnd = contentEnd;
    line.end = end;
    line.hasLineEnd = hasLineEnd;
    std::string_view content = text.substr(begin, contentEnd - begin);
    std::string_view body = ProfileTrim(content);
    if (body.empty())
        return line;
    line.blank = false;
    if (body.front() == '[') {
        std::size_t close = body.rfind(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = ProfileTrim(body.substr(1, close - 1));
            return line;
        }
    }
    if (body.front() == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    std::size_t equals = body.find('=');
    if (equals != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = ProfileTrim(body.substr(0, equals));
        line.value = ProfileTrim(body.substr(equals + 1));
    }
    return line;
}

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        pos = kUtf8Bom.size();
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos) {
            lines.push_back(Classify(text, pos, text.size(), text.size(), false));
            break;
        }
        std::size_t contentEnd = (lf > pos && text[lf - 1] == '\r') ? lf - 1 : lf;
        lines.push_back(Classify(text, pos, contentEnd, lf + 1, true));
        pos = lf + 1;
    }
    return lines;
}

// The lines of the first section with a given name: its header line (npos
// for the unnamed section before the first header) and the lines after it up
// to the next header.
struct Section {
    bool found = false;
    std::size_t header = std::string_view::npos;
    std::size_t first = 0; // first line after the header
    std::size_t last = 0;  // one past the section's last line
};

Section FindSection(const std::vector<Line>& lines, std::string_view name) {
    std::string_view wanted = ProfileTrim(name);
    Section section;
    std::size_t i = 0;
    if (wanted.empty()) {
        section.found = true;
    } else {
        for (; i < lines.size(); ++i) {
            if (lines[i].kind == LineKind::Section && SameName(lines[i].name, wanted)) {
                section.found = true;
                section.header = i++;
                break;
            }
        }
    }
    if (!section.found)
        return section;
    section.first = i;
    while (i < lines.size() && lines[i].kind != LineKind::Section)
        ++i;
    section.last = i;
    return section;
}

// Index of the first key of that name in the section, or npos.
std::size_t FindKey(const std::vector<Line>& lines, const Section& section, std::string_view key) {
    std::string_view wanted = ProfileTrim(key);
    for (std::size_t i = section.first; i < section.last; ++i) {
        if (lines[i].kind == LineKind::Key && SameName(lines[i].name, wanted))
            return i;
    }
    return std::string_view::npos;
}

// One pair of matching quotes around a value is not part of it.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string_view LineEndOf(std::string_view text) {
    std::size_t lf = text.find('\n');
    if (lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r'))
        return "\n";
    return "\r\n";
}

} // namespace

std::string_view ProfileTrim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool ProfileSameName(std::string_view a, std::string_view b) {
    return SameName(ProfileTrim(a), ProfileTrim(b));
}

std::uint32_t ProfileGetString(const std::optional<std::string>& fileText,
                               const std::string& section, const std::string& key,
                               const std::string& defaultValue, std::string& buffer,
                               std::uint32_t size) {
    std::size_t capacity = std::min<std::size_t>(size, buffer.size());
    if (capacity == 0)
        return 0;

    std::string_view result = defaultValue;
    while (!result.empty() && result.back() == ' ')
        result.remove_suffix(1);

    if (fileText) {
        std::vector<Line> lines = SplitLines(*fileText);
        Section found = FindSection(lines, section);
        if (found.found) {
            std::size_t at = FindKey(lines, found, key);
            if (at != std::string_view::npos)
                result = Unquote(lines[at].value);
        }
    }

    std::size_t count = std::min(result.size(), capacity - 1);
    std::copy_n(result.data(), count, buffer.begin());
    buffer[count] = '\0';
    return static_cast<std::uint32_t>(count);
}

std::string ProfileSetString(const std::optional<std::string>& fileText, const std::string& section,
                             const std::string& key, const std::string& value) {
    std::string_view sectionName = ProfileTrim(section);
    std::string_view keyName = ProfileTrim(key);
    if (!fileText || fileText->empty()) {
        std::string text;
        // The unnamed section is the one before the first header: its keys
        // open the file, without a "[]" line that would name a section "".
        if (!sectionName.empty())
            text.append("[").append(sectionName).append("]\r\n");
        text.append(keyName).append("=").append(value).append("\r\n");
        return text;
    }

    std::string text = *fileText;
    const std::string eol(LineEndOf(text));
    std::vector<Line> lines = SplitLines(text);
    Section found = FindSection(lines, section);

    if (!found.found) {
        std::size_t bom = lines.empty() ? text.size() : lines.front().begin;
        if (text.size() > bom && text.back() != '\n')
            text += eol;
        text.append("[").append(sectionName).append("]").append(eol);
        text.append(keyName).append("=").append(value).append(eol);
        return text;
    }

    std::size_t at = FindKey(lines, found, key);
    if (at != std::string_view::npos) {
        const Line& line = lines[at];
        if (line.value == value)
            return text;
        std::string replacement(line.name);
        replacement.append("=").append(value);
        text.replace(line.begin, line.contentEnd - line.begin, replacement);
        return text;
    }

    // A new key goes after the section's last non-blank line, so that blank
    // lines between sections stay where they are.
    std::size_t after = found.header;
    for (std::size_t i = found.first; i < found.last; ++i) {
        if (!lines[i].blank)
            after = i;
    }
    std::string insertion;
    std::size_t offset;
    if (after == std::string_view::npos) {
        // The unnamed section with nothing in it yet: the key opens the file.
        offset = lines.empty() ? text.size() : lines.front().begin;
    } else {
        offset = lines[after].end;
        if (!lines[after].hasLineEnd)
            insertion += eol;
    }
    insertion.append(keyName).append("=").append(value).append(eol);
    text.insert(offset, insertion);
    return text;
}

} // namespace kestovan
