#pragma once

#include "platform/posix/WineRegistry.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestovan::posix {

// The registry of a machine directory: system.reg is HKEY_LOCAL_MACHINE,
// user.reg is HKEY_CURRENT_USER, and HKEY_CLASSES_ROOT is
// HKEY_LOCAL_MACHINE\Software\Classes.
//
// A hive is read when first needed and read again whenever its file has
// changed on disk since (never because of this object's own writes).  Each
// change is written back at once, atomically, keeping every byte of
// everything it did not change; when the file cannot take a change, the copy
// in memory is dropped and read again from the file when next needed.  A hive whose text
// cannot be parsed is never written.  A missing hive file counts as an empty
// hive and is created (with Wine's header) only when something is written
// into it.
//
// Two failure conventions:
//  - the Win32 calls (Reg*) never throw; they return 0 or a Win32 error code:
//      2    ERROR_FILE_NOT_FOUND      key to delete does not exist
//      5    ERROR_ACCESS_DENIED       hive file not readable or writable
//                                     (permission), or deleting a root key
//      6    ERROR_INVALID_HANDLE      unknown or closed key handle
//      87   ERROR_INVALID_PARAMETER   RegSetValueA with a type other than 1
//      112  ERROR_DISK_FULL           no room to write the hive
//      1009 ERROR_BADDB               the hive file cannot be parsed
//      1016 ERROR_REGISTRY_IO_FAILED  any other failure to read or write
//      1018 ERROR_KEY_DELETED         the handle's key has been deleted
//  - the other calls raise RuntimeError: 75 when a hive cannot be parsed,
//    the number of the file error when it cannot be read or written, 5 for
//    an unknown root or an attempt to delete a root key.
class MachineRegistry {
public:
    explicit MachineRegistry(std::filesystem::path machineDir);

    // Opens or creates the key subKey under key (a root or a handle from an
    // earlier call) and hands out a new handle for it.
    long RegCreateKeyA(std::uint32_t key, const std::string& subKey, std::uint32_t& result);
    // Sets the default value of key\subKey (subKey "" = the key itself) to a
    // REG_SZ text, creating subKey when needed.  The text is data cut to
    // length characters (0 = all of it) and at its first NUL.
    long RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                      const std::string& data, std::uint32_t length);
    // 0 for a handle handed out and not yet closed, and for the roots.
    long RegCloseKey(std::uint32_t key);
    // Deletes key\subKey with all its sub-keys.
    long RegDeleteKeyA(std::uint32_t key, const std::string& subKey);
    // Sets the default value of root\subKey to its text for each pair, as
    // RegCreateKeyA and RegSetValueA would one after the other, with one
    // write of the hive for them all: every value is set, or (the write
    // failing) none.  The keys must lie in one hive: root is a root, not a
    // handle.
    long RegSetDefaults(std::uint32_t root,
                        const std::vector<std::pair<std::string, std::string>>& values);

    std::optional<std::string> GetString(std::uint32_t root, const std::string& keyPath,
                                         const std::string& valueName);
    bool KeyExists(std::uint32_t root, const std::string& keyPath);
    // KeyExists as a Win32 call: 0 when the key exists, 2 when it does not,
    // else the error code a registry function returns for the failure
    // (1009 for a hive that cannot be parsed).
    long KeyStatus(std::uint32_t root, const std::string& keyPath);
    // false when the key does not exist.
    bool DeleteKeyTree(std::uint32_t root, const std::string& keyPath);
    std::vector<std::string> SubKeyNames(std::uint32_t root, const std::string& keyPath);

    // The SID named in user.reg's header comment (";; All keys relative to
    // REGISTRY\\User\\S-1-5-21-..."); "" when there is none.
    std::string UserSid();

private:
    // What a hive file looked like when it was last read or written.
    struct FileStamp {
        bool exists = false;
        std::uintmax_t device = 0, inode = 0, size = 0;
        long long modifiedSeconds = 0, modifiedNanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
    };
    struct Hive {
        std::filesystem::path file;
        std::string rootComment; // the root named in the header of a new file
        std::optional<RegistryHive> cached;
        FileStamp stamp;
        bool unparsable = false; // the last read found text that is not a hive
    };
    struct Location {
        Hive* hive;
        std::string path;
    };
    struct OpenKey {
        std::uint32_t root;
        std::string path;
    };

    static FileStamp StampOf(const std::filesystem::path& file);
    const RegistryHive& Load(Hive& hive);
    template <typename Change> bool Modify(Hive& hive, Change change);
    std::string NewHiveText(Hive& hive);
    Location Locate(std::uint32_t root, const std::string& keyPath);
    std::optional<OpenKey> Resolve(std::uint32_t key, const std::string& subKey) const;
    static long Win32Error(int runtimeErrorNumber, const Hive* hive);
    // Runs call(hive), which points hive at the hive it works on once known,
    // and turns what it raises into the error code a registry function returns.
    template <typename Call> long Win32Call(Call call);
    // True when the open key behind handle key was deleted meanwhile.
    bool OpenKeyDeleted(std::uint32_t key);

    Hive system_;
    Hive user_;
    std::map<std::uint32_t, OpenKey> handles_;
    std::uint32_t nextHandle_ = 0x100;
};

} // namespace kestovan::posix
