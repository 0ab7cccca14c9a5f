#pragma once

#include "platform/PlatformServices.h"
#include "platform/posix/InstanceLock.h"
#include "platform/posix/MachineFileSystem.h"
#include "platform/posix/MachineRegistry.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kestovan::posix {

// The platform on a machine directory laid out as a Wine prefix.
class PosixPlatform : public PlatformServices {
public:
    // exeDir: the Windows path taken as the program's own directory; without
    // it, the directory of `executable` when that lies inside the machine.
    // Raises RuntimeError when neither gives a directory inside the machine.
    // lockMode: a run that changes the machine takes the single-copy lock
    // (creating kestovan.lock); a run that changes nothing only looks at it.
    enum class LockMode { Take, LookOnly };
    PosixPlatform(std::filesystem::path machineDir, std::optional<std::string> exeDir,
                  const std::filesystem::path& executable, LockMode lockMode = LockMode::Take);

    // Tells whether a directory looks like a machine (a drive C: is there).
    static bool IsMachineDirectory(const std::filesystem::path& machineDir);
    // The install directory the machine's settings store registers for an
    // application ("TViewer"), as stored; nullopt when there is none.
    static std::optional<std::string> RegisteredDirectory(const std::filesystem::path& machineDir,
                                                          const std::string& application);
    // The Windows path of a host directory when it lies inside the machine.
    static std::optional<std::string> WindowsPathOf(const std::filesystem::path& machineDir,
                                                    const std::filesystem::path& hostDir);
    // Whether a Windows path names a directory of the machine.
    static bool HasDirectory(const std::filesystem::path& machineDir,
                             const std::string& windowsPath);

    // How this platform sees the system directory (where the 32-bit view
    // leads a system-directory path).
    const SystemDirectoryView& SystemView() const { return fs_.SystemView(); }

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
    long RegSetDefaults(std::uint32_t root,
                        const std::vector<std::pair<std::string, std::string>>& values) override;
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
    const std::string& ClipboardText() const { return clipboard_; }
    void OnClipboardSet(std::function<void(const std::string&)> observer);
    // From now on text put on the clipboard also goes to the desktop's
    // clipboard, or to a report file when none is reachable
    // (DeliverToDesktop); notice is told where, in one sentence.
    void ShareClipboardWithDesktop(std::function<void(const std::string&)> notice);

    std::string AppPath() override;
    bool AppPrevInstance() override;

    MachineFileSystem& FileSystem() { return fs_; }
    MachineRegistry& Registry() { return registry_; }

private:
    std::filesystem::path ProfileFilePath(const std::string& fileName);
    std::optional<std::string> ShellFolder(const std::string& name);
    std::optional<std::string> EnvironmentValue(const std::string& name);
    std::string ExpandEnvironment(const std::string& text);

    std::filesystem::path machineDir_;
    MachineFileSystem fs_;
    MachineRegistry registry_;
    InstanceLock lock_;
    std::string appPath_;
    std::string clipboard_;
    std::function<void(const std::string&)> clipboardObserver_;
    std::function<void(const std::string&)> desktopClipboardNotice_;
};

// Copies text into a caller-sized buffer the Win32 way: the length written,
// or the size needed (including the NUL) when the buffer is too small.
std::uint32_t CopyToBuffer(const std::string& text, std::string& buffer, std::uint32_t size);

} // namespace kestovan::posix
