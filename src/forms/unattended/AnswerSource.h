#pragma once

#include <istream>
#include <optional>
#include <string>

namespace kestovan::forms {

class Form;
class FormRuntime;

// One answer as an answers file writes it ("yes", "RemoveFrm.CmdRemove
// click"), with the number that names it in the transcript and in errors.
struct AnswerLine {
    int number = 0;
    std::string text;
};

// Where the unattended front end takes its answers from: an answers file,
// or a policy that decides from what is asked.  Both give answers in the
// answers file's words, so that everything after (checks, transcript) is
// the same for both.
class AnswerSource {
public:
    virtual ~AnswerSource() = default;

    // The answer to a message box; nullopt when the source has none left.
    virtual std::optional<AnswerLine> ForMsgBox(const std::string& prompt, int buttons) = 0;
    // The next action while dialogs wait: modalForm is the modal dialog
    // waiting, or null when any visible form may be addressed.
    virtual std::optional<AnswerLine> ForDialog(FormRuntime& runtime, Form* modalForm) = 0;
    // An action to take at once when `form` has just been shown (a click
    // armed until a status log line appears), if the source has one there.
    virtual std::optional<AnswerLine> ForShownForm(const Form& form) = 0;

    // How errors name the source ("answers.txt", "the quiet policy").
    virtual std::string Name() const = 0;
    // Where errors about a missing answer say the source stopped.
    virtual std::string Position() const = 0;
};

// The answers file: one action a line, blank lines and lines beginning with
// '#' skipped, consumed in order whatever is asked.
class AnswersFile : public AnswerSource {
public:
    AnswersFile(std::istream& answers, std::string name);

    std::optional<AnswerLine> ForMsgBox(const std::string& prompt, int buttons) override;
    std::optional<AnswerLine> ForDialog(FormRuntime& runtime, Form* modalForm) override;
    std::optional<AnswerLine> ForShownForm(const Form& form) override;
    // "-" is standard input, and said so.
    std::string Name() const override {
        return name_ == "-" ? "standard input (--answers -)" : name_;
    }
    std::string Position() const override;

private:
    const AnswerLine* Peek();
    std::optional<AnswerLine> Take();

    std::istream& answers_;
    std::string name_;
    int physicalLine_ = 0;
    std::optional<AnswerLine> lookahead_;
};

} // namespace kestovan::forms
