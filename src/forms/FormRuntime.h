#pragma once

#include "forms/Form.h"
#include "forms/FrontEnd.h"
#include "forms/Transcript.h"

#include <functional>
#include <string>
#include <vector>

namespace kestovan {
class PlatformServices;
}

namespace kestovan::forms {

// Thrown by End: unwinds to main(), which ends the program with status 0.
// Deliberately not a RuntimeError, so that no error handler can catch it.
struct EndProgram {};

// Message box button values used by the program.
inline constexpr int MbOkCritical = 16;
inline constexpr int MbYesNoQuestion = 36;
inline constexpr int MbOkExclamation = 48;
inline constexpr int MbOkInformation = 64;
inline constexpr int MbYesNoExclamationDefaultNo = 308;

// Mouse pointers.
inline constexpr int PointerDefault = 0;
inline constexpr int PointerHourglass = 11;
inline constexpr int PointerArrowHourglass = 13;

// The dialog run-time: message boxes, DoEvents, the busy pointer, Show,
// Hide, Unload and End, on top of one front end.  It keeps track of the
// loaded forms so that front ends can address them by name.
class FormRuntime {
public:
    FormRuntime(PlatformServices& platform, FrontEnd& frontEnd, Transcript* transcript);

    PlatformServices& Platform() const { return platform_; }
    FrontEnd& Front() const { return frontEnd_; }
    Transcript* Record() const { return transcript_; }

    int MsgBox(const std::string& prompt, int buttons, const std::string& title,
               DefaultAnswer defaultAnswer = DefaultAnswer::Allowed);
    void DoEvents();

    int MousePointer() const { return mousePointer_; }
    void SetMousePointer(int pointer);

    // Loads the form (running Form_Load once) without showing it.
    void Load(Form& form);
    // Show with 1 is modal: returns when the form is hidden or unloaded.
    void Show(Form& form, int modal = 0);
    void Hide(Form& form);
    // Unload from code: Form_QueryUnload (mode 1), then Form_Unload.
    // Returns false when a handler refused.
    bool Unload(Form& form);
    // The window's Close box: Form_QueryUnload (mode 0), then Form_Unload.
    bool Close(Form& form);
    [[noreturn]] void End();

    // Loaded forms, in the order they were loaded.
    const std::vector<Form*>& LoadedForms() const { return loaded_; }
    Form* FindLoaded(const std::string& name) const;

    // Observers of form shows (the app uses one to write the status log file).
    void OnShow(std::function<void(Form&)> observer);
    // Observers of DoEvents, told after the front end has delivered its
    // events (the app uses one to press Cancel on a stop signal).
    void OnDoEvents(std::function<void()> observer);

    // Drops a form that is being destroyed from the loaded forms, without
    // any event (called by ~Form).
    void Forget(Form& form);

private:
    bool UnloadWithMode(Form& form, int mode);

    PlatformServices& platform_;
    FrontEnd& frontEnd_;
    Transcript* transcript_;
    int mousePointer_ = PointerDefault;
    std::vector<Form*> loaded_;
    std::vector<std::function<void(Form&)>> showObservers_;
    std::vector<std::function<void()>> doEventsObservers_;
};

} // namespace kestovan::forms
