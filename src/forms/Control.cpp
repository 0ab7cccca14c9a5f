#include "forms/Control.h"

#include "forms/Form.h"
#include "forms/FormRuntime.h"
#include "platform/PlatformServices.h"
#include "platform/RuntimeError.h"

#include <utility>

namespace kestovan::forms {

namespace {

constexpr int InvalidPropertyValue = 380;
constexpr int InvalidPropertyArrayIndex = 381;
constexpr int DdeNoChannelOpen = 293;
constexpr int MethodNotSupported = 438;

bool IsListKind(ControlKind kind) {
    return kind == ControlKind::ListBox || kind == ControlKind::FileListBox ||
           kind == ControlKind::DirListBox;
}

[[noreturn]] void RaiseNotSupported() {
    throw RuntimeError(MethodNotSupported, "Object doesn't support this property or method");
}

} // namespace

const char* ControlKindName(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label: return "Label";
    case ControlKind::CommandButton: return "CommandButton";
    case ControlKind::OptionButton: return "OptionButton";
    case ControlKind::ListBox: return "ListBox";
    case ControlKind::TextBox: return "TextBox";
    case ControlKind::FileListBox: return "FileListBox";
    case ControlKind::DirListBox: return "DirListBox";
    case ControlKind::Frame: return "Frame";
    case ControlKind::Image: return "Image";
    }
    return "Control";
}

Control::Control(Form& owner, std::string name, ControlKind kind)
    : owner_(owner), name_(std::move(name)), kind_(kind) {}

void Control::SetValue(bool value) {
    if (value && kind_ == ControlKind::OptionButton) {
        for (const auto& other : owner_.Controls()) {
            if (other.get() != this && other->kind_ == ControlKind::OptionButton &&
                other->Container == Container) {
                other->value_ = false;
            }
        }
    }
    value_ = value;
}

void Control::AddItem(const std::string& item) {
    if (!IsListKind(kind_)) {
        RaiseNotSupported();
    }
    items_.push_back(item);
    ++itemsVersion_;
}

void Control::Clear() {
    if (!IsListKind(kind_)) {
        RaiseNotSupported();
    }
    items_.clear();
    ++itemsVersion_;
    listIndex_ = -1;
}

const std::string& Control::List(int index) const {
    if (index < 0 || index >= ListCount()) {
        throw RuntimeError(InvalidPropertyArrayIndex, "Invalid property array index");
    }
    return items_[static_cast<std::size_t>(index)];
}

void Control::SetListIndex(int index) {
    if (index < -1 || index >= ListCount()) {
        throw RuntimeError(InvalidPropertyValue, "Invalid property value");
    }
    listIndex_ = index;
}

std::string Control::SelectedText() const {
    if (listIndex_ < 0 || listIndex_ >= ListCount()) {
        return {};
    }
    return items_[static_cast<std::size_t>(listIndex_)];
}

void Control::SetPath(const std::string& path) {
    const std::string previous = path_;
    path_ = path;
    try {
        Refresh();
    } catch (...) {
        path_ = previous;
        throw;
    }
}

void Control::SetPattern(const std::string& pattern) {
    const std::string previous = pattern_;
    pattern_ = pattern;
    try {
        Refresh();
    } catch (...) {
        pattern_ = previous;
        throw;
    }
}

void Control::Refresh() {
    if (kind_ != ControlKind::FileListBox && kind_ != ControlKind::DirListBox) {
        return;
    }
    if (path_.empty()) {
        return;
    }
    PlatformServices& platform = owner_.Runtime().Platform();
    std::vector<std::string> snapshot = kind_ == ControlKind::FileListBox
                                            ? platform.ListFiles(path_, pattern_)
                                            : platform.ListDirectories(path_);
    items_ = std::move(snapshot);
    ++itemsVersion_;
    listIndex_ = -1;
}

void Control::SetLinkMode(int mode) {
    switch (mode) {
    case 0: linkMode_ = 0; return;
    case 2:
        linkMode_ = 0;
        owner_.Runtime().Platform().DdeInitiate(LinkTopic);
        linkMode_ = 2;
        return;
    default: throw RuntimeError(InvalidPropertyValue, "Invalid property value");
    }
}

void Control::LinkRequest() {
    if (linkMode_ != 2) {
        throw RuntimeError(DdeNoChannelOpen, "DDE method invoked with no channel open");
    }
    Caption = owner_.Runtime().Platform().DdeRequest(LinkTopic, LinkItem);
}

void Control::LinkExecute(const std::string& command) {
    if (linkMode_ != 2) {
        throw RuntimeError(DdeNoChannelOpen, "DDE method invoked with no channel open");
    }
    owner_.Runtime().Platform().DdeExecute(LinkTopic, command);
}

} // namespace kestovan::forms
