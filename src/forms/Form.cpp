#include "forms/Form.h"

#include "forms/FormRuntime.h"
#include "platform/RuntimeError.h"

#include <stdexcept>
#include <utility>

namespace kestovan::forms {

namespace {

std::string HandlerKey(const std::string& controlName, const std::string& event) {
    return controlName + "_" + event;
}

} // namespace

Form::Form(FormRuntime& runtime, std::string name, std::string designCaption)
    : Caption(std::move(designCaption)), runtime_(runtime), name_(std::move(name)) {}

// The runtime outlives its forms (every form holds a reference to it); a form
// destroyed while loaded must not stay in its list of loaded forms.
Form::~Form() {
    runtime_.Forget(*this);
}

Control* Form::Find(const std::string& controlName) const {
    const auto found = byName_.find(controlName);
    return found == byName_.end() ? nullptr : found->second;
}

Control& Form::operator[](const std::string& controlName) const {
    if (Control* control = Find(controlName)) {
        return *control;
    }
    throw RuntimeError(err::InvalidProcedureCall);
}

bool Form::Raise(const std::string& controlName, const std::string& event) {
    const auto found = handlers_.find(HandlerKey(controlName, event));
    if (found == handlers_.end()) {
        return false;
    }
    // A copy: the handler may replace itself while it runs.
    const std::function<void()> handler = found->second;
    handler();
    return true;
}

bool Form::HasHandler(const std::string& controlName, const std::string& event) const {
    return handlers_.count(HandlerKey(controlName, event)) != 0;
}

std::intptr_t Form::hWnd() const {
    return reinterpret_cast<std::intptr_t>(this);
}

Control& Form::AddControl(const std::string& controlName, ControlKind kind) {
    if (controlName.empty() || Find(controlName) != nullptr) {
        throw std::invalid_argument("form " + name_ + ": control name \"" + controlName +
                                    "\" is empty or already used");
    }
    controls_.push_back(std::make_unique<Control>(*this, controlName, kind));
    byName_.emplace(controlName, controls_.back().get());
    return *controls_.back();
}

void Form::On(const std::string& controlName, const std::string& event,
              std::function<void()> handler) {
    handlers_[HandlerKey(controlName, event)] = std::move(handler);
}

} // namespace kestovan::forms
