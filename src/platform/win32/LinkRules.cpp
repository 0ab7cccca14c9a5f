#include "platform/win32/LinkRules.h"

#include <array>
#include <cctype>
#include <string_view>

namespace kestovan::win32 {

namespace {

constexpr std::string_view LongPrefix = "\\\\?\\";         // \\?\C:\dir
constexpr std::string_view LongUncPrefix = "\\\\?\\UNC\\"; // \\?\UNC\server\share\dir

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool StartsWithoutCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "C:" alone.
bool IsBareDrive(std::string_view path) {
    return path.size() == 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

// The path without the "\\?\" or "\\?\UNC\" prefix of long paths (the
// latter given back as the "\\server\share" it stands for).
std::string WithoutLongPrefix(std::string_view path) {
    if (StartsWithoutCase(path, LongUncPrefix))
        return "\\\\" + std::string(path.substr(LongUncPrefix.size()));
    if (StartsWithoutCase(path, LongPrefix))
        return std::string(path.substr(LongPrefix.size()));
    return std::string(path);
}

// A full path of a drive ("C:\...") or of a network share ("\\server\...").
bool IsDriveOrSharePath(std::string_view path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\')
        return true;
    return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\' &&
           path[2] != '?' && path[2] != '.';
}

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
    return path;
}

// The root of a drive ("C:", "\", "\\?\C:") or of a share ("\\server\share"),
// trailing separators already removed.
bool IsRoot(const std::string& trimmed) {
    const std::string path = WithoutLongPrefix(trimmed);
    if (path.empty() || IsBareDrive(path))
        return true;
    if (path.size() < 2 || !IsSeparator(path[0]) || !IsSeparator(path[1]))
        return false;
    // \\server or \\server\share: at most one separator after the server.
    const std::string_view rest = std::string_view(path).substr(2);
    std::size_t separators = 0;
    for (const char c : rest)
        separators += IsSeparator(c) ? 1 : 0;
    return separators <= 1;
}

std::string Join(const std::string& folder, const std::string& name) {
    return IsSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

} // namespace

std::string ResolveDirectory(const FileCalls& calls, const std::string& dir) {
    if (dir.empty())
        return {};
    // "C:" alone would be the current directory of drive C:; the directory
    // meant is the drive itself.
    const std::string path = IsBareDrive(dir) ? dir + "\\" : dir;
    const std::optional<OpenedPath> opened = calls.Open(path);
    if (!opened || (opened->attributes & win32value::FileAttributeDirectory) == 0)
        return {};
    std::string final = WithoutLongPrefix(opened->finalPath);
    if (!IsDriveOrSharePath(final))
        return {};
    if (final.back() != '\\')
        final += '\\';
    return final;
}

bool IsLink(const FileCalls& calls, const std::string& path) {
    // With a trailing backslash the attributes are those of what the link
    // leads to; the link's own are those of the name without it.
    const std::string trimmed = WithoutTrailingSeparators(path);
    if (IsRoot(trimmed))
        return false;
    const std::optional<std::uint32_t> attributes = calls.FileAttributes(trimmed);
    return attributes && (*attributes & win32value::FileAttributeReparsePoint) != 0;
}

bool IsProgramGroupLink(const FileCalls& calls, const std::string& group) {
    if (group.empty() || group.find_first_of("\\/:") != std::string::npos ||
        group.find("..") != std::string::npos)
        return false;
    constexpr std::array folders = {win32value::CsidlPrograms, win32value::CsidlCommonPrograms};
    for (const int csidl : folders) {
        const std::optional<std::string> programs = calls.SpecialFolder(csidl);
        if (programs && !programs->empty() && IsLink(calls, Join(*programs, group)))
            return true;
    }
    return false;
}

} // namespace kestovan::win32
