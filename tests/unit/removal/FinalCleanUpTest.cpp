#include "removal/RemovalFixture.h"

namespace kestovan::memtest {
namespace {

using Lines = std::vector<std::string>;

const std::string TempLine =
    "(*) Locating and deleting any remaining Tavori Viewer temporary files.";
const std::string RemovedLine = "(+) The preferences file (TAVORI.INI) was REMOVED.";
const std::string KeptLine = "(*) The preferences file (TAVORI.INI) was not removed at this time.";
const std::string NotRemovedLine = "(-) The preferences file (TAVORI.INI) was not REMOVED.";
const std::string MissingLine = "(-) The preferences file (TAVORI.INI) could not be found.";
const std::string PleaseNote =
    "PLEASE NOTE:\r\n\r\nIf you have other \"Tavori\" applications that you want to keep or "
    "remove later, you should NOT delete the preferences file (TAVORI.INI) yet.\r\n\r\nDo you "
    "want to delete this file now?";

class RemovalFinalCleanUp : public RemovalTest {
protected:
    RemovalFinalCleanUp() { InstallViewer(); }

    // The lines of steps 41 and 42, which end the log before the finish line.
    Lines CleanUpLines() const { return StepLinesFrom(TempLine); }
};

TEST_F(RemovalFinalCleanUp, TemporaryFilesGoWithoutReport) {
    platform.AddFile("C:\\WINDOWS\\TEMP\\Untitled.BMP");
    platform.AddFile(InProgram("Untitled.BMP"));

    Run();

    EXPECT_FALSE(platform.Exists("C:\\WINDOWS\\TEMP\\Untitled.BMP"));
    EXPECT_FALSE(platform.Exists(InProgram("Untitled.BMP")));
    EXPECT_EQ(CleanUpLines(), (Lines{TempLine, RemovedLine}));
    EXPECT_EQ(s.ProblemsFound, False);
    EXPECT_EQ(LogLines().at(LogLines().size() - 2), FinishBanner);
}

TEST_F(RemovalFinalCleanUp, UnknownTemporaryDirectoryIsTheProgramsOwn) {
    platform.tempPath.reset();
    platform.AddFile("C:\\WINDOWS\\TEMP\\Untitled.BMP");
    EXPECT_EQ(module.GetTempDir(), ProgramDir);

    platform.calls.clear();
    Run();

    const std::string kill = "Kill " + InProgram("Untitled.BMP");
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), kill), 2);
    EXPECT_TRUE(platform.Exists("C:\\WINDOWS\\TEMP\\Untitled.BMP"));
    EXPECT_EQ(CleanUpLines(), (Lines{TempLine, RemovedLine}));
}

TEST_F(RemovalFinalCleanUp, TemporaryDirectoryGetsItsBackslash) {
    platform.tempPath = "C:\\TEMP";
    EXPECT_EQ(module.GetTempDir(), "C:\\TEMP\\");
    platform.Fail("GetTempPathA");
    EXPECT_EQ(module.GetTempDir(), ProgramDir);
}

TEST_F(RemovalFinalCleanUp, OnlyTheViewerRecordedDeletesWithoutAsking) {
    Run();

    EXPECT_TRUE(front.PromptsWith("PLEASE NOTE").empty());
    EXPECT_FALSE(platform.Exists(InProgram("tavori.ini")));
    EXPECT_EQ(CleanUpLines(), (Lines{TempLine, RemovedLine}));
}

TEST_F(RemovalFinalCleanUp, AnotherApplicationRecordedAsksFirst) {
    s.RemoveProgram2 = "Tavori Sound";

    Run();

    const auto note = front.PromptsWith("PLEASE NOTE");
    ASSERT_EQ(note.size(), 1u);
    EXPECT_EQ(note[0].prompt, PleaseNote);
    EXPECT_EQ(note[0].buttons, 36);
    EXPECT_FALSE(platform.Exists(InProgram("tavori.ini")));
    EXPECT_EQ(CleanUpLines(), (Lines{TempLine, RemovedLine}));
}

TEST_F(RemovalFinalCleanUp, NoToThePleaseNoteKeepsTheFile) {
    s.RemoveProgram1 = "tavori viewer"; // another application, by exact comparison
    front.AnswerWhen("PLEASE NOTE", forms::IdNo);

    Run();

    EXPECT_EQ(front.PromptsWith("PLEASE NOTE").size(), 1u);
    EXPECT_TRUE(platform.Exists(InProgram("tavori.ini")));
    EXPECT_EQ(CleanUpLines(), (Lines{TempLine, KeptLine}));
    EXPECT_EQ(s.ProblemsFound, False);
}

TEST_F(RemovalFinalCleanUp, MissingPreferencesFileIsAProblem) {
    platform.Kill(InProgram("tavori.ini"));

    Run();

    EXPECT_EQ(CleanUpLines(), (Lines{TempLine, MissingLine}));
    EXPECT_EQ(s.ProblemsFound, True);
    EXPECT_TRUE(Logged(FinishBanner));
}

TEST_F(RemovalFinalCleanUp, PreferencesFileThatCannotBeDeletedIsNotReportedRemoved) {
    platform.Kill(InProgram("tavori.ini"));
    platform.AddFile(InProgram("TAVORI.INI"), /*readOnly=*/true);

    Run();

    EXPECT_TRUE(platform.Exists(InProgram("TAVORI.INI")));
    EXPECT_EQ(CleanUpLines(), (Lines{TempLine, NotRemovedLine}));
    EXPECT_EQ(s.ProblemsFound, True);
    EXPECT_TRUE(front.PromptsWith("continue anyway").empty());
    EXPECT_TRUE(Logged(FinishBanner));
}

TEST_F(RemovalFinalCleanUp, CancelBeforeTheCleanUpLeavesEverything) {
    platform.AddFile("C:\\WINDOWS\\TEMP\\Untitled.BMP");
    front.onDoEvents = [&] {
        if (Logged("(+) Tavori Viewer Slide Show files (.TVS) are no longer associated to Tavori "
                   "Viewer."))
            s.CancelRequested = True;
    };

    Run();

    EXPECT_TRUE(CleanUpLines().empty());
    EXPECT_TRUE(platform.Exists("C:\\WINDOWS\\TEMP\\Untitled.BMP"));
    EXPECT_TRUE(platform.Exists(InProgram("tavori.ini")));
    EXPECT_FALSE(Logged(FinishBanner));
}

// The whole removal of a complete installation, answered Yes throughout.
class RemovalViewer : public RemovalTest {};

TEST_F(RemovalViewer, CompleteInstallationLeavesNothingBehind) {
    InstallViewer();
    s.RegJPG = "jpegfile";
    s.RegGIF = "giffile";
    platform.AddRegKey(".jpg", std::string("TavoriViewer.Image"));
    platform.AddRegKey(".gif", std::string("TavoriViewer.Image"));
    platform.AddFile(std::string(WindowsDir) + "Tavori Viewer Wallpaper.BMP");
    platform.SetProfileString("win.ini", "Desktop", "Wallpaper", "C:\\WINDOWS\\TAVORI~1.BMP");
    for (const char* name :
         {"TVIEW15R.ZIP", "TVIEWER.ZIP", "demo.TVS", "sunset.jpg", "logo.gif", "chime.wav"})
        platform.AddFile(InProgram(name));
    for (const char* name : {"holiday.TVS", "beach.bmp", "song.mid"})
        platform.AddFile(InProgram("SLIDES\\") + name);
    platform.AddFile("C:\\WINDOWS\\TEMP\\Untitled.BMP");

    Run();

    EXPECT_EQ(
        StepLinesFrom("(+) The Screen Saver Handler (Tavori"),
        (Lines{
            "(+) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) was REMOVED.",
            "(+) The Screen Saver Handler's data file (TViewSCR.DAT) was REMOVED.",
            "(*) The Tavori Viewer Wallpaper file (Tavori Viewer Wallpaper.BMP) located in your "
            "C:\\WINDOWS\\ directory was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW15R.ZIP), registered version 1.5.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEWER.ZIP) was REMOVED.",
            "(*) 1 file(s) with the extension .TVS (Tavori Viewer Slides) were REMOVED from the "
            "program directory.",
            "(*) 2 image file(s) were REMOVED from the program directory.",
            "(*) 1 sound file(s) were REMOVED from the program directory.",
            "(*) 1 file(s) with the extension .TVS (Tavori Viewer Slides) were REMOVED from the "
            "program's \\SLIDES directory.",
            "(*) 1 image file(s) were REMOVED from the program's \\SLIDES directory.",
            "(*) 1 sound file(s) were REMOVED from the program's \\SLIDES directory.",
            "(+) \\SLIDES directory is now empty and was removed from the program path.",
            "(+) The Tavori Viewer Start Menu Programs folder and all of it's shortcuts were "
            "removed.",
            "(+) Tavori Viewer settings in the system registry have been removed.",
            "(+) Tavori Viewer Slide Show files (.TVS) are no longer associated to Tavori Viewer.",
            "(+) Image file associations were restored to their original settings.",
            "(*) Locating and deleting any remaining Tavori Viewer temporary files.",
            "(+) The preferences file (TAVORI.INI) was REMOVED."}));
    const Lines log = LogLines();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "");
    EXPECT_EQ(log[log.size() - 2], FinishBanner);
    EXPECT_EQ(log.back(), "");
    EXPECT_EQ(front.PromptsWith("NOTE:\r\nThis is your current desktop wallpaper file...").size(),
              1u);
    EXPECT_EQ(s.ProblemsFound, False);

    EXPECT_TRUE(platform.Contents(ProgramDir).empty());
    EXPECT_EQ(platform.Contents(WindowsDir),
              (Lines{"Desktop", "SYSTEM", "Start Menu", "TEMP", "win.ini"}));
    EXPECT_TRUE(platform.Contents(SystemDir).empty());
    EXPECT_TRUE(platform.Contents("C:\\WINDOWS\\TEMP").empty());
    EXPECT_TRUE(platform.Contents(DesktopDir).empty());
    EXPECT_TRUE(platform.Contents(StartMenuDir).empty());
    EXPECT_EQ(platform.groups, (Lines{"Accessories", "Main", "StartUp"}));
    EXPECT_FALSE(platform.HasSettings("TViewer", "Settings"));
    for (const char* key : {"TavoriViewer", ".tvs", "TavoriViewer.Image"})
        EXPECT_FALSE(platform.RegKeyExists(key)) << key;
    EXPECT_EQ(platform.RegDefault(".jpg"), "jpegfile");
    EXPECT_EQ(platform.RegDefault(".gif"), "giffile");
    EXPECT_EQ(platform.CurrentDirectory(), ProgramDir);
}

} // namespace
} // namespace kestovan::memtest
