#include "platform/win32/Win32Platform.h"

#include "platform/RuntimeError.h"
#include "platform/ThirtyTwoBitView.h"
#include "platform/win32/DdeConversation.h"
#include "platform/win32/LinkRules.h"
#include "platform/win32/SystemFileCalls.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Errors.h"
#include "platform/win32/Win32ProfileFile.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace kestovan::win32 {

namespace {

constexpr const char* SettingsRoot = "Software\\VB and VBA Program Settings\\";
constexpr const char* InstanceMutexName = "Local\\KESTOVAN.EXE single copy";
constexpr int CantOpenClipboard = 521;
constexpr int ClipboardAttempts = 20;
constexpr DWORD ClipboardRetryMs = 25;
// Long file work lets the windows answer their messages every 50 ms.
constexpr DWORD BusyAnswerMs = 50;
// The registry view a key is opened in: the 32-bit one where 64-bit Windows
// keeps a 32-bit program's keys apart (the application's setup was one); no
// flag elsewhere.  Windows would ignore the flag on a shared key, but Wine
// takes it to the 32-bit copy of every class key, so it is given only where
// Windows uses it.
REGSAM RegistryView(std::uint32_t root, const std::string& subKey) {
    return RedirectedForThirtyTwoBitPrograms(root, subKey) ? KEY_WOW64_32KEY : 0;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), LowerAscii);
    return text;
}

// Whether FindFirstFileA would take the name as a pattern: besides '*' and
// '?', the system matches '<', '>' and '"' as the wildcards of DOS.
bool HasSearchWildcard(std::string_view text) {
    return text.find_first_of("*?<>\"") != std::string_view::npos;
}

// The names of a listing, folded without case, to find a name listed before
// in constant time (a name matching two patterns is listed once).
struct FoldedHash {
    std::size_t operator()(std::string_view name) const noexcept {
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (const char c : name) {
            hash ^= static_cast<unsigned char>(LowerAscii(c));
            hash *= 1099511628211ull;
        }
        return static_cast<std::size_t>(hash ^ (hash >> 32));
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
    }
};

// Orders names without case; names equal without case in byte order.
bool BeforeWithoutCase(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(LowerAscii(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// Whether path is a full path that GetFullPathNameA gives back as it is:
// a drive, a backslash, and components that are neither empty, "." nor
// "..", without forward slashes and without the trailing dots or blanks the
// system strips.
bool IsPlainFullPath(std::string_view path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\' ||
        !std::isalpha(static_cast<unsigned char>(path[0])))
        return false;
    std::size_t start = 3;
    while (start < path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view component = path.substr(start, end - start);
        if (component.empty() || component.find('/') != std::string_view::npos ||
            component.back() == '.' || component.back() == ' ')
            return end == path.size() && component.empty(); // only a trailing backslash
        start = end + 1;
    }
    return true;
}

// Whether text begins with prefix, letter case ignored.
bool StartsWithoutCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && FoldedEqual()(text.substr(0, prefix.size()), prefix);
}

bool EndsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    return EndsWithSeparator(dir) ? dir + name : dir + "\\" + name;
}

bool IsDots(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Whether an entry shows through an attribute mask of Dir: hidden, system
// and directory entries only when the mask asks for them.
bool Visible(DWORD attributes, int mask) {
    constexpr DWORD Masked =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
    return (attributes & Masked & ~static_cast<DWORD>(mask)) == 0;
}

// The usable part of a caller's buffer.
DWORD Room(const std::string& buffer, std::uint32_t size) {
    return static_cast<DWORD>(std::min<std::size_t>(size, buffer.size()));
}

// A missing drive is "bad file name or number" for the file statements.
[[noreturn]] void RaisePathError(int fallback) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_INVALID_DRIVE)
        throw RuntimeError(err::BadFileNameOrNumber);
    throw RuntimeError(RuntimeErrorNumber(code, fallback));
}

// Deletes subKey with every key and value below it, in the program's
// registry view; the status of the first call that fails.
LONG DeleteKeyTree(std::uint32_t root, const std::string& subKey) {
    const REGSAM view = RegistryView(root, subKey);
    {
        RegistryKey key;
        const LONG status = ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0,
                                            DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE |
                                                KEY_SET_VALUE | view,
                                            key.Receive());
        if (status != ERROR_SUCCESS)
            return status;
        if (const LONG emptied = ::RegDeleteTreeA(key.Get(), nullptr); emptied != ERROR_SUCCESS)
            return emptied;
    }
    return ::RegDeleteKeyExA(ToHkey(root), subKey.c_str(), view, 0);
}

void SortWithoutCase(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), BeforeWithoutCase);
}

std::vector<std::string> SplitPatterns(const std::string& patterns) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= patterns.size()) {
        const std::size_t end = std::min(patterns.find(';', start), patterns.size());
        std::string piece = patterns.substr(start, end - start);
        const auto first = piece.find_first_not_of(' ');
        const auto last = piece.find_last_not_of(' ');
        if (first != std::string::npos)
            pieces.push_back(piece.substr(first, last - first + 1));
        start = end + 1;
    }
    if (pieces.empty())
        pieces.emplace_back("*");
    return pieces;
}

void RequireDirectory(const std::string& dir) {
    const DWORD attributes = ::GetFileAttributesA(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (::GetLastError() == ERROR_INVALID_DRIVE)
            throw RuntimeError(err::BadFileNameOrNumber);
        throw RuntimeError(err::PathNotFound);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        throw RuntimeError(err::PathNotFound);
}

char CurrentDriveLetter() {
    char current[MAX_PATH + 1] = {};
    const DWORD length = ::GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length > MAX_PATH || current[1] != ':')
        return '\0';
    return static_cast<char>(std::toupper(static_cast<unsigned char>(current[0])));
}

// A hidden window owning the clipboard while the text is put on it (a
// clipboard opened without an owner refuses SetClipboardData).
class ClipboardSession {
public:
    ClipboardSession()
        : owner_(::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr)) {
        for (int attempt = 0; attempt < ClipboardAttempts; ++attempt) {
            if (::OpenClipboard(owner_)) {
                open_ = true;
                return;
            }
            ::Sleep(ClipboardRetryMs);
        }
        if (owner_ != nullptr)
            ::DestroyWindow(owner_);
        throw RuntimeError(CantOpenClipboard, "Can't open Clipboard");
    }
    ~ClipboardSession() {
        if (open_)
            ::CloseClipboard();
        if (owner_ != nullptr)
            ::DestroyWindow(owner_);
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;

private:
    HWND owner_;
    bool open_ = false;
};

} // namespace

void Win32Platform::HandleCloser::operator()(void* handle) const noexcept {
    if (handle != nullptr)
        ::CloseHandle(handle);
}

Win32Platform::Win32Platform() {
    // A 64-bit process is not redirected by the system: it sees the system
    // directory as the application's 32-bit setup saw it by itself.
    if constexpr (sizeof(void*) == 8) {
        char system[MAX_PATH + 1] = {};
        char wow64[MAX_PATH + 1] = {};
        const UINT systemLength = ::GetSystemDirectoryA(system, sizeof system);
        const UINT wow64Length = ::GetSystemWow64DirectoryA(wow64, sizeof wow64);
        if (systemLength != 0 && systemLength <= MAX_PATH && wow64Length != 0 &&
            wow64Length <= MAX_PATH) {
            systemView_ = SystemDirectoryView(system, wow64);
            // Every redirected path (the system directory, its "sysnative"
            // alias) lies in the directory above the system directory.
            const std::string_view systemDir(system, systemLength);
            const auto slash = systemDir.find_last_of('\\');
            if (slash != std::string_view::npos && slash >= 2)
                systemParent_.assign(systemDir.substr(0, slash + 1));
            else
                systemParent_.clear(); // every path asks the system
        }
    }
    ::SetLastError(ERROR_SUCCESS);
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, InstanceMutexName);
    anotherCopyRuns_ = mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS;
    instanceMutex_.reset(mutex);
}

// --- File system -------------------------------------------------------------

std::string Win32Platform::Native(const std::string& path) const {
    if (!systemView_.Redirects() || path.empty())
        return path;
    // A full path outside the directory that holds the system directory is
    // never redirected: it is known without asking the system for the full
    // path (the sweeps' files in the program directory).
    if (IsPlainFullPath(path) && !StartsWithoutCase(path, systemParent_))
        return path;
    char full[MAX_PATH + 1] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length > MAX_PATH)
        return path; // the call itself reports what is wrong with it
    const std::string fullPath(full, length);
    std::string native = systemView_.Apply(fullPath);
    return native == fullPath ? path : native;
}

namespace {

// Dir's search: calls found(name) for each entry that shows through the
// mask, in the order the system finds them, until it returns false.
template <typename Found>
void SearchEntries(const std::string& pathSpec, int attributes, Found found) {
    if (pathSpec.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    // A drive that is not there, or a name too long for the file system, is
    // a bad file name, not a file that is missing.
    if (pathSpec.size() >= 2 && pathSpec[1] == ':') {
        const char letter =
            static_cast<char>(std::toupper(static_cast<unsigned char>(pathSpec[0])));
        if (letter < 'A' || letter > 'Z' || (::GetLogicalDrives() & (1u << (letter - 'A'))) == 0)
            throw RuntimeError(err::BadFileNameOrNumber);
    }
    const std::string pattern = EndsWithSeparator(pathSpec) ? pathSpec + "*" : pathSpec;
    if (pattern.size() >= MAX_PATH)
        throw RuntimeError(err::BadFileNameOrNumber);
    WIN32_FIND_DATAA data{};
    FindHandle find(pattern, data);
    if (!find.Valid()) {
        switch (::GetLastError()) {
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE: throw RuntimeError(err::BadFileNameOrNumber);
        case ERROR_NOT_READY: throw RuntimeError(err::DiskNotReady);
        default: return; // nothing matches, or the directory is missing
        }
    }
    do {
        if (Visible(data.dwFileAttributes, attributes) && !found(std::string(data.cFileName)))
            return;
    } while (find.Next(data));
}

} // namespace

std::string Win32Platform::Dir(const std::string& pathSpec, int attributes) {
    KeepResponsive();
    std::string first;
    SearchEntries(Native(pathSpec), attributes, [&](const std::string& name) {
        first = name;
        return false;
    });
    return first;
}

std::vector<std::string> Win32Platform::DirAll(const std::string& pathSpec, int attributes) {
    std::vector<std::string> names;
    SearchEntries(Native(pathSpec), attributes, [&](const std::string& name) {
        names.push_back(name);
        return true;
    });
    return names;
}

int Win32Platform::GetAttr(const std::string& path) {
    if (path.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const DWORD attributes = ::GetFileAttributesA(Native(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        switch (::GetLastError()) {
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME: throw RuntimeError(err::BadFileNameOrNumber);
        default: throw RuntimeError(err::FileNotFound);
        }
    }
    return static_cast<int>(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY));
}

void Win32Platform::Kill(const std::string& name) {
    KeepResponsive();
    if (name.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const std::string path = Native(name);
    const auto slash = path.find_last_of("\\/:");
    const std::string_view last =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);

    // One file named: its attributes, then the deletion, each call's error
    // the statement's.  A hidden or system file, or a directory, is not
    // seen by the statement (not found); a read-only one is refused.
    if (!HasSearchWildcard(last)) {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            RaisePathError(err::FileNotFound);
        if (!Visible(attributes, attr::Normal))
            throw RuntimeError(err::FileNotFound);
        if (attributes & FILE_ATTRIBUTE_READONLY)
            throw RuntimeError(err::PathFileAccessError);
        if (!::DeleteFileA(path.c_str()))
            RaisePathError(err::PathFileAccessError);
        return;
    }

    // A wildcard: every match the system's search finds.
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::vector<std::pair<std::string, DWORD>> files;
    WIN32_FIND_DATAA data{};
    FindHandle find(path, data);
    if (!find.Valid())
        RaisePathError(err::FileNotFound);
    do {
        if (Visible(data.dwFileAttributes, attr::Normal))
            files.emplace_back(dir + data.cFileName, data.dwFileAttributes);
    } while (find.Next(data));
    if (files.empty())
        throw RuntimeError(err::FileNotFound);

    for (const auto& [file, fileAttributes] : files) {
        if (fileAttributes & FILE_ATTRIBUTE_READONLY)
            throw RuntimeError(err::PathFileAccessError);
        if (!::DeleteFileA(file.c_str()))
            RaisePathError(err::PathFileAccessError);
    }
}

void Win32Platform::RmDir(const std::string& path) {
    if (path.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    if (::RemoveDirectoryA(Native(path).c_str()))
        return;
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: throw RuntimeError(err::PathNotFound);
    case ERROR_INVALID_DRIVE: throw RuntimeError(err::BadFileNameOrNumber);
    default: throw RuntimeError(err::PathFileAccessError); // not empty, in use, refused
    }
}

void Win32Platform::ChDir(const std::string& path) {
    if (path.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    char full[MAX_PATH + 1] = {};
    const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length > MAX_PATH)
        throw RuntimeError(err::PathNotFound);
    RequireDirectory(full);
    // ChDir changes the current directory of the path's drive, but never
    // the current drive: another drive only remembers its new directory.
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(full[0])));
    if (full[1] == ':' && drive != CurrentDriveLetter()) {
        const char variable[] = {'=', drive, ':', '\0'};
        if (!::SetEnvironmentVariableA(variable, full))
            RaisePathError(err::PathNotFound);
        return;
    }
    if (!::SetCurrentDirectoryA(full))
        RaisePathError(err::PathNotFound);
}

void Win32Platform::ChDrive(const std::string& drive) {
    if (drive.empty())
        return;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
    if (letter < 'A' || letter > 'Z')
        throw RuntimeError(err::InvalidProcedureCall);
    if ((::GetLogicalDrives() & (1u << (letter - 'A'))) == 0)
        throw RuntimeError(68); // Device unavailable
    const char current = CurrentDriveLetter();
    if (current == letter)
        return;
    // Remember where the drive we leave stood, as the command shell does.
    if (current != '\0') {
        char here[MAX_PATH + 1] = {};
        if (::GetCurrentDirectoryA(sizeof here, here) != 0) {
            const char variable[] = {'=', current, ':', '\0'};
            ::SetEnvironmentVariableA(variable, here);
        }
    }
    const char variable[] = {'=', letter, ':', '\0'};
    char remembered[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableA(variable, remembered, sizeof remembered);
    if (length != 0 && length <= MAX_PATH && ::SetCurrentDirectoryA(remembered))
        return;
    const char root[] = {letter, ':', '\\', '\0'};
    if (!::SetCurrentDirectoryA(root))
        throw RuntimeError(68);
}

void Win32Platform::SetAttr(const std::string& path, int attributes) {
    constexpr int Settable = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;
    if (path.empty() || attributes < 0 || (attributes & ~Settable) != 0)
        throw RuntimeError(err::InvalidProcedureCall);
    const DWORD value =
        attributes == attr::Normal ? FILE_ATTRIBUTE_NORMAL : static_cast<DWORD>(attributes);
    if (!::SetFileAttributesA(Native(path).c_str(), value))
        RaisePathError(err::PathFileAccessError);
}

std::vector<std::string> Win32Platform::ListFiles(const std::string& name,
                                                  const std::string& patterns) {
    const std::string dir = Native(name);
    RequireDirectory(dir);
    std::vector<std::string> names;
    // The names listed so far, by their place in names, hashed and compared
    // without case: a name matching a second pattern is found in constant
    // time and listed once.
    const auto hashAt = [&](std::size_t at) { return FoldedHash()(names[at]); };
    const auto equalAt = [&](std::size_t a, std::size_t b) {
        return FoldedEqual()(names[a], names[b]);
    };
    std::unordered_set<std::size_t, decltype(hashAt), decltype(equalAt)> listed(64, hashAt,
                                                                                equalAt);
    const std::vector<std::string> pieces = SplitPatterns(patterns);
    for (const std::string& pattern : pieces) {
        // A search in a large directory is one long call of the system's
        // before its first entry, even when nothing matches.
        KeepResponsive();
        WIN32_FIND_DATAA data{};
        FindHandle find(JoinPath(dir, pattern), data);
        if (!find.Valid())
            continue;
        do {
            KeepResponsive();
            if (!Visible(data.dwFileAttributes, attr::Normal))
                continue;
            names.emplace_back(data.cFileName);
            // With one pattern the system finds each name once.
            if (pieces.size() > 1 && !listed.insert(names.size() - 1).second)
                names.pop_back();
        } while (find.Next(data));
    }
    SortWithoutCase(names);
    return names;
}

std::vector<std::string> Win32Platform::ListDirectories(const std::string& name) {
    const std::string dir = Native(name);
    RequireDirectory(dir);
    std::vector<std::string> names;
    WIN32_FIND_DATAA data{};
    FindHandle find(JoinPath(dir, "*"), data);
    if (find.Valid()) {
        do {
            KeepResponsive();
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDots(data.cFileName))
                names.emplace_back(data.cFileName);
        } while (find.Next(data));
    }
    SortWithoutCase(names);
    return names;
}

// --- Links and junctions -----------------------------------------------------

std::string Win32Platform::ResolveDirectory(const std::string& dir) {
    return win32::ResolveDirectory(SystemFileCalls(), Native(dir));
}

bool Win32Platform::IsLink(const std::string& path) {
    return win32::IsLink(SystemFileCalls(), Native(path));
}

bool Win32Platform::IsProgramGroupLink(const std::string& group) {
    return win32::IsProgramGroupLink(SystemFileCalls(), group);
}

// --- Settings store ----------------------------------------------------------

std::string Win32Platform::GetSetting(const std::string& appName, const std::string& section,
                                      const std::string& key, const std::string& defaultValue) {
    RegistryKey settings;
    const std::string path = SettingsRoot + appName + "\\" + section;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0,
                        KEY_QUERY_VALUE | RegistryView(hkey::CurrentUser, path),
                        settings.Receive()) != ERROR_SUCCESS)
        return defaultValue;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(settings.Get(), key.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return defaultValue;
    std::string value(size, '\0');
    if (size != 0 &&
        ::RegQueryValueExA(settings.Get(), key.c_str(), nullptr, &type,
                           reinterpret_cast<LPBYTE>(value.data()), &size) != ERROR_SUCCESS)
        return defaultValue;
    value.resize(std::min<std::size_t>(size, value.size()));
    if (const auto nul = value.find('\0'); nul != std::string::npos)
        value.resize(nul);
    return value;
}

void Win32Platform::DeleteSetting(const std::string& appName, const std::string& section) {
    if (appName.empty() || section.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const std::string path = SettingsRoot + appName + "\\" + section;
    {
        RegistryKey existing;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0,
                            KEY_READ | RegistryView(hkey::CurrentUser, path),
                            existing.Receive()) != ERROR_SUCCESS)
            throw RuntimeError(err::InvalidProcedureCall);
    }
    if (DeleteKeyTree(hkey::CurrentUser, path) != ERROR_SUCCESS)
        throw RuntimeError(err::InvalidProcedureCall);
}

// --- Registry ----------------------------------------------------------------

long Win32Platform::RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                                  std::uint32_t& result) {
    HKEY created = nullptr;
    const LONG status =
        ::RegCreateKeyExA(ToHkey(key), subKey.c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS | RegistryView(key, subKey), nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS)
        result = FromHkey(created);
    return status;
}

long Win32Platform::RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                                 const std::string& data, std::uint32_t length) {
    if (subKey.empty())
        return ::RegSetValueA(ToHkey(key), nullptr, type, data.c_str(), length);
    // The sub-key is made (or opened) in the program's registry view first.
    RegistryKey target;
    const LONG status = ::RegCreateKeyExA(ToHkey(key), subKey.c_str(), 0, nullptr, 0,
                                          KEY_SET_VALUE | RegistryView(key, subKey), nullptr,
                                          target.Receive(), nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    return ::RegSetValueA(target.Get(), nullptr, type, data.c_str(), length);
}

long Win32Platform::RegCloseKey(std::uint32_t key) {
    return ::RegCloseKey(ToHkey(key));
}

long Win32Platform::RegDeleteKeyA(std::uint32_t key, const std::string& subKey) {
    // The class keys have sub-keys (shell\open\command, DefaultIcon): the key
    // goes with everything below it.  An empty name would mean the root
    // itself, which is never deleted.
    if (subKey.empty())
        return ERROR_INVALID_PARAMETER;
    return DeleteKeyTree(key, subKey);
}

long Win32Platform::RegKeyStatus(std::uint32_t root, const std::string& subKey) {
    RegistryKey opened;
    return ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0, KEY_READ | RegistryView(root, subKey),
                           opened.Receive());
}

long Win32Platform::RegQueryDefault(std::uint32_t root, const std::string& subKey,
                                    std::string& value) {
    RegistryKey opened;
    const LONG status =
        ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0,
                        KEY_QUERY_VALUE | RegistryView(root, subKey), opened.Receive());
    if (status != ERROR_SUCCESS)
        return status;
    DWORD type = 0;
    DWORD size = 0;
    LONG read = ::RegQueryValueExA(opened.Get(), nullptr, nullptr, &type, nullptr, &size);
    if (read != ERROR_SUCCESS)
        return read;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return ERROR_FILE_NOT_FOUND;
    std::string text(size, '\0');
    read = ::RegQueryValueExA(opened.Get(), nullptr, nullptr, &type,
                              reinterpret_cast<BYTE*>(text.data()), &size);
    if (read != ERROR_SUCCESS)
        return read;
    text.resize(std::min<std::size_t>(size, text.size()));
    value = text.substr(0, text.find('\0'));
    return ERROR_SUCCESS;
}

bool Win32Platform::RegKeyExists(std::uint32_t root, const std::string& subKey) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0, KEY_READ | RegistryView(root, subKey),
                        &opened) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(opened);
    return true;
}

// --- Profile files -----------------------------------------------------------

std::uint32_t Win32Platform::GetPrivateProfileStringA(const std::string& section,
                                                      const std::string& key,
                                                      const std::string& defaultValue,
                                                      std::string& buffer, std::uint32_t size,
                                                      const std::string& fileName) {
    if (Room(buffer, size) == 0)
        return 0;
    return ::GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                      buffer.data(), Room(buffer, size), fileName.c_str());
}

long Win32Platform::WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                               const std::string& value,
                                               const std::string& fileName) {
    // A file named by a path (tavori.ini) is replaced as a whole, never
    // rewritten in place.
    if (const auto written = WriteProfileStringReplacingFile(section, key, value, fileName))
        return *written;
    return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                        fileName.c_str());
}

// --- System locations --------------------------------------------------------

std::uint32_t Win32Platform::GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) {
    return ::GetWindowsDirectoryA(buffer.data(), Room(buffer, size));
}

std::uint32_t Win32Platform::GetSystemDirectoryA(std::string& buffer, std::uint32_t size) {
    return ::GetSystemDirectoryA(buffer.data(), Room(buffer, size));
}

std::uint32_t Win32Platform::GetTempPathA(std::uint32_t size, std::string& buffer) {
    return ::GetTempPathA(Room(buffer, size), buffer.data());
}

std::uint32_t Win32Platform::GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                               std::uint32_t size) {
    // Through the 32-bit view, as every other file call: the short path names the entry the
    // program would change, so that two spellings of one file give one answer.
    return ::GetShortPathNameA(Native(longPath).c_str(), buffer.data(), Room(buffer, size));
}

// --- Clock -------------------------------------------------------------------

std::string Win32Platform::Now() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const int hour12 = now.wHour % 12 == 0 ? 12 : now.wHour % 12;
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", now.wMonth, now.wDay, now.wYear,
                  hour12, now.wMinute, now.wSecond, now.wHour < 12 ? "AM" : "PM");
    return text;
}

// --- Program Manager ---------------------------------------------------------

void Win32Platform::DdeInitiate(const std::string& topic) {
    DdeConversation conversation(topic);
}

std::string Win32Platform::DdeRequest(const std::string& topic, const std::string& item) {
    std::string reply = DdeConversation(topic).Request(item);
    // Newer shells answer the group list item "PROGMAN" with an empty list
    // but keep the standard item "Groups"; their answer is the group list.
    // (Asked in a conversation of its own: Wine's shell refuses a second
    // request in the first one.)
    if (Lower(item) == "progman" && reply.find_first_not_of(" \r\n") == std::string::npos) {
        try {
            reply = DdeConversation(topic).Request("Groups");
        } catch (const RuntimeError&) {
            // no such item either: the empty list stands
        }
    }
    return reply;
}

void Win32Platform::DdeExecute(const std::string& topic, const std::string& command) {
    DdeConversation conversation(topic);
    conversation.Execute(command);
}

// --- Shell folders -----------------------------------------------------------

long Win32Platform::GetFolderPath(std::intptr_t /*hWnd*/, int folder, std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, buffer, folder, FALSE))
        return 0;
    path = buffer;
    return 1;
}

// --- Clipboard ---------------------------------------------------------------

void Win32Platform::ClipboardClear() {
    ClipboardSession session;
    ::EmptyClipboard();
}

void Win32Platform::ClipboardSetText(const std::string& text) {
    {
        ClipboardSession session;
        ::EmptyClipboard();
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        if (memory == nullptr)
            throw RuntimeError(7); // Out of memory
        if (void* bytes = ::GlobalLock(memory)) {
            std::memcpy(bytes, text.c_str(), text.size() + 1);
            ::GlobalUnlock(memory);
        }
        if (::SetClipboardData(CF_TEXT, memory) == nullptr) {
            ::GlobalFree(memory);
            throw RuntimeError(CantOpenClipboard, "Can't open Clipboard");
        }
    }
    if (clipboardObserver_)
        clipboardObserver_(text);
}

void Win32Platform::WhileBusy(std::function<void()> answerMessages) {
    whileBusy_ = std::move(answerMessages);
}

void Win32Platform::KeepResponsive() {
    // The clock is a read of memory the system keeps up to date, cheap
    // enough for every entry of a listing.
    if (!whileBusy_)
        return;
    const DWORD now = ::GetTickCount();
    if (now - lastAnswered_ < BusyAnswerMs)
        return;
    lastAnswered_ = now;
    whileBusy_();
}

void Win32Platform::OnClipboardSet(std::function<void(const std::string&)> observer) {
    clipboardObserver_ = std::move(observer);
}

// --- App object --------------------------------------------------------------

std::string Win32Platform::AppPath() {
    char module[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string path(module, std::min<DWORD>(length, MAX_PATH));
    const auto slash = path.find_last_of('\\');
    if (slash == std::string::npos)
        return path;
    path.resize(slash);
    if (path.size() == 2 && path[1] == ':')
        path += '\\';
    return path;
}

bool Win32Platform::AppPrevInstance() {
    return anotherCopyRuns_;
}

} // namespace kestovan::win32
