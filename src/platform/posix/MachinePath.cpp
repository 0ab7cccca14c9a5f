#include "platform/posix/MachinePath.h"

#include "platform/RuntimeError.h"
#include "platform/posix/MachinePattern.h"

#include <array>

namespace kestovan::posix {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

enum class CharClass : unsigned char { Ordinary, Separator, Invalid, Wildcard };

// What each byte is in a written path: control characters and < > " | :
// are never allowed (the drive's colon is taken off before), * and ? only
// in the last component.
constexpr std::array<CharClass, 256> CharClasses = [] {
    std::array<CharClass, 256> classes{};
    for (int c = 0; c < 0x20; ++c)
        classes[static_cast<std::size_t>(c)] = CharClass::Invalid;
    for (unsigned char c : {'<', '>', '"', '|', ':'})
        classes[c] = CharClass::Invalid;
    classes['\\'] = CharClass::Separator;
    classes['/'] = CharClass::Separator;
    classes['*'] = CharClass::Wildcard;
    classes['?'] = CharClass::Wildcard;
    return classes;
}();

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
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
    // One pass over the characters: components are cut at separators and
    // checked on the way; a wildcard is allowed only in the last one.
    constexpr std::size_t None = std::string_view::npos;
    std::size_t wildcardComponent = None; // the first component holding one
    std::size_t start = 0;
    const auto endComponent = [&](std::size_t end) {
        if (end > start)
            result.components.emplace_back(text.substr(start, end - start));
        start = end + 1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const CharClass kind = CharClasses[static_cast<unsigned char>(text[i])];
        if (kind == CharClass::Ordinary)
            continue;
        if (kind == CharClass::Separator)
            endComponent(i);
        else if (kind == CharClass::Invalid)
            throw RuntimeError(err::BadFileNameOrNumber);
        else if (wildcardComponent == None)
            wildcardComponent = result.components.size();
    }
    endComponent(text.size());
    if (wildcardComponent != None && !(allowLastWildcards && !result.trailingSeparator &&
                                       wildcardComponent + 1 == result.components.size()))
        throw RuntimeError(err::BadFileNameOrNumber);
    return result;
}

DrivePath MakeDrivePath(WrittenPath written, char currentDrive,
                        const std::vector<std::string>& base) {
    DrivePath result;
    result.drive = written.drive != 0 ? written.drive : currentDrive;
    result.namesDirectory = written.trailingSeparator || written.components.empty();
    // The written components follow the base (none when rooted) and are
    // applied in place: kept ones move down over "." and "..".
    std::vector<std::string>& out = result.components;
    std::size_t first = 0;
    if (written.rooted) {
        out = std::move(written.components);
    } else {
        out.reserve(base.size() + written.components.size());
        out.assign(base.begin(), base.end());
        first = base.size();
        for (std::string& component : written.components)
            out.push_back(std::move(component));
    }
    std::size_t kept = first;
    for (std::size_t i = first; i < out.size(); ++i) {
        std::string& component = out[i];
        const bool last = i + 1 == out.size();
        if (last && component != "." && component != "..") {
            result.lastHasWildcards = HasWildcard(component);
            component.resize(TrimmedLastComponent(component).size());
            if (component.empty())
                component = ".";
        }
        if (component == "." || component == "..") {
            if (component == ".." && kept > 0)
                --kept;
            if (last)
                result.namesDirectory = true;
            continue;
        }
        if (kept != i)
            out[kept] = std::move(component);
        ++kept;
    }
    out.resize(kept);
    return result;
}

LastComponentKind KindOfLastComponent(std::string_view name, bool allowWildcards) {
    // Which classes of characters the name holds, gathered without a branch
    // per character.
    unsigned seen = 0;
    for (const char c : name)
        seen |= 1U << static_cast<unsigned>(CharClasses[static_cast<unsigned char>(c)]);
    const auto holds = [&](CharClass kind) {
        return (seen & (1U << static_cast<unsigned>(kind))) != 0;
    };
    if (holds(CharClass::Separator) || holds(CharClass::Invalid))
        return LastComponentKind::NotPlain;
    if (holds(CharClass::Wildcard))
        return allowWildcards ? LastComponentKind::PlainWithWildcards : LastComponentKind::NotPlain;
    // "." and ".." leave nothing either.
    return TrimmedLastComponent(name).empty() ? LastComponentKind::NotPlain
                                              : LastComponentKind::Plain;
}

std::string_view TrimmedLastComponent(std::string_view name) {
    const auto trimmed = [](char c) { return c == '.' || c == ' '; };
    if (!name.empty() && trimmed(name.back()) && !HasWildcard(name))
        while (!name.empty() && trimmed(name.back()))
            name.remove_suffix(1);
    return name;
}

} // namespace kestovan::posix
