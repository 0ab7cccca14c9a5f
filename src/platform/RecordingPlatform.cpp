#include "platform/RecordingPlatform.h"

#include "platform/DdeCommandReader.h"

#include "platform/ProfileText.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <cctype>

namespace kestovan {

namespace {

constexpr const char* SettingsRoot = "Software\\VB and VBA Program Settings\\";
constexpr int AnyEntry = attr::Hidden | attr::System | attr::Directory;
constexpr long ErrorKeyDeleted = 1018;
constexpr long ErrorInvalidParameter = 87;

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasWildcard(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

bool IsDots(const std::string& name) {
    return name == "." || name == "..";
}

// The directory part of a path as written (with its separator, or "C:", or
// "") and its last component ("" when the path ends in a separator).
std::pair<std::string, std::string> SplitLast(const std::string& path) {
    const std::size_t at = path.find_last_of("\\/:");
    if (at == std::string::npos)
        return {"", path};
    return {path.substr(0, at + 1), path.substr(at + 1)};
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == ':'))
        path.pop_back();
    return path;
}

std::string WithSeparator(const std::string& dir) {
    return dir.empty() || IsSeparator(dir.back()) || dir.back() == ':' ? dir : dir + "\\";
}

// True when an entry with these attributes shows through Dir's mask.
bool Visible(int attributes, int mask) {
    return (attributes & AnyEntry & ~mask) == 0;
}

// The key of the directory holding the entry of key ("C:\A" for "C:\A\B",
// "C:\" for "C:\A").
std::string ParentKey(const std::string& key) {
    const std::size_t slash = key.find_last_of('\\');
    if (slash == std::string::npos)
        return "";
    return slash <= 2 ? key.substr(0, slash + 1) : key.substr(0, slash);
}

bool LessWithoutCase(const std::string& a, const std::string& b) {
    const std::string la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
}

std::string RootName(std::uint32_t root) {
    switch (root) {
    case hkey::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case hkey::CurrentUser: return "HKEY_CURRENT_USER";
    case hkey::LocalMachine: return "HKEY_LOCAL_MACHINE";
    default: return "HKEY_" + std::to_string(root);
    }
}

bool IsRoot(std::uint32_t key) {
    return (key & 0x80000000u) != 0;
}

std::string JoinKey(const std::string& path, const std::string& subKey) {
    if (path.empty())
        return subKey;
    if (subKey.empty())
        return path;
    return path + "\\" + subKey;
}

// A key path without the backslashes around it, as the registry reads it.
std::string KeyPathOf(const std::string& path) {
    const auto first = path.find_first_not_of('\\');
    if (first == std::string::npos)
        return "";
    const auto last = path.find_last_not_of('\\');
    return path.substr(first, last - first + 1);
}

// What DeleteSetting raises when the registry cannot be read: the machine
// directory's registry raises the file error (75 for a hive it cannot
// parse), Windows' run-time 5 for any failure to open the key.
int SettingsReadError(long status) {
#ifdef _WIN32
    (void)status;
    return err::InvalidProcedureCall;
#else
    return status == ErrorAccessDenied ? err::PermissionDenied : err::PathFileAccessError;
#endif
}

} // namespace

RecordingPlatform::RecordingPlatform(PlatformServices& real, ChangeObserver observer)
    : real_(real), observer_(std::move(observer)) {}

void RecordingPlatform::Record(std::string text) {
    changes_.push_back(std::move(text));
    if (observer_)
        observer_(changes_.back());
}

// --- Files -------------------------------------------------------------------

std::optional<std::string> RecordingPlatform::Key(const std::string& path) {
    std::string buffer(300, '\0');
    auto length = real_.GetShortPathNameA(path, buffer, static_cast<std::uint32_t>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.assign(length + 1, '\0');
        length = real_.GetShortPathNameA(path, buffer, static_cast<std::uint32_t>(buffer.size()));
        if (length >= buffer.size())
            return std::nullopt;
    }
    if (length == 0)
        return std::nullopt;
    buffer.resize(length);
    if (buffer.size() >= 2 && buffer[1] == ':')
        buffer[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(buffer[0])));
    while (buffer.size() > 3 && buffer.back() == '\\')
        buffer.pop_back();
    return Upper(buffer);
}

bool RecordingPlatform::Gone(const std::string& key) const {
    if (goneKeys_.empty())
        return false;
    std::string at = key;
    for (;;) {
        if (goneKeys_.count(at) != 0)
            return true;
        const std::size_t slash = at.find_last_of('\\');
        if (slash == std::string::npos || slash <= 2)
            return false;
        at.resize(slash);
    }
}

RecordingPlatform::Look RecordingPlatform::LookAt(const std::string& path) {
    Look look;
    look.key = Key(path);
    if (look.key && Gone(*look.key))
        return look;
    try {
        look.attributes = real_.GetAttr(path);
    } catch (const RuntimeError& error) {
        if (error.Number() != err::FileNotFound && error.Number() != err::PathNotFound)
            throw;
        return look;
    }
    look.exists = true;
    if (look.key)
        if (const auto changed = attributeKeys_.find(*look.key); changed != attributeKeys_.end())
            look.attributes = changed->second;
    return look;
}

bool RecordingPlatform::ParentExists(const std::string& dirPart) {
    if (dirPart.empty())
        return true; // the current directory
    const Look parent = LookAt(dirPart);
    return parent.exists && (parent.attributes & attr::Directory) != 0;
}

// The changes inside the directory of a path's directory part; gone tells
// whether that directory itself is gone.
const RecordingPlatform::Folder* RecordingPlatform::FolderOf(const std::string& dirPart,
                                                             bool& gone) {
    gone = false;
    const auto key = Key(dirPart.empty() ? std::string(".") : dirPart);
    if (!key)
        return nullptr;
    gone = Gone(*key);
    const auto found = folders_.find(*key);
    return found == folders_.end() ? nullptr : &found->second;
}

void RecordingPlatform::MarkGone(const std::string& key, const std::string& storedName) {
    goneKeys_.insert(key);
    attributeKeys_.erase(key);
    Folder& folder = folders_[ParentKey(key)];
    folder.gone.insert(Upper(storedName));
    folder.attributes.erase(Upper(storedName));
    profiles_.erase(key);
}

std::string RecordingPlatform::StoredName(const std::string& path, const std::string& fallback) {
    const std::string name = real_.Dir(WithoutTrailingSeparators(path), AnyEntry);
    return name.empty() || IsDots(name) ? fallback : name;
}

// Dir's search as the machine would now answer it.
std::vector<std::string> RecordingPlatform::Search(const std::string& pathSpec, int attributes,
                                                   bool firstOnly) {
    std::vector<std::string> real = firstOnly
                                        ? std::vector<std::string>{real_.Dir(pathSpec, attributes)}
                                        : real_.DirAll(pathSpec, attributes);
    if (firstOnly && real.front().empty())
        real.clear();
    if (!AnyFileChange())
        return real;
    auto [dir, last] = SplitLast(pathSpec);
    bool dirGone = false;
    const Folder* folder = FolderOf(dir, dirGone);
    if (dirGone)
        return {};
    const bool namesDirectory = last.empty() || IsDots(last);
    if (folder == nullptr || (namesDirectory && (attributes & attr::Directory)))
        return real;

    auto keep = [&](const std::string& name, bool realVisible) -> bool {
        if (IsDots(name))
            return true;
        const std::string upper = Upper(name);
        if (folder->gone.count(upper) != 0)
            return false;
        if (const auto changed = folder->attributes.find(upper);
            changed != folder->attributes.end())
            return Visible(changed->second, attributes);
        return realVisible;
    };

    std::vector<std::string> result;
    if (!namesDirectory && !HasWildcard(last)) {
        const std::string stored = real.empty() ? real_.Dir(pathSpec, AnyEntry) : real.front();
        if (!stored.empty() && keep(stored, !real.empty()))
            result.push_back(stored);
        return result;
    }
    // Every entry that may show through now: those hidden or system ones too
    // whose attributes a change may have altered.
    const std::vector<std::string> candidates =
        real_.DirAll(pathSpec, attributes | attr::Hidden | attr::System);
    std::set<std::string> visible;
    for (const std::string& name : firstOnly ? real_.DirAll(pathSpec, attributes) : real)
        visible.insert(name);
    for (const std::string& name : candidates) {
        if (keep(name, visible.count(name) != 0)) {
            result.push_back(name);
            if (firstOnly)
                break;
        }
    }
    return result;
}

std::string RecordingPlatform::Dir(const std::string& pathSpec, int attributes) {
    const std::vector<std::string> found = Search(pathSpec, attributes, true);
    return found.empty() ? std::string() : found.front();
}

std::vector<std::string> RecordingPlatform::DirAll(const std::string& pathSpec, int attributes) {
    return Search(pathSpec, attributes, false);
}

int RecordingPlatform::GetAttr(const std::string& path) {
    const Look look = LookAt(path);
    if (!look.exists)
        throw RuntimeError(err::FileNotFound);
    return look.attributes;
}

void RecordingPlatform::Kill(const std::string& path) {
    const auto [dir, last] = SplitLast(path);
    if (last.empty() || IsDots(last))
        throw RuntimeError(err::FileNotFound);
    if (!ParentExists(dir))
        throw RuntimeError(err::PathNotFound);

    struct Match {
        std::string path;
        std::optional<std::string> key;
        std::string name;
        bool readOnly;
    };
    std::vector<Match> matches;
    auto consider = [&](const std::string& file, const std::string& name) {
        const Look look = LookAt(file);
        if (look.exists && (look.attributes & AnyEntry) == 0)
            matches.push_back({file, look.key, name, (look.attributes & attr::ReadOnly) != 0});
    };
    if (HasWildcard(last)) {
        for (const std::string& name : real_.DirAll(path, attr::Hidden | attr::System))
            consider(dir + name, name);
    } else {
        consider(path, last);
    }
    if (matches.empty())
        throw RuntimeError(err::FileNotFound);
    for (const Match& match : matches) {
        if (match.readOnly)
            throw RuntimeError(err::PathFileAccessError);
        if (match.key)
            MarkGone(*match.key, HasWildcard(last) ? match.name : StoredName(match.path, last));
        Record("delete file " + landing_.Apply(match.path));
    }
}

void RecordingPlatform::RmDir(const std::string& path) {
    if (path.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const std::string trimmed = WithoutTrailingSeparators(path);
    const Look look = LookAt(trimmed);
    if (look.key && look.key->size() <= 3)
        throw RuntimeError(err::PathFileAccessError); // a drive's root
    if (!look.exists)
        throw RuntimeError(err::PathNotFound);
    if (real_.IsLink(trimmed))
        throw RuntimeError(err::PathFileAccessError);
    if ((look.attributes & attr::Directory) == 0)
        throw RuntimeError(err::PathNotFound);
    // The current directory (of the current drive or of the directory's own
    // drive) cannot be removed.
    const std::string resolved = Lower(real_.ResolveDirectory(trimmed));
    if (!resolved.empty()) {
        std::vector<std::string> currents{"."};
        if (trimmed.size() >= 2 && trimmed[1] == ':')
            currents.push_back(trimmed.substr(0, 2) + ".");
        for (const std::string& current : currents)
            if (Lower(real_.ResolveDirectory(current)) == resolved)
                throw RuntimeError(err::PathFileAccessError);
    }
    // Empty once the entries deleted here are left out.
    const auto found = look.key ? folders_.find(*look.key) : folders_.end();
    for (const std::string& name : real_.DirAll(WithSeparator(trimmed) + "*", AnyEntry)) {
        if (IsDots(name))
            continue;
        if (found == folders_.end() || found->second.gone.count(Upper(name)) == 0)
            throw RuntimeError(err::PathFileAccessError);
    }
    if (look.key)
        MarkGone(*look.key, StoredName(trimmed, SplitLast(trimmed).second));
    // A folder is named as files are, without a trailing backslash.
    Record("delete folder " + landing_.Apply(trimmed));
}

void RecordingPlatform::ChDir(const std::string& path) {
    if (AnyFileChange())
        if (const auto key = Key(path); key && Gone(*key))
            throw RuntimeError(err::PathNotFound);
    real_.ChDir(path);
}

void RecordingPlatform::ChDrive(const std::string& drive) {
    real_.ChDrive(drive);
}

void RecordingPlatform::SetAttr(const std::string& path, int attributes) {
    constexpr int Settable = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;
    if (path.empty() || attributes < 0 || (attributes & ~Settable) != 0)
        throw RuntimeError(err::InvalidProcedureCall);
    const std::string trimmed = WithoutTrailingSeparators(path);
    const auto [dir, last] = SplitLast(trimmed);
    if (!ParentExists(dir))
        throw RuntimeError(err::PathNotFound);
    const Look look = LookAt(trimmed);
    if (!look.exists)
        throw RuntimeError(err::FileNotFound);
    int now = (look.attributes & attr::Directory) |
              (attributes & (attr::ReadOnly | attr::Hidden | attr::System));
#ifndef _WIN32
    // On a machine directory a directory keeps no read-only attribute and a
    // name beginning with "." is always hidden.
    const std::string stored = StoredName(trimmed, last);
    if (now & attr::Directory)
        now &= ~attr::ReadOnly;
    if (!stored.empty() && stored.front() == '.')
        now |= attr::Hidden;
#else
    const std::string stored = StoredName(trimmed, last);
#endif
    if (look.key) {
        attributeKeys_[*look.key] = now;
        Folder& folder = folders_[ParentKey(*look.key)];
        folder.attributes[Upper(stored)] = now;
        folder.names[Upper(stored)] = stored;
    }
    Record("set attributes " + landing_.Apply(path) + " " + std::to_string(attributes));
}

std::vector<std::string> RecordingPlatform::ListFiles(const std::string& dir,
                                                      const std::string& patterns) {
    std::vector<std::string> names = real_.ListFiles(dir, patterns);
    if (!AnyFileChange())
        return names;
    bool dirGone = false;
    const Folder* folder = FolderOf(WithSeparator(dir), dirGone);
    if (dirGone)
        throw RuntimeError(err::PathNotFound);
    if (folder == nullptr)
        return names;
    std::erase_if(names, [&](const std::string& name) {
        const std::string upper = Upper(name);
        const auto changed = folder->attributes.find(upper);
        return folder->gone.count(upper) != 0 ||
               (changed != folder->attributes.end() && !Visible(changed->second, attr::Normal));
    });
    // Files a change made ordinary again, when one of the patterns takes them.
    bool added = false;
    for (const auto& kept : folder->attributes) {
        // Named, not bound: a structured binding cannot be captured by the
        // lambda below before Clang 16.
        const std::string& upper = kept.first;
        const int attributes = kept.second;
        if (!Visible(attributes, attr::Normal) || folder->gone.count(upper) != 0 ||
            std::any_of(names.begin(), names.end(),
                        [&](const std::string& n) { return Upper(n) == upper; }))
            continue;
        std::size_t start = 0;
        bool matches = false;
        while (start <= patterns.size() && !matches) {
            std::size_t end = patterns.find(';', start);
            if (end == std::string::npos)
                end = patterns.size();
            std::string piece = patterns.substr(start, end - start);
            piece.erase(0, piece.find_first_not_of(' '));
            piece.erase(piece.find_last_not_of(' ') + 1);
            if (!piece.empty() || (start == 0 && end == patterns.size()))
                for (const std::string& name :
                     real_.DirAll(WithSeparator(dir) + (piece.empty() ? "*" : piece), AnyEntry))
                    matches = matches || Upper(name) == upper;
            start = end + 1;
        }
        if (matches) {
            names.push_back(folder->names.at(upper));
            added = true;
        }
    }
    if (added)
        std::sort(names.begin(), names.end(), LessWithoutCase);
    return names;
}

std::vector<std::string> RecordingPlatform::ListDirectories(const std::string& dir) {
    std::vector<std::string> names = real_.ListDirectories(dir);
    if (!AnyFileChange())
        return names;
    bool dirGone = false;
    const Folder* folder = FolderOf(WithSeparator(dir), dirGone);
    if (dirGone)
        throw RuntimeError(err::PathNotFound);
    if (folder != nullptr)
        std::erase_if(
            names, [&](const std::string& name) { return folder->gone.count(Upper(name)) != 0; });
    return names;
}

std::string RecordingPlatform::ResolveDirectory(const std::string& dir) {
    std::string resolved = real_.ResolveDirectory(dir);
    if (resolved.empty() || goneKeys_.empty())
        return resolved;
    const auto key = Key(dir);
    const auto finalKey = Key(resolved);
    if ((key && Gone(*key)) || (finalKey && Gone(*finalKey)))
        return {};
    return resolved;
}

bool RecordingPlatform::IsLink(const std::string& path) {
    if (!real_.IsLink(path))
        return false;
    const auto key = Key(WithoutTrailingSeparators(path));
    return !(key && Gone(*key));
}

bool RecordingPlatform::IsProgramGroupLink(const std::string& group) {
    for (const std::string& deleted : deletedGroups_)
        if (Upper(deleted) == Upper(group))
            return false;
    return real_.IsProgramGroupLink(group);
}

// --- Settings store ----------------------------------------------------------

std::string RecordingPlatform::GetSetting(const std::string& appName, const std::string& section,
                                          const std::string& key, const std::string& defaultValue) {
    // A section deleted here (or made anew after) holds no values.
    const std::string path = Upper(KeyPathOf(SettingsRoot + appName + "\\" + section));
    for (std::string at = path; !at.empty();) {
        if (keys_.count({hkey::CurrentUser, at}) != 0)
            return defaultValue;
        const std::size_t slash = at.find_last_of('\\');
        at = slash == std::string::npos ? std::string() : at.substr(0, slash);
    }
    return real_.GetSetting(appName, section, key, defaultValue);
}

void RecordingPlatform::DeleteSetting(const std::string& appName, const std::string& section) {
    if (appName.empty() || section.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    const std::string path = SettingsRoot + appName + "\\" + section;
    const long status = KeyState(hkey::CurrentUser, path);
    if (status == ErrorFileNotFound)
        throw RuntimeError(err::InvalidProcedureCall);
    if (status != ErrorSuccess)
        throw RuntimeError(SettingsReadError(status));
    DeleteKey(hkey::CurrentUser, path);
    Record("delete settings " + appName + "\\" + section);
}

// --- Registry ----------------------------------------------------------------

std::optional<std::pair<std::uint32_t, std::string>>
RecordingPlatform::Target(std::uint32_t key, const std::string& subKey) const {
    if (IsRoot(key))
        return std::make_pair(key, subKey);
    const auto found = handles_.find(key);
    if (found == handles_.end())
        return std::nullopt;
    return std::make_pair(found->second.first, JoinKey(found->second.second, subKey));
}

// Whether the key exists now: the nearest key at or above it that a change
// touched decides (a key made here has no sub-keys but those made here too);
// else the registry underneath.
long RecordingPlatform::KeyState(std::uint32_t root, const std::string& path) {
    const std::string wanted = Upper(KeyPathOf(path));
    for (std::string at = wanted; !at.empty();) {
        if (const auto found = keys_.find({root, at}); found != keys_.end())
            return at == wanted && found->second ? ErrorSuccess : ErrorFileNotFound;
        const std::size_t slash = at.find_last_of('\\');
        at = slash == std::string::npos ? std::string() : at.substr(0, slash);
    }
    return real_.RegKeyStatus(root, KeyPathOf(path));
}

void RecordingPlatform::CreateKey(std::uint32_t root, const std::string& path) {
    const std::string key = KeyPathOf(path);
    for (std::size_t end = 0; end != std::string::npos;) {
        end = key.find('\\', end + 1);
        const std::string prefix = key.substr(0, end);
        if (KeyState(root, prefix) != ErrorSuccess)
            keys_[{root, Upper(prefix)}] = true;
    }
}

void RecordingPlatform::DeleteKey(std::uint32_t root, const std::string& path) {
    const std::string key = Upper(KeyPathOf(path));
    std::erase_if(keys_, [&](const auto& entry) {
        return entry.first.first == root && entry.first.second.starts_with(key + "\\");
    });
    keys_[{root, key}] = false;
    std::erase_if(defaults_, [&](const auto& entry) {
        return entry.first.first == root &&
               (entry.first.second == key || entry.first.second.starts_with(key + "\\"));
    });
}

bool RecordingPlatform::HandleKeyDeleted(std::uint32_t key) {
    if (IsRoot(key))
        return false;
    const auto& [root, path] = handles_.at(key);
    return KeyState(root, path) == ErrorFileNotFound;
}

long RecordingPlatform::RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                                      std::uint32_t& result) {
    const auto target = Target(key, subKey);
    if (!target)
        return ErrorInvalidHandle;
    if (HandleKeyDeleted(key))
        return ErrorKeyDeleted;
    const long status = KeyState(target->first, target->second);
    if (status != ErrorSuccess && status != ErrorFileNotFound)
        return status;
    if (status == ErrorFileNotFound) {
        CreateKey(target->first, target->second);
        Record("create key " + RootName(target->first) + "\\" + target->second);
    }
    result = nextHandle_;
    nextHandle_ += 4;
    handles_[result] = *target;
    return ErrorSuccess;
}

long RecordingPlatform::RegSetValueA(std::uint32_t key, const std::string& subKey,
                                     std::uint32_t type, const std::string& data,
                                     std::uint32_t length) {
    const auto target = Target(key, subKey);
    if (!target)
        return ErrorInvalidHandle;
    if (type != RegSz)
        return ErrorInvalidParameter;
    if (HandleKeyDeleted(key))
        return ErrorKeyDeleted;
    const long status = KeyState(target->first, target->second);
    if (status != ErrorSuccess && status != ErrorFileNotFound)
        return status;
    std::string text = data.substr(0, length == 0 ? data.size() : length);
    text = text.substr(0, text.find('\0'));
    if (status == ErrorFileNotFound)
        CreateKey(target->first, target->second);
    defaults_[{target->first, Upper(KeyPathOf(target->second))}] = text;
    Record("set " + RootName(target->first) + "\\" + target->second + " default \"" + text + "\"");
    return ErrorSuccess;
}

long RecordingPlatform::RegCloseKey(std::uint32_t key) {
    if (IsRoot(key))
        return ErrorSuccess;
    return handles_.erase(key) == 1 ? ErrorSuccess : ErrorInvalidHandle;
}

long RecordingPlatform::RegDeleteKeyA(std::uint32_t key, const std::string& subKey) {
    const auto target = Target(key, subKey);
    if (!target)
        return ErrorInvalidHandle;
#ifdef _WIN32
    if (subKey.empty())
        return ErrorInvalidParameter; // the root itself is never deleted
#else
    if (KeyPathOf(target->second).empty())
        return ErrorAccessDenied;
#endif
    const long status = KeyState(target->first, target->second);
    if (status != ErrorSuccess)
        return status;
    DeleteKey(target->first, target->second);
    Record("delete key " + RootName(target->first) + "\\" + target->second);
    return ErrorSuccess;
}

long RecordingPlatform::RegKeyStatus(std::uint32_t root, const std::string& subKey) {
    return KeyState(root, subKey);
}

bool RecordingPlatform::RegKeyExists(std::uint32_t root, const std::string& subKey) {
    return KeyState(root, subKey) == ErrorSuccess;
}

long RecordingPlatform::RegQueryDefault(std::uint32_t root, const std::string& subKey,
                                        std::string& value) {
    const long status = KeyState(root, subKey);
    if (status != ErrorSuccess)
        return status;
    if (const auto set = defaults_.find({root, Upper(KeyPathOf(subKey))}); set != defaults_.end()) {
        value = set->second;
        return ErrorSuccess;
    }
    return real_.RegQueryDefault(root, subKey, value);
}

// --- Profile files -----------------------------------------------------------

std::string RecordingPlatform::ProfilePath(const std::string& fileName) {
    // A bare file name names the file in the Windows directory.
    if (fileName.find_first_of("\\/:") != std::string::npos)
        return fileName;
    std::string buffer(300, '\0');
    const auto length =
        real_.GetWindowsDirectoryA(buffer, static_cast<std::uint32_t>(buffer.size()));
    if (length == 0 || length >= buffer.size())
        return fileName;
    buffer.resize(length);
    return WithSeparator(buffer) + fileName;
}

std::string RecordingPlatform::ProfileKey(const std::string& path) {
    if (const auto key = Key(path))
        return *key;
    // A file that is not there: known by its directory and name.
    const auto [dir, last] = SplitLast(path);
    const auto dirKey = Key(dir.empty() ? std::string(".") : dir);
    return (dirKey ? *dirKey : Upper(dir)) + "\\" + Upper(last);
}

std::uint32_t RecordingPlatform::GetPrivateProfileStringA(const std::string& section,
                                                          const std::string& key,
                                                          const std::string& defaultValue,
                                                          std::string& buffer, std::uint32_t size,
                                                          const std::string& fileName) {
    if (profiles_.empty() && goneKeys_.empty())
        return real_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
    const std::string path = ProfilePath(fileName);
    const std::string fileKey = ProfileKey(path);
    const auto file = profiles_.find(fileKey);
    if (file != profiles_.end()) {
        const auto value = file->second.values.find(
            {Upper(std::string(ProfileTrim(section))), Upper(std::string(ProfileTrim(key)))});
        if (value != file->second.values.end())
            return ProfileGetString(ProfileSetString(std::nullopt, section, key, value->second),
                                    section, key, defaultValue, buffer, size);
        if (file->second.fresh)
            return ProfileGetString(std::nullopt, section, key, defaultValue, buffer, size);
    }
    if (Gone(fileKey))
        return ProfileGetString(std::nullopt, section, key, defaultValue, buffer, size);
    return real_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

long RecordingPlatform::WritePrivateProfileStringA(const std::string& section,
                                                   const std::string& key, const std::string& value,
                                                   const std::string& fileName) {
    const std::string path = ProfilePath(fileName);
    Look look;
    try {
        look = LookAt(path);
        // A missing file is made; a missing directory is not.
        if (!look.exists && !ParentExists(SplitLast(path).first))
            return 0;
    } catch (const RuntimeError&) {
        return 0;
    }
    if (look.exists && (look.attributes & (attr::Directory | attr::ReadOnly)) != 0)
        return 0;
    const std::string fileKey = ProfileKey(path);
    ProfileFile& file = profiles_[fileKey];
    if (!look.exists)
        file.fresh = true;
    file.values[{Upper(std::string(ProfileTrim(section))), Upper(std::string(ProfileTrim(key)))}] =
        value;
    Record("write " + fileName + " [" + section + "] " + key + "=" + value);
    return 1;
}

// --- Passed on ---------------------------------------------------------------

std::uint32_t RecordingPlatform::GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) {
    return real_.GetWindowsDirectoryA(buffer, size);
}

std::uint32_t RecordingPlatform::GetSystemDirectoryA(std::string& buffer, std::uint32_t size) {
    return real_.GetSystemDirectoryA(buffer, size);
}

std::uint32_t RecordingPlatform::GetTempPathA(std::uint32_t size, std::string& buffer) {
    return real_.GetTempPathA(size, buffer);
}

std::uint32_t RecordingPlatform::GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                                   std::uint32_t size) {
    if (!goneKeys_.empty())
        if (const auto key = Key(longPath); key && Gone(*key))
            return 0;
    return real_.GetShortPathNameA(longPath, buffer, size);
}

std::string RecordingPlatform::Now() {
    return real_.Now();
}

// --- Program Manager ---------------------------------------------------------

void RecordingPlatform::DdeInitiate(const std::string& topic) {
    real_.DdeInitiate(topic);
}

std::string RecordingPlatform::DdeRequest(const std::string& topic, const std::string& item) {
    std::string reply = real_.DdeRequest(topic, item);
    if (deletedGroups_.empty() || (Lower(item) != "progman" && Lower(item) != "groups"))
        return reply;
    std::string kept;
    std::size_t start = 0;
    while (start < reply.size()) {
        std::size_t end = reply.find("\r\n", start);
        const std::size_t next = end == std::string::npos ? reply.size() : end + 2;
        if (end == std::string::npos)
            end = reply.size();
        if (deletedGroups_.count(reply.substr(start, end - start)) == 0)
            kept += reply.substr(start, next - start);
        start = next;
    }
    return kept;
}

void RecordingPlatform::DdeExecute(const std::string& topic, const std::string& command) {
    real_.DdeInitiate(topic);
    DdeCommandReader reader(command);
    if (reader.AtEnd())
        throw RuntimeError(err::DdeMethodRefused);
    while (!reader.AtEnd()) {
        const auto [name, arguments] = reader.Next();
        if (Lower(name) != "deletegroup" || arguments.size() != 1)
            throw RuntimeError(err::DdeMethodRefused);
        const std::string& group = arguments.front();
        if (group.empty() || group.find_first_of("\\/:") != std::string::npos ||
            group.find("..") != std::string::npos)
            throw RuntimeError(err::DdeMethodRefused);
        // The group of that name: the exact name first, else the first in
        // byte order of those that differ only in letter case.
        const std::string list = DdeRequest(topic, "PROGMAN");
        std::optional<std::string> found;
        for (std::size_t start = 0; start < list.size();) {
            std::size_t end = list.find("\r\n", start);
            if (end == std::string::npos)
                end = list.size();
            const std::string listed = list.substr(start, end - start);
            if (listed == group) {
                found = listed;
                break;
            }
            if (Upper(listed) == Upper(group) && (!found || listed < *found))
                found = listed;
            start = end + 2;
        }
        if (!found)
            throw RuntimeError(err::DdeMethodRefused);
        deletedGroups_.insert(*found);
        // Its folder goes with everything in it: the group folders are those
        // of the Start Menu's Programs folder.
        std::string startMenu;
        if (real_.GetFolderPath(0, 11, startMenu) != 0 && !startMenu.empty()) {
            const std::string folder = WithSeparator(startMenu) + "Programs\\" + *found;
            const Look look = LookAt(folder);
            if (look.exists && (look.attributes & attr::Directory) != 0 && look.key)
                MarkGone(*look.key, StoredName(folder, *found));
        }
        Record("delete group \"" + group + "\"");
    }
}

// --- Shell folders, clipboard, App -------------------------------------------

long RecordingPlatform::GetFolderPath(std::intptr_t hWnd, int folder, std::string& path) {
    return real_.GetFolderPath(hWnd, folder, path);
}

void RecordingPlatform::ClipboardClear() {
    real_.ClipboardClear();
}

void RecordingPlatform::ClipboardSetText(const std::string& text) {
    real_.ClipboardSetText(text);
}

std::string RecordingPlatform::AppPath() {
    return real_.AppPath();
}

bool RecordingPlatform::AppPrevInstance() {
    return real_.AppPrevInstance();
}

} // namespace kestovan
