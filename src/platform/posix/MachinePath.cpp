#include "platform/posix/MachinePath.h"

#include "platform/RuntimeError.h"
#include "platform/posix/MachinePattern.h"

namespace kestovan::posix {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void CheckComponent(std::string_view component, bool wildcardsAllowed) {
    for (char c : component) {
        const auto u = static_cast<unsigned char>(c);
        // Most characters are none of those below: one test for them.
        if (u >= 0x40 && c != '|')
            continue;
        if (u < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == ':')
            throw RuntimeError(err::BadFileNameOrNumber);
        if ((c == '*' || c == '?') && !wildcardsAllowed)
            throw RuntimeError(err::BadFileNameOrNumber);
    }
}

} // namespace

WrittenPath SplitWindowsPath(std::string_view text, bool allowLastWildcards) {
    WrittenPath result;
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
        throw RuntimeError(err::BadFileNameOrNumber); // UNC and device paths
    if (text.size() >= 2 && text[1] == ':') {
        if (!IsAsciiLetter(text[0]))
            throw RuntimeError(err::BadFileNameOrNumber);
        result.drive = static_cast<char>(text[0] | 0x20);
        text.remove_prefix(2);
    }
    result.components.reserve(8);
    result.rooted = !text.empty() && IsSeparator(text[0]);
    result.trailingSeparator = !text.empty() && IsSeparator(text.back());
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = start;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        if (end > start)
            result.components.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (std::size_t i = 0; i < result.components.size(); ++i) {
        const bool last = i + 1 == result.components.size() && !result.trailingSeparator;
        CheckComponent(result.components[i], last && allowLastWildcards);
    }
    return result;
}

DrivePath MakeDrivePath(WrittenPath written, char currentDrive,
                        const std::vector<std::string>& base) {
    DrivePath result;
    result.drive = written.drive != 0 ? written.drive : currentDrive;
    result.components.reserve(written.components.size() + (written.rooted ? 0 : base.size()));
    if (!written.rooted)
        result.components = base;
    result.namesDirectory = written.trailingSeparator || written.components.empty();
    for (std::size_t i = 0; i < written.components.size(); ++i) {
        std::string component = std::move(written.components[i]);
        const bool last = i + 1 == written.components.size();
        if (last && !HasWildcard(component) && component != "." && component != "..") {
            while (!component.empty() && (component.back() == '.' || component.back() == ' '))
                component.pop_back();
            if (component.empty())
                component = ".";
        }
        if (component == "." || component == "..") {
            if (component == ".." && !result.components.empty())
                result.components.pop_back();
            if (last)
                result.namesDirectory = true;
            continue;
        }
        result.components.push_back(std::move(component));
    }
    return result;
}

} // namespace kestovan::posix
