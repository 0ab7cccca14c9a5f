#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace kestovan::forms {

class Form;

// The JSON Lines record of message boxes, dialogs and actions: one object a
// line, keys in a fixed order, written and flushed at once.  A show lists the
// form's controls in stacking order, each as {"text", "enabled", "visible"},
// plus "value" for option buttons, "items" and "selected" (ListIndex) for the
// list kinds (whose "text" is the selected entry), and "tooltip" when set.
// Texts that are not UTF-8 are read as Windows ANSI text.  A failed write
// raises std::runtime_error.
class Transcript {
public:
    explicit Transcript(std::unique_ptr<std::ostream> out);
    ~Transcript();

    void MsgBox(const std::string& title, int buttons, const std::string& prompt, int answer);
    void Show(const Form& form, bool modal);
    void Action(int line, const std::string& text);
    void Clipboard(const std::string& text);
    // A change a preview recorded instead of making it.
    void Change(const std::string& text);
    // The first line of a preview's transcript: the run changes nothing.
    void Preview(const std::string& text);
    void End(int code);

private:
    void Write(const std::string& jsonLine);
    std::unique_ptr<std::ostream> out_;
};

} // namespace kestovan::forms
