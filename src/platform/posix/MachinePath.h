#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestovan::posix {

// A Windows path as written, split into its parts.  "C:\a\b", "C:a\b",
// "\a\b" and "a\b" are all accepted; '/' separates like '\'.
struct WrittenPath {
    char drive = 0;                      // lower-case letter; 0 when none is written
    bool rooted = false;                 // starts at the drive's root
    std::vector<std::string> components; // empty components dropped
    bool trailingSeparator = false;
};

// Splits text.  Raises RuntimeError 52 (bad file name or number) for a path
// the machine cannot hold: a UNC or device path, a ':' after the drive, the
// characters < > " | or control characters, and wildcards anywhere but in
// the last component (there only when allowLastWildcards).
WrittenPath SplitWindowsPath(std::string_view text, bool allowLastWildcards);

// A path from a drive's root, "." and ".." applied.
struct DrivePath {
    char drive = 0;
    std::vector<std::string> components;
    // True when the path names a directory by its form: it ends with a
    // separator, a "." or ".." component, or nothing follows the drive.
    bool namesDirectory = false;
    // True when the last component holds a wildcard.
    bool lastHasWildcards = false;
};

// Makes written absolute.  base holds the components of the current
// directory of written's drive (used when written is not rooted) and
// currentDrive is used when written names no drive.  ".." never climbs above
// the root.  Trailing dots and spaces of the last component are dropped, as
// Windows does, unless it holds wildcards.
DrivePath MakeDrivePath(WrittenPath written, char currentDrive,
                        const std::vector<std::string>& base);

// What a name written as the last component of a path is.
enum class LastComponentKind {
    // A separator, a character a name cannot hold, a wildcard where none is
    // allowed, "." or "..", or nothing left once the trailing dots and
    // spaces go.
    NotPlain,
    Plain,              // a name
    PlainWithWildcards, // a pattern
};
// A path ending in a plain name is the path of the directory before it with
// the name added, as TrimmedLastComponent gives it.
LastComponentKind KindOfLastComponent(std::string_view name, bool allowWildcards);

// The last component as a path keeps it: trailing dots and spaces dropped,
// as Windows does, unless it holds wildcards ("" when nothing is left).
std::string_view TrimmedLastComponent(std::string_view name);

} // namespace kestovan::posix
