#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestovan::forms {

class Form;

enum class ControlKind {
    Label,
    CommandButton,
    OptionButton,
    ListBox,
    TextBox,
    FileListBox,
    DirListBox,
    Frame,
    Image,
};

const char* ControlKindName(ControlKind kind);

struct FontSpec {
    std::string name = "MS Sans Serif";
    double size = 8.25;
    bool bold = false;
};

// Position and size in twips (15 twips = 1 pixel at 96 DPI).
struct Geometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

enum class Alignment { Left = 0, Right = 1, Center = 2 };

inline constexpr std::uint32_t ColorWindowBackground = 0x80000005u; // system colour
inline constexpr std::uint32_t ColorWindowText = 0x80000008u;       // system colour
inline constexpr std::uint32_t ColorButtonFace = 0x8000000Fu;       // system colour

// One named control of a form: a plain model that the front ends draw and
// the event handlers read and write.  Properties that do not apply to a kind
// keep their defaults.
class Control {
public:
    Control(Form& owner, std::string name, ControlKind kind);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Form& Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    ControlKind Kind() const { return kind_; }

    // Caption of labels, buttons, option buttons and frames; text of text boxes.
    std::string Caption;
    bool Enabled = true;
    bool Visible = true;
    std::string ToolTipText;
    Geometry Position;
    int TabIndex = -1;
    FontSpec Font;
    std::uint32_t ForeColor = ColorWindowText;
    std::uint32_t BackColor = ColorButtonFace;
    bool BackTransparent = false;
    bool BorderSingle = false;
    Alignment TextAlign = Alignment::Left;
    bool HandPointer = false;
    bool IsDefault = false; // Enter presses it
    bool IsCancel = false;  // Esc presses it
    bool MultiLine = false;
    // Name of the frame that contains the control ("" = the form itself);
    // option buttons with the same container form one exclusive group.
    std::string Container;

    // Option buttons.  Setting one clears the others of its group.
    bool Value() const { return value_; }
    void SetValue(bool value);

    // List boxes (also the file list and the directory list).
    void AddItem(const std::string& item);
    void Clear();
    int ListCount() const { return static_cast<int>(items_.size()); }
    // The entry at index; raises run-time error 381 "Invalid property array
    // index" when out of range.
    const std::string& List(int index) const;
    const std::vector<std::string>& Items() const { return items_; }
    // Changes whenever the entries may have changed (added, cleared or
    // listed again): a window showing them need not compare them all.
    std::uint64_t ItemsVersion() const { return itemsVersion_; }
    int ListIndex() const { return listIndex_; }
    // -1 clears the selection; raises 380 "Invalid property value" out of range.
    void SetListIndex(int index);
    // The selected entry's text, or "" when nothing is selected.
    std::string SelectedText() const;

    // File list box (and, with Path only, the directory list box): setting
    // Path or Pattern takes a new snapshot of the entries and clears the
    // selection; the snapshot does not change until one of them is set again.
    // No snapshot is taken while Path is empty.  A platform error propagates
    // and leaves Path, Pattern and the entries as they were.
    const std::string& Path() const { return path_; }
    void SetPath(const std::string& path);
    const std::string& Pattern() const { return pattern_; }
    void SetPattern(const std::string& pattern);

    // Text box as the client end of a DDE link.
    std::string LinkTopic;
    std::string LinkItem;
    // LinkMode 2 opens a manual link (the platform's DDE initiate on
    // LinkTopic; on failure the error propagates and the mode stays 0), 0
    // closes it; other values raise 380 "Invalid property value".
    // LinkRequest and LinkExecute need an open link, else they raise 293
    // "DDE method invoked with no channel open".
    int LinkMode() const { return linkMode_; }
    void SetLinkMode(int mode);
    void LinkRequest(); // fetches LinkItem into Caption
    void LinkExecute(const std::string& command);

private:
    void Refresh();

    Form& owner_;
    std::string name_;
    ControlKind kind_;
    bool value_ = false;
    std::vector<std::string> items_;
    std::uint64_t itemsVersion_ = 0;
    int listIndex_ = -1;
    std::string path_;
    std::string pattern_ = "*.*";
    int linkMode_ = 0;
};

} // namespace kestovan::forms
