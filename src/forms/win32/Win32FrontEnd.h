#pragma once

#include "forms/FrontEnd.h"

#include <memory>

namespace kestovan::forms {

// Draws every form as a native window built from its control model
// (positions in twips, 15 twips to the pixel), message boxes through
// MessageBoxA, and turns the user's clicks, selections and keys into the
// same actions the answers file names, performed in the program's own
// message loop (never inside a window procedure, so that a handler may end
// the program or raise a run-time error).  The model is the truth: the
// native controls are brought up to date from it whenever messages are
// pumped.
class Win32FrontEnd : public FrontEnd {
public:
    Win32FrontEnd();
    ~Win32FrontEnd() override;
    Win32FrontEnd(const Win32FrontEnd&) = delete;
    Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;

    int MsgBox(const std::string& prompt, int buttons, const std::string& title) override;
    void DoEvents(FormRuntime& runtime) override;
    void FormShown(FormRuntime& runtime, Form& form, bool modal) override;
    void FormHidden(FormRuntime& runtime, Form& form) override;
    void RunModal(FormRuntime& runtime, Form& form) override;
    void RunEventLoop(FormRuntime& runtime) override;
    void MousePointerChanged(int pointer) override;

    // Handles the window messages waiting (repaints, the system's checks
    // that the program answers) without performing any user action: clicks
    // and keys stay queued for the next DoEvents.  For long platform calls,
    // inside which no event handler of the program may run.
    void AnswerMessages();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace kestovan::forms
