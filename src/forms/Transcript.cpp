#include "forms/Transcript.h"

#include "forms/Form.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace kestovan::forms {

namespace {

using Json = nlohmann::ordered_json;

// Length of the well-formed UTF-8 sequence at text[pos], or 0 when the byte
// there does not start one.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + i);
        const unsigned char min = i == 1 ? low : 0x80;
        const unsigned char max = i == 1 ? high : 0xBF;
        if (next < min || next > max) {
            return 0;
        }
    }
    return length;
}

void AppendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The program's texts are ANSI (Windows-1252) bytes, while file names found
// on a POSIX machine are UTF-8.  JSON needs UTF-8: well-formed UTF-8 is kept,
// and every other byte is read as a Windows-1252 character.
std::string ToUtf8(const std::string& text) {
    static constexpr std::array<std::uint16_t, 32> Cp1252High = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = Utf8SequenceLength(text, pos);
        if (length != 0) {
            out.append(text, pos, length);
            pos += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[pos]);
        AppendCodePoint(out, byte < 0xA0 ? Cp1252High[byte - 0x80] : byte);
        ++pos;
    }
    return out;
}

bool IsListKind(ControlKind kind) {
    return kind == ControlKind::ListBox || kind == ControlKind::FileListBox ||
           kind == ControlKind::DirListBox;
}

Json ControlRecord(const Control& control) {
    Json record = Json::object();
    record["text"] = ToUtf8(IsListKind(control.Kind()) ? control.SelectedText() : control.Caption);
    record["enabled"] = control.Enabled;
    record["visible"] = control.Visible;
    if (control.Kind() == ControlKind::OptionButton) {
        record["value"] = control.Value();
    }
    if (IsListKind(control.Kind())) {
        Json items = Json::array();
        for (const std::string& item : control.Items()) {
            items.push_back(ToUtf8(item));
        }
        record["items"] = std::move(items);
        record["selected"] = control.ListIndex();
    }
    if (!control.ToolTipText.empty()) {
        record["tooltip"] = ToUtf8(control.ToolTipText);
    }
    return record;
}

} // namespace

Transcript::Transcript(std::unique_ptr<std::ostream> out) : out_(std::move(out)) {}

Transcript::~Transcript() = default;

void Transcript::MsgBox(const std::string& title, int buttons, const std::string& prompt,
                        int answer) {
    Json line = Json::object();
    line["event"] = "msgbox";
    line["title"] = ToUtf8(title);
    line["buttons"] = buttons;
    line["prompt"] = ToUtf8(prompt);
    line["answer"] = answer;
    Write(line.dump());
}

void Transcript::Show(const Form& form, bool modal) {
    Json controls = Json::object();
    for (const auto& control : form.Controls()) {
        controls[ToUtf8(control->Name())] = ControlRecord(*control);
    }
    Json line = Json::object();
    line["event"] = "show";
    line["form"] = ToUtf8(form.Name());
    line["modal"] = modal;
    line["caption"] = ToUtf8(form.Caption);
    line["controls"] = std::move(controls);
    Write(line.dump());
}

void Transcript::Action(int lineNumber, const std::string& text) {
    Json line = Json::object();
    line["event"] = "action";
    line["line"] = lineNumber;
    line["text"] = ToUtf8(text);
    Write(line.dump());
}

void Transcript::Clipboard(const std::string& text) {
    Json line = Json::object();
    line["event"] = "clipboard";
    line["text"] = ToUtf8(text);
    Write(line.dump());
}

void Transcript::Change(const std::string& text) {
    Json line = Json::object();
    line["event"] = "change";
    line["text"] = ToUtf8(text);
    Write(line.dump());
}

void Transcript::Preview(const std::string& text) {
    Json line = Json::object();
    line["event"] = "preview";
    line["text"] = ToUtf8(text);
    Write(line.dump());
}

void Transcript::End(int code) {
    Json line = Json::object();
    line["event"] = "end";
    line["code"] = code;
    Write(line.dump());
}

void Transcript::Write(const std::string& jsonLine) {
    // Flushed line by line: the program may end through exit() at any time.
    *out_ << jsonLine << '\n';
    out_->flush();
    if (!*out_) {
        throw std::runtime_error("cannot write the transcript");
    }
}

} // namespace kestovan::forms
