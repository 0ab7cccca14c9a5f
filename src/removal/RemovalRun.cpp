#include "state/MainModule.h"

namespace kestovan {

void MainModule::LogCanceled() {
    State.StatusLog +=
        State.CrLf + ">>  The KESTOVAN of Tavori Viewer was canceled.  <<" + State.CrLf;
}

void MainModule::Checkpoint() {
    DoEvents();
    if (State.CancelRequested == True) {
        // The log says that the run was stopped, and where: a report or log
        // file that just breaks off could be taken for a complete one.
        LogCanceled();
        throw RunEnds{};
    }
}

bool MainModule::TryContinueAnyway(const std::function<void()>& action) {
    auto& s = State;
    try {
        action();
        return true;
    } catch (const RuntimeError& error) {
        s.ProblemsFound = True;
        if (!error.Text().empty())
            s.Answer = static_cast<std::int16_t>(
                MsgBox("An error occurred while removing files:" + s.CrLf2 + error.Text() + "..." +
                           s.CrLf2 + "Do you want to continue anyway?",
                       forms::MbYesNoQuestion));
        else
            s.Answer = static_cast<std::int16_t>(
                MsgBox("An unexpected error occurred while removing files." + s.CrLf2 +
                           "Do you want to continue anyway?",
                       forms::MbYesNoQuestion));
        if (s.Answer == AnswerNo) {
            LogCanceled();
            throw RunEnds{};
        }
        AppendLogLine("(!) An unexpected error occurred, the KESTOVAN of Tavori Viewer was "
                      "continued anyway.");
        return false;
    }
}

void MainModule::RemoveViewer() {
    auto& s = State;
    s.ProblemsFound = False;
    s.StatusLog =
        s.CrLf + ">>  Tavori Viewer KESTOVAN  (Date/Time: " + platform_.Now() + ")  <<" + s.CrLf2;
    try {
        // Steps 1 to 35: every failure asks whether to continue.
        RemoveProgramFiles();
        RemoveScreenSaverAndArchives();
        RemoveSlideShowsAndMedia();

        // Step 36: a failure in the SLIDES sub-directory passes silently.
        try {
            RemoveSlidesDirectory();
        } catch (const RuntimeError&) {
        }

        // Step 37, then step 38 unless the group step ended early.
        bool removeShortcuts = false;
        try {
            removeShortcuts = RemoveStartMenuGroup();
        } catch (const RuntimeError&) {
            // The user is told that items were left behind: the report must
            // not call the removal a success.
            s.ProblemsFound = True;
            MsgBox("An error occured while trying to remove the Tavori Viewer shortcuts from the "
                   "start menu...",
                   forms::MbOkInformation);
            AppendLogLine("(-) The Tavori Viewer Start Menu Programs folder and shortcuts could "
                          "not be removed.");
            removeShortcuts = false;
        }
        if (removeShortcuts) {
            try {
                RemoveDesktopShortcuts();
            } catch (const RuntimeError&) {
                s.ProblemsFound = True;
                MsgBox("An error occured while trying to remove the Tavori Viewer shortcuts from "
                       "the top of your start menu and/or desktop...",
                       forms::MbOkInformation);
                AppendLogLine("(-) The Tavori Viewer shortcuts could not be removed from your "
                              "desktop and/or the top of your Start Menu.");
            }
        }

        // Steps 39 and 40.
        try {
            RemoveRegistrySettings();
        } catch (const RuntimeError& error) {
            s.ProblemsFound = True;
            const std::string opening = "occurred while attempting to remove Tavori Viewer "
                                        "settings from the system registry.  The stored values "
                                        "will be left behind, there are only a couple of small "
                                        "entries.";
            if (!error.Text().empty())
                MsgBox("An error " + opening + " " + s.CrLf2 + error.Text() + "...",
                       forms::MbOkInformation);
            else
                MsgBox("An unknown error " + opening, forms::MbOkInformation);
            AppendLogLine("(-) All Tavori Viewer system registry entries could not be removed.");
        }

        // Steps 41 to 43: failures are skipped silently.
        Checkpoint();
        RemoveTemporaryFiles();
        DoEvents();
        RemovePreferencesFile();
        s.StatusLog += s.CrLf + ">>  Finished removing Tavori Viewer files...  (Date/Time: " +
                       platform_.Now() + ")  <<" + s.CrLf2;
    } catch (const RunEnds&) {
    }
}

void MainModule::RemoveSound() {
    MsgBox("This feature has not been implemented yet, get a newer version of KESTOVAN.EXE...",
           forms::MbOkCritical);
}

void MainModule::RemoveNotes() {
    MsgBox("This feature has not been implemented yet, get a newer version of KESTOVAN.EXE...",
           forms::MbOkCritical);
}

} // namespace kestovan
