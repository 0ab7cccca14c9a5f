#include "platform/posix/PosixPlatform.h"

#include "platform/ProfileText.h"
#include "platform/RuntimeError.h"
#include "platform/posix/AtomicFile.h"
#include "platform/posix/DesktopClipboard.h"
#include "platform/posix/ProgramManager.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <sys/stat.h>

namespace kestovan::posix {

namespace {

constexpr const char* WindowsDirectory = "C:\\windows";
constexpr const char* SystemDirectory = "C:\\windows\\system32";
// Where a 64-bit machine keeps the 32-bit programs' system files.
constexpr const char* Wow64SystemDirectory = "C:\\windows\\syswow64";
constexpr const char* SettingsRoot = "Software\\VB and VBA Program Settings\\";
constexpr const char* ShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* EnvironmentKey = "Environment";
constexpr const char* ProfileListKey =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// "C:\" stays as it is; any other directory loses its trailing backslash.
std::string WithoutTrailingBackslash(std::string path) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

} // namespace

std::uint32_t CopyToBuffer(const std::string& text, std::string& buffer, std::uint32_t size) {
    const std::size_t room = std::min<std::size_t>(size, buffer.size());
    if (text.size() + 1 > room)
        return static_cast<std::uint32_t>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer.begin());
    buffer[text.size()] = '\0';
    return static_cast<std::uint32_t>(text.size());
}

PosixPlatform::PosixPlatform(std::filesystem::path machineDir, std::optional<std::string> exeDir,
                             const std::filesystem::path& executable, LockMode lockMode)
    : machineDir_(std::move(machineDir)), fs_(machineDir_), registry_(machineDir_),
      lock_(lockMode == LockMode::Take ? InstanceLock(machineDir_ / "kestovan.lock")
                                       : InstanceLock::LookOnly(machineDir_ / "kestovan.lock")) {
    // A 64-bit machine has a 32-bit system directory: the application's
    // 32-bit setup put its system files there, so the system directory is
    // seen as a 32-bit program sees it.
    if (fs_.FinalDirectoryPath(Wow64SystemDirectory))
        fs_.UseSystemDirectoryView(SystemDirectoryView(SystemDirectory, Wow64SystemDirectory));
    if (exeDir) {
        appPath_ = WithoutTrailingBackslash(*exeDir);
    } else {
        std::error_code ec;
        auto resolved = std::filesystem::weakly_canonical(executable, ec);
        auto windows = fs_.ToWindowsPath(ec ? executable.parent_path() : resolved.parent_path());
        if (!windows)
            throw RuntimeError(err::PathNotFound,
                               "the program does not lie inside the machine; give --exe-dir");
        appPath_ = WithoutTrailingBackslash(*windows);
    }
    if (appPath_.size() < 2 || appPath_[1] != ':')
        throw RuntimeError(err::BadFileName, "the program's directory must be a full Windows path");
    // The program starts in its own directory, as when it is opened from the
    // shell.
    try {
        fs_.ChDrive(appPath_.substr(0, 2));
        fs_.ChDir(appPath_);
    } catch (const RuntimeError&) {
    }
}

bool PosixPlatform::IsMachineDirectory(const std::filesystem::path& machineDir) {
    std::error_code ec;
    return std::filesystem::is_directory(machineDir / "drive_c", ec) ||
           std::filesystem::exists(machineDir / "dosdevices" / "c:", ec);
}

std::string PosixPlatform::Dir(const std::string& pathSpec, int attributes) {
    return fs_.Dir(pathSpec, attributes);
}
void PosixPlatform::Kill(const std::string& path) {
    fs_.Kill(path);
}
void PosixPlatform::RmDir(const std::string& path) {
    fs_.RmDir(path);
}
void PosixPlatform::ChDir(const std::string& path) {
    fs_.ChDir(path);
}
void PosixPlatform::ChDrive(const std::string& drive) {
    fs_.ChDrive(drive);
}
void PosixPlatform::SetAttr(const std::string& path, int attributes) {
    fs_.SetAttr(path, attributes);
}
std::vector<std::string> PosixPlatform::ListFiles(const std::string& dir,
                                                  const std::string& patterns) {
    return fs_.ListFiles(dir, patterns);
}
std::vector<std::string> PosixPlatform::ListDirectories(const std::string& dir) {
    return fs_.ListDirectories(dir);
}
int PosixPlatform::GetAttr(const std::string& path) {
    return fs_.GetAttr(path);
}
std::vector<std::string> PosixPlatform::DirAll(const std::string& pathSpec, int attributes) {
    return fs_.DirAll(pathSpec, attributes);
}

std::optional<std::string>
PosixPlatform::RegisteredDirectory(const std::filesystem::path& machineDir,
                                   const std::string& application) {
    try {
        auto value =
            MachineRegistry(machineDir)
                .GetString(hkey::CurrentUser, SettingsRoot + application + "\\Settings", "EXEPath");
        if (value && !value->empty())
            return value;
    } catch (const RuntimeError&) {
    }
    return std::nullopt;
}

std::optional<std::string> PosixPlatform::WindowsPathOf(const std::filesystem::path& machineDir,
                                                        const std::filesystem::path& hostDir) {
    std::error_code ec;
    const auto resolved = std::filesystem::weakly_canonical(hostDir, ec);
    auto windows = MachineFileSystem(machineDir).ToWindowsPath(ec ? hostDir : resolved);
    if (windows)
        *windows = WithoutTrailingBackslash(*windows);
    return windows;
}

bool PosixPlatform::HasDirectory(const std::filesystem::path& machineDir,
                                 const std::string& windowsPath) {
    try {
        return MachineFileSystem(machineDir).FinalDirectoryPath(windowsPath).has_value();
    } catch (const RuntimeError&) {
        return false; // a path the machine cannot take names no directory of it
    }
}

std::string PosixPlatform::ResolveDirectory(const std::string& dir) {
    return fs_.FinalDirectoryPath(dir).value_or(std::string());
}

bool PosixPlatform::IsLink(const std::string& path) {
    return fs_.IsLink(path);
}

bool PosixPlatform::IsProgramGroupLink(const std::string& group) {
    const auto programs = ShellFolder("Programs");
    if (!programs || programs->empty() || group.empty())
        return false;
    std::string folder = *programs;
    if (folder.back() != '\\')
        folder += '\\';
    return fs_.IsLink(folder + group);
}

std::string PosixPlatform::GetSetting(const std::string& appName, const std::string& section,
                                      const std::string& key, const std::string& defaultValue) {
    try {
        auto value =
            registry_.GetString(hkey::CurrentUser, SettingsRoot + appName + "\\" + section, key);
        return value ? *value : defaultValue;
    } catch (const RuntimeError&) {
        return defaultValue;
    }
}

void PosixPlatform::DeleteSetting(const std::string& appName, const std::string& section) {
    if (appName.empty() || section.empty())
        throw RuntimeError(err::InvalidProcedureCall);
    if (!registry_.DeleteKeyTree(hkey::CurrentUser, SettingsRoot + appName + "\\" + section))
        throw RuntimeError(err::InvalidProcedureCall);
}

long PosixPlatform::RegCreateKeyA(std::uint32_t key, const std::string& subKey,
                                  std::uint32_t& result) {
    return registry_.RegCreateKeyA(key, subKey, result);
}
long PosixPlatform::RegSetValueA(std::uint32_t key, const std::string& subKey, std::uint32_t type,
                                 const std::string& data, std::uint32_t length) {
    return registry_.RegSetValueA(key, subKey, type, data, length);
}
long PosixPlatform::RegSetDefaults(std::uint32_t root,
                                   const std::vector<std::pair<std::string, std::string>>& values) {
    return registry_.RegSetDefaults(root, values);
}
long PosixPlatform::RegCloseKey(std::uint32_t key) {
    return registry_.RegCloseKey(key);
}
bool PosixPlatform::RegKeyExists(std::uint32_t root, const std::string& subKey) {
    try {
        return registry_.KeyExists(root, subKey);
    } catch (const RuntimeError&) {
        return false;
    }
}

long PosixPlatform::RegDeleteKeyA(std::uint32_t key, const std::string& subKey) {
    return registry_.RegDeleteKeyA(key, subKey);
}
long PosixPlatform::RegKeyStatus(std::uint32_t root, const std::string& subKey) {
    return registry_.KeyStatus(root, subKey);
}

long PosixPlatform::RegQueryDefault(std::uint32_t root, const std::string& subKey,
                                    std::string& value) {
    const long status = registry_.KeyStatus(root, subKey);
    if (status != ErrorSuccess)
        return status;
    try {
        const auto text = registry_.GetString(root, subKey, "");
        if (!text)
            return ErrorFileNotFound;
        value = *text;
        return ErrorSuccess;
    } catch (const RuntimeError&) {
        return ErrorFileNotFound;
    }
}

std::filesystem::path PosixPlatform::ProfileFilePath(const std::string& fileName) {
    // A bare file name names the file in the Windows directory.
    if (fileName.find_first_of("\\/:") == std::string::npos)
        return fs_.Resolve(std::string(WindowsDirectory) + "\\" + fileName);
    return fs_.Resolve(fileName);
}

std::uint32_t PosixPlatform::GetPrivateProfileStringA(const std::string& section,
                                                      const std::string& key,
                                                      const std::string& defaultValue,
                                                      std::string& buffer, std::uint32_t size,
                                                      const std::string& fileName) {
    std::optional<std::string> text;
    try {
        text = ReadWholeFile(ProfileFilePath(fileName));
    } catch (const RuntimeError&) {
        text.reset();
    }
    return ProfileGetString(text, section, key, defaultValue, buffer, size);
}

long PosixPlatform::WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                               const std::string& value,
                                               const std::string& fileName) {
    try {
        const auto path = ProfileFilePath(fileName);
        // A read-only file is refused, as on Windows; replacing it through a
        // rename would otherwise get past its attribute.
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && (status.st_mode & S_IWUSR) == 0)
            return 0;
        const auto text = ReadWholeFile(path);
        WriteFileAtomically(path, ProfileSetString(text, section, key, value));
        fs_.Invalidate(path.parent_path());
        return 1;
    } catch (const RuntimeError&) {
        return 0;
    }
}

std::uint32_t PosixPlatform::GetWindowsDirectoryA(std::string& buffer, std::uint32_t size) {
    return CopyToBuffer(WindowsDirectory, buffer, size);
}

std::uint32_t PosixPlatform::GetSystemDirectoryA(std::string& buffer, std::uint32_t size) {
    return CopyToBuffer(SystemDirectory, buffer, size);
}

std::optional<std::string> PosixPlatform::EnvironmentValue(const std::string& name) {
    try {
        if (auto value = registry_.GetString(hkey::CurrentUser, EnvironmentKey, name))
            return value;
        // The profile directory is kept with the user's profile, not in the
        // environment key.
        if (Upper(name) == "USERPROFILE") {
            const std::string sid = registry_.UserSid();
            if (!sid.empty())
                return registry_.GetString(hkey::LocalMachine, ProfileListKey + sid,
                                           "ProfileImagePath");
        }
        if (Upper(name) == "SYSTEMROOT" || Upper(name) == "WINDIR")
            return std::string(WindowsDirectory);
        if (Upper(name) == "SYSTEMDRIVE")
            return std::string("C:");
    } catch (const RuntimeError&) {
    }
    return std::nullopt;
}

std::string PosixPlatform::ExpandEnvironment(const std::string& text) {
    std::string result;
    std::size_t at = 0;
    for (int depth = 0; at < text.size(); ++depth) {
        const std::size_t open = text.find('%', at);
        const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos || depth > 32) {
            result += text.substr(at);
            break;
        }
        result += text.substr(at, open - at);
        const std::string name = text.substr(open + 1, close - open - 1);
        if (auto value = EnvironmentValue(name); value && value->find('%') == std::string::npos)
            result += *value;
        else
            result += text.substr(open, close - open + 1);
        at = close + 1;
    }
    return result;
}

std::uint32_t PosixPlatform::GetTempPathA(std::uint32_t size, std::string& buffer) {
    std::optional<std::string> value = EnvironmentValue("TMP");
    if (!value || value->empty())
        value = EnvironmentValue("TEMP");
    if (!value || value->empty())
        return 0;
    std::string path = ExpandEnvironment(*value);
    if (path.find('%') != std::string::npos)
        return 0;
    if (path.back() != '\\')
        path += '\\';
    return CopyToBuffer(path, buffer, size);
}

std::uint32_t PosixPlatform::GetShortPathNameA(const std::string& longPath, std::string& buffer,
                                               std::uint32_t size) {
    try {
        return fs_.GetShortPathNameA(longPath, buffer, size);
    } catch (const RuntimeError&) {
        return 0;
    }
}

std::string PosixPlatform::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", local.tm_mon + 1, local.tm_mday,
                  local.tm_year + 1900, hour12, local.tm_min, local.tm_sec,
                  local.tm_hour < 12 ? "AM" : "PM");
    return text;
}

std::optional<std::string> PosixPlatform::ShellFolder(const std::string& name) {
    try {
        return registry_.GetString(hkey::CurrentUser, ShellFoldersKey, name);
    } catch (const RuntimeError&) {
        return std::nullopt;
    }
}

namespace {
ProgramManager ProgramManagerOf(MachineFileSystem& fs, const std::optional<std::string>& programs) {
    if (!programs || programs->empty())
        return ProgramManager(std::filesystem::path());
    try {
        return ProgramManager(fs.Resolve(*programs));
    } catch (const RuntimeError&) {
        return ProgramManager(std::filesystem::path());
    }
}
} // namespace

void PosixPlatform::DdeInitiate(const std::string& topic) {
    ProgramManagerOf(fs_, ShellFolder("Programs")).Initiate(topic);
}

std::string PosixPlatform::DdeRequest(const std::string& topic, const std::string& item) {
    return ProgramManagerOf(fs_, ShellFolder("Programs")).Request(topic, item);
}

void PosixPlatform::DdeExecute(const std::string& topic, const std::string& command) {
    const auto programs = ShellFolder("Programs");
    auto manager = ProgramManagerOf(fs_, programs);
    try {
        manager.Execute(topic, command);
    } catch (...) {
        if (programs)
            fs_.Invalidate(fs_.Resolve(*programs));
        throw;
    }
    if (programs)
        fs_.Invalidate(fs_.Resolve(*programs));
}

long PosixPlatform::GetFolderPath(std::intptr_t /*hWnd*/, int folder, std::string& path) {
    const char* name = folder == 0    ? "Desktop"
                       : folder == 11 ? "Start Menu"
                       : folder == 2  ? "Programs"
                                      : nullptr;
    if (name == nullptr)
        return 0;
    auto value = ShellFolder(name);
    if (!value || value->empty())
        return 0;
    path = *value;
    return 1;
}

void PosixPlatform::ClipboardClear() {
    clipboard_.clear();
}

void PosixPlatform::ClipboardSetText(const std::string& text) {
    clipboard_ = text;
    if (clipboardObserver_)
        clipboardObserver_(text);
    if (desktopClipboardNotice_)
        desktopClipboardNotice_(DeliverToDesktop(text, ReportDirectory()).Notice());
}

void PosixPlatform::ShareClipboardWithDesktop(std::function<void(const std::string&)> notice) {
    desktopClipboardNotice_ = std::move(notice);
}

void PosixPlatform::OnClipboardSet(std::function<void(const std::string&)> observer) {
    clipboardObserver_ = std::move(observer);
}

std::string PosixPlatform::AppPath() {
    return appPath_;
}

bool PosixPlatform::AppPrevInstance() {
    return lock_.AnotherCopyRuns();
}

} // namespace kestovan::posix
