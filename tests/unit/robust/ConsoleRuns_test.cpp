// The kestovan executable built beside this test program, run with the
// console front end and what a person types on its standard input.

#include "robust/RobustMachine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>

namespace kestovan::robust {
namespace {

struct ConsoleRun {
    int status = -1;
    std::string out;
};

class ConsoleRunTest : public RobustTest {
protected:
    // Runs kestovan on the machine with `typed` as its standard input, no
    // desktop session and HOME in a temporary directory.
    ConsoleRun Run(const std::string& typed, const std::string& options = "") {
        const fs::path kestovan = fs::read_symlink("/proc/self/exe").parent_path() / "kestovan";
        WriteBytes(home.Path() / "typed", typed);
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME=\"" +
                                    home.Path().string() + "\" \"" + kestovan.string() +
                                    "\" --machine \"" + MachineFile("").string() +
                                    "\" --exe-dir 'C:\\Program Files\\Tavori Viewer' " + options +
                                    " < \"" + (home.Path() / "typed").string() + "\" > \"" +
                                    (home.Path() / "out").string() + "\" 2>&1";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(home.Path() / "out")};
    }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + what.size()))
            ++n;
        return n;
    }

    TemporaryDirectory home;
};

// Enter answers the welcome, presses Remove and takes the archives' default;
// at the wallpaper and the six sweeps it answers nothing, and the n typed
// after it keeps the files.  Cancel typed at a question is refused.
TEST_F(ConsoleRunTest, EnterNeverDeletesTheUsersFilesAndCancelWaitsForTheQuestion) {
    MakeMachine();
    std::string typed = "\n\ny\nc\n\nn\n\n\n";
    for (int sweep = 0; sweep < 6; ++sweep)
        typed += "\nn\n";
    const ConsoleRun run = Run(typed);
    EXPECT_EQ(run.status, 0) << run.out;

    EXPECT_FALSE(fs::exists(Host("Program Files/Tavori Viewer/TVIEWER.ZIP")));
    EXPECT_FALSE(fs::exists(Host("Program Files/Tavori Viewer/TVIEW15R.ZIP")));
    for (const char* kept :
         {"windows/Tavori Viewer Wallpaper.BMP", "Program Files/Tavori Viewer/Holiday.tvs",
          "Program Files/Tavori Viewer/Beach.gif", "Program Files/Tavori Viewer/Chime.WAV",
          "Program Files/Tavori Viewer/SLIDES/Trip.TVS",
          "Program Files/Tavori Viewer/SLIDES/Mountain.Bmp",
          "Program Files/Tavori Viewer/SLIDES/Bell.wav"})
        EXPECT_TRUE(fs::exists(Host(kept))) << kept;

    EXPECT_EQ(Count(run.out, "Type y or n: Enter alone does not answer this question."), 7)
        << run.out;
    EXPECT_EQ(Count(run.out, "Cancel cannot be pressed at a question: answer it, then press "
                             "Cancel between questions (c, then Enter), or press Ctrl-C."),
              1)
        << run.out;
    for (const char* internal : {"Frm", "Cmd", "lbl", "(buttons", "ran out of answers",
                                 "end of input", "AppList", "txtLog"})
        EXPECT_EQ(run.out.find(internal), std::string::npos) << internal << " in:\n" << run.out;
}

TEST_F(ConsoleRunTest, APreviewIsHeadedPreviewAndCopyTextNamesTheReportFile) {
    MakeMachine();
    const auto before = MachineContents(MachineFile(""));
    // Enter at the welcome and for Remove, then y to the eleven questions
    // of the run (wallpaper, two archives, six sweeps, the program group,
    // the associations), Enter for the notice about KESTOVAN.EXE, and c for
    // Copy Text in the status report.
    std::string typed = "\n\ny\n";
    for (int i = 0; i < 11; ++i)
        typed += "y\n";
    typed += "\nc\n\n";
    const ConsoleRun run = Run(typed, "--preview");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(MachineContents(MachineFile("")), before);

    const int boxes = Count(run.out, "\n+---") / 3; // a box has three borders
    const int panels = Count(run.out, "\n== ");
    const std::string banner = "PREVIEW \u2014 nothing will be changed\n";
    EXPECT_GT(boxes, 10);
    EXPECT_EQ(Count(run.out, banner), boxes + panels) << run.out;
    EXPECT_EQ(Count(run.out, banner + "+---"), boxes);
    EXPECT_EQ(Count(run.out, banner + "== "), panels);

    const fs::path report = home.Path() / "kestovan-report.txt";
    EXPECT_NE(run.out.find("No desktop clipboard could be reached (wl-copy or xclip); the report "
                           "was written to " +
                           report.string() + "."),
              std::string::npos)
        << run.out;
    EXPECT_NE(ReadBytes(report).find(">>  Finished removing Tavori Viewer files..."),
              std::string::npos);
}

} // namespace
} // namespace kestovan::robust
