#pragma once

#include <optional>
#include <string>
#include <variant>

namespace kestovan::forms {

class Control;
class Form;
class FormRuntime;

// One user action on a dialog, in the words of an answers file:
//   Form.Control click
//   Form.Control click after "TEXT"   (armed until a status log line holds TEXT)
//   Form.Control select N             (list index, from 0)
//   Form.Control select "text"        (the entry with exactly that text)
//   Form.Control set                  (option button)
//   Form close                        (the window's Close box)
struct DialogAction {
    enum class Verb { Click, Select, Set, Close };

    std::string form;
    std::string control; // empty for Close
    Verb verb = Verb::Click;
    std::optional<int> index;         // Select by index
    std::optional<std::string> text;  // Select by text
    std::optional<std::string> after; // Click after "TEXT"
};

// The action a line holds, or the reason it is not one.
std::variant<DialogAction, std::string> ParseDialogAction(const std::string& line);

// True when line looks like a dialog action rather than a message box answer
// (it names a form: its first word holds a '.', or it ends with "close").
bool LooksLikeDialogAction(const std::string& line);

// The form and control an action addresses, checked against what is on the
// screen: a loaded, visible form; an enabled, visible control of the right
// kind; a list entry that exists; for a click on a list, a selected entry.
// The reason when it cannot be taken.
struct ActionTarget {
    Form* form = nullptr;
    Control* control = nullptr; // null for Close
    int listIndex = -1;         // Select
};
std::variant<ActionTarget, std::string> ResolveDialogAction(FormRuntime& runtime,
                                                            const DialogAction& action);

// Performs a resolved action as the user's click would: Click raises
// "Click" (on an option button it first selects it, as Set does); Select
// sets ListIndex, then raises "Click"; Set selects the option button, then
// raises "Click"; Close asks the form to close (Close box).
void PerformDialogAction(FormRuntime& runtime, const DialogAction& action,
                         const ActionTarget& target);

// Text helpers shared by the front ends.
std::string TrimBlanks(const std::string& text);
std::string ToLowerAscii(std::string text);

} // namespace kestovan::forms
