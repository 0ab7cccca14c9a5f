#pragma once

// A PlatformServices that passes every call on to another one, and lets a
// test step in before a chosen call: to make it fail (throw a RuntimeError,
// or make a Win32 call return its failure) or to change the machine under
// the program's feet between two of its calls (a file that turns read-only
// after it was found, a disk that fills up just before a file is written).

#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestovan::testing {

class FaultyPlatform : public PlatformServices {
public:
    explicit FaultyPlatform(PlatformServices& inner) : inner_(inner) {}

    // Before the nth call (1 = the first) of `operation` whose first
    // argument holds `argumentHolds` (letter case counts; "" = any), run
    // `action`.  The action may throw a RuntimeError, which then stands for
    // the call's failure; a Win32 call does not throw but returns `failure`
    // (when given) instead of being passed on.
    struct Fault {
        std::string operation;
        std::string argumentHolds;
        int nth = 1;
        std::function<void()> action;
        std::optional<long> failure;
        int seen = 0;
        int fired = 0;
    };
    Fault& Before(std::string operation, std::string argumentHolds, int nth,
                  std::function<void()> action) {
        faults_.push_back(Fault{std::move(operation), std::move(argumentHolds), nth,
                                std::move(action), std::nullopt, 0, 0});
        return faults_.back();
    }
    // The nth matching call fails with run-time error `number`.
    Fault& FailWith(std::string operation, std::string argumentHolds, int nth, int number) {
        return Before(std::move(operation), std::move(argumentHolds), nth,
                      [number] { throw RuntimeError(number); });
    }
    // Every matching call fails with run-time error `number`.
    Fault& AlwaysFailWith(std::string operation, std::string argumentHolds, int number) {
        Fault& fault = FailWith(std::move(operation), std::move(argumentHolds), 0, number);
        return fault;
    }

    // How often a fault's action ran.
    int Fired(std::size_t index) const { return faults_.at(index).fired; }

    // Every call passed through, as "Operation argument".
    std::vector<std::string> calls;

    // --- File system ------------------------------------------------------------
    std::string Dir(const std::string& pathSpec, int attributes) override {
        Step("Dir", pathSpec);
        return inner_.Dir(pathSpec, attributes);
    }
    void Kill(const std::string& path) override {
        Step("Kill", path);
        inner_.Kill(path);
    }
    void RmDir(const std::string& path) override {
        Step("RmDir", path);
        inner_.RmDir(path);
    }
    void ChDir(const std::string& path) override {
        Step("ChDir", path);
        inner_.ChDir(path);
    }
    void ChDrive(const std::string& drive) override {
        Step("ChDrive", drive);
        inner_.ChDrive(drive);
    }
    void SetAttr(const std::string& path, int attributes) override {
        Step("SetAttr", path);
        inner_.SetAttr(path, attributes);
    }
    std::vector<std::string> ListFiles(const std::string& dir,
                                       const std::string& patterns) override {
        Step("ListFiles", dir);
        return inner_.ListFiles(dir, patterns);
    }
    std::vector<std::string> ListDirectories(const std::string& dir) override {
        Step("ListDirectories", dir);
        return inner_.ListDirectories(dir);
    }
    int GetAttr(const std::string& path) override {
        Step("GetAttr", path);
        return inner_.GetAttr(path);
    }
    std::vector<std::string> DirAll(const std::string& pathSpec, int attributes) override {
        Step("DirAll", pathSpec);
        return inner_.DirAll(pathSpec, attributes);
    }
    std::string ResolveDirectory(const std::string& dir) override {
        Step("ResolveDirectory", dir);
        return inner_.ResolveDirectory(dir);
    }
    bool IsLink(const std::string& path) override {
        Step("IsLink", path);
        return inner_.IsLink(path);
    }
    bool IsProgramGroupLink(const std::string& group) override {
        Step("IsProgramGroupLink", group);
        return inner_.IsProgramGroupLink(group);
    }

    // --- Settings store -----------------------------------------------------------
    std::string GetSetting(const std::string& appName, const std::string& section,
                           const std::string& key, const std::string& defaultValue) override {
        Step("GetSetting", appName);
        return inner_.GetSetting(appName, section, key, defaultValue);
    }
    void DeleteSetting(const std::string& appName, const std::string& section) override {
        Step("DeleteSetting", appName);
        inner_.DeleteSetting(appName, section);
    }

    // --- Registry (Win32: never throw) ---------------------------------------------
    long RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                       std::uint32_t& result) override {
        if (auto failure = Win32Step("RegCreateKeyA", subKey, ErrorAccessDenied))
            return *failure;
        return inner_.RegCreateKeyA(key, subKey, result);
    }
    long RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                      const std::string& data, std::uint32_t length) override {
        if (auto failure = Win32Step("RegSetValueA", subKey, ErrorAccessDenied))
            return *failure;
        return inner_.RegSetValueA(key, subKey, type, data, length);
    }
    long RegCloseKey(std::uint32_t key) override { return inner_.RegCloseKey(key); }
    // The argument a fault matches is the sub-keys, separated by spaces.
    long RegSetDefaults(std::uint32_t root,
                        const std::vector<std::pair<std::string, std::string>>& values) override {
        if (auto failure = Win32Step("RegSetDefaults", SubKeysOf(values), ErrorAccessDenied))
            return *failure;
        return inner_.RegSetDefaults(root, values);
    }
    static std::string SubKeysOf(const std::vector<std::pair<std::string, std::string>>& values) {
        std::string subKeys;
        for (const auto& value : values)
            subKeys += (subKeys.empty() ? "" : " ") + value.first;
        return subKeys;
    }
    long RegQueryDefault(std::uint32_t root, const std::string& subKey,
                         std::string& value) override {
        if (auto failure = Win32Step("RegQueryDefault", subKey, ErrorAccessDenied))
            return *failure;
        return inner_.RegQueryDefault(root, subKey, value);
    }
    bool RegKeyExists(std::uint32_t root, const std::string& subKey) override {
        Step("RegKeyExists", subKey);
        return inner_.RegKeyExists(root, subKey);
    }
    long RegDeleteKeyA(std::uint32_t key, const std::string& subKey) override {
        if (auto failure = Win32Step("RegDeleteKeyA", subKey, ErrorAccessDenied))
            return *failure;
        return inner_.RegDeleteKeyA(key, subKey);
    }
    long RegKeyStatus(std::uint32_t root, const std::string& subKey) override {
        if (auto failure = Win32Step("RegKeyStatus", subKey, ErrorAccessDenied))
            return *failure;
        return inner_.RegKeyStatus(root, subKey);
    }

    // --- Profile files (Win32) -------------------------------------------------------
    std::uint32_t GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                           const std::string& defaultValue, std::string& buffer,
                                           std::uint32_t size,
                                           const std::string& fileName) override {
        if (auto failure = Win32Step("GetPrivateProfileStringA", fileName, 0))
            return static_cast<std::uint32_t>(*failure);
        return inner_.GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
    }
    long WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                    const std::string& value,
                                    const std::string& fileName) override {
        if (auto failure = Win32Step("WritePrivateProfileStringA", fileName, 0))
            return *failure;
        return inner_.WritePrivateProfileStringA(section, key, value, fileName);
    }

    // --- System locations, clock, DDE, shell, clipboard, App ---------------------------
    std::uint32_t GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) override {
        return inner_.GetWindowsDirectoryA(buffer, size);
    }
    std::uint32_t GetSystemDirectoryA(std::string& buffer, std::uint32_t size) override {
        return inner_.GetSystemDirectoryA(buffer, size);
    }
    std::uint32_t GetTempPathA(std::uint32_t size, std::string& buffer) override {
        return inner_.GetTempPathA(size, buffer);
    }
    std::uint32_t GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                    std::uint32_t size) override {
        return inner_.GetShortPathNameA(longPath, buffer, size);
    }
    std::string Now() override { return inner_.Now(); }
    void DdeInitiate(const std::string& topic) override {
        Step("DdeInitiate", topic);
        inner_.DdeInitiate(topic);
    }
    std::string DdeRequest(const std::string& topic, const std::string& item) override {
        Step("DdeRequest", item);
        return inner_.DdeRequest(topic, item);
    }
    void DdeExecute(const std::string& topic, const std::string& command) override {
        Step("DdeExecute", command);
        inner_.DdeExecute(topic, command);
    }
    long GetFolderPath(std::intptr_t hWnd, int folder, std::string& path) override {
        Step("GetFolderPath", std::to_string(folder));
        return inner_.GetFolderPath(hWnd, folder, path);
    }
    void ClipboardClear() override { inner_.ClipboardClear(); }
    void ClipboardSetText(const std::string& text) override { inner_.ClipboardSetText(text); }
    std::string AppPath() override { return inner_.AppPath(); }
    bool AppPrevInstance() override { return inner_.AppPrevInstance(); }

private:
    // Runs the actions due before this call.  nth 0 means every matching call.
    void Step(const std::string& operation, const std::string& argument) {
        calls.push_back(operation + " " + argument);
        for (Fault& fault : faults_) {
            if (fault.operation != operation ||
                argument.find(fault.argumentHolds) == std::string::npos)
                continue;
            ++fault.seen;
            if (fault.nth == 0 || fault.seen == fault.nth) {
                ++fault.fired;
                fault.action();
            }
        }
    }
    // The same for a Win32 call: a RuntimeError from an action becomes the
    // fault's failure value (else the call's usual failure value) instead of
    // a throw.
    std::optional<long> Win32Step(const std::string& operation, const std::string& argument,
                                  long usualFailure) {
        try {
            Step(operation, argument);
        } catch (const RuntimeError&) {
            for (const Fault& fault : faults_)
                if (fault.operation == operation && fault.failure)
                    return fault.failure;
            return usualFailure;
        }
        return std::nullopt;
    }

    PlatformServices& inner_;
    std::deque<Fault> faults_;
};

} // namespace kestovan::testing
