#pragma once

// Small forms and a scripted front end for the form runtime's tests.

#include "forms/FormRuntime.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace kestovan::forms::testing {

// A form whose life-cycle handlers are set by the test; every event it sees
// is appended to a shared journal as "Form.Event".
class TestForm : public Form {
public:
    TestForm(FormRuntime& runtime, std::string name, std::vector<std::string>& journal)
        : Form(runtime, std::move(name), "Design caption"), journal_(journal) {}

    using Form::AddControl;
    using Form::On;

    // A control whose Click appends "Form.Control_Click" to the journal,
    // then runs then (when given).
    Control& AddClickable(const std::string& name, ControlKind kind,
                          std::function<void()> then = {}) {
        Control& control = AddControl(name, kind);
        On(name, "Click", [this, name, then] {
            journal_.push_back(Name() + "." + name + "_Click");
            if (then) {
                then();
            }
        });
        return control;
    }

    std::function<void()> onLoad;
    std::function<void(int&, int)> onQueryUnload;
    std::function<void(int&)> onUnload;

    void Form_Load() override {
        journal_.push_back(Name() + ".Form_Load");
        if (onLoad) {
            onLoad();
        }
    }
    void Form_QueryUnload(int& cancel, int unloadMode) override {
        journal_.push_back(Name() + ".Form_QueryUnload " + std::to_string(unloadMode));
        if (onQueryUnload) {
            onQueryUnload(cancel, unloadMode);
        }
    }
    void Form_Unload(int& cancel) override {
        journal_.push_back(Name() + ".Form_Unload");
        if (onUnload) {
            onUnload(cancel);
        }
    }

private:
    std::vector<std::string>& journal_;
};

// A front end driven by the test: message boxes take queued answers, and a
// modal form runs the queued steps until it is no longer visible.
class ScriptedFrontEnd : public FrontEnd {
public:
    explicit ScriptedFrontEnd(std::vector<std::string>& journal) : journal_(journal) {}

    std::deque<int> answers;
    std::deque<std::function<void()>> modalSteps;

    int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
        journal_.push_back("MsgBox " + std::to_string(buttons) + " " + title + ": " + prompt);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected message box: " << prompt;
            return IdOk;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void DoEvents(FormRuntime&) override { journal_.push_back("DoEvents"); }
    void FormShown(FormRuntime&, Form& form, bool modal) override {
        journal_.push_back("shown " + form.Name() + (modal ? " modal" : " modeless"));
    }
    void FormHidden(FormRuntime&, Form& form) override {
        journal_.push_back("hidden " + form.Name());
    }
    void RunModal(FormRuntime&, Form& form) override {
        journal_.push_back("RunModal " + form.Name());
        while (form.IsLoaded() && form.IsVisible()) {
            if (modalSteps.empty()) {
                ADD_FAILURE() << "modal " << form.Name() << " still waiting, no steps left";
                return;
            }
            auto step = std::move(modalSteps.front());
            modalSteps.pop_front();
            step();
        }
        journal_.push_back("RunModal " + form.Name() + " returns");
    }
    void RunEventLoop(FormRuntime&) override { journal_.push_back("RunEventLoop"); }
    void MousePointerChanged(int pointer) override {
        journal_.push_back("pointer " + std::to_string(pointer));
    }

private:
    std::vector<std::string>& journal_;
};

// Whether text holds part, with both shown when it does not.
inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "\"" << text << "\" does not hold \"" << part << "\"";
}

// Splits a stream's text into lines.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace kestovan::forms::testing
