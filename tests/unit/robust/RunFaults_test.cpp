// Faults during a removal on a real machine directory: a file that turns
// read-only between the test that found it and its deletion, a directory
// that cannot be listed, a disk that fills up just before the registry or
// the preferences file is written.  The old files must survive whole, and
// the user hears of it only where the removal run tells of failures.

#include "robust/RobustMachine.h"

#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kestovan::robust {
namespace {

const std::string ContinueQuestion = "An error occurred while removing files:\r\n\r\n"
                                     "Path/File access error...\r\n\r\n"
                                     "Do you want to continue anyway?";
const std::string ContinuedLine =
    "(!) An unexpected error occurred, the KESTOVAN of Tavori Viewer was continued anyway.";
const std::string RegistryFailedLine =
    "(-) All Tavori Viewer system registry entries could not be removed.";

// No file of the machine directory is a left-over temporary file of a write.
bool NoTemporaryFiles(const fs::path& dir) {
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename().string().find(".kestovan-tmp") != std::string::npos)
            return false;
    return true;
}

class RunFaults : public RobustTest {
protected:
    void SetUp() override {
        MakeMachine();
        StartProgram();
    }
};

TEST_F(RunFaults, FileTurnedReadOnlyAfterItsTestIsKeptAndTheUserAsked) {
    const fs::path readme = Host("Program Files/Tavori Viewer/README.TXT");
    const std::string bytes = ReadBytes(readme);
    Faults().Before("Kill", "README.TXT", 1, [&] {
        fs::permissions(readme,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    });
    RunRemoval();

    ASSERT_EQ(front.PromptsWith("An error occurred while removing files:").size(), 1u);
    EXPECT_EQ(front.PromptsWith(ContinueQuestion).at(0).buttons, 36);
    EXPECT_EQ(
        LinesFrom(ContinuedLine, 3),
        (std::vector<std::string>{
            ContinuedLine, "(-) C:\\Program Files\\Tavori Viewer\\README.TXT was not REMOVED.",
            "(+) The slide show icon file (TVS.ICO) was REMOVED."}));
    EXPECT_TRUE(Module().State.ProblemsFound);
    EXPECT_EQ(ReadBytes(readme), bytes);
    EXPECT_NE(Log().find(">>  Finished removing Tavori Viewer files..."), std::string::npos);
}

TEST_F(RunFaults, FileTurnedReadOnlyAndNoStopsTheRunThere) {
    const fs::path readme = Host("Program Files/Tavori Viewer/README.TXT");
    Faults().Before("Kill", "README.TXT", 1, [&] {
        fs::permissions(readme, fs::perms::owner_write, fs::perm_options::remove);
    });
    front.AnswerWhen(ContinueQuestion, forms::IdNo);
    RunRemoval();

    EXPECT_FALSE(Logged("(+) The readme file (README.TXT) was REMOVED."));
    EXPECT_TRUE(Log().ends_with("\r\n>>  The KESTOVAN of Tavori Viewer was canceled.  <<\r\n"));
    EXPECT_TRUE(fs::exists(readme));
    EXPECT_TRUE(fs::exists(Host("Program Files/Tavori Viewer/TVS.ICO")))
        << "nothing after the stopped step is touched";
}

// Root may list any directory, so the refusal of a directory without read
// permission is injected: every listing of SLIDES fails as the system would
// (70, permission denied), while entering it still works.
TEST_F(RunFaults, UnlistableSlidesDirectoryIsPassedOverSilently) {
    Faults().AlwaysFailWith("Dir", "\\SLIDES\\", err::PermissionDenied);
    Faults().AlwaysFailWith("ListFiles", "\\SLIDES", err::PermissionDenied);
    RunRemoval();

    EXPECT_TRUE(front.PromptsWith("SLIDES").empty());
    EXPECT_EQ(LinesFrom("(*) 2 sound file(s) were REMOVED from the program directory.", 2),
              (std::vector<std::string>{
                  "(*) 2 sound file(s) were REMOVED from the program directory.",
                  "(+) The Tavori Viewer Start Menu Programs folder and all of it's shortcuts "
                  "were removed."}));
    for (const char* name : {"Trip.TVS", "Mountain.Bmp", "Logo.ico", "Bell.wav"})
        EXPECT_TRUE(fs::exists(Host(std::string("Program Files/Tavori Viewer/SLIDES/") + name)))
            << name;
    // What is left in the program directory is reported, not deleted.
    EXPECT_EQ(front.PromptsWith("Files and/or folders remain in the program directory").size(), 1u);
}

// A registry file cut off in the middle of a line (a crash while it was
// written, a full disk of another program): it is never rewritten, so what
// is left of it stays for the user or a repair tool.
class RegistryFaults : public RunFaults {};

TEST_F(RegistryFaults, TruncatedHiveIsNeverRewritten) {
    const std::string whole = ReadBytes(MachineFile("system.reg"));
    const std::string truncated = whole.substr(0, whole.size() / 2);
    ASSERT_NE(truncated.back(), '\n') << "the cut must fall inside a line";
    WriteBytes(MachineFile("system.reg"), truncated);
    RunRemoval();

    EXPECT_EQ(ReadBytes(MachineFile("system.reg")), truncated);
    EXPECT_TRUE(NoTemporaryFiles(MachineFile("")));
    const auto notices = front.PromptsWith("from the system registry.");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].prompt.rfind("An unknown error occurred", 0), 0u);
    EXPECT_EQ(LinesFrom("(+) Tavori Viewer settings in the system registry have been removed.", 2),
              (std::vector<std::string>{
                  "(+) Tavori Viewer settings in the system registry have been removed.",
                  RegistryFailedLine}));
    EXPECT_TRUE(front.PromptsWith("Restore image file type associations").empty());
}

class FullDisk : public RobustTest {
protected:
    void SetUp() override {
        if (!disk_.Mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here (needs root): the full-disk cases are "
                            "not run";
        MakeMachine(disk_.Path());
        StartProgram();
    }
    SmallDisk disk_{"1m"};
};

TEST_F(FullDisk, SettingsStoreWriteFailsAndTheHiveSurvives) {
    const std::string userHive = ReadBytes(MachineFile("user.reg"));
    const std::string systemHive = ReadBytes(MachineFile("system.reg"));
    Faults().Before("DeleteSetting", "TViewer", 1, [&] { disk_.Fill(); });
    RunRemoval();

    const auto notices = front.PromptsWith("from the system registry.");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].buttons, 64);
    EXPECT_EQ(notices[0].prompt,
              "An error occurred while attempting to remove Tavori Viewer settings from the system "
              "registry.  The stored values will be left behind, there are only a couple of small "
              "entries. \r\n\r\nDisk full...");
    EXPECT_TRUE(Logged(RegistryFailedLine));
    EXPECT_FALSE(Logged("(+) Tavori Viewer settings in the system registry have been removed."));
    EXPECT_EQ(ReadBytes(MachineFile("user.reg")), userHive);
    EXPECT_EQ(ReadBytes(MachineFile("system.reg")), systemHive)
        << "no class key is deleted after the failure";
    EXPECT_TRUE(NoTemporaryFiles(MachineFile("")));
    EXPECT_NE(Log().find(">>  Finished removing Tavori Viewer files..."), std::string::npos);
}

TEST_F(FullDisk, ClassKeyDeletionFailsAndTheHiveSurvives) {
    const std::string systemHive = ReadBytes(MachineFile("system.reg"));
    Faults().Before("RegDeleteKeyA", "TavoriViewer", 1, [&] { disk_.Fill(); });
    RunRemoval();

    const auto notices = front.PromptsWith("from the system registry.");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].prompt,
              "An unknown error occurred while attempting to remove Tavori Viewer settings from "
              "the system registry.  The stored values will be left behind, there are only a "
              "couple of small entries.");
    EXPECT_EQ(LinesFrom("(+) Tavori Viewer settings in the system registry have been removed.", 2),
              (std::vector<std::string>{
                  "(+) Tavori Viewer settings in the system registry have been removed.",
                  RegistryFailedLine}));
    EXPECT_EQ(ReadBytes(MachineFile("system.reg")), systemHive);
    EXPECT_TRUE(NoTemporaryFiles(MachineFile("")));
}

TEST_F(FullDisk, PreferencesFileWriteFailsAndTheFileSurvives) {
    // Another application is recorded, so the file is kept at step 42 and
    // the Remove command then empties the viewer's entries in it.
    const fs::path ini = Host("Program Files/Tavori Viewer/tavori.ini");
    std::string text = ReadBytes(ini);
    const std::string slot2 = "RemoveProgram2=\r\n";
    ASSERT_NE(text.find(slot2), std::string::npos);
    text.replace(text.find(slot2), slot2.size(), "RemoveProgram2=Tavori Notes\r\n");
    WriteBytes(ini, text);
    front.AnswerWhen("Do you want to delete this file now?", forms::IdNo);
    Faults().Before("WritePrivateProfileStringA", "TAVORI.INI", 1, [&] { disk_.Fill(); });
    RunRemoval();

    EXPECT_TRUE(Logged("(*) The preferences file (TAVORI.INI) was not removed at this time."));
    EXPECT_EQ(ReadBytes(ini), text);
    EXPECT_TRUE(NoTemporaryFiles(MachineFile("")));
    // The failed write is ignored: no message about it.
    EXPECT_TRUE(front.PromptsWith("TAVORI.INI").size() == 1u) << "only the PLEASE NOTE question";
}

} // namespace
} // namespace kestovan::robust
