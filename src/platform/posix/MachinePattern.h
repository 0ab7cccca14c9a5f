#pragma once

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

private:
    enum class Op : unsigned char { Literal, Star, StarToLastDot, OneOrEnd, DotOrEnd };
    struct Token {
        Op op;
        char c;
    };
    std::vector<Token> tokens_;
    bool matchesAll_ = false;
    // "*.ext" (no further dot or wildcard): the names ending in ".ext",
    // lower-cased here.
    std::string suffix_;
};

} // namespace kestovan::posix
