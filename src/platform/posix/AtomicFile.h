#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestovan::posix {

// Reads a whole file as bytes; nullopt when it does not exist.  Raises
// RuntimeError (75) when it exists but cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Replaces the file's content so that a reader, a crash or a power cut sees
// the whole old file or the whole new one, never a mix:
//  - the new content goes to a temporary file in the same directory (an
//    unnamed one where the file system can make it, so that a process killed
//    while writing leaves nothing behind; else "<name>.kestovan-tmp"), which
//    is flushed to the disk;
//  - the temporary file gets what the old file carried: its permission bits,
//    its owner (where the caller may give it), and its hidden and system
//    attributes (the "user.DOSATTRIB" extended attribute, copied as it is);
//  - it is renamed over the old file, and the directory is flushed so that
//    the rename itself survives a power cut.
// The bytes are written as given (line ends included).  A failure (disk
// full, permission) leaves the old file as it was and no temporary file.
// Raises RuntimeError (61 disk full, 70 permission, 75 otherwise).
void WriteFileAtomically(const std::filesystem::path& path, const std::string& content);
// The same, with the content given as pieces written one after the other.
void WriteFileAtomically(const std::filesystem::path& path,
                         const std::vector<std::string_view>& pieces);

// The name of the temporary file WriteFileAtomically may use for path.
std::filesystem::path TemporaryFileFor(const std::filesystem::path& path);

} // namespace kestovan::posix
