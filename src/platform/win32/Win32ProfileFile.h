#pragma once

#include <optional>
#include <string>

namespace kestovan::win32 {

// WritePrivateProfileStringA for a profile file named by a path, written so
// that a reader, a crash or a power cut sees the whole old file or the whole
// new one (the system's call rewrites the file in place):
//  - the new text comes from ProfileSetString, so only the key's line
//    changes and the file keeps its line ends and every other byte;
//  - it goes to a temporary file beside the old one ("<name>.kestovan-tmp"),
//    which is flushed to the disk and then replaces the old file
//    (ReplaceFileA, else MoveFileExA with write-through), the old file's
//    attributes (hidden, system, archive) carried over;
//  - a read-only file is refused (0) as the system's call refuses it; on any
//    failure the old file stays as it was and the temporary file is removed.
// Returns the call's result (non-zero when written), or nullopt for the
// calls left to the system: a bare file name (a file of the Windows
// directory, which the system may keep elsewhere) and a file in UTF-16.
std::optional<long> WriteProfileStringReplacingFile(const std::string& section,
                                                    const std::string& key,
                                                    const std::string& value,
                                                    const std::string& fileName);

} // namespace kestovan::win32
