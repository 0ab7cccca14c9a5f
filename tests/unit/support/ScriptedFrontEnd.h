#pragma once

// A front end for unit tests: message boxes are answered from a script and
// every prompt is recorded; modal dialogs are driven by queued actions.

#include "forms/Form.h"
#include "forms/FormRuntime.h"
#include "forms/FrontEnd.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestovan::memtest {

class ScriptedFrontEnd : public forms::FrontEnd {
public:
    struct Prompt {
        std::string prompt;
        int buttons;
        std::string title;
        int answer;
        bool withoutDefault = false; // asked with DefaultAnswer::Refused
    };
    using DialogAction = std::function<void(forms::FormRuntime&, forms::Form&)>;

    // --- The script ---------------------------------------------------------
    // Yes/No boxes take, in this order: the next queued answer, the answer of
    // the first rule whose text the prompt contains, the default answer.
    // OK-only boxes are answered OK.  A Yes/No box that nothing answers
    // raises AnswersError.
    std::deque<int> answers;
    std::vector<std::pair<std::string, int>> rules;
    std::optional<int> defaultAnswer;
    // Run at every DoEvents (a cancel click, for instance), and after every
    // message box with its prompt.
    std::function<void()> onDoEvents;
    std::function<void(const std::string&)> onPrompt;
    // Actions taken, one at a time, while a modal dialog is shown.
    std::deque<DialogAction> dialogActions;

    void AnswerWhen(const std::string& promptText, int answer) {
        rules.emplace_back(promptText, answer);
    }

    // --- What happened ------------------------------------------------------
    std::vector<Prompt> prompts;
    std::vector<std::string> shownForms;
    int doEvents = 0;
    int mousePointer = forms::PointerDefault;

    // The prompts that contain a text, in the order they were shown.
    std::vector<Prompt> PromptsWith(const std::string& text) const {
        std::vector<Prompt> found;
        for (const Prompt& p : prompts)
            if (p.prompt.find(text) != std::string::npos)
                found.push_back(p);
        return found;
    }

    // --- FrontEnd -------------------------------------------------------------
    int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
        int answer = forms::IdOk;
        if (buttons == forms::MbYesNoQuestion || buttons == forms::MbYesNoExclamationDefaultNo) {
            std::optional<int> chosen;
            if (!answers.empty()) {
                chosen = answers.front();
                answers.pop_front();
            }
            for (const auto& [text, ruleAnswer] : rules)
                if (!chosen && prompt.find(text) != std::string::npos)
                    chosen = ruleAnswer;
            if (!chosen)
                chosen = defaultAnswer;
            if (!chosen)
                throw forms::AnswersError("no answer for the question: " + prompt);
            answer = *chosen;
        }
        prompts.push_back({prompt, buttons, title, answer, askingWithoutDefault_});
        if (onPrompt)
            onPrompt(prompt);
        return answer;
    }

    int MsgBoxWithoutDefault(const std::string& prompt, int buttons,
                             const std::string& title) override {
        askingWithoutDefault_ = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{askingWithoutDefault_};
        return MsgBox(prompt, buttons, title);
    }

    void DoEvents(forms::FormRuntime& /*runtime*/) override {
        ++doEvents;
        if (onDoEvents)
            onDoEvents();
    }

    void FormShown(forms::FormRuntime& /*runtime*/, forms::Form& form, bool modal) override {
        shownForms.push_back(form.Name() + (modal ? " (modal)" : ""));
    }

    void FormHidden(forms::FormRuntime& /*runtime*/, forms::Form& /*form*/) override {}

    void RunModal(forms::FormRuntime& runtime, forms::Form& form) override {
        while (form.IsLoaded() && form.IsVisible()) {
            if (dialogActions.empty())
                throw forms::AnswersError("no action for the dialog " + form.Name());
            const DialogAction action = std::move(dialogActions.front());
            dialogActions.pop_front();
            action(runtime, form);
        }
    }

    void RunEventLoop(forms::FormRuntime& /*runtime*/) override {}

    void MousePointerChanged(int pointer) override { mousePointer = pointer; }

private:
    bool askingWithoutDefault_ = false;
};

// Dialog actions.
inline ScriptedFrontEnd::DialogAction Click(const std::string& control) {
    return [control](forms::FormRuntime&, forms::Form& form) { form.Raise(control, "Click"); };
}
inline ScriptedFrontEnd::DialogAction Select(const std::string& control, int index) {
    return [control, index](forms::FormRuntime&, forms::Form& form) {
        form[control].SetListIndex(index);
    };
}
inline ScriptedFrontEnd::DialogAction CloseBox() {
    return [](forms::FormRuntime& runtime, forms::Form& form) { runtime.Close(form); };
}

} // namespace kestovan::memtest
