#include "removal/RemovalFixture.h"

namespace kestovan::memtest {
namespace {

using Lines = std::vector<std::string>;

const std::string SlidesDir = std::string(ProgramDir) + "SLIDES\\";
const std::string ToolsDir = "C:\\Tools\\";

class RemovalMedia : public RemovalTest {
protected:
    // Everything else is in its place, so that the run finds no problem
    // outside these steps.
    RemovalMedia() { InstallViewer(); }

    // The lines of the sweeps and of the SLIDES sub-directory.
    Lines MediaLines() const {
        Lines lines;
        for (const std::string& line : LogLines())
            if (line.find("file(s)") != std::string::npos ||
                line.find("SLIDES") != std::string::npos)
                lines.push_back(line);
        return lines;
    }

    std::vector<std::string> MediaPrompts() const {
        std::vector<std::string> prompts;
        for (const auto& p : front.prompts)
            if (p.prompt.find("file(s)") != std::string::npos ||
                p.prompt.find(".TVS") != std::string::npos)
                prompts.push_back(p.prompt);
        return prompts;
    }

    // KESTOVAN started from another directory, which is current.
    void StartFromTools() {
        platform.AddDirectory(ToolsDir);
        platform.SetCurrentDirectory(ToolsDir);
        s.StartPath = ToolsDir;
    }
};

TEST_F(RemovalMedia, NothingToSweepAsksAndLogsNothing) {
    Run();

    EXPECT_TRUE(MediaPrompts().empty());
    EXPECT_TRUE(MediaLines().empty());
    EXPECT_TRUE(Logged(FinishBanner));
}

TEST_F(RemovalMedia, ProgramDirectorySweepsCountWhatTheyDelete) {
    for (const char* name :
         {"one.TVS", "two.tvs", "a.jpg", "b.GIF", "c.ico", "x.wav", "y.MID", "notes.doc"})
        platform.AddFile(InProgram(name));

    Run();

    EXPECT_EQ(MediaPrompts(),
              (Lines{"The are some Tavori Viewer Slide Show files (.TVS) in your program "
                     "directory.\r\n\r\nDo you want to delete all files that end with the .TVS "
                     "extension?",
                     "Found 3 image file(s) in your program directory.\r\n\r\nDo you want to "
                     "delete all of these files?",
                     "Found 2 sound file(s) in your program directory.\r\n\r\nDo you want to "
                     "delete all of these files?"}));
    EXPECT_EQ(MediaLines(),
              (Lines{"(*) 2 file(s) with the extension .TVS (Tavori Viewer Slides) were REMOVED "
                     "from the program directory.",
                     "(*) 3 image file(s) were REMOVED from the program directory.",
                     "(*) 2 sound file(s) were REMOVED from the program directory."}));
    EXPECT_EQ(platform.Contents(ProgramDir), (Lines{"notes.doc"}));
    EXPECT_EQ(s.ProblemsFound, False);
    // Each deletes the user's own files: no front end may answer it by default.
    for (const std::string& prompt : MediaPrompts()) {
        const auto asked = front.PromptsWith(prompt);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(asked[0].withoutDefault) << prompt;
    }
}

TEST_F(RemovalMedia, FileListIsTheSnapshotTakenBeforeTheDeletions) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        platform.AddFile(InProgram(name));
    bool added = false;
    front.onDoEvents = [&] {
        if (!added && !platform.Exists(InProgram("a.jpg"))) {
            platform.AddFile(InProgram("late.jpg"));
            added = true;
        }
    };

    Run();

    ASSERT_TRUE(added);
    EXPECT_TRUE(platform.Exists(InProgram("late.jpg")));
    EXPECT_FALSE(platform.Exists(InProgram("c.jpg")));
    EXPECT_TRUE(Logged("(*) 3 image file(s) were REMOVED from the program directory."));
}

TEST_F(RemovalMedia, NoToEverySweepKeepsTheFiles) {
    for (const char* name : {"one.TVS", "a.jpg", "x.wav"})
        platform.AddFile(InProgram(name));
    front.AnswerWhen(".TVS extension?", forms::IdNo);
    front.AnswerWhen("delete all of these files?", forms::IdNo);

    Run();

    EXPECT_EQ(MediaPrompts().size(), 3u);
    EXPECT_TRUE(MediaLines().empty());
    for (const char* name : {"one.TVS", "a.jpg", "x.wav"})
        EXPECT_TRUE(platform.Exists(InProgram(name))) << name;
}

TEST_F(RemovalMedia, FileThatCannotBeDeletedIsNamedAndNotCounted) {
    platform.AddFile(InProgram("a.gif"));
    platform.AddFile(InProgram("b.gif"), /*readOnly=*/true);
    platform.AddFile(InProgram("c.gif"));

    Run();

    const auto lines = StepLinesFrom(ContinuedLine);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], ContinuedLine);
    EXPECT_EQ(lines[1], "(-) C:\\Program Files\\Tavori Viewer\\b.gif was not REMOVED.");
    EXPECT_EQ(lines[2], "(*) 2 image file(s) were REMOVED from the program directory.");
    EXPECT_EQ(front.PromptsWith("Path/File access error...").size(), 1u);
    EXPECT_TRUE(platform.Exists(InProgram("b.gif")));
    EXPECT_FALSE(platform.Exists(InProgram("c.gif")));
    EXPECT_EQ(s.ProblemsFound, True);
    EXPECT_TRUE(Logged(FinishBanner));
}

TEST_F(RemovalMedia, FileThatCannotBeDeletedWithNoStopsTheRun) {
    platform.AddFile(InProgram("a.gif"), /*readOnly=*/true);
    platform.AddFile(InProgram("b.gif"));
    platform.AddFile(InProgram("x.wav"));
    front.AnswerWhen("Do you want to continue anyway?", forms::IdNo);

    Run();

    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "");
    EXPECT_EQ(lines.back(), CanceledBanner);
    EXPECT_TRUE(platform.Exists(InProgram("b.gif")));
    EXPECT_TRUE(platform.Exists(InProgram("x.wav")));
    EXPECT_TRUE(StepLinesWith("file(s)").empty());
}

TEST_F(RemovalMedia, CancelWhilePicturesAreDeletedStopsAfterTheCurrentFile) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "x.wav"})
        platform.AddFile(InProgram(name));
    front.onDoEvents = [&] {
        if (!platform.Exists(InProgram("a.jpg")))
            s.CancelRequested = True;
    };

    Run();

    EXPECT_TRUE(platform.Exists(InProgram("b.jpg")));
    EXPECT_TRUE(platform.Exists(InProgram("x.wav")));
    EXPECT_TRUE(MediaLines().empty());
    EXPECT_FALSE(Logged(FinishBanner));
}

TEST_F(RemovalMedia, SlidesHoldingOnlyMediaIsEmptiedAndRemoved) {
    StartFromTools();
    for (const char* name : {"show.TVS", "p1.bmp", "p2.jpeg", "s.wav"})
        platform.AddFile(SlidesDir + name);

    Run();

    EXPECT_EQ(MediaPrompts(),
              (Lines{"The are some Tavori Viewer Slide Show files (.TVS) in your program's "
                     "\\SLIDES directory.\r\n\r\nDo you want to delete all files that end with the "
                     ".TVS extension?",
                     "Found 2 image file(s) in your program's \\SLIDES directory.\r\n\r\nDo you "
                     "want to delete all of these files?",
                     "Found 1 sound file(s) in your program's \\SLIDES directory.\r\n\r\nDo you "
                     "want to delete all of these files?"}));
    EXPECT_EQ(MediaLines(),
              (Lines{"(*) 1 file(s) with the extension .TVS (Tavori Viewer Slides) were REMOVED "
                     "from the program's \\SLIDES directory.",
                     "(*) 2 image file(s) were REMOVED from the program's \\SLIDES directory.",
                     "(*) 1 sound file(s) were REMOVED from the program's \\SLIDES directory.",
                     "(+) \\SLIDES directory is now empty and was removed from the program "
                     "path."}));
    EXPECT_FALSE(platform.Exists(SlidesDir));
    EXPECT_EQ(platform.CurrentDirectory(), ToolsDir);
}

TEST_F(RemovalMedia, SlidesHoldingTextFileIsKeptAndCurrentDirectoryRestored) {
    StartFromTools();
    platform.AddFile(SlidesDir + "p1.gif");
    platform.AddFile(SlidesDir + "readme.txt");

    Run();

    EXPECT_EQ(MediaLines(),
              (Lines{"(*) 1 image file(s) were REMOVED from the program's \\SLIDES directory.",
                     "(-) \\SLIDES directory is not empty, unable to remove from the program "
                     "path."}));
    EXPECT_EQ(platform.Contents(SlidesDir), (Lines{"readme.txt"}));
    EXPECT_EQ(platform.CurrentDirectory(), ToolsDir);
}

TEST_F(RemovalMedia, NoToEveryPromptLeavesSlidesNotEmpty) {
    platform.AddFile(InProgram("a.jpg"));
    platform.AddFile(SlidesDir + "show.TVS");
    platform.AddFile(SlidesDir + "s.mid");
    front.AnswerWhen(".TVS extension?", forms::IdNo);
    front.AnswerWhen("delete all of these files?", forms::IdNo);

    Run();

    EXPECT_EQ(MediaPrompts().size(), 3u);
    EXPECT_EQ(MediaLines(), (Lines{"(-) \\SLIDES directory is not empty, unable to remove from "
                                   "the program path."}));
    EXPECT_EQ(platform.CurrentDirectory(), ProgramDir);
}

// SLIDES that is a link leads to something that is not the program's: it is
// passed over, whatever it holds, and stays with everything in its target.
TEST_F(RemovalMedia, SlidesThatIsALinkIsPassedOver) {
    const std::string pictures = "C:\\Users\\demo\\Pictures\\";
    platform.AddFile(pictures + "Beach.jpg");
    platform.AddFile(pictures + "Trip.TVS");
    platform.AddFile(pictures + "Song.wav");
    platform.AddDirectoryLink(SlidesDir, pictures);
    for (const char* name : {"Beach.jpg", "Trip.TVS", "Song.wav"})
        platform.AddFile(SlidesDir + name); // the link shows its target's files

    Run();

    EXPECT_TRUE(MediaLines().empty());
    EXPECT_TRUE(MediaPrompts().empty());
    EXPECT_TRUE(platform.DirectoryExists(SlidesDir));
    EXPECT_EQ(platform.Contents(SlidesDir), (Lines{"Beach.jpg", "Song.wav", "Trip.TVS"}));
    EXPECT_EQ(platform.Contents(pictures), (Lines{"Beach.jpg", "Song.wav", "Trip.TVS"}));
    EXPECT_FALSE(Called("RmDir " + SlidesDir));
    EXPECT_EQ(s.ProblemsFound, False);
    EXPECT_TRUE(Logged(FinishBanner));
}

TEST_F(RemovalMedia, ErrorInSlidesEndsTheStepSilently) {
    StartFromTools();
    platform.AddFile(SlidesDir + "p1.gif", /*readOnly=*/true);
    platform.AddFile(SlidesDir + "s.wav");

    Run();

    EXPECT_TRUE(MediaLines().empty());
    EXPECT_TRUE(front.PromptsWith("continue anyway").empty());
    EXPECT_FALSE(Logged(ContinuedLine));
    EXPECT_EQ(s.ProblemsFound, False);
    EXPECT_TRUE(platform.Exists(SlidesDir + "s.wav"));
    EXPECT_EQ(platform.CurrentDirectory(), ToolsDir);
    // The run goes on with the start-menu group.
    EXPECT_TRUE(Logged(FinishBanner));
}

TEST_F(RemovalMedia, SlidesHoldingOnlyAnEmptyDirectoryLogsNothing) {
    platform.AddDirectory(SlidesDir + "Old");

    Run();

    EXPECT_TRUE(MediaLines().empty());
    EXPECT_TRUE(platform.DirectoryExists(SlidesDir + "Old"));
    EXPECT_EQ(platform.CurrentDirectory(), ProgramDir);
}

TEST_F(RemovalMedia, CancelInsideSlidesStillRestoresTheCurrentDirectory) {
    StartFromTools();
    platform.AddFile(SlidesDir + "p1.gif");
    front.onDoEvents = [&] {
        if (platform.CurrentDirectory() == SlidesDir)
            s.CancelRequested = True;
    };

    Run();

    EXPECT_TRUE(platform.Exists(SlidesDir + "p1.gif"));
    EXPECT_FALSE(Logged(FinishBanner));
    EXPECT_EQ(platform.CurrentDirectory(), ToolsDir);
}

} // namespace
} // namespace kestovan::memtest
