#include "state/MainModule.h"
#include "state/Text.h"
#include "state/ViewerFiles.h"

#include <algorithm>
#include <array>

namespace kestovan {

namespace {

using viewer::Handler;
using viewer::HandlerData;
using viewer::HandlerSetup;
using viewer::Wallpaper;

struct Archive {
    const char* file;
    const char* prompt; // the last archive's prompt is built with the directory
    const char* removedLine;
};

constexpr std::array<Archive, 10> Archives{{
    {"TVIEW105.ZIP", "Delete the shareware version 1.0.5 Tavori Viewer ZIP file TVIEW105.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW105.ZIP), shareware version 1.0.5, was REMOVED."},
    {"TVIEW11S.ZIP", "Delete the shareware version 1.1.X Tavori Viewer zip file TVIEW11S.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW11S.ZIP), shareware version 1.1.X, was REMOVED."},
    {"TVIEW11R.ZIP", "Delete the registered version 1.1.X Tavori Viewer zip file TVIEW11R.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW11R.ZIP), registered version 1.1.X, was REMOVED."},
    {"TVIEW12R.ZIP", "Delete the registered version 1.2.X Tavori Viewer zip file TVIEW12R.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW12R.ZIP), registered version 1.2.X, was REMOVED."},
    {"TVIEW12S.ZIP", "Delete the shareware version 1.2.X Tavori Viewer zip file TVIEW12S.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW12S.ZIP), shareware version 1.2.X, was REMOVED."},
    {"TVIEW13R.ZIP", "Delete the registered version 1.3.X Tavori Viewer zip file TVIEW13R.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW13R.ZIP), registered version 1.3.X, was REMOVED."},
    {"TVIEW13S.ZIP", "Delete the shareware version 1.3.X Tavori Viewer zip file TVIEW13S.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW13S.ZIP), shareware version 1.3.X, was REMOVED."},
    {"TVIEW14R.ZIP", "Delete the registered version 1.4.X Tavori Viewer zip file TVIEW14R.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW14R.ZIP), registered version 1.4.X, was REMOVED."},
    {"TVIEW15R.ZIP", "Delete the registered version 1.5.X Tavori Viewer zip file TVIEW15R.ZIP?",
     "(*) The Tavori Viewer ZIP file (TVIEW15R.ZIP), registered version 1.5.X, was REMOVED."},
    {"TVIEWER.ZIP", nullptr, "(*) The Tavori Viewer ZIP file (TVIEWER.ZIP) was REMOVED."},
}};

} // namespace

std::string MainModule::GetShortPath(const std::string& path) {
    // Never raises: a failure shows as an empty result.
    std::string buffer(300, ' ');
    std::uint32_t count = 0;
    TryIgnore([&] { count = platform_.GetShortPathNameA(path, buffer, 300); });
    if (count == 0)
        return {};
    return Trim(std::string_view(buffer).substr(0, std::min<std::size_t>(count, buffer.size())));
}

std::string MainModule::GetCurrentWallpaper() {
    // Never raises: a failure shows as an empty result.
    auto& s = State;
    std::string buffer(128, ' ');
    s.ApiResult = 0;
    TryIgnore([&] {
        s.ApiResult = static_cast<std::int32_t>(
            platform_.GetPrivateProfileStringA("Desktop", "Wallpaper", "", buffer, 128, "win.ini"));
    });
    if (s.ApiResult <= 0)
        return {};
    const std::string value = Trim(std::string_view(buffer).substr(
        0, std::min<std::size_t>(static_cast<std::size_t>(s.ApiResult), buffer.size())));
    if (value.empty() || value == "(None)")
        return {};
    bool exists = false;
    TryIgnore([&] { exists = !platform_.Dir(value, attr::Normal).empty(); });
    return exists ? value : std::string();
}

void MainModule::RemoveScreenSaverAndArchives() {
    auto& s = State;

    // When the system directory cannot be determined, nothing is looked for
    // there: a bare file name would be taken from whatever directory happens
    // to be current.  The lines name the (empty) directory as they always did.
    auto inSystemDirAbsent = [&](const std::string& systemDir, const char* file) {
        return systemDir.empty() || TestAbsent(systemDir + file, attr::Normal);
    };
    auto inSystemDirPresent = [&](const std::string& systemDir, const char* file) {
        return !systemDir.empty() && TestPresent(systemDir + file, attr::Normal);
    };

    // Step 22: the handler where it belongs.
    {
        const std::string systemDir = GetSystemDir();
        if (inSystemDirAbsent(systemDir, Handler)) {
            s.ProblemsFound = True;
            AppendLogLine("(-) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) could not "
                          "be found in your " +
                          systemDir + " directory where it belongs.");
        } else {
            DeleteAndReport(systemDir + Handler, "(+) The Screen Saver Handler (Tavori Viewer "
                                                 "Screen Saver.SCR) was REMOVED.");
        }
        Checkpoint();
    }

    // Step 23: the handler's setup copy in the system directory.
    {
        const std::string systemDir = GetSystemDir();
        if (inSystemDirPresent(systemDir, HandlerSetup))
            DeleteAndReport(
                systemDir + HandlerSetup,
                "(*) The Screen Saver Handler setup file (TViewSCR.SCR) should not have "
                "been in your " +
                    systemDir + ", it was REMOVED.");
        Checkpoint();
    }

    // Step 24: the handler in the Windows directory.
    {
        const std::string windowsDir = GetWindowsDir();
        if (TestPresent(windowsDir + Handler, attr::Normal)) {
            const std::string systemDir = GetSystemDir();
            DeleteAndReport(windowsDir + Handler,
                            "(*) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) should "
                            "have been located in your " +
                                systemDir + " directory instead of your " + windowsDir +
                                " directory, it was REMOVED.");
        }
        Checkpoint();
    }

    // Step 25: the setup copy in the Windows directory.
    {
        const std::string windowsDir = GetWindowsDir();
        if (TestPresent(windowsDir + HandlerSetup, attr::Normal))
            DeleteAndReport(
                windowsDir + HandlerSetup,
                "(*) The Screen Saver Handler setup file (TViewSCR.SCR) should not have "
                "been in your " +
                    windowsDir + ", it was REMOVED.");
        Checkpoint();
    }

    // Step 26: the handler in the program directory.
    if (TestPresent(s.RemovePath + Handler, attr::Normal))
        DeleteAndReport(s.RemovePath + Handler,
                        "(*) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) should not "
                        "have been the program directory, it was REMOVED.");
    Checkpoint();

    // Step 27: the setup copy in the program directory.
    if (TestPresent(s.RemovePath + HandlerSetup, attr::Normal))
        DeleteAndReport(s.RemovePath + HandlerSetup,
                        "(*) The Screen Saver Handler setup file (TViewSCR.SCR) was REMOVED from "
                        "the program directory.");
    Checkpoint();

    // Step 28: the data file where it belongs.
    {
        const std::string systemDir = GetSystemDir();
        if (inSystemDirAbsent(systemDir, HandlerData)) {
            s.ProblemsFound = True;
            AppendLogLine("(-) The Screen Saver Handler's data file (TViewSCR.DAT) could not be "
                          "found in your " +
                          systemDir + " directory where it belongs.");
        } else {
            DeleteAndReport(systemDir + HandlerData,
                            "(+) The Screen Saver Handler's data file (TViewSCR.DAT) was REMOVED.");
        }
        Checkpoint();
    }

    // Step 29: the data file in the Windows directory.
    {
        const std::string windowsDir = GetWindowsDir();
        if (TestPresent(windowsDir + HandlerData, attr::Normal)) {
            const std::string systemDir = GetSystemDir();
            DeleteAndReport(windowsDir + HandlerData,
                            "(*) The Screen Saver Handler's data file (TVIEWSCR.DAT) should have "
                            "been located in your " +
                                systemDir + " directory instead of your " + windowsDir +
                                " directory, it was REMOVED.");
        }
        Checkpoint();
    }

    // Step 30: the data file in the program directory.
    if (TestPresent(s.RemovePath + HandlerData, attr::Normal))
        DeleteAndReport(s.RemovePath + HandlerData,
                        "(*) The Screen Saver Handler's data file (TVIEWSCR.DAT) was REMOVED from "
                        "the program directory.");
    Checkpoint();

    // Step 31: the wallpaper, after a question.  The desktop's wallpaper
    // setting is left as it is, also when it names the deleted file.
    {
        const std::string windowsDir = GetWindowsDir();
        const std::string path = windowsDir + Wallpaper;
        if (TestPresent(path, attr::Normal)) {
            const bool current = UCase(GetShortPath(path)) == UCase(GetCurrentWallpaper());
            std::string prompt = "Delete the following Tavori Viewer Wallpaper file?" + s.CrLf2 +
                                 windowsDir + Wallpaper;
            if (current)
                prompt +=
                    s.CrLf2 + "NOTE:" + s.CrLf + "This is your current desktop wallpaper file...";
            // Deleting the current wallpaper wants a typed answer.
            s.Answer = static_cast<std::int16_t>(
                MsgBox(prompt, forms::MbYesNoQuestion,
                       current ? forms::DefaultAnswer::Refused : forms::DefaultAnswer::Allowed));
            if (s.Answer == AnswerYes)
                DeleteAndReport(path, "(*) The Tavori Viewer Wallpaper file (Tavori Viewer "
                                      "Wallpaper.BMP) located in your " +
                                          windowsDir + " directory was REMOVED.");
        }
        Checkpoint();
    }

    // Step 32: the archives of released versions, a question each and no
    // checkpoint between them.
    for (const Archive& archive : Archives) {
        const std::string path = s.RemovePath + archive.file;
        if (!TestPresent(path, attr::Normal))
            continue;
        const std::string prompt = archive.prompt != nullptr
                                       ? std::string(archive.prompt)
                                       : "Delete the following Tavori Viewer ZIP file?" + s.CrLf2 +
                                             s.RemovePath + "TVIEWER.ZIP?";
        s.Answer = static_cast<std::int16_t>(MsgBox(prompt, forms::MbYesNoQuestion));
        if (s.Answer == AnswerYes)
            DeleteAndReport(path, archive.removedLine);
    }
    Checkpoint();
}

} // namespace kestovan
