#include "platform/posix/MachineRegistry.h"

#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"
#include "platform/posix/WineRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestovan::posix {
namespace {

namespace fs = std::filesystem;

constexpr long ErrorInvalidParameter = 87;
constexpr long ErrorBadDb = 1009;
constexpr long ErrorRegistryIoFailed = 1016;
constexpr long ErrorKeyDeleted = 1018;

const std::string SettingsKey = "Software\\VB and VBA Program Settings\\TViewer\\Settings";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

fs::path DataFile(const std::string& name) {
    return fs::path(KESTOVAN_TEST_DATA_DIR) / "registry" / name;
}

// The text without the block of a key (its path as written in the file).
std::string WithoutBlock(const std::string& text, const std::string& writtenPath) {
    const std::size_t at = text.find("\n[" + writtenPath + "] ");
    EXPECT_NE(at, std::string::npos) << writtenPath;
    if (at == std::string::npos)
        return text;
    const std::size_t next = text.find("\n\n[", at + 1);
    return text.substr(0, at) + (next == std::string::npos ? "" : text.substr(next + 1));
}

std::vector<std::string> DirectoryEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

template <typename Call> void ExpectRuntimeError(int number, Call call) {
    try {
        call();
        ADD_FAILURE() << "no run-time error";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), number);
    }
}

// A machine directory of its own for each test.
class MachineDirectory {
public:
    MachineDirectory() {
        std::string pattern = (fs::temp_directory_path() / "kestovan-registry-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~MachineDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    MachineDirectory(const MachineDirectory&) = delete;
    MachineDirectory& operator=(const MachineDirectory&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

class MachineRegistryTest : public ::testing::Test {
protected:
    MachineRegistryTest() {
        fs::copy_file(DataFile("system.reg"), dir.path() / "system.reg");
        fs::copy_file(DataFile("user.reg"), dir.path() / "user.reg");
        system = ReadFile(dir.path() / "system.reg");
        user = ReadFile(dir.path() / "user.reg");
    }
    std::string SystemNow() const { return ReadFile(dir.path() / "system.reg"); }
    std::string UserNow() const { return ReadFile(dir.path() / "user.reg"); }

    MachineDirectory dir;
    std::string system, user; // the files as the test began
    MachineRegistry registry{dir.path()};
};

// --- Reading ----------------------------------------------------------------

TEST_F(MachineRegistryTest, ReadsTheSettingsStoreShellFoldersAndEnvironment) {
    EXPECT_EQ(registry.GetString(hkey::CurrentUser, SettingsKey, "EXEPath"),
              "C:\\Program Files\\Tavori Viewer\\");
    EXPECT_EQ(registry.GetString(hkey::CurrentUser,
                                 "Software\\VB and VBA Program Settings\\TNotes\\Settings",
                                 "EXEPath"),
              std::nullopt);
    const std::string folders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    EXPECT_EQ(registry.GetString(hkey::CurrentUser, folders, "Desktop"),
              "C:\\users\\root\\Desktop");
    EXPECT_EQ(registry.GetString(hkey::CurrentUser, folders, "Programs"),
              "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
    EXPECT_EQ(registry.GetString(hkey::CurrentUser, "Environment", "TEMP"),
              "C:\\users\\root\\Temp");
    // The machine's own shell folders live in system.reg.
    EXPECT_EQ(registry.GetString(hkey::LocalMachine, folders, "Common Desktop"),
              "C:\\users\\Public\\Desktop");

    EXPECT_EQ(registry.UserSid(), "S-1-5-21-0-0-0-1000");
    EXPECT_EQ(registry.GetString(hkey::LocalMachine,
                                 "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" +
                                     registry.UserSid(),
                                 "ProfileImagePath"),
              "C:\\users\\root");
}

TEST_F(MachineRegistryTest, ClassesRootIsTheMachinesSoftwareClasses) {
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".bmp", ""), "Paint.Picture");
    EXPECT_EQ(registry.GetString(hkey::LocalMachine, "Software\\Classes\\.bmp", ""),
              "Paint.Picture");
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".BMP", "content type"), "image/bmp");
    EXPECT_TRUE(registry.KeyExists(hkey::ClassesRoot, "TavoriViewer\\shell\\open"));
    EXPECT_FALSE(registry.KeyExists(hkey::CurrentUser, "TavoriViewer"));
    EXPECT_EQ(registry.SubKeyNames(hkey::ClassesRoot, "TavoriViewer.Image"),
              (std::vector<std::string>{"DefaultIcon", "shell"}));
    EXPECT_EQ(registry.SubKeyNames(hkey::CurrentUser, "Software\\VB and VBA Program Settings"),
              (std::vector<std::string>{"TSound", "TViewer"}));
    ExpectRuntimeError(err::InvalidProcedureCall,
                       [&] { registry.GetString(0x80000003u, "Software", ""); });
}

// --- Win32 calls ------------------------------------------------------------------

TEST_F(MachineRegistryTest, RemovingTheViewerClassesDeletesTheirTreesAndNothingElse) {
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorSuccess);
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, ".tvs"), ErrorSuccess);
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer.Image"), ErrorSuccess);

    std::string expected = system;
    for (const char* key :
         {"TavoriViewer", "TavoriViewer\\\\DefaultIcon", "TavoriViewer\\\\shell\\\\open\\\\command",
          ".tvs", "TavoriViewer.Image", "TavoriViewer.Image\\\\DefaultIcon",
          "TavoriViewer.Image\\\\shell\\\\open\\\\command"})
        expected = WithoutBlock(expected, std::string("Software\\\\Classes\\\\") + key);
    EXPECT_EQ(SystemNow(), expected);
    EXPECT_EQ(UserNow(), user);
    EXPECT_EQ(DirectoryEntries(dir.path()), (std::vector<std::string>{"system.reg", "user.reg"}));

    // A fresh look at the files agrees.
    MachineRegistry fresh(dir.path());
    EXPECT_FALSE(fresh.KeyExists(hkey::ClassesRoot, "TavoriViewer"));
    EXPECT_FALSE(fresh.KeyExists(hkey::ClassesRoot, ".tvs"));
    EXPECT_TRUE(fresh.KeyExists(hkey::ClassesRoot, "Paint.Picture\\DefaultIcon"));

    // A key that is not there: an error code, no exception, no write.
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorFileNotFound);
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer\\shell"), ErrorFileNotFound);
    EXPECT_EQ(SystemNow(), expected);
}

TEST_F(MachineRegistryTest, RestoringAnAssociationSetsTheDefaultValue) {
    std::uint32_t key = 0;
    ASSERT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, ".gif", key), ErrorSuccess);
    EXPECT_NE(key, 0u);
    EXPECT_EQ(registry.RegSetValueA(key, "", RegSz, "giffile.restored", 0), ErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(key), ErrorSuccess);
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".gif", ""), "giffile.restored");

    // Exactly the one value line has changed.
    std::string expected = system;
    expected.replace(expected.find("@=\"giffile\""), 11, "@=\"giffile.restored\"");
    EXPECT_EQ(SystemNow(), expected);

    // A closed handle is no handle.
    EXPECT_EQ(registry.RegCloseKey(key), ErrorInvalidHandle);
    EXPECT_EQ(registry.RegSetValueA(key, "", RegSz, "x", 0), ErrorInvalidHandle);

    // The viewer's own class is restored as an empty text.
    ASSERT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, ".jpg", key), ErrorSuccess);
    EXPECT_EQ(registry.RegSetValueA(key, "", RegSz, "", 0), ErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(key), ErrorSuccess);
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".jpg", ""), "");
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".jpg", "Content Type"), "image/jpeg");

    // An extension that had no key gets one.
    ASSERT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, ".jif", key), ErrorSuccess);
    EXPECT_TRUE(MachineRegistry(dir.path()).KeyExists(hkey::ClassesRoot, ".jif"));
    EXPECT_EQ(registry.RegSetValueA(key, "", RegSz, "jpegfile", 0), ErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(key), ErrorSuccess);
    EXPECT_EQ(MachineRegistry(dir.path()).GetString(hkey::ClassesRoot, ".JIF", ""), "jpegfile");
}

TEST_F(MachineRegistryTest, RegSetValueAHonoursSubKeyLengthAndType) {
    EXPECT_EQ(registry.RegSetValueA(hkey::ClassesRoot, "Kestovan.Test\\DefaultIcon", RegSz,
                                    "icon.dll,1", 0),
              ErrorSuccess);
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, "Kestovan.Test\\DefaultIcon", ""),
              "icon.dll,1");
    EXPECT_EQ(registry.RegSetValueA(hkey::ClassesRoot, "Kestovan.Test", RegSz, "icon.dll,1", 4),
              ErrorSuccess);
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, "Kestovan.Test", ""), "icon");
    EXPECT_EQ(registry.RegSetValueA(hkey::ClassesRoot, "Kestovan.Test", RegSz, "short", 100),
              ErrorSuccess);
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, "Kestovan.Test", ""), "short");
    EXPECT_EQ(registry.RegSetValueA(hkey::ClassesRoot, "Kestovan.Test", RegSz,
                                    std::string("ab\0cd", 5), 0),
              ErrorSuccess);
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, "Kestovan.Test", ""), "ab");

    const std::string before = SystemNow();
    EXPECT_EQ(registry.RegSetValueA(hkey::ClassesRoot, "Kestovan.Test", 2, "x", 0),
              ErrorInvalidParameter);
    EXPECT_EQ(SystemNow(), before);

    // Handles: a sub-key of a handle, and the roots themselves.
    std::uint32_t parent = 0, child = 0;
    ASSERT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, "Kestovan.Test", parent), ErrorSuccess);
    ASSERT_EQ(registry.RegCreateKeyA(parent, "shell\\open\\command", child), ErrorSuccess);
    EXPECT_NE(parent, child);
    EXPECT_TRUE(registry.KeyExists(hkey::ClassesRoot, "Kestovan.Test\\shell\\open\\command"));
    EXPECT_EQ(registry.RegSetValueA(child, "", RegSz, "run.exe \"%1\"", 0), ErrorSuccess);
    EXPECT_EQ(registry.GetString(hkey::LocalMachine,
                                 "Software\\Classes\\Kestovan.Test\\shell\\open\\command", ""),
              "run.exe \"%1\"");
    EXPECT_EQ(registry.RegDeleteKeyA(parent, "shell"), ErrorSuccess);
    EXPECT_FALSE(registry.KeyExists(hkey::ClassesRoot, "Kestovan.Test\\shell"));
    EXPECT_EQ(registry.RegCloseKey(child), ErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(parent), ErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(hkey::ClassesRoot), ErrorSuccess);

    std::uint32_t unused = 0;
    EXPECT_EQ(registry.RegCreateKeyA(0x12345u, "x", unused), ErrorInvalidHandle);
    EXPECT_EQ(registry.RegSetValueA(0x12345u, "x", RegSz, "x", 0), ErrorInvalidHandle);
    EXPECT_EQ(registry.RegDeleteKeyA(0x12345u, "x"), ErrorInvalidHandle);
    EXPECT_EQ(registry.RegCloseKey(0x12345u), ErrorInvalidHandle);
}

TEST_F(MachineRegistryTest, AHandleOfADeletedKeyReportsIt) {
    std::uint32_t key = 0;
    ASSERT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, "Kestovan.Gone", key), ErrorSuccess);
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "Kestovan.Gone"), ErrorSuccess);
    EXPECT_EQ(registry.RegSetValueA(key, "", RegSz, "x", 0), ErrorKeyDeleted);
    std::uint32_t child = 0;
    EXPECT_EQ(registry.RegCreateKeyA(key, "Sub", child), ErrorKeyDeleted);
    EXPECT_FALSE(registry.KeyExists(hkey::ClassesRoot, "Kestovan.Gone"));
    EXPECT_EQ(registry.RegCloseKey(key), ErrorSuccess);
}

TEST_F(MachineRegistryTest, RootsAreNeverDeleted) {
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, ""), ErrorAccessDenied);
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::LocalMachine, "\\"), ErrorAccessDenied);
    std::uint32_t key = 0;
    ASSERT_EQ(registry.RegCreateKeyA(hkey::CurrentUser, "", key), ErrorSuccess);
    EXPECT_EQ(registry.RegDeleteKeyA(key, ""), ErrorAccessDenied);
    ExpectRuntimeError(err::InvalidProcedureCall,
                       [&] { registry.DeleteKeyTree(hkey::CurrentUser, ""); });
    EXPECT_EQ(SystemNow(), system);
    EXPECT_EQ(UserNow(), user);
}

TEST_F(MachineRegistryTest, DeletingASettingsSectionKeepsTheApplicationKey) {
    EXPECT_TRUE(registry.DeleteKeyTree(hkey::CurrentUser, SettingsKey));
    EXPECT_EQ(registry.GetString(hkey::CurrentUser, SettingsKey, "EXEPath"), std::nullopt);
    EXPECT_TRUE(
        registry.KeyExists(hkey::CurrentUser, "Software\\VB and VBA Program Settings\\TViewer"));
    EXPECT_FALSE(registry.DeleteKeyTree(hkey::CurrentUser, SettingsKey));
    EXPECT_EQ(registry.GetString(hkey::CurrentUser,
                                 "Software\\VB and VBA Program Settings\\TSound\\Settings",
                                 "EXEPath"),
              "C:\\Program Files\\Tavori Sound");
    EXPECT_EQ(SystemNow(), system);
    EXPECT_EQ(MachineRegistry(dir.path()).GetString(hkey::CurrentUser, SettingsKey, "EXEPath"),
              std::nullopt);
}

TEST_F(MachineRegistryTest, ChangesMadeByOthersAreSeen) {
    ASSERT_EQ(registry.GetString(hkey::ClassesRoot, ".gif", ""), "giffile");
    // Another program (Wine) rewrites the hive.
    std::string changed = system;
    changed.replace(changed.find("@=\"giffile\""), 11, "@=\"giffile.elsewhere\"");
    WriteFile(dir.path() / "system.reg.new", changed);
    fs::rename(dir.path() / "system.reg.new", dir.path() / "system.reg");
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".gif", ""), "giffile.elsewhere");

    // And a change of ours keeps theirs.
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, ".tvs"), ErrorSuccess);
    EXPECT_EQ(SystemNow(), WithoutBlock(changed, "Software\\\\Classes\\\\.tvs"));
}

// --- Hives that cannot be used ------------------------------------------------------------

TEST_F(MachineRegistryTest, AHiveThatCannotBeParsedIsNeverWritten) {
    const std::string cut =
        system.substr(0, system.find("[Software\\\\Classes\\\\TavoriViewer]") + 20);
    for (const std::string& broken : {cut, std::string("\x7f"
                                                       "ELF garbage\n")}) {
        WriteFile(dir.path() / "system.reg", broken);
        std::uint32_t key = 0;
        EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, ".bmp"), ErrorBadDb);
        EXPECT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, ".gif", key), ErrorBadDb);
        EXPECT_EQ(registry.RegSetValueA(hkey::ClassesRoot, ".gif", RegSz, "x", 0), ErrorBadDb);
        ExpectRuntimeError(err::PathFileAccessError,
                           [&] { registry.GetString(hkey::ClassesRoot, ".bmp", ""); });
        ExpectRuntimeError(err::PathFileAccessError,
                           [&] { registry.KeyExists(hkey::LocalMachine, "Software"); });
        ExpectRuntimeError(err::PathFileAccessError,
                           [&] { registry.DeleteKeyTree(hkey::ClassesRoot, ".bmp"); });
        EXPECT_EQ(SystemNow(), broken);
        EXPECT_EQ(DirectoryEntries(dir.path()),
                  (std::vector<std::string>{"system.reg", "user.reg"}));
        // The other hive is still fine.
        EXPECT_EQ(registry.GetString(hkey::CurrentUser, SettingsKey, "EXEPath"),
                  "C:\\Program Files\\Tavori Viewer\\");
    }

    // Once the file is whole again, it is used again.
    WriteFile(dir.path() / "system.reg", system);
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, ".tvs"), ErrorSuccess);
}

// Files may not grow beyond 1 KiB while this guard lives: every write of a
// hive fails (EFBIG), whoever runs the test.
struct FileSizeLimit {
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
    FileSizeLimit() {
        ::getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
};

TEST_F(MachineRegistryTest, AFailedWriteLeavesTheOldFileAndTheKeys) {
    {
        FileSizeLimit limit;

        EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorRegistryIoFailed);
        EXPECT_EQ(registry.RegSetValueA(hkey::ClassesRoot, ".gif", RegSz, "x", 0),
                  ErrorRegistryIoFailed);
        ExpectRuntimeError(err::PathFileAccessError,
                           [&] { registry.DeleteKeyTree(hkey::CurrentUser, SettingsKey); });
    }
    EXPECT_EQ(SystemNow(), system);
    EXPECT_EQ(UserNow(), user);
    EXPECT_EQ(DirectoryEntries(dir.path()), (std::vector<std::string>{"system.reg", "user.reg"}));
    // Nothing changed in memory either.
    EXPECT_TRUE(registry.KeyExists(hkey::ClassesRoot, "TavoriViewer\\shell\\open\\command"));
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".gif", ""), "giffile");
    EXPECT_TRUE(registry.KeyExists(hkey::CurrentUser, SettingsKey));

    // With room again, the same call works.
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorSuccess);
    EXPECT_FALSE(MachineRegistry(dir.path()).KeyExists(hkey::ClassesRoot, "TavoriViewer"));
}

// The hive text with the time stamps of the key lines and "#time=" options
// taken out, so that keys created in different seconds compare equal.
std::string WithoutTimes(const std::string& text) {
    std::string out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#time=", 0) == 0)
            continue;
        if (!line.empty() && line[0] == '[' && line.rfind("] ") != std::string::npos)
            line.erase(line.rfind("] ") + 1);
        out += line + "\n";
    }
    return out;
}

TEST_F(MachineRegistryTest, SeveralDefaultsAreSetAsOneChangeToTheFile) {
    const std::vector<std::pair<std::string, std::string>> values{
        {".gif", ""},
        {".JPG", "jpegfile"},
        {".jif", "jpegfile"},                                  // no key yet
        {"Kestovan.Cut\\DefaultIcon", std::string("a\0b", 3)}, // cut at the NUL
    };
    // The same values set one by one, in a machine of their own.
    MachineDirectory oneByOne;
    fs::copy_file(dir.path() / "system.reg", oneByOne.path() / "system.reg");
    MachineRegistry other(oneByOne.path());
    for (const auto& [subKey, text] : values) {
        std::uint32_t key = 0;
        ASSERT_EQ(other.RegCreateKeyA(hkey::ClassesRoot, subKey, key), ErrorSuccess);
        ASSERT_EQ(other.RegSetValueA(key, "", RegSz, text, 0), ErrorSuccess);
        ASSERT_EQ(other.RegCloseKey(key), ErrorSuccess);
    }

    EXPECT_EQ(registry.RegSetDefaults(hkey::ClassesRoot, values), ErrorSuccess);
    EXPECT_EQ(WithoutTimes(SystemNow()), WithoutTimes(ReadFile(oneByOne.path() / "system.reg")));
    EXPECT_EQ(MachineRegistry(dir.path()).GetString(hkey::ClassesRoot, ".jpg", ""), "jpegfile");
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, "Kestovan.Cut\\DefaultIcon", ""), "a");
    EXPECT_EQ(UserNow(), user);

    // Values that are already so change nothing, and the file is not written.
    const auto written = fs::last_write_time(dir.path() / "system.reg");
    struct stat before {};
    ::stat((dir.path() / "system.reg").c_str(), &before);
    EXPECT_EQ(registry.RegSetDefaults(hkey::ClassesRoot, values), ErrorSuccess);
    struct stat after {};
    ::stat((dir.path() / "system.reg").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(fs::last_write_time(dir.path() / "system.reg"), written);

    // Only the roots name where the keys lie.
    std::uint32_t handle = 0;
    ASSERT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, ".gif", handle), ErrorSuccess);
    EXPECT_EQ(registry.RegSetDefaults(handle, {{"", "x"}}), ErrorInvalidHandle);
    EXPECT_EQ(registry.RegSetDefaults(hkey::ClassesRoot, {}), ErrorSuccess);
}

TEST_F(MachineRegistryTest, SeveralDefaultsThatTheFileCannotTakeAreNoneOfThemSet) {
    {
        FileSizeLimit limit;
        EXPECT_EQ(registry.RegSetDefaults(hkey::ClassesRoot, {{".jpg", ""}, {".gif", "x"}}),
                  ErrorRegistryIoFailed);
    }
    EXPECT_EQ(SystemNow(), system);
    EXPECT_EQ(DirectoryEntries(dir.path()), (std::vector<std::string>{"system.reg", "user.reg"}));
    EXPECT_EQ(registry.GetString(hkey::ClassesRoot, ".gif", ""), "giffile");
    EXPECT_NE(registry.GetString(hkey::ClassesRoot, ".jpg", ""), "");
}

TEST(MachineRegistryMissingHives, AreEmptyUntilSomethingIsWritten) {
    MachineDirectory dir;
    MachineRegistry registry(dir.path());
    EXPECT_FALSE(registry.KeyExists(hkey::ClassesRoot, ".bmp"));
    EXPECT_TRUE(registry.KeyExists(hkey::LocalMachine, ""));
    EXPECT_EQ(registry.GetString(hkey::CurrentUser, SettingsKey, "EXEPath"), std::nullopt);
    EXPECT_TRUE(registry.SubKeyNames(hkey::CurrentUser, "Software").empty());
    EXPECT_EQ(registry.UserSid(), "");
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorFileNotFound);
    EXPECT_FALSE(registry.DeleteKeyTree(hkey::CurrentUser, SettingsKey));
    EXPECT_TRUE(DirectoryEntries(dir.path()).empty());

    // The first key creates the file, with Wine's header.
    std::uint32_t key = 0;
    ASSERT_EQ(registry.RegCreateKeyA(hkey::CurrentUser, SettingsKey, key), ErrorSuccess);
    EXPECT_EQ(DirectoryEntries(dir.path()), std::vector<std::string>{"user.reg"});
    const std::string text = ReadFile(dir.path() / "user.reg");
    const std::string header =
        "WINE REGISTRY Version 2\n"
        ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
        "\n[Software\\\\VB and VBA Program Settings\\\\TViewer\\\\Settings] ";
    EXPECT_EQ(text.substr(0, header.size()), header);
    EXPECT_EQ(RegistryHive::Parse(text).Serialize(), text);
    EXPECT_EQ(registry.UserSid(), "S-1-5-21-0-0-0-1000");
    EXPECT_TRUE(MachineRegistry(dir.path()).KeyExists(hkey::CurrentUser, SettingsKey));
}

TEST(MachineRegistryMissingHives, ANewHiveTakesTheArchitectureOfTheOther) {
    MachineDirectory dir;
    fs::copy_file(DataFile("system.reg"), dir.path() / "system.reg");
    MachineRegistry registry(dir.path());
    EXPECT_EQ(registry.RegSetValueA(hkey::CurrentUser, "Software\\Kestovan", RegSz, "x", 0),
              ErrorSuccess);
    const std::string text = ReadFile(dir.path() / "user.reg");
    EXPECT_EQ(text.substr(0, text.find("\n[")),
              "WINE REGISTRY Version 2\n"
              ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
              "\n#arch=win64\n");
    EXPECT_NE(text.find("\n@=\"x\"\n"), std::string::npos);
}

// --- A real prefix ---------------------------------------------------------------------------

// Changes a real Wine prefix for tools/check-wine-registry-roundtrip, which
// then asks Wine what it reads; skipped unless KESTOVAN_WINE_PREFIX names one.
TEST(WinePrefix, ChangesForWineToRead) {
    const char* prefix = std::getenv("KESTOVAN_WINE_PREFIX");
    if (prefix == nullptr || *prefix == '\0')
        GTEST_SKIP() << "KESTOVAN_WINE_PREFIX is not set";
    MachineRegistry registry{fs::path(prefix)};
    ASSERT_TRUE(registry.KeyExists(hkey::ClassesRoot, "TavoriViewer\\shell\\open\\command"));
    EXPECT_EQ(registry.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorSuccess);

    std::uint32_t key = 0;
    ASSERT_EQ(registry.RegCreateKeyA(hkey::ClassesRoot, ".gif", key), ErrorSuccess);
    EXPECT_EQ(registry.RegSetValueA(key, "", RegSz, "giffile", 0), ErrorSuccess);
    EXPECT_EQ(registry.RegCloseKey(key), ErrorSuccess);

    const std::string tricky = "C:\\Tavori \"Viewer\"\\Café [1]\t😀.exe,1";
    EXPECT_EQ(
        registry.RegSetValueA(hkey::ClassesRoot, "Kestovan.Check\\DefaultIcon", RegSz, tricky, 0),
        ErrorSuccess);
    EXPECT_TRUE(registry.DeleteKeyTree(hkey::CurrentUser, SettingsKey));

    MachineRegistry fresh{fs::path(prefix)};
    EXPECT_FALSE(fresh.KeyExists(hkey::ClassesRoot, "TavoriViewer"));
    EXPECT_EQ(fresh.GetString(hkey::ClassesRoot, ".gif", ""), "giffile");
    EXPECT_EQ(fresh.GetString(hkey::ClassesRoot, "Kestovan.Check\\DefaultIcon", ""), tricky);
    EXPECT_FALSE(fresh.KeyExists(hkey::CurrentUser, SettingsKey));
}

} // namespace
} // namespace kestovan::posix
