#include "platform/posix/MachinePattern.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace kestovan::posix {

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool HasWildcard(std::string_view text) {
    return std::memchr(text.data(), '*', text.size()) != nullptr ||
           std::memchr(text.data(), '?', text.size()) != nullptr;
}

std::string FoldCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = LowerAscii(c);
    return result;
}

MachinePattern::MachinePattern(std::string_view pattern) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '*')
            tokens_.push_back({next == '.' ? Op::StarToLastDot : Op::Star, c});
        else if (c == '?')
            tokens_.push_back({Op::OneOrEnd, c});
        else if (c == '.' && (next == '\0' || next == '*' || next == '?'))
            tokens_.push_back({Op::DotOrEnd, c});
        else
            tokens_.push_back({Op::Literal, LowerAscii(c)});
    }
    // "*" and "*.*" take every name; spare them the matching.
    const auto is = [this](std::initializer_list<Op> ops) {
        return std::equal(tokens_.begin(), tokens_.end(), ops.begin(), ops.end(),
                          [](const Token& t, Op op) { return t.op == op; });
    };
    matchesAll_ = is({Op::Star}) || is({Op::StarToLastDot, Op::DotOrEnd, Op::Star});
    // "*.ext": the star may run up to the name's last dot, and the dot of
    // ".ext" is the last one when ext holds none, so the pattern matches
    // exactly the names ending in ".ext".
    const bool starDotLiterals =
        tokens_.size() >= 2 && tokens_[0].op == Op::StarToLastDot &&
        std::all_of(tokens_.begin() + 1, tokens_.end(),
                    [](const Token& t) { return t.op == Op::Literal; }) &&
        tokens_[1].c == '.' &&
        std::none_of(tokens_.begin() + 2, tokens_.end(), [](const Token& t) { return t.c == '.'; });
    if (starDotLiterals)
        for (auto it = tokens_.begin() + 1; it != tokens_.end(); ++it)
            suffix_ += it->c;
}

bool MachinePattern::Matches(std::string_view name) const {
    if (matchesAll_)
        return true;
    if (!suffix_.empty()) {
        if (name.size() < suffix_.size())
            return false;
        const std::string_view end = name.substr(name.size() - suffix_.size());
        return std::equal(end.begin(), end.end(), suffix_.begin(),
                          [](char a, char b) { return LowerAscii(a) == b; });
    }
    // The set of name positions the pattern read so far can end at.
    const std::size_t n = name.size();
    const std::size_t lastDot = name.rfind('.');
    std::vector<char> at(n + 1, 0), next(n + 1, 0);
    at[0] = 1;
    for (const Token& token : tokens_) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (std::size_t j = 0; j <= n; ++j) {
            if (!at[j])
                continue;
            switch (token.op) {
            case Op::Literal:
                if (j < n && LowerAscii(name[j]) == token.c)
                    next[j + 1] = 1;
                break;
            case Op::Star:
                for (std::size_t k = j; k <= n; ++k)
                    next[k] = 1;
                j = n; // every later position is already reached
                break;
            case Op::StarToLastDot: {
                // Any run of characters that does not take the last dot.
                const std::size_t end =
                    (lastDot != std::string_view::npos && j <= lastDot) ? lastDot : n;
                for (std::size_t k = j; k <= end; ++k)
                    next[k] = 1;
                break;
            }
            case Op::OneOrEnd:
                if (j < n && name[j] != '.')
                    next[j + 1] = 1;
                else
                    next[j] = 1;
                break;
            case Op::DotOrEnd:
                if (j < n && name[j] == '.')
                    next[j + 1] = 1;
                else if (j == n)
                    next[j] = 1;
                break;
            }
        }
        for (char v : next)
            any = any || v;
        if (!any)
            return false;
        at.swap(next);
    }
    return at[n] != 0;
}

MachinePatternList::MachinePatternList(std::string_view patterns) {
    bool any = false;
    while (true) {
        const auto semicolon = patterns.find(';');
        std::string_view piece = patterns.substr(0, semicolon);
        piece.remove_prefix(std::min(piece.find_first_not_of(' '), piece.size()));
        piece.remove_suffix(piece.size() - (piece.find_last_not_of(' ') + 1));
        if (!piece.empty()) {
            any = true;
            MachinePattern pattern(piece);
            const std::uint64_t suffix = PackedSuffix(pattern.Suffix());
            if (pattern.MatchesAll())
                matchesAll_ = true;
            else if (suffix != 0 && pattern.Suffix().size() <= 8)
                suffixes_.push_back(suffix);
            else
                others_.push_back(std::move(pattern));
        }
        if (semicolon == std::string_view::npos)
            break;
        patterns.remove_prefix(semicolon + 1);
    }
    matchesAll_ = matchesAll_ || !any;
}

bool MachinePatternList::MatchesOther(std::string_view name) const {
    return std::any_of(others_.begin(), others_.end(),
                       [&](const MachinePattern& pattern) { return pattern.Matches(name); });
}

} // namespace kestovan::posix
