#include "forms/win32/Win32FrontEnd.h"

#include "forms/Action.h"
#include "forms/FormRuntime.h"
#include "forms/win32/FormWindow.h"
#include "platform/RuntimeError.h"
#include "platform/win32/DllSearch.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace kestovan::forms {

using win32ui::FormWindow;
using win32ui::PendingAction;

struct Win32FrontEnd::Impl {
    // Declared first, destroyed last: the windows use its fonts and brushes.
    win32ui::SharedResources resources;
    std::deque<PendingAction> pending;
    std::vector<std::unique_ptr<FormWindow>> windows;
    // The forms whose modal Show is running, innermost last; while one runs,
    // only its own actions are taken.
    std::vector<std::string> modalForms;
    // The windows each modal form disabled while it is shown.
    std::map<std::string, std::vector<HWND>> disabledBy;
    int screenPointer = PointerDefault;
    FormRuntime* runtime = nullptr;

    FormWindow* WindowOf(const Form& form) {
        for (const auto& window : windows)
            if (&window->Model() == &form)
                return window.get();
        return nullptr;
    }

    FormWindow* WindowByHandle(HWND hwnd) {
        for (const auto& window : windows)
            if (window->Handle() == hwnd)
                return window.get();
        return nullptr;
    }

    static bool IsLoaded(const FormRuntime& rt, const Form* form) {
        const auto& loaded = rt.LoadedForms();
        return std::find(loaded.begin(), loaded.end(), form) != loaded.end();
    }

    void Enable(const std::string& modalForm) {
        auto found = disabledBy.find(modalForm);
        if (found == disabledBy.end())
            return;
        for (HWND hwnd : found->second)
            if (::IsWindow(hwnd))
                ::EnableWindow(hwnd, TRUE);
        disabledBy.erase(found);
    }

    // Windows of forms that were unloaded (or destroyed) go; nothing of the
    // model is touched for them.
    void DropUnloaded(FormRuntime& rt) {
        runtime = &rt;
        for (auto it = windows.begin(); it != windows.end();) {
            if (IsLoaded(rt, &(*it)->Model())) {
                ++it;
                continue;
            }
            Enable((*it)->FormName());
            it = windows.erase(it);
        }
    }

    void SyncAll(FormRuntime& rt) {
        for (const auto& window : windows)
            if (IsLoaded(rt, &window->Model()) && window->Model().IsVisible())
                window->Sync();
    }

    void Dispatch(MSG& message) {
        HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (FormWindow* window = root != nullptr ? WindowByHandle(root) : nullptr) {
            if (window->TranslateKey(message))
                return;
            if (::IsDialogMessageA(root, &message))
                return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }

    // Performs the queued user actions, each as the answers file's action of
    // the same name would be; an action that no longer fits (its control was
    // disabled or its form closed meanwhile) is dropped, as the click on a
    // greyed button would be.
    void Deliver(FormRuntime& rt) {
        while (!pending.empty()) {
            const PendingAction next = pending.front();
            pending.pop_front();
            if (!modalForms.empty() && next.form != modalForms.back())
                continue;
            DialogAction action;
            action.form = next.form;
            action.control = next.control;
            switch (next.kind) {
            case PendingAction::Kind::Click: action.verb = DialogAction::Verb::Click; break;
            case PendingAction::Kind::Set: action.verb = DialogAction::Verb::Set; break;
            case PendingAction::Kind::Close: action.verb = DialogAction::Verb::Close; break;
            case PendingAction::Kind::Select:
                action.verb = DialogAction::Verb::Select;
                if (next.index < 0)
                    continue;
                action.index = next.index;
                break;
            }
            const auto resolved = ResolveDialogAction(rt, action);
            if (const auto* target = std::get_if<ActionTarget>(&resolved))
                PerformDialogAction(rt, action, *target);
            DropUnloaded(rt);
            SyncAll(rt);
        }
    }

    // One turn of the message loop: the screen brought up to date, the
    // waiting messages handled (waiting for one first when asked to), then
    // the user's actions performed.
    void Pump(FormRuntime& rt, bool wait) {
        DropUnloaded(rt);
        SyncAll(rt);
        MSG message;
        if (wait && pending.empty() && ::GetMessageA(&message, nullptr, 0, 0) > 0)
            Dispatch(message);
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                break;
            Dispatch(message);
        }
        Deliver(rt);
    }
};

Win32FrontEnd::Win32FrontEnd() {
    win32::PreloadWindowingLibraries();
    impl_ = std::make_unique<Impl>();
}

Win32FrontEnd::~Win32FrontEnd() = default;

int Win32FrontEnd::MsgBox(const std::string& prompt, int buttons, const std::string& title) {
    if (impl_->runtime != nullptr) {
        impl_->DropUnloaded(*impl_->runtime);
        impl_->SyncAll(*impl_->runtime);
    }
    // The activation and focus changes of a form just shown are settled
    // first, so that none of them takes the keyboard from the box.  (Clicks
    // and keys met here are kept for the next turn of the program's loop.)
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            break;
        impl_->Dispatch(message);
    }
    // Owned by the active form and task-modal: every window of the program
    // waits for the answer.
    HWND active = ::GetActiveWindow();
    HWND owner = active != nullptr && impl_->WindowByHandle(active) != nullptr ? active : nullptr;
    const UINT style = static_cast<UINT>(buttons) |
                       (owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL) | MB_SETFOREGROUND;
    const int answer = ::MessageBoxA(owner, prompt.c_str(), title.c_str(), style);
    if (answer == 0)
        throw RuntimeError(err::InvalidProcedureCall, "the message box could not be shown");
    return answer;
}

void Win32FrontEnd::DoEvents(FormRuntime& runtime) {
    impl_->Pump(runtime, false);
}

void Win32FrontEnd::AnswerMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Put back for the program's own loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        impl_->Dispatch(message);
    }
}

void Win32FrontEnd::FormShown(FormRuntime& runtime, Form& form, bool modal) {
    impl_->DropUnloaded(runtime);
    FormWindow* window = impl_->WindowOf(form);
    if (window == nullptr) {
        impl_->windows.push_back(std::make_unique<FormWindow>(
            impl_->resources, form, impl_->pending, impl_->screenPointer));
        window = impl_->windows.back().get();
    }
    if (modal) {
        std::vector<HWND>& disabled = impl_->disabledBy[form.Name()];
        for (const auto& other : impl_->windows)
            if (other.get() != window && ::IsWindowVisible(other->Handle()) &&
                ::IsWindowEnabled(other->Handle())) {
                ::EnableWindow(other->Handle(), FALSE);
                disabled.push_back(other->Handle());
            }
    }
    window->Sync();
    window->Show();
}

void Win32FrontEnd::FormHidden(FormRuntime& runtime, Form& form) {
    impl_->runtime = &runtime;
    impl_->Enable(form.Name());
    if (FormWindow* window = impl_->WindowOf(form)) {
        window->Hide();
        if (!form.IsLoaded())
            std::erase_if(impl_->windows,
                          [window](const auto& owned) { return owned.get() == window; });
    }
}

void Win32FrontEnd::RunModal(FormRuntime& runtime, Form& form) {
    impl_->modalForms.push_back(form.Name());
    struct PopOnExit {
        std::vector<std::string>& forms;
        ~PopOnExit() { forms.pop_back(); }
    } pop{impl_->modalForms};
    while (form.IsLoaded() && form.IsVisible())
        impl_->Pump(runtime, true);
}

void Win32FrontEnd::RunEventLoop(FormRuntime& runtime) {
    const auto anyVisible = [&runtime] {
        const auto& loaded = runtime.LoadedForms();
        return std::any_of(loaded.begin(), loaded.end(),
                           [](const Form* form) { return form->IsVisible(); });
    };
    while (anyVisible())
        impl_->Pump(runtime, true);
}

void Win32FrontEnd::MousePointerChanged(int pointer) {
    impl_->screenPointer = pointer;
    // Show the change at once when the mouse stands over one of the forms.
    POINT point;
    if (!::GetCursorPos(&point))
        return;
    HWND over = ::WindowFromPoint(point);
    HWND root = over != nullptr ? ::GetAncestor(over, GA_ROOT) : nullptr;
    if (root != nullptr && impl_->WindowByHandle(root) != nullptr)
        ::SendMessageA(over, WM_SETCURSOR, reinterpret_cast<WPARAM>(over),
                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

} // namespace kestovan::forms
