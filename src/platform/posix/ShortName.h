#pragma once

#include <string>
#include <string_view>

namespace kestovan::posix {

// 8.3 names of the machine directory.  A name that already is a valid 8.3
// name is its own short name; any other name gets a generated one made of a
// stem (up to six characters of its base name and three of its extension)
// and a number "~N" telling apart the names of one directory that give the
// same stem.

// True for the characters an 8.3 name may hold: ASCII letters and digits and
// $ % ' - _ @ ~ ` ! ( ) { } ^ # &.
bool IsShortNameChar(unsigned char c);

// True when name is a valid 8.3 name: one to eight valid characters,
// optionally a dot and one to three more.  Letter case does not matter.
bool IsValidShortName(std::string_view name);

// What a generated short name is made from: the first six valid characters
// of the base name (the part before the last dot) and the first three valid
// characters of the extension, both upper-cased.
struct ShortNameStem {
    std::string base;
    std::string extension;

    bool operator==(const ShortNameStem&) const = default;
    // One text naming the stem, used to group the names of a directory.
    std::string Key() const { return base + '.' + extension; }
};

ShortNameStem MakeShortNameStem(std::string_view longName);

// The generated short name of the stem with number n ("TAVORI~1.BMP").  For
// n of 10 and more the base is shortened so that it stays at eight
// characters.
std::string FormatShortName(const ShortNameStem& stem, unsigned n);

} // namespace kestovan::posix
