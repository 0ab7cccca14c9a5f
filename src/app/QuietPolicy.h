#pragma once

#include "forms/unattended/AnswerSource.h"
#include "platform/PlatformServices.h"
#include "state/ProgramState.h"

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>

namespace kestovan::app {

// Raised by the quiet policy when the machine holds nothing it would
// remove: no record names Tavori Viewer and no TVIEWER.EXE is where the
// removal would work.  The program ends without a change.
class NothingToRemove : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The answers of a quiet removal: remove Tavori Viewer from where its
// records place it, keep the user's own files.  Every question gets the
// answer the policy table gives it:
//  - welcome, warnings, notices and the report: Yes, OK, close;
//  - the installation: the start directory when its records name the viewer
//    or it holds TVIEWER.EXE, else the directory the settings store
//    registers for the viewer; the application: Tavori Viewer;
//  - "Are you sure?", the missing executable, "continue anyway", the
//    archives, the associations, another copy of KESTOVAN.EXE and the
//    emptied program directory: Yes;
//  - slide shows, pictures and sounds: No (Yes with removeUserFiles);
//  - the wallpaper file: No while it is the desktop's wallpaper, else Yes;
//  - the Start Menu group: Yes only when no other Tavori application is
//    recorded; the folder chooser: Don't Remove;
//  - deleting tavori.ini while other applications are recorded: No.
// The progress dialog's Cancel is never pressed.
class QuietPolicy : public forms::AnswerSource {
public:
    // state gives the program state once the program runs.
    QuietPolicy(std::function<const ProgramState&()> state, PlatformServices& platform,
                bool removeUserFiles);

    std::optional<forms::AnswerLine> ForMsgBox(const std::string& prompt, int buttons) override;
    std::optional<forms::AnswerLine> ForDialog(forms::FormRuntime& runtime,
                                               forms::Form* modalForm) override;
    std::optional<forms::AnswerLine> ForShownForm(const forms::Form& form) override;
    std::string Name() const override { return "the quiet policy"; }
    std::string Position() const override;

private:
    // The actions for a dialog, queued when it first waits.
    void Plan(forms::FormRuntime& runtime, forms::Form* modalForm);
    void PlanSelection();
    void PlanRemoval(forms::FormRuntime& runtime);
    bool NamesViewer() const;
    bool HoldsViewer(const std::string& directory) const;
    bool OtherApplicationRecorded() const;
    forms::AnswerLine Answer(std::string text);

    const ProgramState& State() const { return state_(); }

    std::function<const ProgramState&()> state_;
    PlatformServices& platform_;
    bool removeUserFiles_;
    int answered_ = 0;
    std::deque<std::string> planned_;
};

} // namespace kestovan::app
