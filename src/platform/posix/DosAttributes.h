#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kestovan::posix {

// The hidden and system attributes live in the extended attribute
// "user.DOSATTRIB", in Wine's text form: "0x" and a hexadecimal number
// ("0x2", "0x6"), possibly followed by other data (Samba appends a binary
// record after a NUL).
inline constexpr const char* DosAttribName = "user.DOSATTRIB";

// The leading number of a DOSATTRIB value; nullopt when it does not start
// with a hexadecimal number ("0x" is optional).
std::optional<unsigned> ParseDosAttrib(std::string_view value);

// Wine's form of a value: "0x" and lower-case hexadecimal digits.
std::string FormatDosAttrib(unsigned value);

// The number stored on path (links followed); 0 when there is none, when it
// cannot be read, or when the file system has no extended attributes.
unsigned ReadDosAttrib(const std::filesystem::path& path);

// getxattr of the attribute of name inside the directory dirFd (links
// followed), through the kernel's getxattrat where it has one (Linux 6.13):
// the directory's path is not walked again.  Returns what getxattr returns;
// -1 with errno ENOSYS when the kernel has no getxattrat, and the caller
// then asks by full path.
ssize_t GetXattrAt(int dirFd, const char* name, const char* attribute, void* value,
                   std::size_t size);

// Stores value on path (links followed), or removes the attribute when
// value is 0.  The attribute is left untouched when its number already is
// value (a value that is no number counts as 0), so that data following
// the number survives.  A file system without
// extended attributes is not an error: the attribute is simply not kept.
// Raises RuntimeError 70 when permission is refused, 75 on other failures.
void WriteDosAttrib(const std::filesystem::path& path, unsigned value);

} // namespace kestovan::posix
