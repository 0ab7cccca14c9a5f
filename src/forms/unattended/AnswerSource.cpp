#include "forms/unattended/AnswerSource.h"

#include "forms/Action.h"
#include "forms/Form.h"

#include <utility>
#include <variant>

namespace kestovan::forms {

AnswersFile::AnswersFile(std::istream& answers, std::string name)
    : answers_(answers), name_(std::move(name)) {}

const AnswerLine* AnswersFile::Peek() {
    if (lookahead_)
        return &*lookahead_;
    std::string raw;
    while (std::getline(answers_, raw)) {
        ++physicalLine_;
        std::string text = TrimBlanks(raw);
        if (text.empty() || text.front() == '#')
            continue;
        lookahead_ = AnswerLine{physicalLine_, std::move(text)};
        return &*lookahead_;
    }
    return nullptr;
}

std::optional<AnswerLine> AnswersFile::Take() {
    if (Peek() == nullptr)
        return std::nullopt;
    std::optional<AnswerLine> line = std::move(lookahead_);
    lookahead_.reset();
    return line;
}

std::optional<AnswerLine> AnswersFile::ForMsgBox(const std::string&, int) {
    return Take();
}

std::optional<AnswerLine> AnswersFile::ForDialog(FormRuntime&, Form*) {
    return Take();
}

std::optional<AnswerLine> AnswersFile::ForShownForm(const Form& form) {
    const AnswerLine* next = Peek();
    if (next == nullptr || !LooksLikeDialogAction(next->text))
        return std::nullopt;
    auto parsed = ParseDialogAction(next->text);
    const auto* action = std::get_if<DialogAction>(&parsed);
    if (action == nullptr || !action->after || action->form != form.Name())
        return std::nullopt;
    return Take();
}

std::string AnswersFile::Position() const {
    if (physicalLine_ == 0)
        return "before its first line (it holds none)";
    return "after line " + std::to_string(physicalLine_);
}

} // namespace kestovan::forms
