#include "platform/PreviewPlatform.h"

#include "platform/RuntimeError.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace kestovan {

namespace {

constexpr int VisibilityBits = attr::Hidden | attr::System | attr::Directory;
constexpr const char* SettingsRoot = "Software\\VB and VBA Program Settings\\";

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool HasWildcards(const std::string& path) {
    return path.find_first_of("*?") != std::string::npos;
}

// "C:\" stays as it is; any other path loses its trailing backslashes.
std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

std::string WithTrailingBackslash(std::string path) {
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return path;
}

// The directory part of a path, with its backslash ("" when there is none).
std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Within(const std::string& item, const std::string& container) {
    return item == container || (item.size() > container.size() && item.starts_with(container) &&
                                 (container.back() == '\\' || item[container.size()] == '\\'));
}

const char* RootName(std::uint32_t root) {
    switch (root) {
    case hkey::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case hkey::CurrentUser: return "HKEY_CURRENT_USER";
    case hkey::LocalMachine: return "HKEY_LOCAL_MACHINE";
    default: return nullptr;
    }
}

// Copies text into a profile reply buffer as GetPrivateProfileStringA does.
std::uint32_t CopyReply(const std::string& text, std::string& buffer, std::uint32_t size) {
    const std::size_t room = std::min<std::size_t>(size, buffer.size());
    if (room == 0)
        return 0;
    const std::size_t count = std::min(text.size(), room - 1);
    std::copy_n(text.begin(), count, buffer.begin());
    buffer[count] = '\0';
    return static_cast<std::uint32_t>(count);
}

std::vector<std::string> GroupLines(const std::string& reply) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = reply.find("\r\n"); end != std::string::npos; end = reply.find("\r\n", start)) {
        lines.push_back(reply.substr(start, end - start));
        start = end + 2;
    }
    if (start < reply.size())
        lines.push_back(reply.substr(start));
    return lines;
}

// The group a "[DeleteGroup(name)]" command names (a quoted name with its
// doubled quotes made single); nullopt for any other command.
std::optional<std::string> DeletedGroupOf(const std::string& command) {
    const std::string open = "[DeleteGroup(";
    const std::string close = ")]";
    if (command.size() < open.size() + close.size() ||
        Upper(command.substr(0, open.size())) != Upper(open) || !command.ends_with(close))
        return std::nullopt;
    std::string name = command.substr(open.size(), command.size() - open.size() - close.size());
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        std::string unquoted;
        for (std::size_t i = 1; i + 1 < name.size(); ++i) {
            unquoted += name[i];
            if (name[i] == '"' && name[i + 1] == '"')
                ++i;
        }
        name = unquoted;
    }
    return name;
}

} // namespace

PreviewPlatform::PreviewPlatform(PlatformServices& real,
                                 std::function<void(const std::string&)> onChange)
    : real_(real), onChange_(std::move(onChange)) {}

void PreviewPlatform::Record(std::string change) {
    if (onChange_)
        onChange_(change);
    changes_.push_back(std::move(change));
}

// --- File system ---------------------------------------------------------------

std::string PreviewPlatform::Identity(const std::string& path) {
    const std::string written = WithoutTrailingBackslash(path);
    std::string buffer(1024, '\0');
    const std::uint32_t length =
        real_.GetShortPathNameA(written, buffer, static_cast<std::uint32_t>(buffer.size()));
    if (length > 0 && length < buffer.size())
        return WithoutTrailingBackslash(Upper(buffer.substr(0, length)));
    return Upper(written);
}

bool PreviewPlatform::Deleted(const std::string& path) {
    if (deletedPaths_.empty())
        return false;
    const std::string identity = Identity(path);
    return std::any_of(deletedPaths_.begin(), deletedPaths_.end(),
                       [&](const std::string& gone) { return Within(identity, gone); });
}

int PreviewPlatform::AttributesOf(const std::string& path) {
    if (Deleted(path))
        throw RuntimeError(err::FileNotFound);
    const int real = real_.GetAttr(path);
    const auto set = attributes_.find(Identity(path));
    if (set == attributes_.end())
        return real;
    return (set->second & ~attr::Directory) | (real & attr::Directory);
}

bool PreviewPlatform::Listed(const std::string& dir, const std::string& name, int mask) {
    if (name == "." || name == "..")
        return true;
    const std::string path = dir + name;
    if (Deleted(path))
        return false;
    int attributes = 0;
    try {
        attributes = AttributesOf(path);
    } catch (const RuntimeError&) {
        return false;
    }
    return (attributes & VisibilityBits & ~mask) == 0;
}

std::string PreviewPlatform::Dir(const std::string& pathSpec, int attributes) {
    const std::string dir = DirectoryOf(pathSpec);
    if (!dir.empty() && Deleted(dir))
        return {};
    if (!HasWildcards(pathSpec) && !pathSpec.empty() && pathSpec.back() != '\\') {
        // One name: seen through the mask with the attributes it has now.
        const std::string name = real_.Dir(pathSpec, attributes | attr::Hidden | attr::System);
        return !name.empty() && Listed(dir, name, attributes) ? name : std::string();
    }
    for (const std::string& name : DirAll(pathSpec, attributes))
        return name;
    return {};
}

std::vector<std::string> PreviewPlatform::DirAll(const std::string& pathSpec, int attributes) {
    const std::string dir = DirectoryOf(pathSpec);
    if (!dir.empty() && Deleted(dir))
        return {};
    std::vector<std::string> names;
    for (const std::string& name : real_.DirAll(pathSpec, attributes | attr::Hidden | attr::System))
        if (Listed(dir, name, attributes))
            names.push_back(name);
    return names;
}

int PreviewPlatform::GetAttr(const std::string& path) {
    return AttributesOf(path);
}

void PreviewPlatform::Kill(const std::string& path) {
    const std::string dir = DirectoryOf(path);
    if (HasWildcards(path)) {
        const std::vector<std::string> names = DirAll(path, attr::Normal);
        if (names.empty())
            throw RuntimeError(err::FileNotFound);
        for (const std::string& name : names) {
            if ((AttributesOf(dir + name) & attr::ReadOnly) != 0)
                throw RuntimeError(err::PathFileAccessError);
            deletedPaths_.insert(Identity(dir + name));
            Record("delete file " + dir + name);
        }
        return;
    }
    int attributes = 0;
    try {
        attributes = AttributesOf(path);
    } catch (const RuntimeError&) {
        // A missing directory part is "path not found", a missing file "file
        // not found".
        const std::string parent = WithoutTrailingBackslash(dir);
        bool parentThere = parent.size() <= 3;
        if (!parentThere) {
            try {
                parentThere = (AttributesOf(parent) & attr::Directory) != 0;
            } catch (const RuntimeError&) {
            }
        }
        throw RuntimeError(parentThere ? err::FileNotFound : err::PathNotFound);
    }
    if ((attributes & VisibilityBits) != 0)
        throw RuntimeError(err::FileNotFound);
    if ((attributes & attr::ReadOnly) != 0)
        throw RuntimeError(err::PathFileAccessError);
    deletedPaths_.insert(Identity(path));
    Record("delete file " + path);
}

void PreviewPlatform::RmDir(const std::string& path) {
    const std::string dir = WithoutTrailingBackslash(path);
    int attributes = 0;
    try {
        attributes = AttributesOf(dir);
    } catch (const RuntimeError&) {
        throw RuntimeError(err::PathNotFound);
    }
    if ((attributes & attr::Directory) == 0)
        throw RuntimeError(err::PathNotFound);
    const std::string identity = Identity(dir);
    const bool current = std::any_of(currentDirectories_.begin(), currentDirectories_.end(),
                                     [&](const auto& entry) { return entry.second == identity; });
    if (dir.size() <= 3 || real_.IsLink(dir) || current)
        throw RuntimeError(err::PathFileAccessError);
    const int everything = attr::Directory | attr::Hidden | attr::System;
    for (const std::string& name : DirAll(WithTrailingBackslash(dir) + "*.*", everything))
        if (name != "." && name != "..")
            throw RuntimeError(err::PathFileAccessError);
    deletedPaths_.insert(identity);
    Record("delete folder " + dir);
}

void PreviewPlatform::ChDir(const std::string& path) {
    if (Deleted(path))
        throw RuntimeError(err::PathNotFound);
    real_.ChDir(path);
    const char drive = path.size() >= 2 && path[1] == ':'
                           ? static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))
                           : currentDrive_;
    currentDirectories_[drive] = Identity(path);
}

void PreviewPlatform::ChDrive(const std::string& drive) {
    real_.ChDrive(drive);
    if (!drive.empty())
        currentDrive_ = static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
}

void PreviewPlatform::SetAttr(const std::string& path, int attributes) {
    constexpr int Settable = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;
    if ((attributes & ~Settable) != 0)
        throw RuntimeError(err::InvalidProcedureCall);
    AttributesOf(path); // raises as the real call does for a missing path
    attributes_[Identity(path)] = attributes & (attr::ReadOnly | attr::Hidden | attr::System);
    Record("set attributes " + path + " " + std::to_string(attributes));
}

std::vector<std::string> PreviewPlatform::ListFiles(const std::string& dir,
                                                    const std::string& patterns) {
    if (Deleted(dir))
        throw RuntimeError(err::PathNotFound);
    std::vector<std::string> names;
    const std::string base = WithTrailingBackslash(dir);
    for (const std::string& name : real_.ListFiles(dir, patterns))
        if (Listed(base, name, attr::Normal))
            names.push_back(name);
    return names;
}

std::vector<std::string> PreviewPlatform::ListDirectories(const std::string& dir) {
    if (Deleted(dir))
        throw RuntimeError(err::PathNotFound);
    std::vector<std::string> names;
    const std::string base = WithTrailingBackslash(dir);
    for (const std::string& name : real_.ListDirectories(dir))
        if (!Deleted(base + name))
            names.push_back(name);
    return names;
}

std::string PreviewPlatform::ResolveDirectory(const std::string& dir) {
    return Deleted(dir) ? std::string() : real_.ResolveDirectory(dir);
}

bool PreviewPlatform::IsLink(const std::string& path) {
    return !Deleted(path) && real_.IsLink(path);
}

bool PreviewPlatform::IsProgramGroupLink(const std::string& group) {
    return deletedGroups_.count(group) == 0 && real_.IsProgramGroupLink(group);
}

// --- Settings store --------------------------------------------------------------

std::string PreviewPlatform::GetSetting(const std::string& appName, const std::string& section,
                                        const std::string& key, const std::string& defaultValue) {
    if (deletedSettings_.count(Upper(appName + "\\" + section)) != 0)
        return defaultValue;
    return real_.GetSetting(appName, section, key, defaultValue);
}

void PreviewPlatform::DeleteSetting(const std::string& appName, const std::string& section) {
    // A section that is not there cannot be deleted.
    if (!RegKeyExists(hkey::CurrentUser, SettingsRoot + appName + "\\" + section))
        throw RuntimeError(err::InvalidProcedureCall);
    deletedSettings_.insert(Upper(appName + "\\" + section));
    deletedKeys_.insert(Upper(KeyName(hkey::CurrentUser, SettingsRoot + appName + "\\" + section)));
    Record("delete settings " + appName + "\\" + section);
}

// --- Registry ------------------------------------------------------------------------

std::string PreviewPlatform::KeyName(std::uint32_t root, const std::string& subKey) const {
    std::string base;
    if (const auto handle = handles_.find(root); handle != handles_.end())
        base = handle->second;
    else if (const char* name = RootName(root))
        base = name;
    else
        return {};
    return subKey.empty() ? base : base + "\\" + subKey;
}

bool PreviewPlatform::KeyDeleted(const std::string& keyName) const {
    const std::string upper = Upper(keyName);
    return std::any_of(deletedKeys_.begin(), deletedKeys_.end(),
                       [&](const std::string& gone) { return Within(upper, gone); });
}

long PreviewPlatform::RegKeyStatus(std::uint32_t root, const std::string& subKey) {
    const std::string name = KeyName(root, subKey);
    if (createdKeys_.count(Upper(name)) != 0)
        return ErrorSuccess;
    if (KeyDeleted(name))
        return ErrorFileNotFound;
    return RootName(root) != nullptr
               ? real_.RegKeyStatus(root, subKey)
               : (RegKeyExists(root, subKey) ? ErrorSuccess : ErrorFileNotFound);
}

bool PreviewPlatform::RegKeyExists(std::uint32_t root, const std::string& subKey) {
    const std::string name = KeyName(root, subKey);
    if (name.empty())
        return false;
    if (createdKeys_.count(Upper(name)) != 0)
        return true;
    if (KeyDeleted(name))
        return false;
    // The real platform knows the predefined roots only.
    const auto firstSlash = name.find('\\');
    const std::string rootName = name.substr(0, firstSlash);
    const std::string path = firstSlash == std::string::npos ? "" : name.substr(firstSlash + 1);
    for (std::uint32_t predefined : {hkey::ClassesRoot, hkey::CurrentUser, hkey::LocalMachine})
        if (rootName == RootName(predefined))
            return real_.RegKeyExists(predefined, path);
    return false;
}

long PreviewPlatform::RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                                    std::uint32_t& result) {
    const std::string name = KeyName(key, subKey);
    if (name.empty())
        return ErrorInvalidHandle;
    if (!RegKeyExists(key, subKey)) {
        createdKeys_.insert(Upper(name));
        Record("create key " + name);
    }
    result = nextHandle_++;
    handles_[result] = name;
    return ErrorSuccess;
}

long PreviewPlatform::RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                                   const std::string& data, std::uint32_t /*length*/) {
    const std::string name = KeyName(key, subKey);
    if (name.empty())
        return ErrorInvalidHandle;
    if (type != RegSz)
        return 87; // ERROR_INVALID_PARAMETER
    if (!subKey.empty() && !RegKeyExists(key, subKey)) {
        createdKeys_.insert(Upper(name));
        Record("create key " + name);
    }
    Record("set " + name + " default \"" + data + "\"");
    return ErrorSuccess;
}

long PreviewPlatform::RegCloseKey(std::uint32_t key) {
    if (handles_.erase(key) != 0 || RootName(key) != nullptr)
        return ErrorSuccess;
    return ErrorInvalidHandle;
}

long PreviewPlatform::RegDeleteKeyA(std::uint32_t key, const std::string& subKey) {
    const std::string name = KeyName(key, subKey);
    if (name.empty())
        return ErrorInvalidHandle;
    if (subKey.empty())
        return 87; // the root itself is never deleted
    if (!RegKeyExists(key, subKey))
        return ErrorFileNotFound;
    const std::string upper = Upper(name);
    std::erase_if(createdKeys_, [&](const std::string& made) { return Within(made, upper); });
    deletedKeys_.insert(upper);
    Record("delete key " + name);
    return ErrorSuccess;
}

// --- Profile files ---------------------------------------------------------------

std::string PreviewPlatform::ProfileKey(const std::string& file, const std::string& section,
                                        const std::string& key) {
    return Identity(file) + "|" + Upper(section) + "|" + Upper(key);
}

std::uint32_t PreviewPlatform::GetPrivateProfileStringA(const std::string& section,
                                                        const std::string& key,
                                                        const std::string& defaultValue,
                                                        std::string& buffer, std::uint32_t size,
                                                        const std::string& fileName) {
    const bool named = fileName.find('\\') != std::string::npos;
    if (named && Deleted(fileName)) {
        std::string value = defaultValue;
        while (!value.empty() && value.back() == ' ')
            value.pop_back();
        return CopyReply(value, buffer, size);
    }
    if (const auto written = profileValues_.find(ProfileKey(fileName, section, key));
        written != profileValues_.end())
        return CopyReply(written->second, buffer, size);
    return real_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

long PreviewPlatform::WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                                 const std::string& value,
                                                 const std::string& fileName) {
    int attributes = 0;
    try {
        attributes = AttributesOf(fileName);
    } catch (const RuntimeError&) {
        return 0; // the program writes only into files that are there
    }
    if ((attributes & attr::ReadOnly) != 0)
        return 0;
    // Writing the value a key already holds changes nothing.
    std::string buffer(value.size() + 2, '\0');
    const std::uint32_t length = GetPrivateProfileStringA(
        section, key, "\x01", buffer, static_cast<std::uint32_t>(buffer.size()), fileName);
    if (buffer.substr(0, length) != value) {
        profileValues_[ProfileKey(fileName, section, key)] = value;
        Record("write " + fileName + " [" + section + "] " + key + "=" + value);
    }
    return 1;
}

// --- System locations, clock ------------------------------------------------------

std::uint32_t PreviewPlatform::GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) {
    return real_.GetWindowsDirectoryA(buffer, size);
}

std::uint32_t PreviewPlatform::GetSystemDirectoryA(std::string& buffer, std::uint32_t size) {
    return real_.GetSystemDirectoryA(buffer, size);
}

std::uint32_t PreviewPlatform::GetTempPathA(std::uint32_t size, std::string& buffer) {
    return real_.GetTempPathA(size, buffer);
}

std::uint32_t PreviewPlatform::GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                                 std::uint32_t size) {
    return Deleted(longPath) ? 0 : real_.GetShortPathNameA(longPath, buffer, size);
}

std::string PreviewPlatform::Now() {
    return real_.Now();
}

// --- Program Manager -----------------------------------------------------------------

void PreviewPlatform::DdeInitiate(const std::string& topic) {
    real_.DdeInitiate(topic);
}

std::string PreviewPlatform::DdeRequest(const std::string& topic, const std::string& item) {
    const std::string reply = real_.DdeRequest(topic, item);
    if (deletedGroups_.empty())
        return reply;
    std::string kept;
    for (const std::string& line : GroupLines(reply)) {
        std::string name = line;
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        if (deletedGroups_.count(name) == 0)
            kept += line + "\r\n";
    }
    return kept;
}

void PreviewPlatform::DdeExecute(const std::string& topic, const std::string& command) {
    real_.DdeInitiate(topic); // no Program Manager: the real call's error
    const auto group = DeletedGroupOf(command);
    bool listed = false;
    if (group && group->find_first_of("\\/:") == std::string::npos &&
        group->find("..") == std::string::npos) {
        for (const std::string& line : GroupLines(DdeRequest(topic, "PROGMAN")))
            listed = listed || line == *group;
    }
    if (!listed)
        throw RuntimeError(err::DdeMethodRefused);
    deletedGroups_.insert(*group);
    Record("delete group \"" + *group + "\"");
}

// --- Shell folders, clipboard, App object ------------------------------------------

long PreviewPlatform::GetFolderPath(std::intptr_t hWnd, int folder, std::string& path) {
    return real_.GetFolderPath(hWnd, folder, path);
}

void PreviewPlatform::ClipboardClear() {
    real_.ClipboardClear();
}

void PreviewPlatform::ClipboardSetText(const std::string& text) {
    real_.ClipboardSetText(text);
}

std::string PreviewPlatform::AppPath() {
    return real_.AppPath();
}

bool PreviewPlatform::AppPrevInstance() {
    return real_.AppPrevInstance();
}

} // namespace kestovan
