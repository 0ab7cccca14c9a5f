#pragma once

// A PlatformServices whose machine lives in memory: files and directories
// (names matched without regard to letter case, short 8.3 names accepted
// wherever a path is taken), the settings store, registry keys, profile
// files, Program Manager's groups and the shell folders.  Any operation can
// be made to fail with Fail(); the calls that touch files are recorded.

#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"
#include "support/TextMatch.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestovan::memtest {

using testsupport::SameText;
using testsupport::SplitOn;
using testsupport::Upper;
using testsupport::WildcardMatch;

class MemoryPlatform : public PlatformServices {
public:
    struct Entry {
        std::string path; // the long path as created, no trailing backslash
        bool directory = false;
        bool readOnly = false;
        bool hidden = false;
    };

    // --- Machine set-up and inspection -------------------------------------
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string systemDirectory = "C:\\WINDOWS\\SYSTEM";
    std::optional<std::string> tempPath = std::string("C:\\WINDOWS\\TEMP\\");
    std::string now = "12/7/2026 3:04:05 PM";
    std::string appPath = "C:\\TAVORI";
    bool prevInstance = false;

    // Program Manager: present or not, its groups in the order it lists them,
    // and a raw reply that replaces the list when set.
    bool programManager = true;
    std::vector<std::string> groups;
    std::optional<std::string> groupReply;
    std::vector<std::string> ddeCommands;

    std::map<int, std::string> shellFolders; // 0 desktop, 11 Start Menu
    std::vector<std::intptr_t> folderWindows;
    std::string clipboard;

    // Every call that names a file or directory: "Dir <spec>", "Kill <path>", ...
    std::vector<std::string> calls;

    MemoryPlatform() {
        AddDirectory(windowsDirectory);
        AddDirectory(systemDirectory);
        AddDirectory(*tempPath);
        currentDirectory_['C'] = "C:\\";
    }

    void AddDirectory(const std::string& path) {
        const std::vector<std::string> parts = Components(path);
        std::string sofar;
        for (const std::string& part : parts) {
            sofar = sofar.empty() ? part : sofar + "\\" + part;
            auto& entry = entries_[Upper(sofar)];
            if (entry.path.empty()) {
                entry.path = sofar;
                entry.directory = true;
            }
        }
    }

    void AddFile(const std::string& path, bool readOnly = false, bool hidden = false) {
        const std::vector<std::string> parts = Components(path);
        std::string parent;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i)
            parent = parent.empty() ? parts[i] : parent + "\\" + parts[i];
        AddDirectory(parent);
        const std::string full = parent + "\\" + parts.back();
        entries_[Upper(full)] = Entry{full, false, readOnly, hidden};
    }

    bool Exists(const std::string& path) const { return Resolve(path).has_value(); }
    bool FileExists(const std::string& path) const {
        const auto key = Resolve(path);
        return key && !entries_.at(*key).directory;
    }
    bool DirectoryExists(const std::string& path) const {
        const auto key = Resolve(path);
        return key && entries_.at(*key).directory;
    }
    // Long names of the entries directly inside a directory, in byte order.
    std::vector<std::string> Contents(const std::string& dir) const {
        std::vector<std::string> names;
        if (const auto key = Resolve(dir))
            for (const Entry* child : Children(*key))
                names.push_back(NameOf(child->path));
        return names;
    }

    // The current directory of the current drive, with a trailing backslash.
    std::string CurrentDirectory() const {
        const auto found = currentDirectory_.find(currentDrive_);
        return found == currentDirectory_.end() ? std::string(1, currentDrive_) + ":\\"
                                                : found->second;
    }
    void SetCurrentDirectory(const std::string& dir) {
        ChDrive(dir.substr(0, 2));
        ChDir(dir);
    }

    // Settings store.
    void SetSetting(const std::string& app, const std::string& section, const std::string& key,
                    const std::string& value) {
        settings_[Upper(app)][Upper(section)][Upper(key)] = value;
    }
    bool HasSettings(const std::string& app, const std::string& section) const {
        const auto found = settings_.find(Upper(app));
        return found != settings_.end() && found->second.count(Upper(section)) != 0;
    }

    // Registry (root, sub-key): a key and its default value.
    void AddRegKey(const std::string& subKey, std::optional<std::string> defaultValue = {},
                   std::uint32_t root = hkey::ClassesRoot) {
        CreateKeyPath(root, subKey);
        if (defaultValue)
            registry_[{root, Upper(subKey)}].defaultValue = std::move(defaultValue);
    }
    bool RegKeyExists(const std::string& subKey, std::uint32_t root = hkey::ClassesRoot) const {
        return registry_.count({root, Upper(subKey)}) != 0;
    }
    std::optional<std::string> RegDefault(const std::string& subKey,
                                          std::uint32_t root = hkey::ClassesRoot) const {
        const auto found = registry_.find({root, Upper(subKey)});
        if (found == registry_.end())
            return std::nullopt;
        return found->second.defaultValue;
    }
    std::size_t OpenRegKeys() const { return handles_.size(); }

    // Profile files: the file is created in the file system as well.
    void SetProfileString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& value) {
        const std::string path = ProfilePath(file);
        if (!FileExists(path))
            AddFile(path);
        profiles_[*Resolve(path)][Upper(section)][Upper(key)] = value;
    }
    std::optional<std::string> ProfileString(const std::string& file, const std::string& section,
                                             const std::string& key) const {
        const auto resolved = Resolve(ProfilePath(file));
        if (!resolved)
            return std::nullopt;
        const auto f = profiles_.find(*resolved);
        if (f == profiles_.end())
            return std::nullopt;
        const auto s = f->second.find(Upper(section));
        if (s == f->second.end())
            return std::nullopt;
        const auto k = s->second.find(Upper(key));
        if (k == s->second.end())
            return std::nullopt;
        return k->second;
    }

    // Makes an operation fail: every call when argument is empty, else the
    // calls whose first argument equals it (letter case ignored).  The
    // run-time statements raise error; the Win32 calls return it (0 for the
    // ones that return a length).
    void Fail(const std::string& operation, const std::string& argument = "",
              int error = err::PathFileAccessError) {
        failures_.push_back({operation, argument, error});
    }

    // --- PlatformServices ------------------------------------------------------
    std::string Dir(const std::string& pathSpec, int attributes) override {
        calls.push_back("Dir " + pathSpec);
        Raise("Dir", pathSpec);
        const std::vector<std::string> found = Search(pathSpec, attributes, true);
        return found.empty() ? std::string() : found.front();
    }

    std::vector<std::string> DirAll(const std::string& pathSpec, int attributes) override {
        calls.push_back("DirAll " + pathSpec);
        Raise("DirAll", pathSpec);
        return Search(pathSpec, attributes, false);
    }

    int GetAttr(const std::string& path) override {
        calls.push_back("GetAttr " + path);
        Raise("GetAttr", path);
        const auto key = Resolve(path);
        if (!key)
            throw RuntimeError(err::FileNotFound);
        const Entry& entry = entries_.at(*key);
        return (entry.readOnly ? attr::ReadOnly : 0) | (entry.hidden ? attr::Hidden : 0) |
               (entry.directory ? attr::Directory : 0);
    }

    // Dir's search: the names found, in order (only the first when asked).
    std::vector<std::string> Search(const std::string& pathSpec, int attributes, bool firstOnly) {
        std::vector<std::string> found;
        const std::size_t slash = pathSpec.find_last_of('\\');
        const std::string dir =
            slash == std::string::npos ? CurrentDirectory() : pathSpec.substr(0, slash + 1);
        const std::string pattern =
            slash == std::string::npos ? pathSpec : pathSpec.substr(slash + 1);
        const auto key = Resolve(dir);
        if (!key || !entries_.at(*key).directory)
            return found;
        if (pattern.empty()) {
            if ((attributes & attr::Directory) != 0)
                found.emplace_back(".");
            return found;
        }
        for (const Entry* child : Children(*key)) {
            if (child->directory && (attributes & attr::Directory) == 0)
                continue;
            if (child->hidden && (attributes & attr::Hidden) == 0)
                continue;
            const std::string name = NameOf(child->path);
            if (WildcardMatch(name, pattern) || WildcardMatch(ShortNameOf(*child), pattern)) {
                found.push_back(name);
                if (firstOnly)
                    break;
            }
        }
        return found;
    }

    void Kill(const std::string& path) override {
        calls.push_back("Kill " + path);
        Raise("Kill", path);
        const auto key = Resolve(path);
        if (!key || entries_.at(*key).directory)
            throw RuntimeError(err::FileNotFound);
        if (entries_.at(*key).readOnly)
            throw RuntimeError(err::PathFileAccessError);
        profiles_.erase(*key);
        entries_.erase(*key);
    }

    void RmDir(const std::string& path) override {
        calls.push_back("RmDir " + path);
        Raise("RmDir", path);
        const auto key = Resolve(path);
        if (!key || !entries_.at(*key).directory)
            throw RuntimeError(err::PathNotFound);
        if (!Children(*key).empty() ||
            SameText(WithSlash(entries_.at(*key).path), CurrentDirectory()))
            throw RuntimeError(err::PathFileAccessError);
        entries_.erase(*key);
    }

    void ChDir(const std::string& path) override {
        calls.push_back("ChDir " + path);
        Raise("ChDir", path);
        const auto key = Resolve(path);
        if (!key || !entries_.at(*key).directory)
            throw RuntimeError(err::PathNotFound);
        const std::string& dir = entries_.at(*key).path;
        currentDirectory_[static_cast<char>(Upper(dir.substr(0, 1))[0])] = WithSlash(dir);
    }

    void ChDrive(const std::string& drive) override {
        calls.push_back("ChDrive " + drive);
        Raise("ChDrive", drive);
        const std::string letter = Upper(drive.substr(0, 1));
        if (letter.empty() || letter[0] < 'A' || letter[0] > 'Z')
            throw RuntimeError(68, "Device unavailable");
        currentDrive_ = letter[0];
    }

    void SetAttr(const std::string& path, int attributes) override {
        calls.push_back("SetAttr " + path);
        Raise("SetAttr", path);
        const auto key = Resolve(path);
        if (!key)
            throw RuntimeError(err::FileNotFound);
        Entry& entry = entries_.at(*key);
        entry.readOnly = (attributes & attr::ReadOnly) != 0;
        entry.hidden = (attributes & attr::Hidden) != 0;
    }

    std::vector<std::string> ListFiles(const std::string& dir,
                                       const std::string& patterns) override {
        calls.push_back("ListFiles " + dir + " " + patterns);
        Raise("ListFiles", dir);
        const auto key = Resolve(dir);
        if (!key || !entries_.at(*key).directory)
            throw RuntimeError(err::PathNotFound);
        std::vector<std::string> names;
        for (const Entry* child : Children(*key)) {
            if (child->directory || child->hidden)
                continue;
            const std::string name = NameOf(child->path);
            for (const std::string& pattern : SplitOn(patterns, ';'))
                if (WildcardMatch(name, pattern)) {
                    names.push_back(name);
                    break;
                }
        }
        return names;
    }

    std::vector<std::string> ListDirectories(const std::string& dir) override {
        calls.push_back("ListDirectories " + dir);
        Raise("ListDirectories", dir);
        const auto key = Resolve(dir);
        if (!key || !entries_.at(*key).directory)
            throw RuntimeError(err::PathNotFound);
        std::vector<std::string> names;
        for (const Entry* child : Children(*key))
            if (child->directory)
                names.push_back(NameOf(child->path));
        return names;
    }

    // Links: a link's path -> the directory it leads to (both Windows paths,
    // the link's compared without regard to case); program groups whose
    // folder is a link.  A link to a directory is also a directory entry of
    // its own so that the other operations see it as the platform does.
    std::map<std::string, std::string> links;
    std::set<std::string> linkedGroups;
    void AddDirectoryLink(const std::string& path, const std::string& target) {
        AddDirectory(path);
        links[Upper(Trimmed(path))] = Trimmed(target);
    }
    std::string ResolveDirectory(const std::string& dir) override {
        calls.push_back("ResolveDirectory " + dir);
        std::vector<std::string> parts = Components(dir);
        for (int hops = 0; hops < 40; ++hops) {
            bool followed = false;
            std::string sofar;
            for (std::size_t i = 0; i < parts.size() && !followed; ++i) {
                sofar = sofar.empty() ? parts[i] : sofar + "\\" + parts[i];
                const auto link = links.find(Upper(sofar));
                if (link == links.end())
                    continue;
                std::vector<std::string> rest(parts.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                              parts.end());
                parts = Components(link->second);
                parts.insert(parts.end(), rest.begin(), rest.end());
                followed = true;
            }
            if (!followed) {
                std::string joined;
                for (const std::string& part : parts)
                    joined += joined.empty() ? part : "\\" + part;
                const auto key = Resolve(joined);
                if (!key || !entries_.at(*key).directory)
                    return {};
                const std::string& stored = entries_.at(*key).path;
                return stored.back() == '\\' ? stored : stored + "\\";
            }
        }
        return {};
    }
    bool IsLink(const std::string& path) override {
        calls.push_back("IsLink " + path);
        return links.count(Upper(Trimmed(path))) != 0;
    }
    bool IsProgramGroupLink(const std::string& group) override {
        return linkedGroups.count(group) != 0;
    }

    std::string GetSetting(const std::string& appName, const std::string& section,
                           const std::string& key, const std::string& defaultValue) override {
        const auto a = settings_.find(Upper(appName));
        if (a == settings_.end())
            return defaultValue;
        const auto s = a->second.find(Upper(section));
        if (s == a->second.end())
            return defaultValue;
        const auto k = s->second.find(Upper(key));
        return k == s->second.end() ? defaultValue : k->second;
    }

    void DeleteSetting(const std::string& appName, const std::string& section) override {
        calls.push_back("DeleteSetting " + appName + " " + section);
        Raise("DeleteSetting", appName);
        const auto a = settings_.find(Upper(appName));
        if (a == settings_.end() || a->second.erase(Upper(section)) == 0)
            throw RuntimeError(err::InvalidProcedureCall);
    }

    long RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                       std::uint32_t& result) override {
        calls.push_back("RegCreateKeyA " + subKey);
        if (const auto error = Failure("RegCreateKeyA", subKey))
            return *error;
        CreateKeyPath(key, subKey);
        result = nextHandle_++;
        handles_[result] = {key, Upper(subKey)};
        return ErrorSuccess;
    }

    long RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                      const std::string& data, std::uint32_t /*length*/) override {
        const auto handle = handles_.find(key);
        if (handle == handles_.end())
            return ErrorInvalidHandle;
        const std::string& name = registry_.at(handle->second).name;
        calls.push_back("RegSetValueA " + name + " = " + data);
        if (const auto error = Failure("RegSetValueA", name))
            return *error;
        if (type != RegSz)
            return 87; // invalid parameter
        std::string target = name;
        if (!subKey.empty()) {
            target += "\\" + subKey;
            CreateKeyPath(handle->second.first, target);
        }
        registry_[{handle->second.first, Upper(target)}].defaultValue = data;
        return ErrorSuccess;
    }

    long RegCloseKey(std::uint32_t key) override {
        return handles_.erase(key) != 0 ? ErrorSuccess : ErrorInvalidHandle;
    }

    // Fails whole under a fault of its own (its argument: the sub-keys,
    // separated by spaces); else sets the values one after the other.
    long RegSetDefaults(std::uint32_t root,
                        const std::vector<std::pair<std::string, std::string>>& values) override {
        std::string subKeys;
        for (const auto& value : values)
            subKeys += (subKeys.empty() ? "" : " ") + value.first;
        calls.push_back("RegSetDefaults " + subKeys);
        if (const auto error = Failure("RegSetDefaults", subKeys))
            return *error;
        return PlatformServices::RegSetDefaults(root, values);
    }

    long RegQueryDefault(std::uint32_t root, const std::string& subKey,
                         std::string& value) override {
        const auto found = registry_.find({root, Upper(subKey)});
        if (found == registry_.end() || !found->second.defaultValue)
            return ErrorFileNotFound;
        value = *found->second.defaultValue;
        return ErrorSuccess;
    }
    bool RegKeyExists(std::uint32_t root, const std::string& subKey) override {
        return registry_.count({root, Upper(subKey)}) != 0;
    }
    long RegKeyStatus(std::uint32_t root, const std::string& subKey) override {
        if (const auto error = Failure("RegKeyStatus", subKey))
            return *error;
        // The settings store's sections are keys of HKEY_CURRENT_USER.
        const std::string settingsRoot = "SOFTWARE\\VB AND VBA PROGRAM SETTINGS\\";
        const std::vector<std::string> parts =
            SplitOn(Upper(subKey).substr(std::min(subKey.size(), settingsRoot.size())), '\\');
        if (root == hkey::CurrentUser && Upper(subKey).starts_with(settingsRoot) &&
            parts.size() == 2 && HasSettings(parts[0], parts[1]))
            return ErrorSuccess;
        return registry_.count({root, Upper(subKey)}) != 0 ? ErrorSuccess : ErrorFileNotFound;
    }
    long RegDeleteKeyA(std::uint32_t key, const std::string& subKey) override {
        calls.push_back("RegDeleteKeyA " + subKey);
        if (const auto error = Failure("RegDeleteKeyA", subKey))
            return *error;
        const std::string upper = Upper(subKey);
        if (registry_.count({key, upper}) == 0)
            return ErrorFileNotFound;
        // The key goes with everything under it.
        for (auto it = registry_.begin(); it != registry_.end();) {
            if (it->first.first == key &&
                (it->first.second == upper || it->first.second.rfind(upper + "\\", 0) == 0))
                it = registry_.erase(it);
            else
                ++it;
        }
        return ErrorSuccess;
    }

    std::uint32_t GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, std::string& buffer,
                                           std::uint32_t size,
                                           const std::string& fileName) override {
        if (Failure("GetPrivateProfileStringA", fileName))
            return 0;
        const std::string value = ProfileString(fileName, section, key).value_or(defaultValue);
        const std::size_t room = std::min<std::size_t>(size, buffer.size());
        if (room == 0)
            return 0;
        const std::size_t count = std::min(value.size(), room - 1);
        buffer.replace(0, count, value, 0, count);
        buffer[count] = '\0';
        return static_cast<std::uint32_t>(count);
    }

    long WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                    const std::string& value,
                                    const std::string& fileName) override {
        if (Failure("WritePrivateProfileStringA", fileName))
            return 0;
        SetProfileString(fileName, section, key, value);
        return 1;
    }

    std::uint32_t GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) override {
        if (Failure("GetWindowsDirectoryA", ""))
            return 0;
        return Copy(windowsDirectory, buffer, size);
    }

    std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) override {
        if (Failure("GetSystemDirectoryA", ""))
            return 0;
        return Copy(systemDirectory, buffer, size);
    }

    std::uint32_t GetTempPathA(std::uint32_t size, std::string& buffer) override {
        if (!tempPath || Failure("GetTempPathA", ""))
            return 0;
        return Copy(*tempPath, buffer, size);
    }

    std::uint32_t GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                    std::uint32_t size) override {
        if (Failure("GetShortPathNameA", longPath))
            return 0;
        const auto key = Resolve(longPath);
        if (!key)
            return 0;
        // Short form of every component, from the drive down.
        std::vector<std::string> shortParts;
        std::string sofar = *key;
        for (;;) {
            const Entry& entry = entries_.at(sofar);
            const std::size_t slash = sofar.find_last_of('\\');
            if (slash == std::string::npos) {
                shortParts.push_back(entry.path);
                break;
            }
            shortParts.push_back(ShortNameOf(entry));
            sofar = sofar.substr(0, slash);
        }
        std::string result;
        for (auto it = shortParts.rbegin(); it != shortParts.rend(); ++it)
            result += (result.empty() ? "" : "\\") + *it;
        if (longPath.size() > 0 && longPath.back() == '\\' && result.size() > 2)
            result += '\\';
        return Copy(result, buffer, size);
    }

    std::string Now() override { return now; }

    void DdeInitiate(const std::string& topic) override {
        calls.push_back("DdeInitiate " + topic);
        Raise("DdeInitiate", topic);
        if (!programManager || Upper(topic) != "PROGMAN|PROGMAN")
            throw RuntimeError(err::DdeNoForeignApplication);
    }

    std::string DdeRequest(const std::string& topic, const std::string& item) override {
        DdeInitiate(topic);
        Raise("DdeRequest", item);
        if (Upper(item) != "PROGMAN")
            throw RuntimeError(err::DdeMethodRefused);
        if (groupReply)
            return *groupReply;
        std::string reply;
        for (const std::string& group : groups)
            reply += group + "\r\n";
        return reply;
    }

    // Understands "[DeleteGroup(name)]" and "[DeleteGroup("name")]", one or
    // more in a row; inside quotes "" stands for one quote, an unquoted
    // argument ends at ',' or ')'.
    void DdeExecute(const std::string& topic, const std::string& command) override {
        DdeInitiate(topic);
        ddeCommands.push_back(command);
        Raise("DdeExecute", command);
        std::size_t at = 0;
        auto refuse = [] { throw RuntimeError(err::DdeMethodRefused); };
        while (at < command.size()) {
            if (command[at] != '[')
                refuse();
            const std::size_t open = command.find('(', at);
            if (open == std::string::npos ||
                Upper(command.substr(at + 1, open - at - 1)) != "DELETEGROUP")
                refuse();
            at = open + 1;
            std::string name;
            if (at < command.size() && command[at] == '"') {
                ++at;
                for (;;) {
                    if (at >= command.size())
                        refuse();
                    if (command[at] == '"') {
                        if (at + 1 < command.size() && command[at + 1] == '"') {
                            name += '"';
                            at += 2;
                            continue;
                        }
                        ++at;
                        break;
                    }
                    name += command[at++];
                }
            } else {
                const std::size_t end = command.find_first_of(",)", at);
                if (end == std::string::npos)
                    refuse();
                name = command.substr(at, end - at);
                at = end;
            }
            if (command.compare(at, 2, ")]") != 0)
                refuse();
            at += 2;
            const auto group = std::find_if(groups.begin(), groups.end(),
                                            [&](const auto& g) { return SameText(g, name); });
            if (name.empty() || group == groups.end())
                refuse();
            groups.erase(group);
        }
    }

    long GetFolderPath(std::intptr_t hWnd, int folder, std::string& path) override {
        Raise("GetFolderPath", "");
        folderWindows.push_back(hWnd);
        const auto found = shellFolders.find(folder);
        if (found == shellFolders.end())
            return 0;
        path = found->second;
        return 1;
    }

    void ClipboardClear() override { clipboard.clear(); }
    void ClipboardSetText(const std::string& text) override { clipboard = text; }
    std::string AppPath() override { return appPath; }
    bool AppPrevInstance() override { return prevInstance; }

private:
    struct FailureRule {
        std::string operation;
        std::string argument;
        int error;
    };
    struct RegKey {
        std::string name;
        std::optional<std::string> defaultValue;
    };
    using RegName = std::pair<std::uint32_t, std::string>;

    static std::string WithSlash(std::string path) {
        if (path.empty() || path.back() != '\\')
            path += '\\';
        return path;
    }
    static std::string Trimmed(std::string path) {
        if (path.size() > 3 && path.back() == '\\')
            path.pop_back();
        return path;
    }
    static std::string NameOf(const std::string& path) {
        return path.substr(path.find_last_of('\\') + 1);
    }
    static std::vector<std::string> Components(const std::string& path) {
        std::vector<std::string> parts;
        for (const std::string& part : SplitOn(path, '\\'))
            if (!part.empty())
                parts.push_back(part);
        return parts;
    }

    std::string ProfilePath(const std::string& file) const {
        return file.find('\\') == std::string::npos ? windowsDirectory + "\\" + file : file;
    }

    std::optional<int> Failure(const std::string& operation, const std::string& argument) const {
        for (const FailureRule& rule : failures_)
            if (rule.operation == operation &&
                (rule.argument.empty() || SameText(rule.argument, argument)))
                return rule.error;
        return std::nullopt;
    }
    void Raise(const std::string& operation, const std::string& argument) const {
        if (const auto error = Failure(operation, argument))
            throw RuntimeError(*error);
    }

    static std::uint32_t Copy(const std::string& value, std::string& buffer, std::uint32_t size) {
        const std::size_t room = std::min<std::size_t>(size, buffer.size());
        if (value.size() >= room)
            return static_cast<std::uint32_t>(value.size() + 1);
        buffer.replace(0, value.size(), value);
        buffer[value.size()] = '\0';
        return static_cast<std::uint32_t>(value.size());
    }

    std::vector<const Entry*> Children(const std::string& key) const {
        std::vector<const Entry*> children;
        const std::string prefix = key + "\\";
        for (const auto& [childKey, entry] : entries_)
            if (childKey.rfind(prefix, 0) == 0 &&
                childKey.find('\\', prefix.size()) == std::string::npos)
                children.push_back(&entry);
        std::sort(children.begin(), children.end(),
                  [](const Entry* a, const Entry* b) { return NameOf(a->path) < NameOf(b->path); });
        return children;
    }

    static bool IsShortName(const std::string& name) {
        const std::size_t dot = name.find('.');
        const std::string base = name.substr(0, dot);
        const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
        return !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
               ext.find('.') == std::string::npos &&
               name.find_first_of(" +,;=[]") == std::string::npos;
    }

    static std::string ShortPieces(const std::string& text, std::size_t count) {
        std::string kept;
        for (char c : text) {
            if (kept.size() == count)
                break;
            if (c == ' ' || c == '.' || std::string("+,;=[]").find(c) != std::string::npos)
                continue;
            kept += static_cast<char>(Upper(std::string(1, c))[0]);
        }
        return kept;
    }

    static std::pair<std::string, std::string> ShortStem(const std::string& name) {
        const std::size_t dot = name.find_last_of('.');
        const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
        const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
        return {ShortPieces(base, 6), ShortPieces(ext, 3)};
    }

    std::string ShortNameOf(const Entry& entry) const {
        const std::string name = NameOf(entry.path);
        if (IsShortName(name))
            return name;
        const auto [stem, ext] = ShortStem(name);
        const std::string parent = Upper(entry.path.substr(0, entry.path.find_last_of('\\')));
        int n = 1;
        for (const Entry* sibling : Children(parent)) {
            const std::string other = NameOf(sibling->path);
            if (other == name)
                break;
            if (!IsShortName(other) && ShortStem(other) == std::make_pair(stem, ext))
                ++n;
        }
        return stem + "~" + std::to_string(n) + (ext.empty() ? "" : "." + ext);
    }

    // The key of the entry a path names, each component matched by its long
    // or its short name.
    std::optional<std::string> Resolve(const std::string& path) const {
        const std::vector<std::string> parts = Components(path);
        if (parts.empty())
            return std::nullopt;
        std::string key = Upper(parts.front());
        if (entries_.count(key) == 0)
            return std::nullopt;
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string wanted = Upper(parts[i]);
            std::optional<std::string> next;
            for (const Entry* child : Children(key))
                if (Upper(NameOf(child->path)) == wanted) {
                    next = Upper(child->path);
                    break;
                }
            if (!next)
                for (const Entry* child : Children(key))
                    if (Upper(ShortNameOf(*child)) == wanted) {
                        next = Upper(child->path);
                        break;
                    }
            if (!next)
                return std::nullopt;
            key = *next;
        }
        return key;
    }

    void CreateKeyPath(std::uint32_t root, const std::string& subKey) {
        std::string sofar;
        for (const std::string& part : SplitOn(subKey, '\\')) {
            sofar = sofar.empty() ? part : sofar + "\\" + part;
            auto& key = registry_[{root, Upper(sofar)}];
            if (key.name.empty())
                key.name = sofar;
        }
    }

    std::map<std::string, Entry> entries_;
    std::map<char, std::string> currentDirectory_;
    char currentDrive_ = 'C';
    std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> settings_;
    std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> profiles_;
    std::map<RegName, RegKey> registry_;
    std::map<std::uint32_t, RegName> handles_;
    std::uint32_t nextHandle_ = 0x100;
    std::vector<FailureRule> failures_;
};

} // namespace kestovan::memtest
