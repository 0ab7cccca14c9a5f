#pragma once

#include "platform/PlatformServices.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestovan {

// The platform of a preview: every read goes to the real platform, no change
// does.  Each change is checked as the real call would check it (so that it
// fails where the real one would, with the same run-time error), recorded as
// one line of text, and from then on reads answer as if it had been made: a
// deleted file no longer lists, a deleted key no longer opens, a written
// profile key reads back, a deleted group is no longer listed.
//
// The change lines:
//   delete file C:\...            delete folder C:\...
//   set attributes C:\... N       delete settings TViewer\Settings
//   create key HKEY_CLASSES_ROOT\...
//   set HKEY_CLASSES_ROOT\.gif default "giffile"
//   delete key HKEY_CLASSES_ROOT\...
//   write C:\...\tavori.ini [Remove] RemoveProgram1=
//   delete group "Tavori Software"
class PreviewPlatform : public PlatformServices {
public:
    // onChange, when given, hears each change as it is recorded.
    explicit PreviewPlatform(PlatformServices& real,
                             std::function<void(const std::string&)> onChange = {});

    const std::vector<std::string>& Changes() const { return changes_; }

    std::string Dir(const std::string& pathSpec, int attributes) override;
    void Kill(const std::string& path) override;
    void RmDir(const std::string& path) override;
    void ChDir(const std::string& path) override;
    void ChDrive(const std::string& drive) override;
    void SetAttr(const std::string& path, int attributes) override;
    std::vector<std::string> ListFiles(const std::string& dir,
                                       const std::string& patterns) override;
    std::vector<std::string> ListDirectories(const std::string& dir) override;
    int GetAttr(const std::string& path) override;
    std::vector<std::string> DirAll(const std::string& pathSpec, int attributes) override;
    std::string ResolveDirectory(const std::string& dir) override;
    bool IsLink(const std::string& path) override;
    bool IsProgramGroupLink(const std::string& group) override;

    std::string GetSetting(const std::string& appName, const std::string& section,
                           const std::string& key, const std::string& defaultValue) override;
    void DeleteSetting(const std::string& appName, const std::string& section) override;

    long RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                       std::uint32_t& result) override;
    long RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                      const std::string& data, std::uint32_t length) override;
    long RegCloseKey(std::uint32_t key) override;
    long RegDeleteKeyA(std::uint32_t key, const std::string& subKey) override;
    long RegKeyStatus(std::uint32_t root, const std::string& subKey) override;
    bool RegKeyExists(std::uint32_t root, const std::string& subKey) override;

    std::uint32_t GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, std::string& buffer,
                                           std::uint32_t size,
                                           const std::string& fileName) override;
    long WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                    const std::string& value, const std::string& fileName) override;

    std::uint32_t GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) override;
    std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) override;
    std::uint32_t GetTempPathA(std::uint32_t size, std::string& buffer) override;
    std::uint32_t GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                    std::uint32_t size) override;

    std::string Now() override;

    void DdeInitiate(const std::string& topic) override;
    std::string DdeRequest(const std::string& topic, const std::string& item) override;
    void DdeExecute(const std::string& topic, const std::string& command) override;

    long GetFolderPath(std::intptr_t hWnd, int folder, std::string& path) override;
    void ClipboardClear() override;
    void ClipboardSetText(const std::string& text) override;
    std::string AppPath() override;
    bool AppPrevInstance() override;

private:
    // A path as the real platform names it: its full short form when it
    // exists (one spelling for every way of writing it), else the text
    // upper-cased; no trailing backslash.
    std::string Identity(const std::string& path);
    bool Deleted(const std::string& path);
    // The attributes a path has in the preview; raises as GetAttr does.
    int AttributesOf(const std::string& path);
    bool Listed(const std::string& dir, const std::string& name, int mask);
    std::string KeyName(std::uint32_t root, const std::string& subKey) const;
    bool KeyDeleted(const std::string& keyName) const;
    std::string ProfileKey(const std::string& file, const std::string& section,
                           const std::string& key);
    void Record(std::string change);

    PlatformServices& real_;
    std::function<void(const std::string&)> onChange_;
    std::vector<std::string> changes_;

    std::set<std::string> deletedPaths_;           // identities; a folder covers what it holds
    std::map<std::string, int> attributes_;        // identity -> attributes set
    std::set<std::string> deletedKeys_;            // "HKEY_...\KEY" upper-cased; covers sub-keys
    std::set<std::string> createdKeys_;            // upper-cased
    std::map<std::uint32_t, std::string> handles_; // open key handle -> key name
    std::uint32_t nextHandle_ = 0x7e000000u;
    std::set<std::string> deletedSettings_;            // "APP\SECTION" upper-cased
    std::map<std::string, std::string> profileValues_; // file identity|SECTION|KEY -> value
    std::set<std::string> deletedGroups_;
    std::map<char, std::string> currentDirectories_; // drive letter -> identity
    char currentDrive_ = 0;
};

} // namespace kestovan
