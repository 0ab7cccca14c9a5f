#pragma once

#include "platform/PlatformServices.h"
#include "platform/ThirtyTwoBitView.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestovan::win32 {

// The platform on Windows itself: every operation is the Win32 call that the
// classic run-time makes for it, with the run-time's error numbers.
class Win32Platform : public PlatformServices {
public:
    // Claims the single-copy mutex at once, so that a copy started later
    // sees this one for as long as the process lives.
    Win32Platform();

    // How this program sees the system directory (where the 32-bit view
    // leads a system-directory path).
    const SystemDirectoryView& SystemView() const { return systemView_; }

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
    // Told of every text put on the clipboard (the transcript records it).
    void OnClipboardSet(std::function<void(const std::string&)> observer);
    // Called at most every 50 ms while directories are listed and files
    // looked up or deleted (between two calls of the system, and between the
    // entries of a listing), so that the windows keep answering their
    // messages (repaints, the system's "are you there") through long file
    // work; it must not run the program's own event handlers, which wait for
    // the next DoEvents.
    void WhileBusy(std::function<void()> answerMessages);

    std::string AppPath() override;
    bool AppPrevInstance() override;

private:
    // Closes a kernel handle (kept out of this header so that including it
    // does not bring in <windows.h>).
    struct HandleCloser {
        void operator()(void* handle) const noexcept;
    };

    // The path the file calls are given for path: where a 32-bit program's
    // call would lead (the 32-bit system directory for a path in the system
    // directory); path itself when that is the same place.
    std::string Native(const std::string& path) const;
    // Lets whileBusy_ run when its time has come.
    void KeepResponsive();

    SystemDirectoryView systemView_;
    // The directory that holds the system directory ("C:\windows\"), where
    // every redirected path lies; empty: every path asks the system.
    std::string systemParent_;
    std::function<void()> whileBusy_;
    std::uint32_t lastAnswered_ = 0; // GetTickCount
    std::unique_ptr<void, HandleCloser> instanceMutex_;
    bool anotherCopyRuns_ = false;
    std::function<void(const std::string&)> clipboardObserver_;
};

} // namespace kestovan::win32
