#pragma once

// Text helpers shared by the test platforms: names compared as the machine
// compares them (ASCII letter case ignored) and '*'/'?' wildcards.

#include <cstddef>
#include <string>
#include <vector>

namespace kestovan::testsupport {

inline std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

inline bool SameText(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

// '*' and '?' wildcards, letter case ignored; "*.*" matches every name.
inline bool WildcardMatch(const std::string& name, const std::string& pattern) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    const std::string n = Upper(name);
    const std::string p = Upper(pattern);
    std::size_t ni = 0, pi = 0, star = std::string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++ni;
            ++pi;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

inline std::vector<std::string> SplitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

} // namespace kestovan::testsupport
