#pragma once

#include <exception>
#include <string>
#include <utility>

namespace kestovan::forms {

class Form;
class FormRuntime;

// Message box results.
inline constexpr int IdOk = 1;
inline constexpr int IdYes = 6;
inline constexpr int IdNo = 7;

// Whether a question may be answered with its default button alone (Enter
// on the console).  Questions whose Yes deletes the user's own files, or
// the current desktop wallpaper, want the answer typed.
enum class DefaultAnswer { Allowed, Refused };

// A way of showing the program to a person or a script: draws message boxes
// and forms and delivers the user's actions as events through the runtime.
// It holds no program logic.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // Shows a modal message box and returns the button pressed (1, 6 or 7).
    virtual int MsgBox(const std::string& prompt, int buttons, const std::string& title) = 0;
    // The same for a question with DefaultAnswer::Refused; a front end
    // without a default answer of its own shows it as any other.
    virtual int MsgBoxWithoutDefault(const std::string& prompt, int buttons,
                                     const std::string& title) {
        return MsgBox(prompt, buttons, title);
    }

    // Lets pending user input run its handlers (through runtime.Deliver).
    virtual void DoEvents(FormRuntime& runtime) = 0;

    // Called after a form was loaded and made visible.
    virtual void FormShown(FormRuntime& runtime, Form& form, bool modal) = 0;
    // Called after a form was hidden or unloaded.
    virtual void FormHidden(FormRuntime& runtime, Form& form) = 0;

    // Delivers user actions until `form` is no longer visible (modal Show).
    virtual void RunModal(FormRuntime& runtime, Form& form) = 0;
    // Delivers user actions while any form is visible (after start-up).
    virtual void RunEventLoop(FormRuntime& runtime) = 0;

    virtual void MousePointerChanged(int pointer) { (void)pointer; }
};

// Raised by a front end that cannot go on: an answers file that ran out or
// did not fit what was asked.  The program ends with exit status 2.
class AnswersError : public std::exception {
public:
    explicit AnswersError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace kestovan::forms
