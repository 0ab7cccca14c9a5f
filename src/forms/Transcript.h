#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace kestovan::forms {

class Form;

// The JSON Lines record of message boxes, dialogs and actions.
class Transcript {
public:
    explicit Transcript(std::unique_ptr<std::ostream> out);
    ~Transcript();

    void MsgBox(const std::string& title, int buttons, const std::string& prompt, int answer);
    void Show(const Form& form, bool modal);
    void Action(int line, const std::string& text);
    void Clipboard(const std::string& text);
    void End(int code);

private:
    void Write(const std::string& jsonLine);
    std::unique_ptr<std::ostream> out_;
};

} // namespace kestovan::forms
