// Fuzz target: the answers-file reader and the dialog actions it parses.
//
// The input is an answers file.  A fixed little program asks it questions
// and shows it dialogs, the way KESTOVAN does: message boxes of every kind,
// a modal dialog with buttons, a list and option buttons, a progress dialog
// with a Cancel button armed by "click after", and a modeless dialog in the
// event loop.  Whatever the file holds, the reader must either answer or
// raise AnswersError, and every action it takes must address a control that
// can take it.

#include "forms/Action.h"
#include "forms/Form.h"
#include "forms/FormRuntime.h"
#include "forms/Transcript.h"
#include "forms/unattended/UnattendedFrontEnd.h"
#include "support/FakePlatform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <variant>

namespace {

using namespace kestovan::forms;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "answers: %s\n", what);
    std::abort();
}

class FuzzForm : public Form {
public:
    FuzzForm(FormRuntime& runtime, const std::string& name) : Form(runtime, name, name) {
        Control& ok = AddControl("CmdOk", ControlKind::CommandButton);
        ok.Caption = "&OK";
        On("CmdOk", "Click", [this] { Runtime().Hide(*this); });
        On("CmdClose", "Click", [this] { Runtime().Unload(*this); });
        AddControl("CmdClose", ControlKind::CommandButton);
        Control& gone = AddControl("CmdGone", ControlKind::CommandButton);
        gone.Visible = false;
        On("CmdGone", "Click", [] { Fail("an invisible button was clicked"); });
        Control& off = AddControl("CmdOff", ControlKind::CommandButton);
        off.Enabled = false;
        On("CmdOff", "Click", [] { Fail("a disabled button was clicked"); });
        Control& list = AddControl("AppList", ControlKind::ListBox);
        list.AddItem("Tavori Viewer");
        list.AddItem("Tavori Sound");
        list.AddItem("");
        On("AppList", "Click", [this] {
            const int index = (*this)["AppList"].ListIndex();
            if (index < 0 || index >= (*this)["AppList"].ListCount())
                Fail("a list was clicked without an entry selected");
        });
        AddControl("OptA", ControlKind::OptionButton);
        AddControl("OptB", ControlKind::OptionButton);
        On("OptA", "Click", [this] {
            if (!(*this)["OptA"].Value())
                Fail("an option button was clicked without being set");
        });
        AddControl("lblText", ControlKind::Label);
        On("CmdCancel", "Click", [this] { ++cancels; });
        AddControl("CmdCancel", ControlKind::CommandButton);
    }

    void Form_QueryUnload(int& cancel, int unloadMode) override {
        // The Close box hides the dialog, as the program's dialogs do.
        if (unloadMode == UnloadFormControlMenu) {
            cancel = 1;
            Runtime().Hide(*this);
        }
    }

    int cancels = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream answers(std::string(reinterpret_cast<const char*>(data), size));
    std::string statusLog;
    UnattendedFrontEnd front(answers, "answers", [&statusLog] { return statusLog; });
    kestovan::testing::FakePlatform platform;
    Transcript transcript(std::make_unique<std::ostringstream>());
    FormRuntime runtime(platform, front, &transcript);

    // The parser on its own: a line it takes is a well-formed action.
    {
        std::string line(reinterpret_cast<const char*>(data), size);
        line = line.substr(0, line.find('\n'));
        const auto parsed = ParseDialogAction(line);
        if (const auto* action = std::get_if<DialogAction>(&parsed)) {
            if (action->form.empty())
                Fail("an action without a form");
            if ((action->verb == DialogAction::Verb::Close) != action->control.empty())
                Fail("a close with a control, or another verb without one");
            if (action->index && *action->index < 0)
                Fail("a negative list index");
            if (action->after && action->after->empty())
                Fail("a click after an empty text");
        }
    }

    try {
        runtime.MsgBox("Welcome", MbYesNoQuestion, "T");
        runtime.MsgBox("Note", MbOkInformation, "T");

        FuzzForm select(runtime, "SelectFrm");
        runtime.Show(select, 1);
        runtime.MsgBox("Are you sure?", MbYesNoExclamationDefaultNo, "T");

        FuzzForm wait(runtime, "RemoveWaitFrm");
        runtime.Show(wait);
        for (int step = 0; step < 12; ++step) {
            statusLog += "(+) Step " + std::to_string(step) + " was REMOVED.\r\n";
            runtime.DoEvents();
        }
        runtime.Unload(wait);

        FuzzForm done(runtime, "RemoveDoneFrm");
        runtime.Show(done);
        front.RunEventLoop(runtime);
        runtime.MsgBox("Last hint", MbOkExclamation, "T");
    } catch (const AnswersError&) {
    }
    return 0;
}
