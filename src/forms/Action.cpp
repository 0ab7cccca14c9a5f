#include "forms/Action.h"

#include "forms/FormRuntime.h"

#include <cctype>
#include <charconv>

namespace kestovan::forms {

namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsName(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!IsNameChar(c)) {
            return false;
        }
    }
    return true;
}

bool IsListKind(ControlKind kind) {
    return kind == ControlKind::ListBox || kind == ControlKind::FileListBox ||
           kind == ControlKind::DirListBox;
}

// Splits off the first blank-separated word of rest.
std::string TakeWord(std::string& rest) {
    rest = TrimBlanks(rest);
    std::size_t end = 0;
    while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') {
        ++end;
    }
    std::string word = rest.substr(0, end);
    rest = TrimBlanks(rest.substr(end));
    return word;
}

// A text between double quotes that makes up the whole of rest; the quotes
// are the first and the last character, so the text may hold quotes itself.
std::optional<std::string> QuotedText(const std::string& rest) {
    if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') {
        return std::nullopt;
    }
    return rest.substr(1, rest.size() - 2);
}

} // namespace

std::string TrimBlanks(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])) != 0) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])) != 0) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string ToLowerAscii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool LooksLikeDialogAction(const std::string& line) {
    std::string rest = line;
    const std::string first = TakeWord(rest);
    return first.find('.') != std::string::npos || ToLowerAscii(rest) == "close";
}

std::variant<DialogAction, std::string> ParseDialogAction(const std::string& line) {
    std::string rest = line;
    const std::string target = TakeWord(rest);
    const std::string verb = ToLowerAscii(TakeWord(rest));
    DialogAction action;

    const std::size_t dot = target.find('.');
    if (dot == std::string::npos) {
        if (!IsName(target) || verb != "close" || !rest.empty()) {
            return std::string("expected Form.Control click|select|set or Form close");
        }
        action.form = target;
        action.verb = DialogAction::Verb::Close;
        return action;
    }
    action.form = target.substr(0, dot);
    action.control = target.substr(dot + 1);
    if (!IsName(action.form) || !IsName(action.control)) {
        return std::string("expected Form.Control, got \"" + target + "\"");
    }
    if (verb == "click") {
        action.verb = DialogAction::Verb::Click;
        if (rest.empty()) {
            return action;
        }
        std::string afterRest = rest;
        if (ToLowerAscii(TakeWord(afterRest)) == "after") {
            if (auto text = QuotedText(afterRest); text && !text->empty()) {
                action.after = *text;
                return action;
            }
        }
        return std::string("expected click or click after \"TEXT\"");
    }
    if (verb == "set") {
        action.verb = DialogAction::Verb::Set;
        if (!rest.empty()) {
            return std::string("nothing may follow set");
        }
        return action;
    }
    if (verb == "select") {
        action.verb = DialogAction::Verb::Select;
        if (auto text = QuotedText(rest)) {
            action.text = *text;
            return action;
        }
        int index = -1;
        const char* first = rest.data();
        const char* last = rest.data() + rest.size();
        const auto [end, ec] = std::from_chars(first, last, index);
        if (rest.empty() || ec != std::errc() || end != last || index < 0) {
            return std::string("expected select N (a list index from 0) or select \"text\"");
        }
        action.index = index;
        return action;
    }
    if (verb == "close") {
        return std::string("close takes a form name only: Form close");
    }
    return std::string("unknown action \"" + verb + "\" (click, select, set, close)");
}

std::variant<ActionTarget, std::string> ResolveDialogAction(FormRuntime& runtime,
                                                            const DialogAction& action) {
    ActionTarget target;
    target.form = runtime.FindLoaded(action.form);
    if (target.form == nullptr) {
        return "form " + action.form + " is not loaded";
    }
    if (!target.form->IsVisible()) {
        return "form " + action.form + " is not shown";
    }
    if (action.verb == DialogAction::Verb::Close) {
        return target;
    }
    target.control = target.form->Find(action.control);
    const std::string name = action.form + "." + action.control;
    if (target.control == nullptr) {
        return "form " + action.form + " has no control " + action.control;
    }
    if (!target.control->Visible) {
        return name + " is not visible";
    }
    if (!target.control->Enabled) {
        return name + " is disabled";
    }
    switch (action.verb) {
    case DialogAction::Verb::Click:
        // A list raises Click when the user clicks one of its entries: with
        // none selected there is nothing the click could stand for.
        if (IsListKind(target.control->Kind()) && target.control->ListIndex() < 0) {
            return name + " has no entry selected (use select N or select \"text\")";
        }
        break;
    case DialogAction::Verb::Close: break;
    case DialogAction::Verb::Set:
        if (target.control->Kind() != ControlKind::OptionButton) {
            return name + " is not an option button";
        }
        break;
    case DialogAction::Verb::Select:
        if (!IsListKind(target.control->Kind())) {
            return name + " is not a list box";
        }
        if (action.index) {
            if (*action.index >= target.control->ListCount()) {
                return name + " has no entry " + std::to_string(*action.index) + " (it holds " +
                       std::to_string(target.control->ListCount()) + ")";
            }
            target.listIndex = *action.index;
        } else {
            const auto& items = target.control->Items();
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (items[i] == action.text.value_or("")) {
                    target.listIndex = static_cast<int>(i);
                    break;
                }
            }
            if (target.listIndex < 0) {
                return name + " has no entry \"" + action.text.value_or("") + "\"";
            }
        }
        break;
    }
    return target;
}

void PerformDialogAction(FormRuntime& runtime, const DialogAction& action,
                         const ActionTarget& target) {
    switch (action.verb) {
    case DialogAction::Verb::Close: runtime.Close(*target.form); return;
    case DialogAction::Verb::Click:
        // A click on an option button selects it, as the user's click does.
        if (target.control->Kind() == ControlKind::OptionButton)
            target.control->SetValue(true);
        break;
    case DialogAction::Verb::Select: target.control->SetListIndex(target.listIndex); break;
    case DialogAction::Verb::Set: target.control->SetValue(true); break;
    }
    target.form->Raise(target.control->Name(), "Click");
}

} // namespace kestovan::forms
