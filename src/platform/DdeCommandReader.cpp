#include "platform/DdeCommandReader.h"

#include "platform/RuntimeError.h"

namespace kestovan {

namespace {

[[noreturn]] void Refuse() {
    throw RuntimeError(err::DdeMethodRefused);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

DdeCommandReader::DdeCommandReader(std::string_view text) : text_(text) {
    SkipBlanks();
}

DdeCommand DdeCommandReader::Next() {
    DdeCommand command;
    Expect('[');
    SkipBlanks();
    while (pos_ < text_.size() && IsNameChar(text_[pos_]))
        command.name += text_[pos_++];
    if (command.name.empty())
        Refuse();
    SkipBlanks();
    if (Peek() == '(') {
        ++pos_;
        for (;;) {
            command.arguments.push_back(Argument());
            const char next = Peek();
            ++pos_;
            if (next == ')')
                break;
            if (next != ',')
                Refuse();
        }
        SkipBlanks();
    }
    Expect(']');
    SkipBlanks();
    return command;
}

void DdeCommandReader::SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_]))
        ++pos_;
}

void DdeCommandReader::Expect(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c)
        Refuse();
    ++pos_;
}

std::string DdeCommandReader::Argument() {
    SkipBlanks();
    std::string value;
    if (Peek() == '"') {
        ++pos_;
        for (;;) {
            if (pos_ >= text_.size())
                Refuse(); // no closing quote
            const char c = text_[pos_++];
            if (c == '"') {
                if (Peek() != '"')
                    break;
                ++pos_;
            }
            value += c;
        }
        SkipBlanks();
    } else {
        const std::size_t end = text_.find_first_of(",)", pos_);
        if (end == std::string_view::npos)
            Refuse();
        std::string_view raw = text_.substr(pos_, end - pos_);
        while (!raw.empty() && IsBlank(raw.back()))
            raw.remove_suffix(1);
        value.assign(raw);
        pos_ = end;
    }
    if (Peek() != ',' && Peek() != ')')
        Refuse();
    return value;
}

} // namespace kestovan
