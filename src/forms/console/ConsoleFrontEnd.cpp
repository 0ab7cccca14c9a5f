#include "forms/console/ConsoleFrontEnd.h"

#include "forms/Action.h"
#include "forms/FormRuntime.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace kestovan::forms {

namespace {

constexpr std::size_t ScreenWidth = 76;
constexpr std::size_t BoxInner = ScreenWidth - 4; // "| " + text + " |"

bool IsListKind(ControlKind kind) {
    return kind == ControlKind::ListBox || kind == ControlKind::FileListBox ||
           kind == ControlKind::DirListBox;
}

// The text broken into lines: at CR LF (or a lone LF), then word-wrapped;
// blank lines at the end are dropped.
std::vector<std::string> Wrap(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    std::string paragraph;
    const auto flush = [&] {
        std::string line;
        std::size_t pos = 0;
        bool any = false;
        while (pos < paragraph.size()) {
            std::size_t end = paragraph.find(' ', pos);
            if (end == std::string::npos) {
                end = paragraph.size();
            }
            std::string word = paragraph.substr(pos, end - pos);
            pos = end + 1;
            while (word.size() > width) {
                if (!line.empty()) {
                    lines.push_back(line);
                    line.clear();
                }
                lines.push_back(word.substr(0, width));
                word.erase(0, width);
                any = true;
            }
            if (!line.empty() && line.size() + 1 + word.size() > width) {
                lines.push_back(line);
                line.clear();
                any = true;
            }
            line += (line.empty() ? "" : " ") + word;
        }
        if (!line.empty() || !any) {
            lines.push_back(line);
        }
        paragraph.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        if (text[i] == '\n' || text[i] == '\r') {
            flush();
        } else {
            paragraph += text[i];
        }
    }
    flush();
    while (lines.size() > 1 && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

// The letter marked by a single '&' in a caption (lower case), or 0.
char AccessKey(const std::string& caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (caption[i + 1] == '&') {
                ++i;
                continue;
            }
            return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
        }
    }
    return 0;
}

// The caption as shown: "&Remove" as "[R]emove", "&&" as "&".
std::string ShowCaption(const std::string& caption, bool markKey) {
    std::string shown;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != '&' && markKey) {
                shown += std::string("[") + caption[i] + "]";
                continue;
            }
        }
        shown += caption[i];
    }
    return shown;
}

const Control* ContainerOf(const Form& form, const Control& control) {
    return control.Container.empty() ? nullptr : form.Find(control.Container);
}

bool ShownOnScreen(const Form& form, const Control& control) {
    const Control* current = &control;
    for (int depth = 0; current != nullptr && depth < 8; ++depth) {
        if (!current->Visible) {
            return false;
        }
        current = ContainerOf(form, *current);
    }
    return true;
}

std::pair<int, int> ScreenPosition(const Form& form, const Control& control) {
    int top = control.Position.top;
    int left = control.Position.left;
    const Control* container = ContainerOf(form, control);
    for (int depth = 0; container != nullptr && depth < 8; ++depth) {
        top += container->Position.top;
        left += container->Position.left;
        container = ContainerOf(form, *container);
    }
    return {top, left};
}

// The visible controls, top to bottom and left to right.
std::vector<Control*> InReadingOrder(const Form& form) {
    std::vector<Control*> controls;
    for (const auto& control : form.Controls()) {
        if (ShownOnScreen(form, *control)) {
            controls.push_back(control.get());
        }
    }
    std::stable_sort(controls.begin(), controls.end(), [&](const Control* a, const Control* b) {
        return ScreenPosition(form, *a) < ScreenPosition(form, *b);
    });
    return controls;
}

bool IsClickableLabel(const Form& form, const Control& control) {
    return control.Kind() == ControlKind::Label && form.HasHandler(control.Name(), "Click");
}

std::string Border(char edge, char fill) {
    return std::string(1, edge) + std::string(ScreenWidth - 2, fill) + std::string(1, edge);
}

std::string BoxLine(const std::string& text) {
    std::string line = "| " + text;
    if (text.size() < BoxInner) {
        line += std::string(BoxInner - text.size(), ' ');
    }
    return line + " |";
}

} // namespace

ConsoleFrontEnd::ConsoleFrontEnd(std::istream& in, std::ostream& out,
                                 std::function<bool()> inputWaiting, bool preview)
    : in_(in), out_(out), inputWaiting_(std::move(inputWaiting)), preview_(preview) {}

std::optional<std::string> ConsoleFrontEnd::ReadLine() {
    if (endOfInput_) {
        return std::nullopt;
    }
    std::string line;
    if (!std::getline(in_, line)) {
        endOfInput_ = true;
        out_ << '\n';
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

int ConsoleFrontEnd::MsgBox(const std::string& prompt, int buttons, const std::string& title) {
    return Ask(prompt, buttons, title, true);
}

int ConsoleFrontEnd::MsgBoxWithoutDefault(const std::string& prompt, int buttons,
                                          const std::string& title) {
    return Ask(prompt, buttons, title, false);
}

int ConsoleFrontEnd::Ask(const std::string& prompt, int buttons, const std::string& title,
                         bool enterAnswers) {
    panelShown_ = nullptr;
    const bool yesNo = (buttons & 7) == 3 || (buttons & 7) == 4;
    const int defaultAnswer = !yesNo ? IdOk : (buttons & 0x100) != 0 ? IdNo : IdYes;
    // An OK box has nothing to choose: Enter always answers it.
    const bool enterTakes = enterAnswers || !yesNo;
    const auto name = [](int answer) {
        return answer == IdYes ? "Yes" : answer == IdNo ? "No" : "OK";
    };
    std::string icon;
    switch (buttons & 0x70) {
    case 16: icon = "(X) "; break;
    case 32: icon = "(?) "; break;
    case 48: icon = "(!) "; break;
    case 64: icon = "(i) "; break;
    default: break;
    }

    out_ << '\n';
    if (preview_)
        out_ << PreviewBanner << '\n';
    out_ << Border('+', '-') << '\n';
    for (const std::string& line : Wrap(icon + title, BoxInner)) {
        out_ << BoxLine(line) << '\n';
    }
    out_ << Border('+', '-') << '\n';
    for (const std::string& line : Wrap(prompt, BoxInner)) {
        out_ << BoxLine(line) << '\n';
    }
    out_ << Border('+', '-') << '\n';
    if (!yesNo)
        out_ << "  Enter = OK, ? = help\n";
    else if (enterTakes)
        out_ << "  y/n, Enter = " << name(defaultAnswer) << ", ? = help\n";
    else
        out_ << "  y/n (type y or n: Enter alone does not answer this), ? = help\n";

    for (;;) {
        out_ << "> " << std::flush;
        const auto line = ReadLine();
        if (!line) {
            // Never guess Yes for someone who is not there.
            const int answer = yesNo ? IdNo : IdOk;
            out_ << "  (the input ended: answered " << name(answer) << ")\n";
            return answer;
        }
        const std::string answer = ToLowerAscii(TrimBlanks(*line));
        if (answer.empty() && enterTakes) {
            return defaultAnswer;
        }
        if (yesNo && (answer == "y" || answer == "yes")) {
            return IdYes;
        }
        if (yesNo && (answer == "n" || answer == "no")) {
            return IdNo;
        }
        if (!yesNo && (answer == "o" || answer == "ok")) {
            return IdOk;
        }
        const bool cancel = answer == "c" || answer == "cancel" || answer == "esc" ||
                            (!answer.empty() && std::all_of(answer.begin(), answer.end(),
                                                            [](char c) { return c == '\x1b'; }));
        if (answer == "?" || answer == "help") {
            out_ << "  Keys for this question:\n";
            if (yesNo)
                out_ << "    y        answer Yes\n"
                        "    n        answer No\n"
                     << (enterTakes
                             ? std::string("    Enter    answer ") + name(defaultAnswer) + "\n"
                             : std::string("    Enter    nothing: type y or n\n"));
            else
                out_ << "    Enter    OK (or type o)\n";
            if (WorkingWindow() != nullptr)
                out_ << "    Cancel   not at a question: between questions (c, then Enter) or "
                        "Ctrl-C\n";
            out_ << "    ?        this help\n";
        } else if (cancel && WorkingWindow() != nullptr) {
            out_ << "  Cancel cannot be pressed at a question: answer it, then press Cancel "
                    "between questions (c, then Enter), or press Ctrl-C.\n";
        } else if (answer.empty()) {
            out_ << "  Type y or n: Enter alone does not answer this question.\n";
        } else {
            out_ << "  Please answer " << (yesNo ? "y or n" : "o or press Enter") << ".\n";
        }
    }
}

const Form* ConsoleFrontEnd::WorkingWindow() const {
    if (shown_.empty())
        return nullptr;
    const Form* top = shown_.back();
    if (top == commandFor_ || !top->IsLoaded() || !top->IsVisible())
        return nullptr;
    for (const auto& control : top->Controls())
        if (control->Kind() == ControlKind::CommandButton && control->IsCancel &&
            control->Enabled && control->Visible)
            return top;
    return nullptr;
}

void ConsoleFrontEnd::DoEvents(FormRuntime& runtime) {
    out_.flush();
    // Not while a typed command is being carried out: its handlers call
    // DoEvents too.
    if (!inputWaiting_ || endOfInput_ || takingTypedCommand_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook_)
        return;
    nextLook_ = now + LookInterval;
    Form* top = Topmost(runtime);
    if (top == nullptr || !inputWaiting_())
        return;
    // The end of the input is no command: the window stays.
    const auto line = ReadLine();
    if (!line)
        return;
    takingTypedCommand_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{takingTypedCommand_};
    CarryOut(runtime, *top, false, *line);
}

void ConsoleFrontEnd::FormShown(FormRuntime& runtime, Form& form, bool modal) {
    (void)runtime;
    (void)modal;
    std::erase(shown_, &form);
    shown_.push_back(&form);
    Draw(form);
}

void ConsoleFrontEnd::FormHidden(FormRuntime& runtime, Form& form) {
    (void)runtime;
    std::erase(shown_, &form);
    panelShown_ = nullptr;
}

void ConsoleFrontEnd::RunModal(FormRuntime& runtime, Form& form) {
    while (form.IsLoaded() && form.IsVisible()) {
        Command(runtime, form, true);
    }
}

void ConsoleFrontEnd::RunEventLoop(FormRuntime& runtime) {
    while (Form* top = Topmost(runtime)) {
        Command(runtime, *top, false);
    }
}

Form* ConsoleFrontEnd::Topmost(const FormRuntime& runtime) const {
    const auto& loaded = runtime.LoadedForms();
    for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
        const auto found = std::find(loaded.begin(), loaded.end(), *it);
        if (found != loaded.end() && (*found)->IsVisible()) {
            return *found;
        }
    }
    for (auto it = loaded.rbegin(); it != loaded.rend(); ++it) {
        if ((*it)->IsVisible()) {
            return *it;
        }
    }
    return nullptr;
}

std::vector<ConsoleFrontEnd::Choice> ConsoleFrontEnd::Choices(const Form& form) const {
    // List entries first, so that the numbers of a list are its entries'.
    std::vector<Choice> choices;
    const std::vector<Control*> controls = InReadingOrder(form);
    for (Control* control : controls) {
        if (IsListKind(control->Kind())) {
            for (int i = 0; i < control->ListCount(); ++i) {
                choices.push_back(Choice{control, i});
            }
        }
    }
    for (Control* control : controls) {
        const bool buttonWithoutKey =
            control->Kind() == ControlKind::CommandButton && AccessKey(control->Caption) == 0;
        if (control->Kind() == ControlKind::OptionButton || IsClickableLabel(form, *control) ||
            buttonWithoutKey) {
            choices.push_back(Choice{control, -1});
        }
    }
    return choices;
}

void ConsoleFrontEnd::Draw(const Form& form) {
    const std::vector<Choice> choices = Choices(form);
    const auto number = [&](const Control* control, int listIndex) {
        for (std::size_t i = 0; i < choices.size(); ++i) {
            if (choices[i].control == control && choices[i].listIndex == listIndex) {
                return "[" + std::to_string(i + 1) + "] ";
            }
        }
        return std::string();
    };
    const auto disabled = [](const Control& control) {
        return control.Enabled ? std::string() : std::string("  (disabled)");
    };

    std::string heading = "== " + form.Caption + " ";
    if (heading.size() < ScreenWidth) {
        heading += std::string(ScreenWidth - heading.size(), '=');
    }
    out_ << '\n';
    if (preview_)
        out_ << PreviewBanner << '\n';
    out_ << heading << '\n';

    std::vector<const Control*> buttons;
    for (const Control* control : InReadingOrder(form)) {
        switch (control->Kind()) {
        case ControlKind::Label: {
            const bool clickable = IsClickableLabel(form, *control);
            if (control->Caption.empty() && !clickable) {
                break;
            }
            const std::string prefix = clickable ? number(control, -1) : std::string();
            const std::string indent(2 + prefix.size(), ' ');
            bool first = true;
            for (const std::string& line : Wrap(control->Caption, ScreenWidth - indent.size())) {
                out_ << (first ? "  " + prefix : indent) << line << '\n';
                first = false;
            }
            // What the number before the line is for.
            if (clickable && !prefix.empty()) {
                const std::string number = prefix.substr(1, prefix.find(']') - 1);
                std::string about =
                    control->ToolTipText.empty()
                        ? std::string()
                        : control->ToolTipText + (control->ToolTipText.back() == '.' ? " " : ". ");
                about = "(" + about + "Type " + number + " to see more about it.)";
                for (const std::string& line : Wrap(about, ScreenWidth - indent.size()))
                    out_ << indent << line << '\n';
            }
            break;
        }
        case ControlKind::Frame:
            if (!control->Caption.empty()) {
                out_ << "  -- " << ShowCaption(control->Caption, false) << " --\n";
            }
            break;
        case ControlKind::OptionButton:
            out_ << "  " << number(control, -1) << (control->Value() ? "(\u2022) " : "( ) ")
                 << ShowCaption(control->Caption, control->Enabled) << disabled(*control) << '\n';
            break;
        case ControlKind::ListBox:
        case ControlKind::FileListBox:
        case ControlKind::DirListBox:
            if (control->ListCount() == 0) {
                out_ << "    (empty list)" << disabled(*control) << '\n';
            }
            for (int i = 0; i < control->ListCount(); ++i) {
                out_ << "    " << number(control, i) << (i == control->ListIndex() ? "> " : "  ")
                     << control->List(i) << (i == 0 ? disabled(*control) : "") << '\n';
            }
            break;
        case ControlKind::TextBox:
            for (const std::string& line : Wrap(control->Caption, ScreenWidth - 4)) {
                out_ << "  | " << line << '\n';
            }
            break;
        case ControlKind::CommandButton: buttons.push_back(control); break;
        case ControlKind::Image: break;
        }
    }
    if (!buttons.empty()) {
        out_ << '\n' << ' ';
        for (const Control* button : buttons) {
            out_ << ' ';
            if (!button->Enabled) {
                out_ << "(" << ShowCaption(button->Caption, false) << ": disabled)";
            } else if (AccessKey(button->Caption) != 0) {
                out_ << ShowCaption(button->Caption, true);
            } else {
                out_ << number(button, -1) << ShowCaption(button->Caption, false);
            }
            out_ << ' ';
        }
        out_ << '\n';
    }
    out_ << "  " << Hint(form) << '\n';
    panelShown_ = &form;
}

namespace {

// The window's button that Enter (default) or Esc (Cancel) presses.
const Control* DefaultOrCancel(const Form& form, bool enter) {
    const Control* button = nullptr;
    for (const Control* control : InReadingOrder(form))
        if (control->Kind() == ControlKind::CommandButton &&
            (enter ? control->IsDefault : control->IsCancel))
            button = control;
    return button;
}

std::string Pressed(const Control& button) {
    return ShowCaption(button.Caption, false);
}

} // namespace

std::string ConsoleFrontEnd::Hint(const Form& form) const {
    std::vector<std::string> parts;
    const std::size_t count = Choices(form).size();
    if (count == 1)
        parts.push_back("1 = choose");
    else if (count > 1)
        parts.push_back("1-" + std::to_string(count) + " = choose");
    bool keys = false;
    for (const Control* control : InReadingOrder(form))
        keys = keys || ((control->Kind() == ControlKind::CommandButton ||
                         control->Kind() == ControlKind::OptionButton) &&
                        control->Enabled && AccessKey(control->Caption) != 0);
    if (keys)
        parts.push_back("letter in [ ] = press");
    if (const Control* button = DefaultOrCancel(form, true))
        parts.push_back("Enter = " + Pressed(*button));
    if (const Control* button = DefaultOrCancel(form, false))
        parts.push_back("Esc = " + Pressed(*button));
    parts.push_back("? = help");
    std::string hint;
    for (const std::string& part : parts)
        hint += (hint.empty() ? "" : ", ") + part;
    return hint;
}

void ConsoleFrontEnd::PrintKeys(const Form& form) const {
    out_ << "  Keys for this window:\n";
    const auto key = [this](const std::string& typed, const std::string& meaning) {
        std::string column = "    " + typed;
        column += std::string(column.size() < 13 ? 13 - column.size() : 1, ' ');
        out_ << column << meaning << '\n';
    };
    const std::vector<Choice> choices = Choices(form);
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const Control& control = *choices[i].control;
        std::string meaning;
        if (choices[i].listIndex >= 0)
            meaning = "select \"" + control.List(choices[i].listIndex) + "\"";
        else if (control.Kind() == ControlKind::OptionButton)
            meaning = "choose \"" + ShowCaption(control.Caption, false) + "\"";
        else if (control.Kind() == ControlKind::CommandButton)
            meaning = "press " + Pressed(control);
        else
            meaning = "more about \"" + control.Caption + "\"";
        key(std::to_string(i + 1), meaning + (control.Enabled ? "" : "  (not available now)"));
    }
    for (const Control* control : InReadingOrder(form)) {
        const char letter = AccessKey(control->Caption);
        if (letter == 0 || (control->Kind() != ControlKind::CommandButton &&
                            control->Kind() != ControlKind::OptionButton))
            continue;
        key(std::string(1, letter),
            (control->Kind() == ControlKind::CommandButton ? "press " : "choose ") +
                Pressed(*control) + (control->Enabled ? "" : "  (not available now)"));
    }
    if (const Control* button = DefaultOrCancel(form, true))
        key("Enter", "press " + Pressed(*button));
    if (const Control* button = DefaultOrCancel(form, false))
        key("Esc", "press " + Pressed(*button) + " (type esc, or the Esc key, then Enter)");
    key("close", "close the window (its Close box)");
    key("show", "show the window again");
    key("?", "this help");
    out_ << "  Answers-file actions (Form.Control click, select N, set; Form close) work too.\n";
}

void ConsoleFrontEnd::CloseAtEndOfInput(FormRuntime& runtime, Form& form) {
    out_ << "  (the input ended: the window is closed)\n";
    panelShown_ = nullptr;
    runtime.Close(form);
    if (form.IsLoaded() && form.IsVisible()) {
        throw AnswersError("the input ended while the window \"" + form.Caption +
                           "\" was waiting, and it would not close");
    }
}

void ConsoleFrontEnd::Command(FormRuntime& runtime, Form& form, bool modal) {
    if (panelShown_ != &form) {
        Draw(form);
    }
    out_ << "> " << std::flush;
    const auto line = ReadLine();
    if (!line) {
        CloseAtEndOfInput(runtime, form);
        return;
    }
    const Form* outer = commandFor_;
    commandFor_ = &form;
    struct Restore {
        const Form*& at;
        const Form* was;
        ~Restore() { at = was; }
    } restore{commandFor_, outer};
    CarryOut(runtime, form, modal, *line);
}

void ConsoleFrontEnd::CarryOut(FormRuntime& runtime, Form& form, bool modal,
                               const std::string& line) {
    const std::string command = TrimBlanks(line);
    const std::string lower = ToLowerAscii(command);
    if (lower == "show") {
        Draw(form);
        return;
    }
    if (lower == "?" || lower == "help") {
        PrintKeys(form);
        return;
    }

    DialogAction action;
    action.form = form.Name();
    // Enter presses the default button, Esc the Cancel button, as the
    // dialog defines them.
    const bool enter = command.empty();
    const bool escape =
        !enter && (lower == "esc" ||
                   std::all_of(command.begin(), command.end(), [](char c) { return c == '\x1b'; }));
    // The control a short command names, told by its caption when it cannot
    // be used now.
    const Control* shortTarget = nullptr;
    if (enter || escape) {
        const Control* button = DefaultOrCancel(form, enter);
        shortTarget = button;
        if (button == nullptr) {
            if (enter)
                Draw(form);
            else
                out_ << "  This window has no Cancel button.\n";
            return;
        }
        action.control = button->Name();
        action.verb = DialogAction::Verb::Click;
    } else if (lower == "close") {
        action.verb = DialogAction::Verb::Close;
    } else if (std::all_of(command.begin(), command.end(),
                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        const std::vector<Choice> choices = Choices(form);
        const std::size_t n = command.size() > 6 ? 0 : std::stoul(command);
        if (n < 1 || n > choices.size()) {
            out_ << "  There is no entry " << command << ".\n";
            return;
        }
        const Choice& choice = choices[n - 1];
        shortTarget = choice.control;
        action.control = choice.control->Name();
        if (choice.listIndex >= 0) {
            action.verb = DialogAction::Verb::Select;
            action.index = choice.listIndex;
        } else if (choice.control->Kind() == ControlKind::OptionButton) {
            action.verb = DialogAction::Verb::Set;
        } else {
            action.verb = DialogAction::Verb::Click;
        }
    } else if (command.size() == 1 && std::isalpha(static_cast<unsigned char>(command[0]))) {
        const Control* keyed = nullptr;
        for (const Control* control : InReadingOrder(form)) {
            const bool pressable = control->Kind() == ControlKind::CommandButton ||
                                   control->Kind() == ControlKind::OptionButton;
            if (pressable && AccessKey(control->Caption) == lower[0]) {
                keyed = control;
                if (control->Enabled) {
                    break;
                }
            }
        }
        if (keyed == nullptr) {
            out_ << "  No button has the key " << command << ".\n";
            return;
        }
        shortTarget = keyed;
        action.control = keyed->Name();
        action.verb = keyed->Kind() == ControlKind::OptionButton ? DialogAction::Verb::Set
                                                                 : DialogAction::Verb::Click;
    } else if (LooksLikeDialogAction(command)) {
        auto parsed = ParseDialogAction(command);
        if (const auto* problem = std::get_if<std::string>(&parsed)) {
            out_ << "  " << *problem << ".\n";
            return;
        }
        action = std::get<DialogAction>(parsed);
        if (action.after) {
            out_ << "  \"after\" is for answers files only.\n";
            return;
        }
        if (modal && action.form != form.Name()) {
            out_ << "  " << form.Name() << " is waiting for an answer first.\n";
            return;
        }
    } else {
        out_ << "  Unknown command; type ? for help.\n";
        return;
    }

    if (shortTarget != nullptr && !shortTarget->Enabled) {
        const bool list = IsListKind(shortTarget->Kind());
        out_ << "  " << (list ? std::string("The list") : "\"" + Pressed(*shortTarget) + "\"")
             << " is not available now.\n";
        return;
    }
    auto resolved = ResolveDialogAction(runtime, action);
    if (const auto* problem = std::get_if<std::string>(&resolved)) {
        out_ << "  " << *problem << ".\n";
        return;
    }
    panelShown_ = nullptr;
    PerformDialogAction(runtime, action, std::get<ActionTarget>(resolved));
}

} // namespace kestovan::forms
