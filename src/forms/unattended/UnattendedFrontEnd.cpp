#include "forms/unattended/UnattendedFrontEnd.h"

#include "forms/FormRuntime.h"

#include <algorithm>
#include <utility>

namespace kestovan::forms {

namespace {

constexpr std::size_t PromptShownInErrors = 160;

// The prompt on one line (line breaks as blanks), shortened for a message.
std::string OneLine(const std::string& text) {
    std::string flat;
    for (char c : text) {
        if (c == '\r') {
            continue;
        }
        flat += c == '\n' ? ' ' : c;
    }
    if (flat.size() > PromptShownInErrors) {
        flat = flat.substr(0, PromptShownInErrors) + "...";
    }
    return flat;
}

std::string DescribeMsgBox(const std::string& prompt, int buttons, const std::string& title) {
    return "message box \"" + title + "\" (buttons " + std::to_string(buttons) + "): \"" +
           OneLine(prompt) + "\"";
}

std::string DescribeForm(const Form& form) {
    return "form " + form.Name() + " (\"" + form.Caption + "\")";
}

std::vector<Form*> VisibleForms(const FormRuntime& runtime) {
    std::vector<Form*> visible;
    for (Form* form : runtime.LoadedForms()) {
        if (form->IsVisible()) {
            visible.push_back(form);
        }
    }
    return visible;
}

std::string DescribeForms(const std::vector<Form*>& forms) {
    std::string text = forms.size() == 1 ? "form " : "forms ";
    for (std::size_t i = 0; i < forms.size(); ++i) {
        text += (i == 0 ? "" : ", ") + forms[i]->Name();
    }
    return text;
}

} // namespace

UnattendedFrontEnd::UnattendedFrontEnd(std::istream& answers, std::string answersName,
                                       std::function<const std::string&()> statusLog)
    : UnattendedFrontEnd(std::make_unique<AnswersFile>(answers, std::move(answersName)),
                         std::move(statusLog)) {}

UnattendedFrontEnd::UnattendedFrontEnd(std::unique_ptr<AnswerSource> source,
                                       std::function<const std::string&()> statusLog)
    : source_(std::move(source)), statusLog_(std::move(statusLog)) {}

UnattendedFrontEnd::Line UnattendedFrontEnd::Require(std::optional<Line> answer,
                                                     const std::string& waiting) const {
    if (!answer)
        throw AnswersError(source_->Name() + ": ran out of answers " + source_->Position() +
                           "; waiting: " + waiting);
    return std::move(*answer);
}

void UnattendedFrontEnd::Fail(const Line& line, const std::string& problem,
                              const std::string& waiting) const {
    throw AnswersError(source_->Name() + ":" + std::to_string(line.number) + ": \"" + line.text +
                       "\": " + problem + "; waiting: " + waiting);
}

int UnattendedFrontEnd::MsgBox(const std::string& prompt, int buttons, const std::string& title) {
    const std::string waiting = DescribeMsgBox(prompt, buttons, title);
    const Line line = Require(source_->ForMsgBox(prompt, buttons), waiting);
    if (LooksLikeDialogAction(line.text)) {
        Fail(line, "a dialog action, but a message box is waiting", waiting);
    }
    const std::string answer = ToLowerAscii(line.text);
    if (answer != "yes" && answer != "no" && answer != "ok") {
        Fail(line, "not a message box answer (yes, no or ok)", waiting);
    }
    switch (buttons & 7) {
    case 0:
        if (answer != "ok") {
            Fail(line, "the message box offers only ok", waiting);
        }
        return IdOk;
    case 4:
        if (answer == "ok") {
            Fail(line, "the message box offers only yes or no", waiting);
        }
        return answer == "yes" ? IdYes : IdNo;
    default: Fail(line, "these message box buttons cannot be answered", waiting);
    }
}

void UnattendedFrontEnd::TakeAction(FormRuntime& runtime, Form* modalForm,
                                    const std::string& waiting) {
    const Line line = Require(source_->ForDialog(runtime, modalForm), waiting);
    if (!LooksLikeDialogAction(line.text)) {
        Fail(line, "a message box answer, but a dialog is waiting", waiting);
    }
    auto parsed = ParseDialogAction(line.text);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        Fail(line, *problem, waiting);
    }
    const auto& action = std::get<DialogAction>(parsed);
    if (action.after) {
        Fail(line, "a click after \"TEXT\" must directly follow the show of its form", waiting);
    }
    if (modalForm != nullptr && action.form != modalForm->Name()) {
        Fail(line, "addresses " + action.form + ", but the modal " + modalForm->Name() + " waits",
             waiting);
    }
    auto resolved = ResolveDialogAction(runtime, action);
    if (const auto* problem = std::get_if<std::string>(&resolved)) {
        Fail(line, *problem, waiting);
    }
    if (Transcript* transcript = runtime.Record()) {
        transcript->Action(line.number, line.text);
    }
    PerformDialogAction(runtime, action, std::get<ActionTarget>(resolved));
}

void UnattendedFrontEnd::RunModal(FormRuntime& runtime, Form& form) {
    while (form.IsLoaded() && form.IsVisible()) {
        TakeAction(runtime, &form, DescribeForm(form));
    }
}

void UnattendedFrontEnd::RunEventLoop(FormRuntime& runtime) {
    for (auto visible = VisibleForms(runtime); !visible.empty(); visible = VisibleForms(runtime)) {
        TakeAction(runtime, nullptr, DescribeForms(visible));
    }
}

void UnattendedFrontEnd::FormShown(FormRuntime& runtime, Form& form, bool modal) {
    (void)modal;
    std::optional<Line> armed = source_->ForShownForm(form);
    if (!armed) {
        return;
    }
    const Line line = std::move(*armed);
    auto parsed = ParseDialogAction(line.text);
    const auto* action = std::get_if<DialogAction>(&parsed);
    if (action == nullptr || !action->after || action->form != form.Name()) {
        Fail(line, "not a click after \"TEXT\" on this form", DescribeForm(form));
    }
    if (!statusLog_) {
        Fail(line, "there is no status log to watch", DescribeForm(form));
    }
    auto resolved = ResolveDialogAction(runtime, *action);
    if (const auto* problem = std::get_if<std::string>(&resolved)) {
        Fail(line, *problem, DescribeForm(form));
    }
    if (Transcript* transcript = runtime.Record()) {
        transcript->Action(line.number, line.text);
    }
    const std::size_t logLength = statusLog_().size();
    armed_.push_back(ArmedClick{*action, logLength, logLength});
}

void UnattendedFrontEnd::FormHidden(FormRuntime& runtime, Form& form) {
    (void)runtime;
    (void)form;
}

void UnattendedFrontEnd::DoEvents(FormRuntime& runtime) {
    FireArmedClicks(runtime);
}

void UnattendedFrontEnd::FireArmedClicks(FormRuntime& runtime) {
    if (armed_.empty() || !statusLog_) {
        return;
    }
    // Read in place: the handlers below, which may append to the log, run
    // only after the search.
    const std::string& log = statusLog_();
    std::vector<ArmedClick> due;
    for (auto it = armed_.begin(); it != armed_.end();) {
        if (log.size() < it->searched) {
            // The log was replaced by a shorter text: all of it is new.
            it->base = 0;
            it->searched = 0;
        }
        const std::string& text = *it->action.after;
        // Step back so that a text split over two appends is still found.
        const std::size_t overlap = std::min(it->searched, text.size() - 1);
        const std::size_t from = std::max(it->base, it->searched - overlap);
        const bool found = log.find(text, from) != std::string::npos;
        it->searched = log.size();
        if (found) {
            due.push_back(std::move(*it));
            it = armed_.erase(it);
        } else {
            ++it;
        }
    }
    // Out of the list before the handlers run: they call DoEvents themselves.
    for (const ArmedClick& click : due) {
        Form* form = runtime.FindLoaded(click.action.form);
        if (form == nullptr) {
            continue;
        }
        Control* control = form->Find(click.action.control);
        if (control != nullptr && control->Enabled) {
            form->Raise(control->Name(), "Click");
        }
    }
}

} // namespace kestovan::forms
