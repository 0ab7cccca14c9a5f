#pragma once

#include "forms/Action.h"
#include "forms/FrontEnd.h"
#include "forms/unattended/AnswerSource.h"

#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestovan::forms {

// Answers every message box and dialog from an answer source (an answers
// file, or a policy): one action at a time, in the answers file's words.
// Nothing is drawn.  An answer that does not fit what is waiting, or a
// source with no answer left, raises AnswersError naming the answer and what
// was waiting.
//
// A line `Form.Control click after "TEXT"` directly following the show of
// Form is taken at once and armed: the click happens at the first DoEvents
// after a status log line holding TEXT was appended (statusLog gives the
// whole log as it stands; it is read only while a click is armed, and
// DoEvents costs nothing otherwise).
class UnattendedFrontEnd : public FrontEnd {
public:
    // Answers from an answers file.
    UnattendedFrontEnd(std::istream& answers, std::string answersName,
                       std::function<const std::string&()> statusLog);
    UnattendedFrontEnd(std::unique_ptr<AnswerSource> source,
                       std::function<const std::string&()> statusLog);

    int MsgBox(const std::string& prompt, int buttons, const std::string& title) override;
    void DoEvents(FormRuntime& runtime) override;
    void FormShown(FormRuntime& runtime, Form& form, bool modal) override;
    void FormHidden(FormRuntime& runtime, Form& form) override;
    void RunModal(FormRuntime& runtime, Form& form) override;
    void RunEventLoop(FormRuntime& runtime) override;

private:
    using Line = AnswerLine;
    struct ArmedClick {
        DialogAction action;
        std::size_t base = 0;     // log length when armed: only text after it counts
        std::size_t searched = 0; // log length already searched
    };

    // The source's answer, or AnswersError when it has none.
    Line Require(std::optional<Line> answer, const std::string& waiting) const;
    [[noreturn]] void Fail(const Line& line, const std::string& problem,
                           const std::string& waiting) const;
    // Takes one dialog action; modalForm, when given, is the only form it
    // may address.
    void TakeAction(FormRuntime& runtime, Form* modalForm, const std::string& waiting);
    void FireArmedClicks(FormRuntime& runtime);

    std::unique_ptr<AnswerSource> source_;
    std::function<const std::string&()> statusLog_;
    std::vector<ArmedClick> armed_;
};

} // namespace kestovan::forms
