#include "state/MainModule.h"

#include "dialogs/RemoveDoneFrm.h"
#include "dialogs/RemoveFrm.h"
#include "dialogs/RemoveWaitFrm.h"
#include "dialogs/SelectDirFrm.h"
#include "dialogs/ShortcutFrm.h"

namespace kestovan {

MainModule::MainModule(PlatformServices& platform, forms::FormRuntime& runtime)
    : platform_(platform), runtime_(runtime) {}

MainModule::~MainModule() = default;

// A dialog is created on first use and loaded when it is referenced, as the
// dialog toolkit does; one that was unloaded is made afresh.
template <class Form> Form& MainModule::Instance(std::unique_ptr<Form>& slot) {
    if (!slot || !slot->IsLoaded()) {
        slot.reset();
        slot = std::make_unique<Form>(*this);
        runtime_.Load(*slot);
    }
    return *slot;
}

dialogs::RemoveFrm& MainModule::RemoveFrm() {
    return Instance(removeFrm_);
}
dialogs::SelectDirFrm& MainModule::SelectDirFrm() {
    return Instance(selectDirFrm_);
}
dialogs::RemoveWaitFrm& MainModule::RemoveWaitFrm() {
    return Instance(removeWaitFrm_);
}
dialogs::RemoveDoneFrm& MainModule::RemoveDoneFrm() {
    return Instance(removeDoneFrm_);
}
dialogs::ShortcutFrm& MainModule::ShortcutFrm() {
    return Instance(shortcutFrm_);
}

void MainModule::UnloadIfLoaded(forms::Form* form) {
    if (form != nullptr && form->IsLoaded())
        runtime_.Unload(*form);
}

int MainModule::MsgBox(const std::string& prompt, int buttons, forms::DefaultAnswer defaultAnswer) {
    return runtime_.MsgBox(prompt, buttons, ProgramTitle, defaultAnswer);
}

void MainModule::DoEvents() {
    runtime_.DoEvents();
}

void MainModule::End() {
    runtime_.End();
}

void MainModule::SetMousePointer(int pointer) {
    runtime_.SetMousePointer(pointer);
}

void MainModule::AppendLogLine(const std::string& line) {
    State.StatusLog += line;
    State.StatusLog += State.CrLf;
}

bool MainModule::TryIgnore(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

} // namespace kestovan

namespace kestovan {

forms::Form* MainModule::RemoveWaitFrmIfLoaded() const {
    return removeWaitFrm_.get();
}
forms::Form* MainModule::RemoveFrmIfLoaded() const {
    return removeFrm_.get();
}

} // namespace kestovan
