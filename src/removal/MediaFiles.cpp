#include "dialogs/RemoveFrm.h"
#include "state/MainModule.h"

#include <array>
#include <functional>
#include <string>

namespace kestovan {

namespace {

enum class PatternSet { SlideShows, Images, Sounds };

const char* PatternText(PatternSet set) {
    switch (set) {
    case PatternSet::SlideShows: return "*.TVS";
    case PatternSet::Images:
        return "*.dib;*.bmp;*.gif;*.jpg;*.jif;*.jpe;*.jpeg;*.ico;*.wmf;*.emf;*.rle";
    case PatternSet::Sounds: return "*.wav;*.mid";
    }
    return "";
}

struct Sweep {
    PatternSet set;
    // Slide shows: the question; images and sounds: the text after the count.
    const char* promptText;
    const char* resultText;
};

constexpr std::array<Sweep, 3> ProgramDirectorySweeps{{
    {PatternSet::SlideShows,
     "The are some Tavori Viewer Slide Show files (.TVS) in your program directory.",
     " file(s) with the extension .TVS (Tavori Viewer Slides) were REMOVED from the program "
     "directory."},
    {PatternSet::Images, " image file(s) in your program directory.",
     " image file(s) were REMOVED from the program directory."},
    {PatternSet::Sounds, " sound file(s) in your program directory.",
     " sound file(s) were REMOVED from the program directory."},
}};

constexpr std::array<Sweep, 3> SlidesDirectorySweeps{{
    {PatternSet::SlideShows,
     "The are some Tavori Viewer Slide Show files (.TVS) in your program's \\SLIDES directory.",
     " file(s) with the extension .TVS (Tavori Viewer Slides) were REMOVED from the program's "
     "\\SLIDES directory."},
    {PatternSet::Images, " image file(s) in your program's \\SLIDES directory.",
     " image file(s) were REMOVED from the program's \\SLIDES directory."},
    {PatternSet::Sounds, " sound file(s) in your program's \\SLIDES directory.",
     " sound file(s) were REMOVED from the program's \\SLIDES directory."},
}};

forms::Control& File1(MainModule& module) {
    return module.RemoveFrm()["File1"];
}

// One sweep: every file of one pattern set in one directory, after one
// question.  With continueAnyway, each action runs under the "continue
// anyway" handler; without it, a failure ends the sweep and the step.
void SweepFiles(MainModule& module, const std::string& directory, const Sweep& sweep,
                bool continueAnyway) {
    auto& s = module.State;
    PlatformServices& platform = module.Platform();
    const std::string pattern = PatternText(sweep.set);
    auto run = [&](const std::function<void()>& action) {
        if (continueAnyway)
            return module.TryContinueAnyway(action);
        action();
        return true;
    };
    auto listFiles = [&] {
        run([&] { File1(module).SetPath(directory); });
        run([&] { File1(module).SetPattern(pattern); });
    };
    auto listCount = [&] {
        int count = 0;
        run([&] { count = File1(module).ListCount(); });
        return count;
    };

    int count = 0;
    if (sweep.set == PatternSet::SlideShows) {
        // A failing test goes on as though files were there.
        bool present = true;
        run([&] { present = !platform.Dir(directory + pattern, attr::Normal).empty(); });
        if (!present)
            return;
        s.Answer = static_cast<std::int16_t>(
            module.MsgBox(std::string(sweep.promptText) + s.CrLf2 +
                              "Do you want to delete all files that end "
                              "with the .TVS extension?",
                          forms::MbYesNoQuestion, forms::DefaultAnswer::Refused));
        if (s.Answer != AnswerYes)
            return;
        listFiles();
    } else {
        listFiles();
        module.Checkpoint();
        count = listCount();
        if (count <= 0)
            return;
        s.Answer = static_cast<std::int16_t>(
            module.MsgBox("Found " + std::to_string(count) + sweep.promptText + s.CrLf2 +
                              "Do you want to delete all of these files?",
                          forms::MbYesNoQuestion, forms::DefaultAnswer::Refused));
        if (s.Answer != AnswerYes)
            return;
    }

    // The list is the snapshot taken above; its length is read once.  The
    // path and the action are made once and reused for every file.
    const int last = listCount() - 1;
    int deleted = 0;
    std::string path;
    const std::function<void()> killListed = [&] {
        path.append(File1(module).List(s.LoopIndex));
        platform.Kill(path);
    };
    for (s.LoopIndex = 0; s.LoopIndex <= last; ++s.LoopIndex) {
        path.assign(directory);
        const bool removed = run(killListed);
        // Only the files really deleted are counted; one that could not be
        // deleted is named in the log instead.
        if (removed)
            ++deleted;
        else
            module.AppendLogLine(MainModule::NotRemovedLine(path));
        module.Checkpoint();
    }
    module.AppendLogLine("(*) " + std::to_string(deleted) + sweep.resultText);
}

// Puts the current drive and directory back to the program's own directory,
// where KESTOVAN starts and which the run leaves alone until the SLIDES
// sub-directory is entered.  Outside the program directory being removed,
// it lets that directory be removed at the end.
class CurrentDirectoryRestorer {
public:
    CurrentDirectoryRestorer(PlatformServices& platform, const std::string& directory)
        : platform_(platform), directory_(directory) {}
    CurrentDirectoryRestorer(const CurrentDirectoryRestorer&) = delete;
    CurrentDirectoryRestorer& operator=(const CurrentDirectoryRestorer&) = delete;
    ~CurrentDirectoryRestorer() {
        // Best effort: a failure here leaves the directory where it was.
        MainModule::TryIgnore([&] { platform_.ChDrive(directory_.substr(0, 2)); });
        MainModule::TryIgnore([&] { platform_.ChDir(directory_); });
    }

private:
    PlatformServices& platform_;
    std::string directory_;
};

} // namespace

void MainModule::RemoveSlideShowsAndMedia() {
    for (const Sweep& sweep : ProgramDirectorySweeps)
        SweepFiles(*this, State.RemovePath, sweep, true);
}

void MainModule::RemoveSlidesDirectory() {
    auto& s = State;
    const std::string slides = s.RemovePath + "SLIDES\\";

    // The current directory goes back to where it was before this step in
    // every case: also when the step ends by an error or a cancel.
    CurrentDirectoryRestorer restorer(platform_, s.StartPath);

    // ChDir is the test that the sub-directory exists.  A SLIDES that is a
    // link or junction leads to something that is not the program's: it is
    // passed over as though it did not exist, and nothing in it is touched.
    platform_.ChDrive(s.RemovePath.substr(0, 2));
    if (platform_.IsLink(slides))
        return;
    platform_.ChDir(slides);
    Checkpoint();

    for (const Sweep& sweep : SlidesDirectorySweeps)
        SweepFiles(*this, slides, sweep, false);

    File1(*this).SetPath(slides);
    File1(*this).SetPattern("*.*");
    Checkpoint();

    if (File1(*this).ListCount() > 0) {
        AppendLogLine(
            "(-) \\SLIDES directory is not empty, unable to remove from the program path.");
        return;
    }
    // The directory cannot be removed while it is the current one.
    platform_.ChDrive(s.StartPath.substr(0, 2));
    platform_.ChDir(s.StartPath);
    platform_.RmDir(slides);
    AppendLogLine("(+) \\SLIDES directory is now empty and was removed from the program path.");
}

} // namespace kestovan
