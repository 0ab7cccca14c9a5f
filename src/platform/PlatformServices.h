#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestovan {

// Attribute values of Dir and SetAttr.
namespace attr {
inline constexpr int Normal = 0;
inline constexpr int ReadOnly = 1;
inline constexpr int Hidden = 2;
inline constexpr int System = 4;
inline constexpr int Directory = 16;
inline constexpr int Archive = 32;
} // namespace attr

// Predefined registry roots, as the Win32 handle values.
namespace hkey {
inline constexpr std::uint32_t ClassesRoot = 0x80000000u;
inline constexpr std::uint32_t CurrentUser = 0x80000001u;
inline constexpr std::uint32_t LocalMachine = 0x80000002u;
} // namespace hkey

inline constexpr long ErrorSuccess = 0;
inline constexpr long ErrorFileNotFound = 2;
inline constexpr long ErrorAccessDenied = 5;
inline constexpr long ErrorInvalidHandle = 6;
inline constexpr std::uint32_t RegSz = 1;

// Every effect the program has on the machine, and everything it learns about
// it, goes through this interface.
//
// Two failure conventions, as on the real platform:
//  - the run-time statements (Dir, Kill, RmDir, ChDir, ChDrive, SetAttr,
//    GetAttr, DeleteSetting, the list controls, DDE, FolderLocator) raise
//    RuntimeError;
//  - the Win32 calls (names ending in A, and the Reg* calls) report through
//    their return value only and never throw.
//
// Win32 buffer calls take a caller-sized std::string as the buffer: the call
// writes at most buffer.size() characters into it (a NUL ends a shorter text)
// and returns the count as Win32 does.  Paths are Windows paths with drive
// letters and backslashes.
class PlatformServices {
public:
    virtual ~PlatformServices() = default;

    // --- File system (raise RuntimeError) ---------------------------------
    // Name of the first entry matching pathSpec ('*' and '?' allowed in the
    // last component), or "" when nothing matches.  Mask 0: ordinary,
    // read-only and archive files; 2 adds hidden files; 16 adds directories.
    virtual std::string Dir(const std::string& pathSpec, int attributes) = 0;
    virtual void Kill(const std::string& path) = 0;
    virtual void RmDir(const std::string& path) = 0;
    virtual void ChDir(const std::string& path) = 0;
    virtual void ChDrive(const std::string& drive) = 0;
    virtual void SetAttr(const std::string& path, int attributes) = 0;

    // The file list control: names (without directory) of the ordinary,
    // read-only and archive files in dir matching one of the ";"-separated
    // patterns, letter case ignored.  The caller keeps the snapshot.
    virtual std::vector<std::string> ListFiles(const std::string& dir,
                                               const std::string& patterns) = 0;
    // The directory list control: the sub-directories directly inside dir.
    virtual std::vector<std::string> ListDirectories(const std::string& dir) = 0;

    // Reads that change nothing, for a caller that must know beforehand what
    // a change would do.  GetAttr: the ReadOnly, Hidden, System and Directory
    // bits of an existing file or directory; raises 53 when it (or a
    // directory on its way) does not exist.  DirAll: every name the search of
    // Dir(pathSpec, attributes) finds, in the order it finds them (Dir gives
    // the first); raises as Dir does.
    virtual int GetAttr(const std::string& path) = 0;
    virtual std::vector<std::string> DirAll(const std::string& pathSpec, int attributes) = 0;

    // --- Links and junctions (never raise) -----------------------------------
    // Where the existing directory dir really is once every symbolic link,
    // junction or other reparse point on its way has been followed: a full
    // path with a trailing backslash ("C:\windows\").  "" when dir does not
    // exist, is no directory, or leads where no drive of the machine is.
    virtual std::string ResolveDirectory(const std::string& dir) = 0;
    // True when the last component of path (a trailing backslash ignored) is
    // itself a symbolic link, a junction or another reparse point.
    virtual bool IsLink(const std::string& path) = 0;
    // True when the folder of Program Manager group `group` is a link or a
    // junction (deleting the group could then delete what it leads to).
    virtual bool IsProgramGroupLink(const std::string& group) = 0;

    // --- Per-user settings store ------------------------------------------
    virtual std::string GetSetting(const std::string& appName, const std::string& section,
                                   const std::string& key, const std::string& defaultValue) = 0;
    virtual void DeleteSetting(const std::string& appName, const std::string& section) = 0;

    // --- Registry (return values only) ------------------------------------
    virtual long RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                               std::uint32_t& result) = 0;
    virtual long RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                              const std::string& data, std::uint32_t length) = 0;
    virtual long RegCloseKey(std::uint32_t key) = 0;
    virtual long RegDeleteKeyA(std::uint32_t key, const std::string& subKey) = 0;
    // Sets the default value of root\subKey to its text (REG_SZ) for each
    // pair, creating the keys that are missing, as RegCreateKeyA, RegSetValueA
    // and RegCloseKey would one pair after the other.  ErrorSuccess when every
    // value is set; else the error of the first that could not be, and the
    // values before it may or may not have been set.  A platform whose
    // registry lives in whole files writes each file once for all the values,
    // so that they are set together or not at all.
    virtual long RegSetDefaults(std::uint32_t root,
                                const std::vector<std::pair<std::string, std::string>>& values);
    // Whether root\subKey exists, found without creating or keeping open
    // anything: ErrorSuccess when it does, ErrorFileNotFound when it does not,
    // else the error that reading the registry gives (a damaged hive, say).
    virtual long RegKeyStatus(std::uint32_t root, const std::string& subKey) = 0;
    // True when the key exists (opened for reading and closed at once;
    // nothing is created).  Never raises.
    virtual bool RegKeyExists(std::uint32_t root, const std::string& subKey) = 0;
    // The text of the default value of root\subKey, read without creating
    // or keeping open anything: ErrorSuccess with value set, ErrorFileNotFound
    // when the key or its default value is missing (or is no text), else the
    // error that reading the registry gives.  Never raises.
    virtual long RegQueryDefault(std::uint32_t root, const std::string& subKey,
                                 std::string& value) = 0;

    // --- Profile files (return values only) -------------------------------
    virtual std::uint32_t GetPrivateProfileStringA(const std::string& section,
                                                   const std::string& key,
                                                   const std::string& defaultValue,
                                                   std::string& buffer, std::uint32_t size,
                                                   const std::string& fileName) = 0;
    virtual long WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                            const std::string& value,
                                            const std::string& fileName) = 0;

    // --- System locations (return values only) ----------------------------
    virtual std::uint32_t GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) = 0;
    virtual std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) = 0;
    virtual std::uint32_t GetTempPathA(std::uint32_t size, std::string& buffer) = 0;
    virtual std::uint32_t GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                            std::uint32_t size) = 0;

    // --- Clock ------------------------------------------------------------
    // The current date and time in the default text conversion: short date,
    // then long time (for example "12/7/2026 3:04:05 PM").
    virtual std::string Now() = 0;

    // --- Program Manager DDE (raise RuntimeError) -------------------------
    // topic is "service|topic"; both names compared without regard to case.
    // Opens (and at once closes) a conversation: raises 282 when no
    // application answers the topic.  LinkMode = 2 of a DDE client calls it.
    virtual void DdeInitiate(const std::string& topic) = 0;
    virtual std::string DdeRequest(const std::string& topic, const std::string& item) = 0;
    virtual void DdeExecute(const std::string& topic, const std::string& command) = 0;

    // --- FolderLocator.GetFolderPath (raises RuntimeError on failure to
    // create the component) -----------------------------------------------
    // Non-zero when path was written: folder 0 = desktop, 11 = Start Menu.
    virtual long GetFolderPath(std::intptr_t hWnd, int folder, std::string& path) = 0;

    // --- Clipboard --------------------------------------------------------
    virtual void ClipboardClear() = 0;
    virtual void ClipboardSetText(const std::string& text) = 0;

    // --- App object -------------------------------------------------------
    // Directory of the running executable, no trailing backslash unless a root.
    virtual std::string AppPath() = 0;
    // True when another copy of the program is already running.
    virtual bool AppPrevInstance() = 0;
    static constexpr int AppMajor = 1;
    static constexpr int AppMinor = 5;
    static constexpr int AppRevision = 23;
};

} // namespace kestovan
