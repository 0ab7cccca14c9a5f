#include "platform/posix/ShortName.h"

#include <cstring>

namespace kestovan::posix {

namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Appends the first `limit` valid characters of text, upper-cased.
std::string ValidPrefix(std::string_view text, std::size_t limit) {
    std::string result;
    for (char c : text) {
        if (result.size() == limit)
            break;
        if (IsShortNameChar(static_cast<unsigned char>(c)))
            result.push_back(UpperAscii(c));
    }
    return result;
}

} // namespace

bool IsShortNameChar(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return c != 0 && std::strchr("$%'-_@~`!(){}^#&", c) != nullptr;
}

bool IsValidShortName(std::string_view name) {
    const auto dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view extension =
        dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
    if (base.empty() || base.size() > 8)
        return false;
    if (dot != std::string_view::npos && (extension.empty() || extension.size() > 3))
        return false;
    for (std::string_view part : {base, extension})
        for (char c : part)
            if (!IsShortNameChar(static_cast<unsigned char>(c)))
                return false;
    return true;
}

ShortNameStem MakeShortNameStem(std::string_view longName) {
    // A dot at the very start (".profile") begins the base name, not an
    // extension.
    const auto dot = longName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {ValidPrefix(longName, 6), {}};
    return {ValidPrefix(longName.substr(0, dot), 6), ValidPrefix(longName.substr(dot + 1), 3)};
}

std::string FormatShortName(const ShortNameStem& stem, unsigned n) {
    const std::string suffix = "~" + std::to_string(n);
    const std::size_t room = suffix.size() < 8 ? 8 - suffix.size() : 0;
    std::string result = stem.base.substr(0, room) + suffix;
    if (!stem.extension.empty())
        result += "." + stem.extension;
    return result;
}

} // namespace kestovan::posix
