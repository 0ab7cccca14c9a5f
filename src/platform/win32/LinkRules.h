#pragma once

// How the Windows program tells links and junctions from ordinary folders,
// and where a directory really is.  The rules are written against the few
// Win32 calls they need (FileCalls), so that they build and are tested on
// any system; on Windows the calls are the real ones (SystemFileCalls).
// Nothing here includes <windows.h>.

#include <cstdint>
#include <optional>
#include <string>

namespace kestovan::win32 {

// The Win32 values the rules work with (checked against <windows.h> where the
// real calls are made).
namespace win32value {
constexpr std::uint32_t FileAttributeDirectory = 0x10;     // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t FileAttributeReparsePoint = 0x400; // FILE_ATTRIBUTE_REPARSE_POINT
constexpr int CsidlPrograms = 0x02;                        // CSIDL_PROGRAMS
constexpr int CsidlCommonPrograms = 0x17;                  // CSIDL_COMMON_PROGRAMS
} // namespace win32value

// What an opened path turned out to be: GetFinalPathNameByHandleA's text
// (VOLUME_NAME_DOS, "\\?\C:\windows") and the attributes of what the handle
// leads to.
struct OpenedPath {
    std::string finalPath;
    std::uint32_t attributes = 0;
};

// The Win32 calls behind the rules.  None of them raises.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    // GetFileAttributesA(path); nullopt for INVALID_FILE_ATTRIBUTES.
    virtual std::optional<std::uint32_t> FileAttributes(const std::string& path) const = 0;
    // Opens path as CreateFileA does with FILE_FLAG_BACKUP_SEMANTICS (every
    // link on the way followed) and reports where the handle leads; nullopt
    // when it cannot be opened or its final path cannot be read.
    virtual std::optional<OpenedPath> Open(const std::string& path) const = 0;
    // SHGetSpecialFolderPathA(csidl); nullopt when the shell does not know it.
    virtual std::optional<std::string> SpecialFolder(int csidl) const = 0;
};

// Where the existing directory dir really is once every link, junction or
// other reparse point on its way is followed: a full path with a trailing
// backslash ("C:\windows\", "\\server\share\dir\").  "" when dir does not
// exist, is no directory, or its final path is not one of a drive letter or
// a network share.
std::string ResolveDirectory(const FileCalls& calls, const std::string& dir);

// True when the last component of path (trailing backslashes ignored) is a
// reparse point: a symbolic link, a junction or another one.  A drive root
// or a share root is never a link; a path that does not exist is none.
bool IsLink(const FileCalls& calls, const std::string& path);

// True when the folder of Program Manager group `group` is a link: the
// group's folder in the user's Programs folder or in the common one exists
// and is a reparse point.  A group name that could name anything but a
// folder directly inside those (one holding `\`, `/`, `:` or `..`) is not
// looked up: false.
bool IsProgramGroupLink(const FileCalls& calls, const std::string& group);

} // namespace kestovan::win32
