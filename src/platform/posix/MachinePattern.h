#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestovan::posix {

// True when text holds one of the wildcards '*' and '?'.
bool HasWildcard(std::string_view text);

// Lower-cases the ASCII letters of text; other bytes are kept.
std::string FoldCase(std::string_view text);

// A file name pattern with Windows' wildcard rules, letter case ignored:
//  - '*' matches any run of characters; "*.*" matches every name, with or
//    without a dot, and "*." the names without one;
//  - '?' matches one character, or nothing at the end of the name or before
//    a dot ("a??.txt" matches "a.txt");
//  - a dot followed by a wildcard or ending the pattern also matches the end
//    of the name ("readme.*" matches "readme").
class MachinePattern {
public:
    explicit MachinePattern(std::string_view pattern);
    bool Matches(std::string_view name) const;

    bool MatchesAll() const { return matchesAll_; }
    // For "*.ext" (no further dot or wildcard): ".ext" lower-cased, the end
    // of every name it matches; "" for other patterns.
    const std::string& Suffix() const { return suffix_; }

private:
    enum class Op : unsigned char { Literal, Star, StarToLastDot, OneOrEnd, DotOrEnd };
    struct Token {
        Op op;
        char c;
    };
    std::vector<Token> tokens_;
    bool matchesAll_ = false;
    std::string suffix_;
};

// Patterns separated by ";" (blanks around each ignored), matching a name
// that one of them matches; no pattern at all stands for "*".  The "*.ext"
// patterns are looked up together: a name's extension is read once rather
// than once per pattern.
class MachinePatternList {
public:
    explicit MachinePatternList(std::string_view patterns);
    // Called for every name of a directory: defined here, to be inlined.
    bool Matches(std::string_view name) const {
        if (matchesAll_)
            return true;
        // A "*.ext" pattern matches exactly the names that end, from their
        // last dot, in ".ext".
        if (!suffixes_.empty())
            if (const std::uint64_t suffix = PackedSuffix(name); suffix != 0)
                for (const std::uint64_t wanted : suffixes_)
                    if (wanted == suffix)
                        return true;
        return !others_.empty() && MatchesOther(name);
    }

private:
    // A name's end of up to eight bytes from its last dot, lower-cased, as
    // one number (0 when it has no such end).
    static std::uint64_t PackedSuffix(std::string_view name) {
        // Read backwards up to the last dot: names rarely end far from it.
        std::uint64_t packed = 0;
        const std::size_t limit = name.size() < 8 ? name.size() : 8;
        for (std::size_t i = 1; i <= limit; ++i) {
            const char c = name[name.size() - i];
            const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            packed |= std::uint64_t{static_cast<unsigned char>(lower)} << (8 * (i - 1));
            if (c == '.')
                return packed;
        }
        return 0;
    }
    bool MatchesOther(std::string_view name) const;

    bool matchesAll_ = false;
    std::vector<std::uint64_t> suffixes_; // of the "*.ext" patterns, packed
    std::vector<MachinePattern> others_;
};

} // namespace kestovan::posix
