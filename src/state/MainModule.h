#pragma once

#include "forms/FormRuntime.h"
#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"
#include "state/ProgramState.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestovan {

struct ViewerTraces;

namespace dialogs {
class RemoveFrm;
class SelectDirFrm;
class RemoveWaitFrm;
class RemoveDoneFrm;
class ShortcutFrm;
} // namespace dialogs

// The program's one code module: the program state, the routines that share
// it, and the five dialogs (single instances, created on first use).
class MainModule {
public:
    MainModule(PlatformServices& platform, forms::FormRuntime& runtime);
    ~MainModule();
    MainModule(const MainModule&) = delete;
    MainModule& operator=(const MainModule&) = delete;

    ProgramState State;

    PlatformServices& Platform() const { return platform_; }
    forms::FormRuntime& Runtime() const { return runtime_; }

    // The dialogs; each is created on first use.  A form that was unloaded is
    // created afresh on its next use.
    dialogs::RemoveFrm& RemoveFrm();
    dialogs::SelectDirFrm& SelectDirFrm();
    dialogs::RemoveWaitFrm& RemoveWaitFrm();
    dialogs::RemoveDoneFrm& RemoveDoneFrm();
    dialogs::ShortcutFrm& ShortcutFrm();

    // --- Start-up -----------------------------------------------------------
    void Main();
    void ShowCancelNotice();
    std::string GetWindowsDir();
    std::string GetSystemDir();

    // --- Install records ----------------------------------------------------
    void ReadRegistryPaths();
    void ReadPreferencesFile();
    void ForgetApplication(std::string name);

    // --- Removal runs -------------------------------------------------------
    void RemoveViewer();
    void RemoveSound();
    void RemoveNotes();
    // The removal of what is left of the viewer when its installation is
    // gone: every step of RemoveViewer whose trace discovery found outside
    // the program directory, with the same questions and log lines, and a
    // line for each removal that RemoveViewer makes without one.
    // A follow-up after a finished RemoveViewer appends its lines to that
    // run's log (no header, no finish line) and leaves the Start Menu group
    // as the run left it.
    void RemoveLeftovers(const ViewerTraces& traces, bool followUp = false);

    // Routines of the removal steps.
    std::string GetShortPath(const std::string& path);
    std::string GetCurrentWallpaper();
    std::string FindStartMenuGroup();
    // Points extension at className (nothing for an empty name); a failure is
    // told in a message box.  True unless the association could not be written.
    bool AssociateExtension(const std::string& extension, const std::string& className);
    std::string GetTempDir();

    // --- Run-time helpers shared by the routines and dialogs ---------------
    int MsgBox(const std::string& prompt, int buttons,
               forms::DefaultAnswer defaultAnswer = forms::DefaultAnswer::Allowed);
    void DoEvents();
    [[noreturn]] void End();
    void SetMousePointer(int pointer);
    // Unloads a dialog that exists and is loaded; never loads one.
    void UnloadIfLoaded(forms::Form* form);
    forms::Form* RemoveWaitFrmIfLoaded() const;
    forms::Form* RemoveFrmIfLoaded() const;
    // Appends one step line and CrLf to the status log.
    void AppendLogLine(const std::string& line);

private:
    // Step groups of the removal run (one unit each).
    void RemoveProgramFiles();           // steps 1-21
    void RemoveScreenSaverAndArchives(); // steps 22-32
    void RemoveSlideShowsAndMedia();     // steps 33-35
    void RemoveSlidesDirectory();        // step 36
    bool RemoveStartMenuGroup();         // step 37; false when step 38 is to be skipped
    void RemoveDesktopShortcuts();       // step 38
    void RemoveRegistrySettings();       // steps 39-40
    void RemoveTemporaryFiles();         // step 41
    void RemovePreferencesFile();        // step 42

public:
    // --- The removal run's frame, for the step groups ----------------------
    // Ends the run at once (thrown by a checkpoint or by the region 1
    // handler's No); caught by RemoveViewer.  Not a RuntimeError.
    struct RunEnds {};
    // DoEvents, then ends the run, after the canceled line, when
    // CancelRequested is True.
    void Checkpoint();
    // Appends the canceled line to the status log.
    void LogCanceled();
    // Runs one action under the "continue anyway" handler: true when the
    // action succeeded, false when it failed and the user chose to continue;
    // a No throws RunEnds after the canceled line.
    bool TryContinueAnyway(const std::function<void()>& action);
    // Tests of the file steps under the "continue anyway" handler.  A test
    // that fails goes on as though its condition held.
    bool TestPresent(const std::string& path, int attributes);
    bool TestAbsent(const std::string& path, int attributes);
    // Kill under the "continue anyway" handler, then the step's removal line,
    // or the not-removed line when the deletion failed.
    void DeleteAndReport(const std::string& path, const std::string& removedLine);
    static std::string NotRemovedLine(const std::string& path);
    // Empties every association discovery found leading to the viewer.
    void EmptyAssociations(const ViewerTraces& traces);
    // Runs one action with its failure ignored; true when it succeeded.
    static bool TryIgnore(const std::function<void()>& action);

private:
    template <class Form> Form& Instance(std::unique_ptr<Form>& slot);

    PlatformServices& platform_;
    forms::FormRuntime& runtime_;
    std::unique_ptr<dialogs::RemoveFrm> removeFrm_;
    std::unique_ptr<dialogs::SelectDirFrm> selectDirFrm_;
    std::unique_ptr<dialogs::RemoveWaitFrm> removeWaitFrm_;
    std::unique_ptr<dialogs::RemoveDoneFrm> removeDoneFrm_;
    std::unique_ptr<dialogs::ShortcutFrm> shortcutFrm_;
    // The group the leftover run removes (FindStartMenuGroup gives it).
    std::optional<std::string> leftoverGroup_;
};

} // namespace kestovan
