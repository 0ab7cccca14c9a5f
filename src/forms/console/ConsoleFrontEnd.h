#pragma once

#include "forms/FrontEnd.h"

#include <chrono>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestovan::forms {

class Control;

// Shows the program on a text console: message boxes as framed boxes, dialogs
// as text panels, and the user's commands read one a line.  A command is an
// answers-file action (Form.Control click, ...) or a short form: a number
// (a list entry, an option button or a clickable label, as numbered on the
// panel), an access key letter (the button or option button whose caption
// marks it with '&'), "close", or "?" for the window's keys.  What a person
// reads names windows and buttons by their captions, never by the names the
// program gives them; a one-line hint under each window says what to type.
//
// A question asked with DefaultAnswer::Refused takes no Enter default: y or
// n must be typed.  While the wait window works (it is on top, and its
// Cancel button is live), Cancel typed at a question is refused with a line
// saying when it can be pressed.
//
// At the end of the input every message box takes its safe answer (OK, or No
// for a Yes/No question) and every dialog is closed by its Close box; a
// dialog that refuses to close then raises AnswersError.
class ConsoleFrontEnd : public FrontEnd {
public:
    // inputWaiting, when given, tells whether a line can be read at once:
    // DoEvents then carries out a command typed while the program works
    // (the Cancel of the wait window), looking for one every LookInterval.
    // preview says that the run changes nothing: every window and message
    // box is headed by PreviewBanner.
    ConsoleFrontEnd(std::istream& in, std::ostream& out, std::function<bool()> inputWaiting = {},
                    bool preview = false);

    static constexpr const char* PreviewBanner = "PREVIEW \u2014 nothing will be changed";

    static constexpr std::chrono::milliseconds LookInterval{100};

    int MsgBox(const std::string& prompt, int buttons, const std::string& title) override;
    int MsgBoxWithoutDefault(const std::string& prompt, int buttons,
                             const std::string& title) override;
    void DoEvents(FormRuntime& runtime) override;
    void FormShown(FormRuntime& runtime, Form& form, bool modal) override;
    void FormHidden(FormRuntime& runtime, Form& form) override;
    void RunModal(FormRuntime& runtime, Form& form) override;
    void RunEventLoop(FormRuntime& runtime) override;

private:
    // A numbered entry of a panel.
    struct Choice {
        Control* control = nullptr;
        int listIndex = -1; // list entry, else -1
    };

    std::optional<std::string> ReadLine();
    int Ask(const std::string& prompt, int buttons, const std::string& title, bool enterAnswers);
    void Draw(const Form& form);
    std::vector<Choice> Choices(const Form& form) const;
    std::string Hint(const Form& form) const;
    void PrintKeys(const Form& form) const;
    // The window that works while a question waits: on top, not the one
    // whose command is being carried out, with a live Cancel button.
    const Form* WorkingWindow() const;
    // Reads and carries out one command addressed to form; the modal flag
    // restricts full actions to that form.
    void Command(FormRuntime& runtime, Form& form, bool modal);
    // Carries out the command line typed for form.
    void CarryOut(FormRuntime& runtime, Form& form, bool modal, const std::string& line);
    void CloseAtEndOfInput(FormRuntime& runtime, Form& form);
    Form* Topmost(const FormRuntime& runtime) const;

    std::istream& in_;
    std::ostream& out_;
    std::function<bool()> inputWaiting_;
    std::chrono::steady_clock::time_point nextLook_{};
    bool preview_ = false;
    bool takingTypedCommand_ = false;
    bool endOfInput_ = false;
    const Form* panelShown_ = nullptr; // the panel is the last thing on the screen
    std::vector<const Form*> shown_;   // visible forms in the order they were shown
    const Form* commandFor_ = nullptr; // the form whose command is being carried out
};

} // namespace kestovan::forms
