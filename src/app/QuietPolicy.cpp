#include "app/QuietPolicy.h"

#include "forms/Form.h"
#include "forms/FormRuntime.h"
#include "platform/RuntimeError.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kestovan::app {

namespace {

constexpr const char* Viewer = "Tavori Viewer";

bool StartsWith(const std::string& text, const char* start) {
    return text.rfind(start, 0) == 0;
}

bool Holds(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

QuietPolicy::QuietPolicy(std::function<const ProgramState&()> state, PlatformServices& platform,
                         bool removeUserFiles)
    : state_(std::move(state)), platform_(platform), removeUserFiles_(removeUserFiles) {}

forms::AnswerLine QuietPolicy::Answer(std::string text) {
    return forms::AnswerLine{++answered_, std::move(text)};
}

std::string QuietPolicy::Position() const {
    return "after answer " + std::to_string(answered_);
}

std::optional<forms::AnswerLine> QuietPolicy::ForMsgBox(const std::string& prompt, int buttons) {
    if ((buttons & 7) != 4)
        return Answer("ok");
    bool yes = true;
    if (StartsWith(prompt, "Delete the following Tavori Viewer Wallpaper file?"))
        yes = !Holds(prompt, "This is your current desktop wallpaper file");
    else if (StartsWith(prompt, "The are some Tavori Viewer Slide Show files") ||
             (StartsWith(prompt, "Found ") && (Holds(prompt, " image file(s) in your program") ||
                                               Holds(prompt, " sound file(s) in your program"))))
        yes = removeUserFiles_;
    else if (StartsWith(prompt, "Caution, the following Start Menu Programs folder"))
        yes = !OtherApplicationRecorded();
    else if (StartsWith(prompt, "PLEASE NOTE:") && Holds(prompt, "(TAVORI.INI)"))
        yes = false;
    return Answer(yes ? "yes" : "no");
}

std::optional<forms::AnswerLine> QuietPolicy::ForDialog(forms::FormRuntime& runtime,
                                                        forms::Form* modalForm) {
    if (planned_.empty())
        Plan(runtime, modalForm);
    if (planned_.empty())
        return std::nullopt;
    std::string next = std::move(planned_.front());
    planned_.pop_front();
    return Answer(std::move(next));
}

std::optional<forms::AnswerLine> QuietPolicy::ForShownForm(const forms::Form&) {
    return std::nullopt;
}

void QuietPolicy::Plan(forms::FormRuntime& runtime, forms::Form* modalForm) {
    const std::string waiting = modalForm != nullptr ? modalForm->Name() : std::string();
    if (waiting == "SelectDirFrm")
        PlanSelection();
    else if (waiting == "ShortcutFrm")
        planned_.push_back("ShortcutFrm.CmdDontRemove click");
    else if (waiting == "RemoveDoneFrm")
        planned_.push_back("RemoveDoneFrm.CmdOK click");
    else if (waiting.empty() && runtime.FindLoaded("RemoveFrm") != nullptr &&
             runtime.FindLoaded("RemoveFrm")->IsVisible())
        PlanRemoval(runtime);
}

// The selection dialog: the start directory when it is the viewer's,
// else the directory the settings store registers for it.
void QuietPolicy::PlanSelection() {
    if (NamesViewer()) {
        planned_.push_back("SelectDirFrm.OptUseData set");
    } else if (HoldsViewer(State().StartPath)) {
        planned_.push_back("SelectDirFrm.OptIgnore set");
    } else if (!State().ViewerPath.empty() && State().ViewerPath != ".") {
        planned_.push_back("SelectDirFrm.OptTViewer set");
        planned_.push_back("SelectDirFrm.OptUseReg set");
    } else {
        throw NothingToRemove("no record names Tavori Viewer and " + State().StartPath +
                              " holds no TVIEWER.EXE");
    }
    planned_.push_back("SelectDirFrm.CmdContinue click");
}

void QuietPolicy::PlanRemoval(forms::FormRuntime& runtime) {
    const forms::Form* removeFrm = runtime.FindLoaded("RemoveFrm");
    const forms::Control* list = removeFrm->Find("AppList");
    const bool listed = list != nullptr && std::find(list->Items().begin(), list->Items().end(),
                                                     Viewer) != list->Items().end();
    if (!listed || !(NamesViewer() || HoldsViewer(State().RemovePath)))
        throw NothingToRemove("no record names Tavori Viewer and " + State().RemovePath +
                              " holds no TVIEWER.EXE");
    planned_.push_back(std::string("RemoveFrm.AppList select \"") + Viewer + "\"");
    planned_.push_back("RemoveFrm.CmdRemove click");
}

// The records of the directory the removal works in name the viewer.
bool QuietPolicy::NamesViewer() const {
    const ProgramState& s = State();
    const std::array<const std::string*, 3> names{&s.RemoveProgram1, &s.RemoveProgram2,
                                                  &s.RemoveProgram3};
    return std::any_of(names.begin(), names.end(),
                       [](const std::string* name) { return *name == Viewer; });
}

bool QuietPolicy::HoldsViewer(const std::string& directory) const {
    try {
        return !platform_.Dir(directory + "TVIEWER.EXE", attr::Normal).empty();
    } catch (const RuntimeError&) {
        return false;
    }
}

bool QuietPolicy::OtherApplicationRecorded() const {
    const ProgramState& s = State();
    const std::array<const std::string*, 3> names{&s.RemoveProgram1, &s.RemoveProgram2,
                                                  &s.RemoveProgram3};
    return std::any_of(names.begin(), names.end(), [&](const std::string* name) {
        return !name->empty() && *name != s.SelectedApp;
    });
}

} // namespace kestovan::app
