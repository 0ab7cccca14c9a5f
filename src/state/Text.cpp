#include "state/Text.h"

namespace kestovan {

std::string UCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return UCase(a) == UCase(b);
}

std::string Trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

char LastChar(std::string_view text) {
    return text.empty() ? '\0' : text.back();
}

std::string WithTrailingBackslash(std::string text) {
    if (LastChar(text) != '\\')
        text += '\\';
    return text;
}

} // namespace kestovan
