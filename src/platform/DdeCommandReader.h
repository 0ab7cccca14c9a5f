#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestovan {

// A command of a Program Manager command string: its name and its arguments.
struct DdeCommand {
    std::string name;
    std::vector<std::string> arguments;
};

// Reads the commands of a Program Manager command string one at a time, so
// that the commands before a malformed one are carried out, as Program
// Manager does: "[Name(argument, ...)]", blanks allowed around names,
// arguments and brackets; a quoted argument takes "" for one quote, an
// unquoted one ends at the first ',' or ')'.  A malformed command raises
// run-time error 285.  The text must outlive the reader.
class DdeCommandReader {
public:
    explicit DdeCommandReader(std::string_view text);

    bool AtEnd() const { return pos_ >= text_.size(); }
    DdeCommand Next();

private:
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void SkipBlanks();
    void Expect(char c);
    // One argument, leaving the position on the ',' or ')' after it.
    std::string Argument();

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace kestovan
