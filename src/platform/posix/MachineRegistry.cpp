#include "platform/posix/MachineRegistry.h"

#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"
#include "platform/posix/AtomicFile.h"

#include <new>
#include <sys/stat.h>
#include <utility>

namespace kestovan::posix {
namespace {

constexpr long ErrorNotEnoughMemory = 8;
constexpr long ErrorInvalidParameter = 87;
constexpr long ErrorDiskFull = 112;
constexpr long ErrorBadDb = 1009;
constexpr long ErrorRegistryIoFailed = 1016;
constexpr long ErrorKeyDeleted = 1018;

constexpr const char* ClassesKey = "Software\\Classes";
// The user Wine names in a new prefix.
constexpr const char* DefaultUserRoot = "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
constexpr const char* MachineRoot = "REGISTRY\\\\Machine";

bool IsRoot(std::uint32_t key) {
    return key == hkey::ClassesRoot || key == hkey::CurrentUser || key == hkey::LocalMachine;
}

std::string Join(const std::string& path, const std::string& subKey) {
    if (path.empty())
        return subKey;
    if (subKey.empty())
        return path;
    return path + "\\" + subKey;
}

// A path naming no key below its root ("", "\\").
bool NamesRoot(const std::string& path) {
    return path.find_first_not_of('\\') == path.npos;
}

std::string Lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

MachineRegistry::MachineRegistry(std::filesystem::path machineDir) {
    system_.file = machineDir / "system.reg";
    system_.rootComment = MachineRoot;
    user_.file = machineDir / "user.reg";
    user_.rootComment = DefaultUserRoot;
}

MachineRegistry::FileStamp MachineRegistry::StampOf(const std::filesystem::path& file) {
    struct stat status {};
    FileStamp stamp;
    if (::stat(file.c_str(), &status) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = status.st_dev;
    stamp.inode = status.st_ino;
    stamp.size = static_cast<std::uintmax_t>(status.st_size);
    stamp.modifiedSeconds = status.st_mtim.tv_sec;
    stamp.modifiedNanoseconds = status.st_mtim.tv_nsec;
    return stamp;
}

std::string MachineRegistry::NewHiveText(Hive& hive) {
    // A new hive takes the architecture of the other one, as Wine keeps both
    // alike.
    const Hive& other = &hive == &system_ ? user_ : system_;
    std::string arch;
    try {
        if (other.cached) {
            arch = other.cached->Architecture();
        } else if (auto text = ReadWholeFile(other.file)) {
            arch = RegistryHive::Parse(*text).Architecture();
        }
    } catch (const RuntimeError&) {
        arch.clear(); // an unusable other hive gives no architecture
    }
    std::string text =
        "WINE REGISTRY Version 2\n;; All keys relative to " + hive.rootComment + "\n";
    if (!arch.empty())
        text += "\n#arch=" + arch + "\n";
    return text;
}

const RegistryHive& MachineRegistry::Load(Hive& hive) {
    const FileStamp stamp = StampOf(hive.file);
    if (hive.cached && stamp == hive.stamp)
        return *hive.cached;
    hive.cached.reset();
    hive.unparsable = false;
    auto text = ReadWholeFile(hive.file);
    if (!text) {
        hive.cached = RegistryHive::Parse(NewHiveText(hive));
    } else {
        try {
            hive.cached = RegistryHive::Parse(std::move(*text));
        } catch (const RuntimeError&) {
            hive.unparsable = true;
            throw;
        }
    }
    hive.stamp = stamp;
    return *hive.cached;
}

template <typename Change> bool MachineRegistry::Modify(Hive& hive, Change change) {
    Load(hive);
    RegistryHive& registry = *hive.cached;
    try {
        if (!change(registry))
            return false;
        WriteFileAtomically(hive.file, registry.Pieces());
    } catch (...) {
        // The copy in memory may hold a change the file did not take: it is
        // read again from the file when next needed.
        hive.cached.reset();
        throw;
    }
    // The file is now what the copy in memory says: the stamp of this write
    // keeps it from being read again, until another process changes it.
    hive.stamp = StampOf(hive.file);
    return true;
}

MachineRegistry::Location MachineRegistry::Locate(std::uint32_t root, const std::string& keyPath) {
    switch (root) {
    case hkey::LocalMachine: return {&system_, keyPath};
    case hkey::CurrentUser: return {&user_, keyPath};
    case hkey::ClassesRoot: return {&system_, Join(ClassesKey, keyPath)};
    default: throw RuntimeError(err::InvalidProcedureCall);
    }
}

std::optional<MachineRegistry::OpenKey> MachineRegistry::Resolve(std::uint32_t key,
                                                                 const std::string& subKey) const {
    if (IsRoot(key))
        return OpenKey{key, subKey};
    const auto found = handles_.find(key);
    if (found == handles_.end())
        return std::nullopt;
    return OpenKey{found->second.root, Join(found->second.path, subKey)};
}

long MachineRegistry::Win32Error(int runtimeErrorNumber, const Hive* hive) {
    if (hive != nullptr && hive->unparsable)
        return ErrorBadDb;
    switch (runtimeErrorNumber) {
    case err::PermissionDenied: return ErrorAccessDenied;
    case err::DiskFull: return ErrorDiskFull;
    case err::InvalidProcedureCall: return ErrorAccessDenied;
    default: return ErrorRegistryIoFailed;
    }
}

template <typename Call> long MachineRegistry::Win32Call(Call call) {
    Hive* hive = nullptr;
    try {
        return call(hive);
    } catch (const RuntimeError& error) {
        return Win32Error(error.Number(), hive);
    } catch (const std::bad_alloc&) {
        return ErrorNotEnoughMemory;
    } catch (const std::exception&) {
        return ErrorRegistryIoFailed;
    }
}

bool MachineRegistry::OpenKeyDeleted(std::uint32_t key) {
    if (IsRoot(key))
        return false;
    const OpenKey& open = handles_.at(key);
    const Location location = Locate(open.root, open.path);
    return !Load(*location.hive).KeyExists(location.path);
}

long MachineRegistry::RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                                    std::uint32_t& result) {
    return Win32Call([&](Hive*& hive) -> long {
        const auto target = Resolve(key, subKey);
        if (!target)
            return ErrorInvalidHandle;
        const Location location = Locate(target->root, target->path);
        hive = location.hive;
        if (OpenKeyDeleted(key))
            return ErrorKeyDeleted;
        Modify(*hive, [&](RegistryHive& registry) {
            if (registry.KeyExists(location.path))
                return false;
            registry.CreateKey(location.path);
            return true;
        });
        result = nextHandle_;
        nextHandle_ += 4;
        handles_[result] = *target;
        return ErrorSuccess;
    });
}

long MachineRegistry::RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                                   const std::string& data, std::uint32_t length) {
    return Win32Call([&](Hive*& hive) -> long {
        const auto target = Resolve(key, subKey);
        if (!target)
            return ErrorInvalidHandle;
        if (type != RegSz)
            return ErrorInvalidParameter;
        std::string text = data.substr(0, length == 0 ? data.size() : length);
        text = text.substr(0, text.find('\0'));
        const Location location = Locate(target->root, target->path);
        hive = location.hive;
        if (OpenKeyDeleted(key))
            return ErrorKeyDeleted;
        Modify(*hive,
               [&](RegistryHive& registry) { return registry.SetString(location.path, "", text); });
        return ErrorSuccess;
    });
}

long MachineRegistry::RegCloseKey(std::uint32_t key) {
    if (IsRoot(key))
        return ErrorSuccess;
    return handles_.erase(key) == 1 ? ErrorSuccess : ErrorInvalidHandle;
}

long MachineRegistry::RegDeleteKeyA(std::uint32_t key, const std::string& subKey) {
    return Win32Call([&](Hive*& hive) -> long {
        const auto target = Resolve(key, subKey);
        if (!target)
            return ErrorInvalidHandle;
        if (NamesRoot(target->path))
            return ErrorAccessDenied;
        const Location location = Locate(target->root, target->path);
        hive = location.hive;
        const bool deleted = Modify(
            *hive, [&](RegistryHive& registry) { return registry.DeleteKeyTree(location.path); });
        return deleted ? ErrorSuccess : ErrorFileNotFound;
    });
}

long MachineRegistry::RegSetDefaults(
    std::uint32_t root, const std::vector<std::pair<std::string, std::string>>& values) {
    return Win32Call([&](Hive*& hive) -> long {
        if (!IsRoot(root))
            return ErrorInvalidHandle;
        if (values.empty())
            return ErrorSuccess;
        std::vector<std::pair<std::string, std::string>> located;
        located.reserve(values.size());
        for (const auto& [subKey, data] : values) {
            const Location location = Locate(root, subKey);
            hive = location.hive;
            located.emplace_back(location.path, data.substr(0, data.find('\0')));
        }
        Modify(*hive, [&](RegistryHive& registry) {
            bool changed = false;
            for (const auto& [path, text] : located) {
                if (!registry.KeyExists(path)) {
                    registry.CreateKey(path);
                    changed = true;
                }
                changed = registry.SetString(path, "", text) || changed;
            }
            return changed;
        });
        return ErrorSuccess;
    });
}

std::optional<std::string> MachineRegistry::GetString(std::uint32_t root,
                                                      const std::string& keyPath,
                                                      const std::string& valueName) {
    const Location location = Locate(root, keyPath);
    return Load(*location.hive).GetString(location.path, valueName);
}

bool MachineRegistry::KeyExists(std::uint32_t root, const std::string& keyPath) {
    const Location location = Locate(root, keyPath);
    return Load(*location.hive).KeyExists(location.path);
}

long MachineRegistry::KeyStatus(std::uint32_t root, const std::string& keyPath) {
    return Win32Call([&](Hive*& hive) -> long {
        const Location location = Locate(root, keyPath);
        hive = location.hive;
        return Load(*hive).KeyExists(location.path) ? ErrorSuccess : ErrorFileNotFound;
    });
}

bool MachineRegistry::DeleteKeyTree(std::uint32_t root, const std::string& keyPath) {
    if (NamesRoot(keyPath))
        throw RuntimeError(err::InvalidProcedureCall);
    const Location location = Locate(root, keyPath);
    return Modify(*location.hive,
                  [&](RegistryHive& registry) { return registry.DeleteKeyTree(location.path); });
}

std::vector<std::string> MachineRegistry::SubKeyNames(std::uint32_t root,
                                                      const std::string& keyPath) {
    const Location location = Locate(root, keyPath);
    return Load(*location.hive).SubKeyNames(location.path);
}

std::string MachineRegistry::UserSid() {
    const RegistryHive& hive = Load(user_);
    if (!user_.stamp.exists)
        return "";
    // "REGISTRY\User\S-1-5-21-..." (older prefixes: "\User\S-1-5-21-...").
    const std::string root = hive.RootPath();
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= root.size();) {
        std::size_t stop = root.find('\\', start);
        if (stop == std::string::npos)
            stop = root.size();
        parts.push_back(root.substr(start, stop - start));
        start = stop + 1;
    }
    for (std::size_t k = 0; k + 1 < parts.size(); ++k) {
        if (Lower(parts[k]) == "user" && Lower(parts[k + 1]).starts_with("s-"))
            return parts[k + 1];
    }
    return "";
}

} // namespace kestovan::posix
