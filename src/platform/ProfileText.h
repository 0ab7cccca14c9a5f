#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestovan {

// Profile (INI) files as GetPrivateProfileStringA and WritePrivateProfileStringA
// see them.  Both functions work on the text of the file only; the caller reads
// and writes the file (ReadWholeFile, WriteFileAtomically).  fileText is
// nullopt when the file does not exist.
//
// The format as read here:
//  - lines end with LF or CR LF; a UTF-8 byte order mark before the first line
//    is not part of that line;
//  - a line whose first non-blank character is '[' and that holds a ']' starts
//    a section, named by the text between the '[' and the last ']';
//  - a line whose first non-blank character is ';' is a comment;
//  - any other line holding '=' is a key: the name is the text before the
//    first '=', the value the text after it;
//  - names and values are taken without the blanks around them; section and
//    key names are compared without regard to letter case (ASCII);
//  - lines before the first section belong to the unnamed section "";
//  - only the first section of a given name is looked at, and in it only the
//    first key of a given name (later duplicates are never seen).

// GetPrivateProfileStringA.  Copies the key's value into buffer (the caller
// sizes it; at most min(size, buffer.size()) - 1 characters, then a NUL) and
// returns the number of characters copied, without the NUL.  One pair of
// matching double or single quotes around the value is removed.  A missing
// file, section or key gives defaultValue without its trailing blanks; a key
// with an empty value gives the empty string, not the default.  Capacity 0
// gives 0 and leaves the buffer as it is.
std::uint32_t ProfileGetString(const std::optional<std::string>& fileText,
                               const std::string& section, const std::string& key,
                               const std::string& defaultValue, std::string& buffer,
                               std::uint32_t size);

// WritePrivateProfileStringA(section, key, value): returns the new text of the
// file.  Only the key's line changes, to "key=value" with the key spelled as
// the file writes it; every other byte stays as it was.  A missing key is put
// after the last non-blank line of its section; a missing section is added at
// the end, its "[section]" line followed by the key line.  Added lines end as
// the first line end of the file is written (LF or CR LF); a new file, or one
// without any line end, gets CR LF.  A key of the unnamed section ("") in a
// new file opens it without a section line.
// When the key already holds exactly that value the text comes back unchanged.
std::string ProfileSetString(const std::optional<std::string>& fileText, const std::string& section,
                             const std::string& key, const std::string& value);

// The text without the blanks the profile functions take off around names and
// values (space, tab, CR, VT, FF and the old end-of-file mark 0x1A).
std::string_view ProfileTrim(std::string_view text);

// True when a and b name the same section or key: equal once trimmed, without
// regard to the letter case of ASCII letters.
bool ProfileSameName(std::string_view a, std::string_view b);

} // namespace kestovan
