#pragma once

#include "forms/Control.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestovan::forms {

class FormRuntime;

// Unload modes passed to Form_QueryUnload.
inline constexpr int UnloadFormControlMenu = 0; // the window's Close box
inline constexpr int UnloadFormCode = 1;        // Unload statement

// A dialog: named controls in stacking order (topmost first) and the event
// handlers named control + "_" + event.  Concrete dialogs derive from it,
// build their controls in the constructor and register their handlers.
class Form {
public:
    Form(FormRuntime& runtime, std::string name, std::string designCaption);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return name_; }
    FormRuntime& Runtime() const { return runtime_; }

    std::string Caption;
    int ClientWidth = 0;  // twips
    int ClientHeight = 0; // twips
    std::uint32_t BackColor = 0x00C0C0C0u;
    int MousePointer = 0; // the form's own pointer (13 = arrow and hourglass)

    // Controls in stacking order, topmost first.
    const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
    Control* Find(const std::string& controlName) const;
    Control& operator[](const std::string& controlName) const; // raises 5 when missing

    bool IsLoaded() const { return loaded_; }
    bool IsVisible() const { return visible_; }
    bool IsModal() const { return modal_; }

    // Runs the handler registered for control + "_" + event; false when the
    // form has none.  Handlers for the form itself use the control name "Form".
    bool Raise(const std::string& controlName, const std::string& event);
    bool HasHandler(const std::string& controlName, const std::string& event) const;

    // Life-cycle events; the defaults do nothing.
    virtual void Form_Load() {}
    virtual void Form_QueryUnload(int& cancel, int unloadMode) {
        (void)cancel;
        (void)unloadMode;
    }
    virtual void Form_Unload(int& cancel) { (void)cancel; }

    // Window handle for the shell calls (stable for the life of the object).
    std::intptr_t hWnd() const;

protected:
    Control& AddControl(const std::string& controlName, ControlKind kind);
    void On(const std::string& controlName, const std::string& event,
            std::function<void()> handler);

private:
    friend class FormRuntime;

    FormRuntime& runtime_;
    std::string name_;
    std::vector<std::unique_ptr<Control>> controls_;
    // The same controls by name: looked up in every statement on a control.
    std::unordered_map<std::string, Control*> byName_;
    std::map<std::string, std::function<void()>> handlers_;
    bool loaded_ = false;
    bool visible_ = false;
    bool modal_ = false;
};

} // namespace kestovan::forms
