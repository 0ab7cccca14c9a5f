#pragma once

// An in-memory PlatformServices for unit tests: every operation either
// answers from the public tables below or records the call.  Tests fill in
// what they need and read back what happened.

#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"
#include "support/TextMatch.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kestovan::testing {

using testsupport::Upper;

class FakePlatform : public PlatformServices {
public:
    // --- Tables the tests fill in ----------------------------------------
    // Directory (as passed, compared without regard to case) -> its entries.
    std::map<std::string, std::vector<std::string>> files;
    std::map<std::string, std::vector<std::string>> directories;
    // Settings store: "app|section|key" -> value.
    std::map<std::string, std::string> settings;
    // DDE: topics that answer ("service|topic", compared without regard to
    // case), replies per item, and a topic that refuses commands.
    std::set<std::string> ddeTopics;
    std::map<std::string, std::string> ddeReplies;
    bool ddeRefusesCommands = false;
    std::string now = "12/7/2026 3:04:05 PM";
    std::string appPath = "C:\\TAVORI";
    bool prevInstance = false;
    std::string windowsDirectory = "C:\\windows";
    std::string systemDirectory = "C:\\windows\\system32";
    std::string tempPath = "C:\\windows\\temp\\";
    std::map<int, std::string> folders; // GetFolderPath: folder -> path

    // --- What happened -----------------------------------------------------
    std::vector<std::string> calls; // "Kill C:\\x", "DdeExecute ...", ...
    std::vector<std::string> ddeCommands;
    std::string clipboard;
    int listFilesCalls = 0;
    int listDirectoriesCalls = 0;

    // --- File system ---------------------------------------------------------
    std::string Dir(const std::string& pathSpec, int attributes) override {
        calls.push_back("Dir " + pathSpec + " " + std::to_string(attributes));
        const auto slash = pathSpec.find_last_of('\\');
        const std::string dir = slash == std::string::npos ? "" : pathSpec.substr(0, slash);
        const std::string pattern = pathSpec.substr(slash == std::string::npos ? 0 : slash + 1);
        if (const auto* entries = Find(files, dir)) {
            for (const std::string& entry : *entries) {
                if (testsupport::WildcardMatch(entry, pattern)) {
                    return entry;
                }
            }
        }
        return "";
    }
    // Every entry of `files` that Dir would give, in order.
    std::vector<std::string> DirAll(const std::string& pathSpec, int attributes) override {
        calls.push_back("DirAll " + pathSpec + " " + std::to_string(attributes));
        const auto slash = pathSpec.find_last_of('\\');
        const std::string dir = slash == std::string::npos ? "" : pathSpec.substr(0, slash);
        const std::string pattern = pathSpec.substr(slash == std::string::npos ? 0 : slash + 1);
        std::vector<std::string> names;
        if (const auto* entries = Find(files, dir)) {
            for (const std::string& entry : *entries) {
                if (testsupport::WildcardMatch(entry, pattern)) {
                    names.push_back(entry);
                }
            }
        }
        return names;
    }
    // An entry of `files` is an ordinary file, one of `directories` a
    // directory; anything else raises 53.
    int GetAttr(const std::string& path) override {
        calls.push_back("GetAttr " + path);
        const auto slash = path.find_last_of('\\');
        const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
        const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
        auto holds = [&](const std::vector<std::string>* entries) {
            return entries != nullptr &&
                   std::any_of(entries->begin(), entries->end(), [&](const std::string& entry) {
                       return Upper(entry) == Upper(name);
                   });
        };
        if (holds(Find(files, dir))) {
            return attr::Normal;
        }
        if (holds(Find(directories, dir))) {
            return attr::Directory;
        }
        throw RuntimeError(err::FileNotFound);
    }
    void Kill(const std::string& path) override { calls.push_back("Kill " + path); }
    void RmDir(const std::string& path) override { calls.push_back("RmDir " + path); }
    void ChDir(const std::string& path) override { calls.push_back("ChDir " + path); }
    void ChDrive(const std::string& drive) override { calls.push_back("ChDrive " + drive); }
    void SetAttr(const std::string& path, int attributes) override {
        calls.push_back("SetAttr " + path + " " + std::to_string(attributes));
    }

    std::vector<std::string> ListFiles(const std::string& dir,
                                       const std::string& patterns) override {
        ++listFilesCalls;
        const auto* entries = Find(files, dir);
        if (entries == nullptr) {
            throw RuntimeError(err::PathNotFound);
        }
        std::vector<std::string> listed;
        for (const std::string& entry : *entries) {
            std::size_t start = 0;
            for (;;) {
                const std::size_t end = patterns.find(';', start);
                if (testsupport::WildcardMatch(entry, patterns.substr(start, end - start))) {
                    listed.push_back(entry);
                    break;
                }
                if (end == std::string::npos) {
                    break;
                }
                start = end + 1;
            }
        }
        return listed;
    }

    std::vector<std::string> ListDirectories(const std::string& dir) override {
        ++listDirectoriesCalls;
        const auto* entries = Find(directories, dir);
        if (entries == nullptr) {
            throw RuntimeError(err::PathNotFound);
        }
        return *entries;
    }

    // Links: a directory (compared without regard to case, no trailing
    // backslash) -> where it really is; link names; linked group folders.
    std::map<std::string, std::string> resolvedDirectories;
    std::set<std::string> links;
    std::set<std::string> linkedGroups;
    std::string ResolveDirectory(const std::string& dir) override {
        std::string key = Upper(dir);
        if (key.size() > 3 && key.back() == '\\')
            key.pop_back();
        for (const auto& [from, to] : resolvedDirectories)
            if (Upper(from) == key)
                return to.back() == '\\' ? to : to + "\\";
        return dir.empty() || dir.back() == '\\' ? dir : dir + "\\";
    }
    bool IsLink(const std::string& path) override {
        std::string key = Upper(path);
        if (key.size() > 3 && key.back() == '\\')
            key.pop_back();
        return std::any_of(links.begin(), links.end(),
                           [&](const std::string& link) { return Upper(link) == key; });
    }
    bool IsProgramGroupLink(const std::string& group) override {
        return linkedGroups.count(group) != 0;
    }

    // --- Settings store ------------------------------------------------------
    std::string GetSetting(const std::string& appName, const std::string& section,
                           const std::string& key, const std::string& defaultValue) override {
        const auto found = settings.find(appName + "|" + section + "|" + key);
        return found == settings.end() ? defaultValue : found->second;
    }
    void DeleteSetting(const std::string& appName, const std::string& section) override {
        calls.push_back("DeleteSetting " + appName + " " + section);
        const std::string prefix = appName + "|" + section + "|";
        bool any = false;
        for (auto it = settings.begin(); it != settings.end();) {
            if (it->first.rfind(prefix, 0) == 0) {
                it = settings.erase(it);
                any = true;
            } else {
                ++it;
            }
        }
        if (!any) {
            throw RuntimeError(err::InvalidProcedureCall);
        }
    }

    // --- Registry ------------------------------------------------------------
    long RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                       std::uint32_t& result) override {
        calls.push_back("RegCreateKeyA " + std::to_string(key) + " " + subKey);
        result = 0x1000;
        return ErrorSuccess;
    }
    long RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                      const std::string& data, std::uint32_t length) override {
        (void)type;
        (void)length;
        calls.push_back("RegSetValueA " + std::to_string(key) + " " + subKey + " " + data);
        return ErrorSuccess;
    }
    long RegCloseKey(std::uint32_t key) override {
        calls.push_back("RegCloseKey " + std::to_string(key));
        return ErrorSuccess;
    }
    std::set<std::string> registryKeys;                  // "root|subkey", sub-key compared as given
    std::map<std::string, std::string> registryDefaults; // "root|subkey" -> default value
    long RegQueryDefault(std::uint32_t root, const std::string& subKey,
                         std::string& value) override {
        const auto found = registryDefaults.find(std::to_string(root) + "|" + subKey);
        if (found == registryDefaults.end())
            return ErrorFileNotFound;
        value = found->second;
        return ErrorSuccess;
    }
    bool RegKeyExists(std::uint32_t root, const std::string& subKey) override {
        return registryKeys.count(std::to_string(root) + "|" + subKey) != 0;
    }
    long RegDeleteKeyA(std::uint32_t key, const std::string& subKey) override {
        calls.push_back("RegDeleteKeyA " + std::to_string(key) + " " + subKey);
        return ErrorSuccess;
    }
    long RegKeyStatus(std::uint32_t root, const std::string& subKey) override {
        return RegKeyExists(root, subKey) ? ErrorSuccess : ErrorFileNotFound;
    }

    // --- Profile files -------------------------------------------------------
    std::uint32_t GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, std::string& buffer,
                                           std::uint32_t size,
                                           const std::string& fileName) override {
        (void)section;
        (void)key;
        (void)fileName;
        return Copy(defaultValue, buffer, size);
    }
    long WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                    const std::string& value,
                                    const std::string& fileName) override {
        calls.push_back("WritePrivateProfileStringA " + section + " " + key + "=" + value + " " +
                        fileName);
        return 1;
    }

    // --- System locations ----------------------------------------------------
    std::uint32_t GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) override {
        return Copy(windowsDirectory, buffer, size);
    }
    std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) override {
        return Copy(systemDirectory, buffer, size);
    }
    std::uint32_t GetTempPathA(std::uint32_t size, std::string& buffer) override {
        return Copy(tempPath, buffer, size);
    }
    std::uint32_t GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                    std::uint32_t size) override {
        return Copy(longPath, buffer, size);
    }

    std::string Now() override { return now; }

    // --- DDE -----------------------------------------------------------------
    void DdeInitiate(const std::string& topic) override {
        calls.push_back("DdeInitiate " + topic);
        if (!Answers(topic)) {
            throw RuntimeError(err::DdeNoForeignApplication);
        }
    }
    std::string DdeRequest(const std::string& topic, const std::string& item) override {
        calls.push_back("DdeRequest " + topic + " " + item);
        const auto found = ddeReplies.find(item);
        if (!Answers(topic) || found == ddeReplies.end()) {
            throw RuntimeError(err::DdeMethodRefused);
        }
        return found->second;
    }
    void DdeExecute(const std::string& topic, const std::string& command) override {
        calls.push_back("DdeExecute " + topic + " " + command);
        if (!Answers(topic) || ddeRefusesCommands) {
            throw RuntimeError(err::DdeMethodRefused);
        }
        ddeCommands.push_back(command);
    }

    long GetFolderPath(std::intptr_t hWnd, int folder, std::string& path) override {
        (void)hWnd;
        const auto found = folders.find(folder);
        if (found == folders.end()) {
            return 0;
        }
        path = found->second;
        return 1;
    }

    void ClipboardClear() override {
        calls.push_back("ClipboardClear");
        clipboard.clear();
    }
    void ClipboardSetText(const std::string& text) override {
        calls.push_back("ClipboardSetText");
        clipboard = text;
    }

    std::string AppPath() override { return appPath; }
    bool AppPrevInstance() override { return prevInstance; }

private:
    static const std::vector<std::string>*
    Find(const std::map<std::string, std::vector<std::string>>& table, const std::string& dir) {
        for (const auto& [key, entries] : table) {
            if (Upper(key) == Upper(dir)) {
                return &entries;
            }
        }
        return nullptr;
    }

    bool Answers(const std::string& topic) const {
        return std::any_of(ddeTopics.begin(), ddeTopics.end(),
                           [&](const std::string& t) { return Upper(t) == Upper(topic); });
    }

    // A Win32 buffer call: at most size characters into buffer.
    static std::uint32_t Copy(const std::string& text, std::string& buffer, std::uint32_t size) {
        const std::size_t count = std::min<std::size_t>({text.size(), size, buffer.size()});
        buffer.replace(0, count, text, 0, count);
        if (count < buffer.size()) {
            buffer[count] = '\0';
        }
        return static_cast<std::uint32_t>(count);
    }
};

} // namespace kestovan::testing
