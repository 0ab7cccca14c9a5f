#pragma once

#include <string>
#include <string_view>

namespace kestovan {

// Upper-cases the ASCII letters of a text (the program's path comparisons).
std::string UCase(std::string_view text);
// True when both texts are equal once upper-cased.
bool SameIgnoringCase(std::string_view a, std::string_view b);
// Removes leading and trailing blanks (spaces only, as the run-time's Trim).
std::string Trim(std::string_view text);
// The last character, or '\0' for an empty text.
char LastChar(std::string_view text);
// Appends a backslash unless the text already ends with one.
std::string WithTrailingBackslash(std::string text);

inline constexpr const char* Quote = "\"";

} // namespace kestovan
