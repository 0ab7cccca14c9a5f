#include "removal/RemovalFixture.h"

namespace kestovan::memtest {
namespace {

using Lines = std::vector<std::string>;

const std::string Handler = "Tavori Viewer Screen Saver.SCR";
const std::string Wallpaper = "Tavori Viewer Wallpaper.BMP";

class RemovalScreenSaver : public RemovalTest {
protected:
    RemovalScreenSaver() { InstallProgramFiles(); }

    std::vector<std::string> ScreenSaverLines() const {
        std::vector<std::string> lines;
        for (const std::string& line : LogLines())
            if (line.find("Screen Saver Handler") != std::string::npos ||
                line.find("Wallpaper") != std::string::npos)
                lines.push_back(line);
        return lines;
    }
};

TEST_F(RemovalScreenSaver, CleanInstallationRemovesHandlerAndDataFromSystemDirectory) {
    InstallViewer();
    platform.AddFile(SystemDir + Handler);
    platform.AddFile(std::string(SystemDir) + "TVIEWSCR.DAT");

    Run();

    EXPECT_EQ(ScreenSaverLines(),
              (Lines{"(+) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) was "
                     "REMOVED.",
                     "(+) The Screen Saver Handler's data file (TViewSCR.DAT) was REMOVED."}));
    EXPECT_FALSE(platform.Exists(SystemDir + Handler));
    EXPECT_FALSE(platform.Exists(std::string(SystemDir) + "TVIEWSCR.DAT"));
    EXPECT_EQ(s.ProblemsFound, False);
}

TEST_F(RemovalScreenSaver, FilesOnlyInWindowsDirectoryAreRemovedWithWhereTheyBelong) {
    platform.AddFile(WindowsDir + Handler);
    platform.AddFile(std::string(WindowsDir) + "TVIEWSCR.SCR");
    platform.AddFile(std::string(WindowsDir) + "TVIEWSCR.DAT");

    Run();

    EXPECT_EQ(
        ScreenSaverLines(),
        (Lines{
            "(-) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) could not be found in "
            "your C:\\WINDOWS\\SYSTEM\\ directory where it belongs.",
            "(*) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) should have been "
            "located in your C:\\WINDOWS\\SYSTEM\\ directory instead of your C:\\WINDOWS\\ "
            "directory, it was REMOVED.",
            "(*) The Screen Saver Handler setup file (TViewSCR.SCR) should not have been in your "
            "C:\\WINDOWS\\, it was REMOVED.",
            "(-) The Screen Saver Handler's data file (TViewSCR.DAT) could not be found in your "
            "C:\\WINDOWS\\SYSTEM\\ directory where it belongs.",
            "(*) The Screen Saver Handler's data file (TVIEWSCR.DAT) should have been located in "
            "your C:\\WINDOWS\\SYSTEM\\ directory instead of your C:\\WINDOWS\\ directory, it was "
            "REMOVED."}));
    EXPECT_EQ(platform.Contents(WindowsDir), (Lines{"SYSTEM", "TEMP"}));
    EXPECT_EQ(s.ProblemsFound, True);
}

TEST_F(RemovalScreenSaver, CopiesEverywhereAreAllRemoved) {
    for (const std::string dir : {SystemDir, WindowsDir, ProgramDir}) {
        platform.AddFile(dir + Handler);
        platform.AddFile(dir + "TVIEWSCR.SCR");
        platform.AddFile(dir + "TVIEWSCR.DAT");
    }

    Run();

    EXPECT_EQ(
        ScreenSaverLines(),
        (Lines{
            "(+) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) was REMOVED.",
            "(*) The Screen Saver Handler setup file (TViewSCR.SCR) should not have been in your "
            "C:\\WINDOWS\\SYSTEM\\, it was REMOVED.",
            "(*) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) should have been "
            "located in your C:\\WINDOWS\\SYSTEM\\ directory instead of your C:\\WINDOWS\\ "
            "directory, it was REMOVED.",
            "(*) The Screen Saver Handler setup file (TViewSCR.SCR) should not have been in your "
            "C:\\WINDOWS\\, it was REMOVED.",
            "(*) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) should not have been "
            "the program directory, it was REMOVED.",
            "(*) The Screen Saver Handler setup file (TViewSCR.SCR) was REMOVED from the program "
            "directory.",
            "(+) The Screen Saver Handler's data file (TViewSCR.DAT) was REMOVED.",
            "(*) The Screen Saver Handler's data file (TVIEWSCR.DAT) should have been located in "
            "your C:\\WINDOWS\\SYSTEM\\ directory instead of your C:\\WINDOWS\\ directory, it was "
            "REMOVED.",
            "(*) The Screen Saver Handler's data file (TVIEWSCR.DAT) was REMOVED from the program "
            "directory."}));
    for (const std::string dir : {SystemDir, WindowsDir, ProgramDir})
        for (const std::string& name :
             {Handler, std::string("TVIEWSCR.SCR"), std::string("TVIEWSCR.DAT")})
            EXPECT_FALSE(platform.Exists(dir + name)) << dir + name;
}

TEST_F(RemovalScreenSaver, UnknownSystemDirectoryIsNeverTakenForTheCurrentDirectory) {
    platform.Fail("GetSystemDirectoryA");
    // The files lie in the current directory, where a bare file name would
    // find them.
    platform.AddFile("C:\\Elsewhere\\" + Handler);
    platform.AddFile("C:\\Elsewhere\\TVIEWSCR.SCR");
    platform.AddFile("C:\\Elsewhere\\TVIEWSCR.DAT");
    platform.SetCurrentDirectory("C:\\Elsewhere\\");

    Run();

    EXPECT_TRUE(platform.Exists("C:\\Elsewhere\\" + Handler));
    EXPECT_TRUE(platform.Exists("C:\\Elsewhere\\TVIEWSCR.SCR"));
    EXPECT_TRUE(platform.Exists("C:\\Elsewhere\\TVIEWSCR.DAT"));
    for (const std::string& call : platform.calls) {
        if (call.rfind("Dir ", 0) == 0 || call.rfind("Kill ", 0) == 0) {
            EXPECT_NE(call.find('\\'), std::string::npos) << "a bare file name: " << call;
        }
    }
    EXPECT_TRUE(Logged("(-) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) could not "
                       "be found in your  directory where it belongs."));
    EXPECT_TRUE(Logged("(-) The Screen Saver Handler's data file (TViewSCR.DAT) could not be found "
                       "in your  directory where it belongs."));
    EXPECT_EQ(s.ProblemsFound, True);
}

TEST_F(RemovalScreenSaver, FailedDeletionContinuedIsReportedAsNotRemoved) {
    platform.AddFile(SystemDir + Handler, /*readOnly=*/true);
    platform.AddFile(std::string(SystemDir) + "TVIEWSCR.DAT");

    Run();

    const auto prompts = front.PromptsWith("An error occurred while removing files:");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].prompt, "An error occurred while removing files:\r\n\r\nPath/File access "
                                 "error...\r\n\r\nDo you want to continue anyway?");
    const auto lines = StepLinesFrom(ContinuedLine);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "(-) C:\\WINDOWS\\SYSTEM\\Tavori Viewer Screen Saver.SCR was not REMOVED.");
    EXPECT_EQ(lines[2], "(+) The Screen Saver Handler's data file (TViewSCR.DAT) was REMOVED.");
    EXPECT_FALSE(Logged("(+) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) was "
                        "REMOVED."));
    EXPECT_TRUE(platform.Exists(SystemDir + Handler));
}

TEST_F(RemovalScreenSaver, FailingTestOfMissingFileGoesOnWithItsMissingLine) {
    platform.AddFile(SystemDir + Handler);
    platform.Fail("Dir", SystemDir + Handler, err::DiskNotReady);

    Run();

    const auto lines = StepLinesFrom(ContinuedLine);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "(-) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) could not "
                        "be found in your C:\\WINDOWS\\SYSTEM\\ directory where it belongs.");
    EXPECT_EQ(s.ProblemsFound, True);
}

TEST_F(RemovalScreenSaver, WallpaperIsDeletedAfterTheQuestion) {
    platform.AddFile(WindowsDir + Wallpaper);

    Run();

    const auto prompts = front.PromptsWith("Wallpaper");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].prompt, "Delete the following Tavori Viewer Wallpaper file?\r\n\r\n"
                                 "C:\\WINDOWS\\Tavori Viewer Wallpaper.BMP");
    EXPECT_EQ(prompts[0].buttons, 36);
    EXPECT_EQ(prompts[0].title, "Tavori Software - [KESTOVAN]");
    EXPECT_FALSE(prompts[0].withoutDefault) << "not the current wallpaper";
    EXPECT_TRUE(Logged("(*) The Tavori Viewer Wallpaper file (Tavori Viewer Wallpaper.BMP) located "
                       "in your C:\\WINDOWS\\ directory was REMOVED."));
    EXPECT_FALSE(platform.Exists(WindowsDir + Wallpaper));
}

TEST_F(RemovalScreenSaver, CurrentWallpaperUnderItsShortNameCarriesTheNote) {
    platform.AddFile(WindowsDir + Wallpaper);
    platform.SetProfileString("win.ini", "Desktop", "Wallpaper", "c:\\windows\\TAVORI~1.BMP");

    Run();

    const auto prompts = front.PromptsWith("Wallpaper");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].prompt, "Delete the following Tavori Viewer Wallpaper file?\r\n\r\n"
                                 "C:\\WINDOWS\\Tavori Viewer Wallpaper.BMP\r\n\r\nNOTE:\r\n"
                                 "This is your current desktop wallpaper file...");
    EXPECT_TRUE(prompts[0].withoutDefault) << "the current wallpaper wants a typed answer";
    EXPECT_FALSE(platform.Exists(WindowsDir + Wallpaper));
    // The desktop setting is left alone.
    EXPECT_EQ(platform.ProfileString("win.ini", "Desktop", "Wallpaper"),
              "c:\\windows\\TAVORI~1.BMP");
}

TEST_F(RemovalScreenSaver, WallpaperNamedByLongNameOrNoneHasNoNote) {
    platform.AddFile(WindowsDir + Wallpaper);
    for (const std::string setting :
         {"C:\\WINDOWS\\Tavori Viewer Wallpaper.BMP", "(None)", "C:\\WINDOWS\\GONE~1.BMP"}) {
        SCOPED_TRACE(setting);
        platform.SetProfileString("win.ini", "Desktop", "Wallpaper", setting);
        front.prompts.clear();
        front.AnswerWhen("Wallpaper file?", forms::IdNo);
        Run();
        const auto prompts = front.PromptsWith("Wallpaper");
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].prompt.find("NOTE:"), std::string::npos);
        // No keeps the file and logs nothing for it.
        EXPECT_TRUE(platform.Exists(WindowsDir + Wallpaper));
        EXPECT_TRUE(StepLinesWith("Wallpaper").empty());
    }
}

TEST_F(RemovalScreenSaver, WallpaperRoutinesGiveEmptyResultsWhenTheyHaveNoAnswer) {
    platform.AddFile(WindowsDir + Wallpaper);
    EXPECT_EQ(module.GetShortPath("C:\\WINDOWS\\Tavori Viewer Wallpaper.BMP"),
              "C:\\WINDOWS\\TAVORI~1.BMP");
    EXPECT_EQ(module.GetShortPath("C:\\WINDOWS\\Missing Wallpaper.BMP"), "");

    EXPECT_EQ(module.GetCurrentWallpaper(), ""); // no win.ini value
    const std::string setting = "  C:\\WINDOWS\\TAVORI~1.BMP  ";
    platform.SetProfileString("win.ini", "Desktop", "Wallpaper", setting);
    EXPECT_EQ(module.GetCurrentWallpaper(), "C:\\WINDOWS\\TAVORI~1.BMP");
    EXPECT_EQ(s.ApiResult, static_cast<std::int32_t>(setting.size()));
    platform.Fail("Dir", "C:\\WINDOWS\\TAVORI~1.BMP", err::DiskNotReady);
    EXPECT_EQ(module.GetCurrentWallpaper(), "");
}

const std::vector<std::string> ArchivePrompts{
    "Delete the shareware version 1.0.5 Tavori Viewer ZIP file TVIEW105.ZIP?",
    "Delete the shareware version 1.1.X Tavori Viewer zip file TVIEW11S.ZIP?",
    "Delete the registered version 1.1.X Tavori Viewer zip file TVIEW11R.ZIP?",
    "Delete the registered version 1.2.X Tavori Viewer zip file TVIEW12R.ZIP?",
    "Delete the shareware version 1.2.X Tavori Viewer zip file TVIEW12S.ZIP?",
    "Delete the registered version 1.3.X Tavori Viewer zip file TVIEW13R.ZIP?",
    "Delete the shareware version 1.3.X Tavori Viewer zip file TVIEW13S.ZIP?",
    "Delete the registered version 1.4.X Tavori Viewer zip file TVIEW14R.ZIP?",
    "Delete the registered version 1.5.X Tavori Viewer zip file TVIEW15R.ZIP?",
    "Delete the following Tavori Viewer ZIP file?\r\n\r\nC:\\Program Files\\Tavori "
    "Viewer\\TVIEWER.ZIP?",
};

const std::vector<std::string> ArchiveNames{
    "TVIEW105.ZIP", "TVIEW11S.ZIP", "TVIEW11R.ZIP", "TVIEW12R.ZIP", "TVIEW12S.ZIP",
    "TVIEW13R.ZIP", "TVIEW13S.ZIP", "TVIEW14R.ZIP", "TVIEW15R.ZIP", "TVIEWER.ZIP"};

TEST_F(RemovalScreenSaver, AllTenArchivesAreAskedForInOrder) {
    // Added in reverse, so the order of the questions is the program's own.
    for (auto name = ArchiveNames.rbegin(); name != ArchiveNames.rend(); ++name)
        platform.AddFile(InProgram(*name));

    Run();

    std::vector<std::string> asked;
    for (const auto& p : front.PromptsWith(".ZIP?")) {
        asked.push_back(p.prompt);
        EXPECT_EQ(p.buttons, 36);
        EXPECT_FALSE(p.withoutDefault) << "archives are the program's, not the user's";
    }
    EXPECT_EQ(asked, ArchivePrompts);
    EXPECT_EQ(
        StepLinesWith("ZIP file ("),
        (Lines{
            "(*) The Tavori Viewer ZIP file (TVIEW105.ZIP), shareware version 1.0.5, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW11S.ZIP), shareware version 1.1.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW11R.ZIP), registered version 1.1.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW12R.ZIP), registered version 1.2.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW12S.ZIP), shareware version 1.2.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW13R.ZIP), registered version 1.3.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW13S.ZIP), shareware version 1.3.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW14R.ZIP), registered version 1.4.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEW15R.ZIP), registered version 1.5.X, was REMOVED.",
            "(*) The Tavori Viewer ZIP file (TVIEWER.ZIP) was REMOVED."}));
    for (const auto& name : ArchiveNames)
        EXPECT_FALSE(platform.Exists(InProgram(name))) << name;
}

TEST_F(RemovalScreenSaver, ArchivesAnsweredNoAreKeptWithoutLines) {
    platform.AddFile(InProgram("TVIEW12R.ZIP"));
    platform.AddFile(InProgram("TVIEWER.ZIP"));
    front.AnswerWhen(".ZIP?", forms::IdNo);

    Run();

    EXPECT_EQ(front.PromptsWith(".ZIP?").size(), 2u);
    EXPECT_TRUE(StepLinesWith("ZIP").empty());
    EXPECT_TRUE(platform.Exists(InProgram("TVIEW12R.ZIP")));
    EXPECT_TRUE(platform.Exists(InProgram("TVIEWER.ZIP")));
    EXPECT_TRUE(Logged(FinishBanner));
}

TEST_F(RemovalScreenSaver, CancelDuringArchiveQuestionsTakesEffectAfterTheLast) {
    for (const auto& name : ArchiveNames)
        platform.AddFile(InProgram(name));
    platform.AddFile(InProgram("a.TVS"));
    front.onPrompt = [&](const std::string& prompt) {
        if (prompt.find("TVIEW105.ZIP") != std::string::npos)
            s.CancelRequested = True;
    };

    Run();

    EXPECT_EQ(front.PromptsWith(".ZIP?").size(), 10u);
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), ">>  The KESTOVAN of Tavori Viewer was canceled.  <<");
    EXPECT_EQ(lines[lines.size() - 3], "(*) The Tavori Viewer ZIP file (TVIEWER.ZIP) was REMOVED.");
    EXPECT_TRUE(front.PromptsWith(".TVS").empty());
    EXPECT_TRUE(platform.Exists(InProgram("a.TVS")));
}

} // namespace
} // namespace kestovan::memtest
