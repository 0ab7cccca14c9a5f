#pragma once

#include "platform/PlatformServices.h"
#include "platform/ThirtyTwoBitView.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestovan {

// A platform over another one that changes nothing on the machine: every
// read is passed on, no change is.  A change is checked against the machine
// as it would stand by then, so it fails where the real call would fail,
// with the same run-time error or result; when it would succeed it is
// recorded as one line of text, and from then on the reads answer as though
// it had been made (a deleted file no longer lists, a deleted key no longer
// exists, an emptied profile key reads empty, a deleted group is no longer
// in Program Manager's list).
//
// Recorded changes, one line each (paths as the program names them, keys
// with their roots spelled out):
//   delete file C:\...            delete folder C:\...
//   set attributes C:\... <n>     delete settings <app>\<section>
//   create key HKEY_...\...       delete key HKEY_...\...
//   set HKEY_...\... default "<text>"
//   write <file> [<section>] <key>=<value>
//   delete group "<name>"
// ChDir, ChDrive and the clipboard are not changes to the machine and are
// passed on.
//
// Files are known by their short path from the platform underneath
// (GetShortPathNameA), which names one entry whatever spelling, letter case
// or short names the program uses.  What cannot be told without doing the
// change is not foreseen: a refusal by the system itself (permissions of the
// directory, a full disk, a hive file that cannot be written), and the
// failure of a Program Manager command other than deleting a group that does
// not exist or whose name it cannot take.
class RecordingPlatform : public PlatformServices {
public:
    using ChangeObserver = std::function<void(const std::string&)>;

    explicit RecordingPlatform(PlatformServices& real, ChangeObserver observer = {});

    // The changes recorded so far, in order.
    const std::vector<std::string>& Changes() const { return changes_; }
    // Told of each change as it is recorded.
    void OnChange(ChangeObserver observer) { observer_ = std::move(observer); }
    // Files and folders are named in the changes where the change would
    // really land: a system-directory path the platform's 32-bit view leads
    // elsewhere names the directory it leads to.  By default, as the program
    // names them.
    void NameChangesAsSeenThrough(SystemDirectoryView view) { landing_ = std::move(view); }

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
    long RegQueryDefault(std::uint32_t root, const std::string& subKey,
                         std::string& value) override;

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
    // What the changes so far did directly inside one directory, by the
    // upper-case long names of its entries.
    struct Folder {
        std::set<std::string> gone;
        std::map<std::string, int> attributes;    // as GetAttr would now give them
        std::map<std::string, std::string> names; // the stored names of those
    };
    // An entry as the machine would now stand.
    struct Look {
        std::optional<std::string> key;
        bool exists = false;
        int attributes = 0;
    };
    using KeyId = std::pair<std::uint32_t, std::string>; // root, upper-case path
    struct ProfileFile {
        bool fresh = false; // made anew: only the keys written since are in it
        std::map<std::pair<std::string, std::string>, std::string> values;
    };

    void Record(std::string text);

    // Files.
    std::optional<std::string> Key(const std::string& path);
    bool Gone(const std::string& key) const;
    bool AnyFileChange() const { return !goneKeys_.empty() || !attributeKeys_.empty(); }
    Look LookAt(const std::string& path);
    bool ParentExists(const std::string& dirPart);
    const Folder* FolderOf(const std::string& dirPart, bool& gone);
    void MarkGone(const std::string& key, const std::string& storedName);
    std::string StoredName(const std::string& path, const std::string& fallback);
    std::vector<std::string> Search(const std::string& pathSpec, int attributes, bool firstOnly);

    // Registry.
    std::optional<std::pair<std::uint32_t, std::string>> Target(std::uint32_t key,
                                                                const std::string& subKey) const;
    long KeyState(std::uint32_t root, const std::string& path);
    void CreateKey(std::uint32_t root, const std::string& path);
    void DeleteKey(std::uint32_t root, const std::string& path);
    bool HandleKeyDeleted(std::uint32_t key);

    // Profile files.
    std::string ProfilePath(const std::string& fileName);
    std::string ProfileKey(const std::string& path);

    PlatformServices& real_;
    ChangeObserver observer_;
    SystemDirectoryView landing_;
    std::vector<std::string> changes_;

    std::set<std::string> goneKeys_;
    std::map<std::string, int> attributeKeys_;
    std::map<std::string, Folder> folders_;

    std::map<KeyId, bool> keys_;            // true: made here; false: deleted with all below
    std::map<KeyId, std::string> defaults_; // default values set here
    std::map<std::uint32_t, std::pair<std::uint32_t, std::string>> handles_;
    std::uint32_t nextHandle_ = 0x2000;

    std::map<std::string, ProfileFile> profiles_;
    std::set<std::string> deletedGroups_;
};

} // namespace kestovan
