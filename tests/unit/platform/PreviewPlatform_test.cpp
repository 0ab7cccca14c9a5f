// The preview layer over a real machine: it fails where the real call fails,
// answers later reads as if its changes were made, and changes nothing.

#include "platform/PreviewPlatform.h"
#include "platform/RuntimeError.h"
#include "platform/posix/PosixPlatform.h"
#include "robust/RobustMachine.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace kestovan::robust {
namespace {

constexpr const char* Program = "C:\\Program Files\\Tavori Viewer\\";

int ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& error) {
        return error.Number();
    }
    return 0;
}

class PreviewLayer : public RobustTest {
protected:
    void SetUp() override {
        MakeMachine(dir_.Path());
        machine_ = dir_.Path() / "machine";
        real_ = std::make_unique<posix::PosixPlatform>(machine_, std::string(Program), "/nowhere");
        preview_ = std::make_unique<PreviewPlatform>(*real_);
        before_ = MachineContents(machine_);
    }
    void TearDown() override {
        EXPECT_EQ(MachineContents(machine_), before_) << "the machine changed";
    }

    TemporaryDirectory dir_;
    fs::path machine_;
    std::unique_ptr<posix::PosixPlatform> real_;
    std::unique_ptr<PreviewPlatform> preview_;
    std::map<std::string, std::string> before_;
};

TEST_F(PreviewLayer, FilesFailWhereTheRealCallsFailAndVanishOnceDeleted) {
    PreviewPlatform& p = *preview_;
    const std::string program = Program;
    ::chmod((machine_ / "drive_c/Program Files/Tavori Viewer/README.TXT").c_str(), 0444);
    EXPECT_EQ(ErrorOf([&] { p.Kill(program + "README.TXT"); }), 75);
    EXPECT_EQ(ErrorOf([&] { real_->Kill(program + "README.TXT"); }), 75);
    EXPECT_EQ(ErrorOf([&] { p.Kill(program + "NOSUCH.TXT"); }), 53);
    EXPECT_EQ(ErrorOf([&] { p.Kill(program + "NoDir\\X.TXT"); }), 76);
    EXPECT_EQ(ErrorOf([&] { p.Kill(program + "TVIEWER.GID"); }), 53); // hidden
    EXPECT_EQ(ErrorOf([&] { p.RmDir(program + "SLIDES"); }), 75);     // not empty

    p.SetAttr(program + "TVIEWER.GID", attr::Normal);
    p.Kill(program + "TVIEWER.GID");
    p.Kill(program + "tviewer.exe");
    EXPECT_EQ(p.Dir(program + "TVIEWER.EXE", attr::Normal), "");
    EXPECT_EQ(ErrorOf([&] { p.Kill(program + "TVIEWER.EXE"); }), 53);
    std::string shortName(260, ' ');
    EXPECT_EQ(p.GetShortPathNameA(program + "TVIEWER.EXE", shortName, 260), 0u);
    for (const std::string& name : p.ListFiles(program + "SLIDES", "*.*"))
        p.Kill(program + "SLIDES\\" + name);
    EXPECT_TRUE(p.ListFiles(program + "SLIDES\\", "*.*").empty());
    p.RmDir(program + "SLIDES\\");
    EXPECT_EQ(p.Dir(program + "SLIDES\\", attr::Directory), "");
    EXPECT_EQ(ErrorOf([&] { p.ChDir(program + "SLIDES"); }), 76);
    EXPECT_EQ(ErrorOf([&] { p.RmDir(program + "SLIDES"); }), 76);
    // Wildcards see what is left.
    const auto left = p.DirAll(program + "*.EXE", attr::Normal);
    EXPECT_EQ(std::count(left.begin(), left.end(), "TVIEWER.EXE"), 0);
    EXPECT_EQ(std::count(left.begin(), left.end(), "SETUP.EXE"), 1);

    EXPECT_EQ(
        p.Changes(),
        (std::vector<std::string>{
            "set attributes " + program + "TVIEWER.GID 0", "delete file " + program + "TVIEWER.GID",
            "delete file " + program + "tviewer.exe", "delete file " + program + "SLIDES\\Bell.wav",
            "delete file " + program + "SLIDES\\Logo.ico",
            "delete file " + program + "SLIDES\\Mountain.Bmp",
            "delete file " + program + "SLIDES\\Trip.TVS", "delete folder " + program + "SLIDES"}));
}

TEST_F(PreviewLayer, RegistrySettingsProfilesAndGroupsReadAsChanged) {
    PreviewPlatform& p = *preview_;
    EXPECT_EQ(p.RegDeleteKeyA(hkey::ClassesRoot, "NoSuchClass"), ErrorFileNotFound);
    EXPECT_EQ(p.RegDeleteKeyA(hkey::ClassesRoot, "TavoriViewer"), ErrorSuccess);
    EXPECT_FALSE(p.RegKeyExists(hkey::ClassesRoot, "TavoriViewer\\shell\\open"));
    EXPECT_EQ(p.RegDeleteKeyA(hkey::ClassesRoot, "tavoriviewer"), ErrorFileNotFound);
    EXPECT_TRUE(p.RegKeyExists(hkey::ClassesRoot, "TavoriViewer.Image"));

    std::uint32_t key = 0;
    ASSERT_EQ(p.RegCreateKeyA(hkey::ClassesRoot, ".jpg", key), ErrorSuccess);
    EXPECT_EQ(p.RegSetValueA(key, "", RegSz, "jpegfile", 8), ErrorSuccess);
    EXPECT_EQ(p.RegCloseKey(key), ErrorSuccess);
    ASSERT_EQ(p.RegCreateKeyA(hkey::ClassesRoot, ".xyz", key), ErrorSuccess);
    EXPECT_TRUE(p.RegKeyExists(hkey::ClassesRoot, ".xyz"));
    p.RegCloseKey(key);

    p.DeleteSetting("TViewer", "Settings");
    EXPECT_EQ(p.GetSetting("TViewer", "Settings", "EXEPath", "none"), "none");
    EXPECT_EQ(ErrorOf([&] { p.DeleteSetting("TViewer", "Settings"); }), 5);

    const std::string ini = std::string(Program) + "TAVORI.INI";
    std::string buffer(128, ' ');
    EXPECT_EQ(p.WritePrivateProfileStringA("Remove", "RemoveProgram1", "", ini), 1);
    EXPECT_EQ(p.GetPrivateProfileStringA("Remove", "RemoveProgram1", "x", buffer, 128, ini), 0u);
    EXPECT_EQ(p.WritePrivateProfileStringA("Remove", "StartMenu1", "Tavori Software", ini), 1);
    p.Kill(ini);
    EXPECT_EQ(p.GetPrivateProfileStringA("Remove", "StartMenu1", "gone", buffer, 128, ini), 4u);
    EXPECT_EQ(p.WritePrivateProfileStringA("Remove", "StartMenu1", "", ini), 0);

    EXPECT_EQ(ErrorOf([&] { p.DdeExecute("Progman|Progman", "[DeleteGroup(No Such)]"); }), 285);
    p.DdeExecute("Progman|Progman", "[DeleteGroup(Tavori Software)]");
    EXPECT_EQ(p.DdeRequest("ProgMan|Progman", "PROGMAN").find("Tavori Software"),
              std::string::npos);
    EXPECT_EQ(ErrorOf([&] { p.DdeExecute("Progman|Progman", "[DeleteGroup(Tavori Software)]"); }),
              285);

    EXPECT_EQ(p.Changes(),
              (std::vector<std::string>{
                  "delete key HKEY_CLASSES_ROOT\\TavoriViewer",
                  "set HKEY_CLASSES_ROOT\\.jpg default \"jpegfile\"",
                  "create key HKEY_CLASSES_ROOT\\.xyz", "delete settings TViewer\\Settings",
                  "write " + ini + " [Remove] RemoveProgram1=", "delete file " + ini,
                  "delete group \"Tavori Software\""}));
}

} // namespace
} // namespace kestovan::robust
