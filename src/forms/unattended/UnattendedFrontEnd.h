#pragma once

#include "forms/Action.h"
#include "forms/FrontEnd.h"

#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace kestovan::forms {

// Answers every message box and dialog from an answers file: one action a
// line, blank lines and lines beginning with '#' skipped, consumed in order.
// Nothing is drawn.  A line that does not fit what is waiting, or running out
// of lines, raises AnswersError naming the line and what was waiting.
//
// A line `Form.Control click after "TEXT"` directly following the show of
// Form is taken at once and armed: the click happens at the first DoEvents
// after a status log line holding TEXT was appended (statusLog gives the
// whole log as it stands; it is read only while a click is armed, and
// DoEvents costs nothing otherwise).
class UnattendedFrontEnd : public FrontEnd {
public:
    UnattendedFrontEnd(std::istream& answers, std::string answersName,
                       std::function<const std::string&()> statusLog);

    int MsgBox(const std::string& prompt, int buttons, const std::string& title) override;
    void DoEvents(FormRuntime& runtime) override;
    void FormShown(FormRuntime& runtime, Form& form, bool modal) override;
    void FormHidden(FormRuntime& runtime, Form& form) override;
    void RunModal(FormRuntime& runtime, Form& form) override;
    void RunEventLoop(FormRuntime& runtime) override;

private:
    struct Line {
        int number = 0;
        std::string text;
    };
    struct ArmedClick {
        DialogAction action;
        std::size_t base = 0;     // log length when armed: only text after it counts
        std::size_t searched = 0; // log length already searched
    };

    const Line* Peek();
    Line Take(const std::string& waiting);
    [[noreturn]] void Fail(const Line& line, const std::string& problem,
                           const std::string& waiting) const;
    // Takes one dialog action; modalForm, when given, is the only form it
    // may address.
    void TakeAction(FormRuntime& runtime, Form* modalForm, const std::string& waiting);
    void FireArmedClicks(FormRuntime& runtime);

    std::istream& answers_;
    std::string answersName_;
    std::function<const std::string&()> statusLog_;
    int physicalLine_ = 0;
    std::optional<Line> lookahead_;
    std::vector<ArmedClick> armed_;
};

} // namespace kestovan::forms
