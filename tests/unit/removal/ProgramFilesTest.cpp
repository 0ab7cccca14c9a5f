// The catalogue of program files and the "continue anyway" handler.

#include "removal/RemovalFixture.h"

namespace kestovan::memtest {
namespace {

class ProgramFilesTest : public RemovalTest {};

TEST_F(ProgramFilesTest, CompleteDirectoryIsRemovedWithoutProblems) {
    InstallViewer();
    platform.AddFile(InProgram("TVIEWER.GID"), true, true);
    for (const char* name :
         {"MSVBVM50.DLL", "TVIEWLNK.DLL", "GIF89.DLL", "NVIEWLIB.DLL", "OLEAUT32.DLL",
          "OLEPRO32.DLL", "ASYCFILT.DLL", "COMCAT.DLL", "STDOLE2.TLB"})
        platform.AddFile(InProgram(name));
    platform.AddFile("C:\\WINDOWS\\SETUPTMP.EXE");
    Run();
    const auto lines = StepLinesFrom("(+) Main");
    ASSERT_GE(lines.size(), 21u);
    EXPECT_EQ(lines[0], "(+) Main Tavori Viewer progam (TVIEWER.EXE) was REMOVED.");
    EXPECT_EQ(lines[2], "(*) The help file index data (TVIEWER.GID, a hidden file) was REMOVED.");
    EXPECT_EQ(lines[7], "(*) The run-time file MSVBVM50.DLL was REMOVED from the program "
                        "directory.");
    EXPECT_EQ(lines[19],
              "(*) The Tavori Viewer main setup program temp file (SetupTMP.EXE) was REMOVED.");
    EXPECT_FALSE(platform.FileExists(InProgram("TVIEWER.GID")));
    EXPECT_FALSE(platform.FileExists("C:\\WINDOWS\\SETUPTMP.EXE"));
    EXPECT_EQ(s.ProblemsFound, False);
}

TEST_F(ProgramFilesTest, MissingRuntimeFilesGiveNotesAndLeaveTheSystemCopy) {
    InstallProgramFiles();
    platform.AddFile("C:\\WINDOWS\\SYSTEM\\GIF89.DLL");
    platform.AddFile(InProgram("SETUPTMP.EXE"));
    Run();
    EXPECT_TRUE(Logged("(*) GIF89.DLL can't be removed from your C:\\WINDOWS\\SYSTEM\\ directory, "
                       "it is a shared file that may be in use by other applications on your "
                       "system."));
    EXPECT_TRUE(platform.FileExists("C:\\WINDOWS\\SYSTEM\\GIF89.DLL"));
    EXPECT_TRUE(platform.FileExists(InProgram("SETUPTMP.EXE")));
    EXPECT_TRUE(StepLinesWith("SetupTMP").empty());
}

TEST_F(ProgramFilesTest, SystemDirectoryUnknownLeavesTwoSpacesInTheNote) {
    InstallProgramFiles();
    platform.Fail("GetSystemDirectoryA");
    Run();
    EXPECT_TRUE(Logged("(*) COMCAT.DLL can't be removed from your  directory, it is a shared file "
                       "that may be in use by other applications on your system."));
}

TEST_F(ProgramFilesTest, HiddenExecutableBringsThePromptAndNoEndsTheRun) {
    InstallProgramFiles();
    platform.Kill(InProgram("TVIEWER.EXE"));
    platform.AddFile(InProgram("TVIEWER.EXE"), false, true);
    front.answers = {forms::IdNo};
    Run();
    EXPECT_EQ(s.StatusLog, "\r\n>>  Tavori Viewer KESTOVAN  (Date/Time: 12/7/2026 3:04:05 PM)  "
                           "<<\r\n\r\n(-) Main Tavori Viewer progam (TVIEWER.EXE) could not be "
                           "found.\r\n");
    EXPECT_EQ(s.ProblemsFound, True);
    ASSERT_EQ(front.prompts.size(), 1u);
    EXPECT_EQ(front.prompts[0].prompt, "The main Tavori Viewer executable could not be found."
                                       "\r\n\r\nAttempt to locate files used by Tavori Viewer "
                                       "anyway?");
    EXPECT_EQ(front.prompts[0].buttons, 36);
    EXPECT_TRUE(platform.FileExists(InProgram("TVIEWER.HLP")));
}

TEST_F(ProgramFilesTest, FailedDeletionContinuedIsNotReportedAsRemoved) {
    InstallViewer();
    platform.Kill(InProgram("README.TXT"));
    platform.AddFile(InProgram("README.TXT"), true);
    front.AnswerWhen("An error occurred while removing files:", forms::IdYes);
    Run();
    const auto lines = StepLinesFrom("(+) Main");
    const auto readme = std::find(lines.begin(), lines.end(), ContinuedLine);
    ASSERT_NE(readme, lines.end());
    EXPECT_EQ(*(readme + 1), "(-) C:\\Program Files\\Tavori Viewer\\README.TXT was not REMOVED.");
    EXPECT_FALSE(Logged("(+) The readme file (README.TXT) was REMOVED."));
    EXPECT_EQ(s.ProblemsFound, True);
    const auto asked = front.PromptsWith("An error occurred while removing files:");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].prompt, "An error occurred while removing files:\r\n\r\nPath/File access "
                               "error...\r\n\r\nDo you want to continue anyway?");
}

TEST_F(ProgramFilesTest, NoInTheHandlerEndsTheRunWithTheCanceledBanner) {
    InstallViewer();
    platform.Kill(InProgram("TVIEWER.HLP"));
    platform.AddFile(InProgram("TVIEWER.HLP"), true);
    front.AnswerWhen("An error occurred while removing files:", forms::IdNo);
    Run();
    const std::string tail = "(+) Main Tavori Viewer progam (TVIEWER.EXE) was REMOVED.\r\n"
                             "\r\n>>  The KESTOVAN of Tavori Viewer was canceled.  <<\r\n";
    ASSERT_GE(s.StatusLog.size(), tail.size());
    EXPECT_EQ(s.StatusLog.substr(s.StatusLog.size() - tail.size()), tail);
    EXPECT_TRUE(platform.FileExists(InProgram("README.TXT")));
    EXPECT_EQ(s.CancelRequested, False);
}

TEST_F(ProgramFilesTest, ErrorWithoutTextAsksTheUnexpectedQuestion) {
    InstallViewer();
    platform.Fail("Dir", InProgram("TVS.ICO"), 0);
    front.AnswerWhen("An unexpected error occurred while removing files.", forms::IdYes);
    Run();
    EXPECT_EQ(front
                  .PromptsWith("An unexpected error occurred while removing files.\r\n\r\nDo "
                               "you want to continue anyway?")
                  .size(),
              1u);
    // A failed "file absent" test goes on as though the file were missing.
    EXPECT_TRUE(Logged("(-) The slide show icon file (TVS.ICO) could not be found."));
}

TEST_F(ProgramFilesTest, CancelAtACheckpointStopsWithTheCanceledLine) {
    InstallViewer();
    front.onDoEvents = [&] {
        if (Logged("(+) The slide show icon file (TVS.ICO) was REMOVED."))
            s.CancelRequested = True;
    };
    Run();
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.back(), ">>  The KESTOVAN of Tavori Viewer was canceled.  <<");
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines[lines.size() - 3], "(+) The slide show icon file (TVS.ICO) was REMOVED.");
    EXPECT_TRUE(platform.FileExists(InProgram("TVIEWER.ICO")));
}

} // namespace
} // namespace kestovan::memtest
