// The removal of what is left of Tavori Viewer once its program directory
// is gone (deleted by hand, a cancelled or crashed removal, a broken setup):
// the steps of RemoveViewer for everything that does not live in the
// program directory, each taken only where discovery found its trace.

#include "state/MainModule.h"
#include "state/Text.h"
#include "state/Traces.h"
#include "state/ViewerFiles.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace kestovan {

namespace {

using viewer::Handler;
using viewer::HandlerData;
using viewer::HandlerSetup;
using viewer::ViewerImageClass;
using viewer::Wallpaper;

constexpr const char* ClassesRoot = "HKEY_CLASSES_ROOT\\";

} // namespace

// The associations found leading to the viewer's classes are emptied with
// one change to the registry (one write of its file, not one per extension).
// When that change cannot be made, each extension is tried on its own, so
// that every one that fails is told and logged by name.
void MainModule::EmptyAssociations(const ViewerTraces& traces) {
    std::vector<std::string> extensions;
    for (const Trace& trace : traces.items)
        if (trace.kind == TraceKind::Association)
            extensions.push_back(trace.where.substr(std::string(ClassesRoot).size()));
    if (extensions.empty())
        return;
    std::vector<std::pair<std::string, std::string>> emptied;
    for (const std::string& extension : extensions)
        emptied.emplace_back(extension, "");
    const bool together = platform_.RegSetDefaults(hkey::ClassesRoot, emptied) == ErrorSuccess;
    DoEvents();
    for (const std::string& extension : extensions) {
        if (together || AssociateExtension(extension, ViewerImageClass)) {
            AppendLogLine("(+) The file association of " + extension +
                          ", which led to Tavori Viewer, was emptied.");
        } else {
            State.ProblemsFound = True;
            AppendLogLine("(-) The file association of " + extension +
                          ", which leads to Tavori Viewer, could not be emptied.");
        }
    }
}

void MainModule::RemoveLeftovers(const ViewerTraces& traces, bool followUp) {
    auto& s = State;
    if (s.CrLf.empty()) {
        s.CrLf = "\r\n";
        s.CrLf2 = s.CrLf + s.CrLf;
    }
    if (s.StartPath.empty())
        s.StartPath = WithTrailingBackslash(platform_.AppPath());
    s.SelectedApp = "Tavori Viewer";
    if (!followUp) {
        s.ProblemsFound = False;
        s.StatusLog = s.CrLf + ">>  Tavori Viewer KESTOVAN  (Date/Time: " + platform_.Now() +
                      ")  <<" + s.CrLf2;
    }

    const std::string windowsDir = GetWindowsDir();
    const std::string systemDir = GetSystemDir();
    auto found = [&](TraceKind kind, const std::string& where) { return traces.Has(kind, where); };
    try {
        // Steps 20, 22 to 25, 28, 29 and 31, under the "continue anyway"
        // handler of the files.
        auto fileStep = [&](TraceKind kind, const std::string& path, const std::string& line) {
            if (!found(kind, path))
                return;
            DeleteAndReport(path, line);
            Checkpoint();
        };
        fileStep(TraceKind::WindowsFile, windowsDir + "SETUPTMP.EXE",
                 "(*) The Tavori Viewer main setup program temp file (SetupTMP.EXE) was REMOVED.");
        if (!systemDir.empty()) {
            fileStep(TraceKind::SystemFile, systemDir + Handler,
                     "(+) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) was REMOVED.");
            fileStep(TraceKind::SystemFile, systemDir + HandlerSetup,
                     "(*) The Screen Saver Handler setup file (TViewSCR.SCR) should not have been "
                     "in your " +
                         systemDir + ", it was REMOVED.");
        }
        fileStep(TraceKind::WindowsFile, windowsDir + Handler,
                 "(*) The Screen Saver Handler (Tavori Viewer Screen Saver.SCR) should have been "
                 "located in your " +
                     systemDir + " directory instead of your " + windowsDir +
                     " directory, it was REMOVED.");
        fileStep(TraceKind::WindowsFile, windowsDir + HandlerSetup,
                 "(*) The Screen Saver Handler setup file (TViewSCR.SCR) should not have been in "
                 "your " +
                     windowsDir + ", it was REMOVED.");
        if (!systemDir.empty())
            fileStep(TraceKind::SystemFile, systemDir + HandlerData,
                     "(+) The Screen Saver Handler's data file (TViewSCR.DAT) was REMOVED.");
        fileStep(TraceKind::WindowsFile, windowsDir + HandlerData,
                 "(*) The Screen Saver Handler's data file (TVIEWSCR.DAT) should have been "
                 "located in your " +
                     systemDir + " directory instead of your " + windowsDir +
                     " directory, it was REMOVED.");
        // Discovery names the wallpaper only when it is not the desktop's.
        if (found(TraceKind::WindowsFile, windowsDir + Wallpaper)) {
            s.Answer = static_cast<std::int16_t>(
                MsgBox("Delete the following Tavori Viewer Wallpaper file?" + s.CrLf2 + windowsDir +
                           Wallpaper,
                       forms::MbYesNoQuestion));
            if (s.Answer == AnswerYes)
                DeleteAndReport(windowsDir + Wallpaper,
                                "(*) The Tavori Viewer Wallpaper file (Tavori Viewer "
                                "Wallpaper.BMP) located in your " +
                                    windowsDir + " directory was REMOVED.");
            Checkpoint();
        }

        // Step 37 for each group found: the recorded one, or one that holds
        // nothing but the viewer's shortcuts and is no link.
        for (const Trace& trace : traces.items) {
            if (trace.kind != TraceKind::StartMenuGroup || followUp)
                continue;
            const bool removable =
                trace.state == "recorded in tavori.ini" ||
                std::find(traces.removableGroups.begin(), traces.removableGroups.end(),
                          trace.where) != traces.removableGroups.end();
            if (!removable) {
                AppendLogLine("(-) The Start Menu Programs folder " + trace.where +
                              " was not removed: it " +
                              (trace.state == "is a link, kept" ? std::string("is a link.")
                               : trace.state == "a system folder, kept"
                                   ? std::string("is a system folder.")
                                   : std::string("also holds other shortcuts.")));
                continue;
            }
            leftoverGroup_ = trace.where;
            try {
                RemoveStartMenuGroup();
            } catch (const RuntimeError&) {
                s.ProblemsFound = True;
                MsgBox("An error occured while trying to remove the Tavori Viewer shortcuts from "
                       "the start menu...",
                       forms::MbOkInformation);
                AppendLogLine("(-) The Tavori Viewer Start Menu Programs folder and shortcuts "
                              "could not be removed.");
            }
            leftoverGroup_.reset();
        }

        // Step 38, for each shortcut found.
        for (const Trace& trace : traces.items) {
            if (trace.kind != TraceKind::Shortcut)
                continue;
            try {
                platform_.Kill(trace.where);
                AppendLogLine("(+) The Tavori Viewer shortcut " + trace.where + " was removed.");
            } catch (const RuntimeError&) {
                s.ProblemsFound = True;
                MsgBox("An error occured while trying to remove the Tavori Viewer shortcuts from "
                       "the top of your start menu and/or desktop...",
                       forms::MbOkInformation);
                AppendLogLine("(-) The Tavori Viewer shortcuts could not be removed from your "
                              "desktop and/or the top of your Start Menu.");
            }
            DoEvents();
        }

        // Steps 39 and 40: the settings, the class keys and the associations
        // that lead to them.  With tavori.ini gone, the saved class of an
        // extension is unknown: it gets the empty string, as the restore
        // gives an extension whose saved class is the viewer's own.
        const bool classKeys =
            found(TraceKind::ClassKey, std::string(ClassesRoot) + "TavoriViewer") ||
            found(TraceKind::ClassKey, std::string(ClassesRoot) + ".tvs");
        if (traces.Has(TraceKind::Settings) || traces.Has(TraceKind::ClassKey) ||
            traces.Has(TraceKind::Association)) {
            try {
                auto deleteClassKey = [&](const char* key) {
                    s.ApiResult =
                        static_cast<std::int32_t>(platform_.RegDeleteKeyA(hkey::ClassesRoot, key));
                    if (s.ApiResult != 0 && s.ApiResult != ErrorFileNotFound)
                        throw RuntimeError(static_cast<int>(s.ApiResult), "");
                };
                Checkpoint();
                if (traces.Has(TraceKind::Settings)) {
                    try {
                        platform_.DeleteSetting("TViewer", "Settings");
                    } catch (const RuntimeError& error) {
                        if (error.Number() != err::InvalidProcedureCall ||
                            !platform_.GetSetting("TViewer", "Settings", "EXEPath", "").empty())
                            throw;
                    }
                    AppendLogLine(
                        "(+) Tavori Viewer settings in the system registry have been removed.");
                    Checkpoint();
                }
                if (classKeys) {
                    deleteClassKey("TavoriViewer");
                    DoEvents();
                    deleteClassKey(".tvs");
                    DoEvents();
                    AppendLogLine("(+) Tavori Viewer Slide Show files (.TVS) are no longer "
                                  "associated to Tavori Viewer.");
                }
                EmptyAssociations(traces);
                if (found(TraceKind::ClassKey, std::string(ClassesRoot) + ViewerImageClass)) {
                    deleteClassKey(ViewerImageClass);
                    DoEvents();
                    AppendLogLine("(+) The Tavori Viewer image class (TavoriViewer.Image) was "
                                  "removed.");
                }
            } catch (const RuntimeError& error) {
                s.ProblemsFound = True;
                const std::string opening = "occurred while attempting to remove Tavori Viewer "
                                            "settings from the system registry.  The stored "
                                            "values will be left behind, there are only a couple "
                                            "of small entries.";
                if (!error.Text().empty())
                    MsgBox("An error " + opening + " " + s.CrLf2 + error.Text() + "...",
                           forms::MbOkInformation);
                else
                    MsgBox("An unknown error " + opening, forms::MbOkInformation);
                AppendLogLine(
                    "(-) All Tavori Viewer system registry entries could not be removed.");
            }
        }

        // Step 41, then the finish line.
        Checkpoint();
        if (traces.Has(TraceKind::TemporaryFile)) {
            AppendLogLine("(*) Locating and deleting any remaining Tavori Viewer temporary files.");
            for (const Trace& trace : traces.items)
                if (trace.kind == TraceKind::TemporaryFile)
                    TryIgnore([&] { platform_.Kill(trace.where); });
        }
        DoEvents();
        if (!followUp)
            s.StatusLog += s.CrLf + ">>  Finished removing Tavori Viewer files...  (Date/Time: " +
                           platform_.Now() + ")  <<" + s.CrLf2;
    } catch (const RunEnds&) {
    }
}

} // namespace kestovan
