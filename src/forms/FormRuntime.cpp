#include "forms/FormRuntime.h"

#include "platform/RuntimeError.h"

#include <algorithm>
#include <utility>

namespace kestovan::forms {

namespace {

constexpr int ObjectUnloaded = 364;
constexpr int AlreadyDisplayed = 400;

} // namespace

FormRuntime::FormRuntime(PlatformServices& platform, FrontEnd& frontEnd, Transcript* transcript)
    : platform_(platform), frontEnd_(frontEnd), transcript_(transcript) {}

int FormRuntime::MsgBox(const std::string& prompt, int buttons, const std::string& title,
                        DefaultAnswer defaultAnswer) {
    const int answer = defaultAnswer == DefaultAnswer::Refused
                           ? frontEnd_.MsgBoxWithoutDefault(prompt, buttons, title)
                           : frontEnd_.MsgBox(prompt, buttons, title);
    if (transcript_ != nullptr) {
        transcript_->MsgBox(title, buttons, prompt, answer);
    }
    return answer;
}

void FormRuntime::DoEvents() {
    frontEnd_.DoEvents(*this);
    for (const auto& observer : doEventsObservers_)
        observer();
}

void FormRuntime::OnDoEvents(std::function<void()> observer) {
    doEventsObservers_.push_back(std::move(observer));
}

void FormRuntime::SetMousePointer(int pointer) {
    mousePointer_ = pointer;
    frontEnd_.MousePointerChanged(pointer);
}

void FormRuntime::Load(Form& form) {
    if (form.loaded_) {
        return;
    }
    // Marked first, so that Form_Load may show, hide or unload its own form.
    form.loaded_ = true;
    loaded_.push_back(&form);
    form.Form_Load();
}

void FormRuntime::Show(Form& form, int modal) {
    const bool isModal = modal != 0;
    if (isModal && form.loaded_ && form.visible_) {
        throw RuntimeError(AlreadyDisplayed, "Form already displayed; can't show modally");
    }
    Load(form);
    if (!form.loaded_) {
        throw RuntimeError(ObjectUnloaded, "Object was unloaded");
    }
    if (form.visible_) {
        return; // already on the screen
    }
    form.visible_ = true;
    form.modal_ = isModal;
    if (transcript_ != nullptr) {
        transcript_->Show(form, isModal);
    }
    // By index: an observer may register another one.
    for (std::size_t i = 0; i < showObservers_.size(); ++i) {
        const auto observer = showObservers_[i];
        observer(form);
    }
    frontEnd_.FormShown(*this, form, isModal);
    if (isModal) {
        frontEnd_.RunModal(*this, form);
        form.modal_ = false;
    }
}

void FormRuntime::Hide(Form& form) {
    Load(form);
    if (!form.loaded_ || !form.visible_) {
        return;
    }
    form.visible_ = false;
    form.modal_ = false;
    frontEnd_.FormHidden(*this, form);
}

bool FormRuntime::Unload(Form& form) {
    return UnloadWithMode(form, UnloadFormCode);
}

bool FormRuntime::Close(Form& form) {
    return UnloadWithMode(form, UnloadFormControlMenu);
}

bool FormRuntime::UnloadWithMode(Form& form, int mode) {
    if (!form.loaded_) {
        return true;
    }
    int cancel = 0;
    form.Form_QueryUnload(cancel, mode);
    if (!form.loaded_) {
        return true; // the handler unloaded the form itself
    }
    if (cancel != 0) {
        return false;
    }
    form.Form_Unload(cancel);
    if (!form.loaded_) {
        return true;
    }
    if (cancel != 0) {
        return false;
    }
    const bool wasVisible = form.visible_;
    form.loaded_ = false;
    form.visible_ = false;
    form.modal_ = false;
    Forget(form);
    if (wasVisible) {
        frontEnd_.FormHidden(*this, form);
    }
    return true;
}

void FormRuntime::End() {
    throw EndProgram{};
}

Form* FormRuntime::FindLoaded(const std::string& name) const {
    for (Form* form : loaded_) {
        if (form->Name() == name) {
            return form;
        }
    }
    return nullptr;
}

void FormRuntime::OnShow(std::function<void(Form&)> observer) {
    showObservers_.push_back(std::move(observer));
}

void FormRuntime::Forget(Form& form) {
    std::erase(loaded_, &form);
}

} // namespace kestovan::forms
