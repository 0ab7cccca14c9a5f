#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kestovan::posix {

// Reads a whole file as bytes; nullopt when it does not exist.  Raises
// RuntimeError (75) when it exists but cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Replaces the file's content: writes a temporary file beside it, flushes
// it, then renames it over the old one, so that a failure (disk full,
// permission) leaves the old file intact.  Keeps the old file's permission
// bits.  Raises RuntimeError (61 disk full, 70 permission, 75 otherwise).
void WriteFileAtomically(const std::filesystem::path& path, const std::string& content);

} // namespace kestovan::posix
