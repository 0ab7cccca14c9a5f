#include "dialogs/RemoveFrm.h"
#include "dialogs/ShortcutFrm.h"
#include "state/GroupList.h"
#include "state/MainModule.h"
#include "state/Text.h"

#include <optional>

namespace kestovan {

namespace {

constexpr const char* DefaultGroup = "Tavori Software";
constexpr std::size_t MaxGroupNames = 201;
constexpr const char* Shortcut = "Tavori Viewer.lnk";
constexpr int DesktopFolder = 0;
constexpr int StartMenuFolder = 11;

// The argument of a Program Manager command.  A name holding a character
// that the command syntax gives a meaning to is sent between quotes (a
// quote inside it doubled), so that a crafted group name such as
// X)][DeleteGroup(Accessories can never carry a second command.  Other
// names are sent as they are.
std::string GroupArgument(const std::string& name) {
    if (name.find_first_of("[](),\"") == std::string::npos)
        return name;
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    quoted += '"';
    return quoted;
}

// Leaves the DDE link closed however the step ends.
class LinkCloser {
public:
    explicit LinkCloser(forms::Control& link) : link_(link) {}
    LinkCloser(const LinkCloser&) = delete;
    LinkCloser& operator=(const LinkCloser&) = delete;
    ~LinkCloser() {
        MainModule::TryIgnore([&] { link_.SetLinkMode(0); });
    }

private:
    forms::Control& link_;
};

} // namespace

std::string MainModule::FindStartMenuGroup() {
    auto& s = State;
    if (leftoverGroup_)
        return *leftoverGroup_;
    // The selection dialog moved the removal elsewhere: the records of that
    // directory count, not those of the start directory.
    if (UCase(s.RemovePath) != UCase(s.StartPath))
        ReadPreferencesFile();

    if (!s.RemoveProgram1.empty() || !s.RemoveProgram2.empty() || !s.RemoveProgram3.empty()) {
        const std::string* group = nullptr;
        if (s.SelectedApp == s.RemoveProgram1)
            group = &s.StartMenu1;
        else if (s.SelectedApp == s.RemoveProgram2)
            group = &s.StartMenu2;
        else if (s.SelectedApp == s.RemoveProgram3)
            group = &s.StartMenu3;
        if (group != nullptr && !group->empty())
            return *group;
        return DefaultGroup;
    }

    if (!s.StartMenu1.empty() || !s.StartMenu2.empty() || !s.StartMenu3.empty()) {
        // The chooser clears TempText when it loads and sets it to the folder
        // the user picked.
        runtime_.Show(ShortcutFrm(), 1);
        return s.TempText.empty() ? std::string() : s.TempText;
    }

    return DefaultGroup;
}

bool MainModule::RemoveStartMenuGroup() {
    auto& s = State;
    Checkpoint();

    const std::string group = FindStartMenuGroup();
    Checkpoint();

    if (group.empty()) {
        AppendLogLine(
            "(-) Tavori Viewer Start Menu shortcuts were not removed, you may delete these later.");
        return true;
    }

    // Ask Program Manager for its groups.
    DoEvents();
    forms::Control& link = RemoveFrm()["Text1"];
    LinkCloser closer(link);
    link.LinkTopic = "ProgMan|Progman";
    link.LinkItem = "PROGMAN";
    link.SetLinkMode(2);
    link.LinkRequest();
    DoEvents();
    link.SetLinkMode(0);
    Checkpoint();

    // The group list has room for 201 names; one more is an error of its own.
    std::size_t total = 0;
    const std::vector<std::string> groups = SplitGroupList(link.Caption, MaxGroupNames, &total);
    if (total > MaxGroupNames)
        throw RuntimeError(err::SubscriptOutOfRange);

    Checkpoint();
    s.Answer = 0;
    for (s.LoopIndex = 0; s.LoopIndex < static_cast<std::int32_t>(groups.size()); ++s.LoopIndex) {
        if (groups[static_cast<std::size_t>(s.LoopIndex)] == group) {
            s.Answer = -1;
            break;
        }
    }
    Checkpoint();

    if (s.Answer != -1) {
        MsgBox("Tavori Viewer Start Menu shortcuts could not be found, they may have already been "
               "deleted or moved since setup was run.",
               forms::MbOkInformation);
        AppendLogLine("(-) Tavori Viewer Start Menu shortcuts could not be found, they may have "
                      "already been deleted.");
        return true;
    }

    const std::string upper = UCase(group);
    if (upper == "STARTUP" || upper == "ACCESSORIES") {
        MsgBox(group + " is a system folder and may not be removed by KESTOVAN, Start Menu "
                       "shortcuts for this application will not be deleted as a result...",
               forms::MbOkInformation);
        AppendLogLine("(-) Tavori Viewer Start Menu shortcuts could not be deleted, unable to "
                      "remove system folder: " +
                      group);
        return false;
    }

    // A group whose folder is a link or junction is not the program's own
    // folder: deleting it could delete what the link leads to.  It cannot be
    // removed, which the start-menu error reports.
    if (platform_.IsProgramGroupLink(group))
        throw RuntimeError(err::DdeMethodRefused);

    s.Answer = static_cast<std::int16_t>(
        MsgBox("Caution, the following Start Menu Programs folder may contain shortcuts to other " +
                   std::string(Quote) + "Tavori" + Quote + " applications:" + s.CrLf2 + group +
                   s.CrLf2 + "Delete this folder and ALL of the shortcuts that it contains?",
               forms::MbYesNoQuestion));
    if (s.Answer != AnswerYes) {
        AppendLogLine("(-) The Tavori Viewer Start Menu shortcuts were not removed, you may delete "
                      "these later.");
        return true;
    }

    DoEvents();
    link.SetLinkMode(0);
    link.LinkTopic = "Progman|Progman";
    link.SetLinkMode(2);
    s.TempText = "[DeleteGroup(" + GroupArgument(group) + ")]";
    link.LinkExecute(s.TempText);
    DoEvents();
    link.SetLinkMode(0);
    AppendLogLine(
        "(+) The Tavori Viewer Start Menu Programs folder and all of it's shortcuts were removed.");
    return true;
}

void MainModule::RemoveDesktopShortcuts() {
    // FolderLocator: the shell's special folders, asked through the platform
    // with the window handle of RemoveFrm.  It holds nothing that would need
    // releasing when the step ends.
    const std::intptr_t hWnd = RemoveFrm().hWnd();

    // A desktop shortcut that is not there (a run that was interrupted may
    // have deleted it) still ends the step with its error, but only after
    // the Start Menu shortcut: stopping before it would leave that shortcut
    // for good, since every later run would stop there too.
    std::optional<RuntimeError> desktopShortcutMissing;
    std::string desktop;
    if (platform_.GetFolderPath(hWnd, DesktopFolder, desktop) != 0) {
        try {
            platform_.Kill(WithTrailingBackslash(desktop) + Shortcut);
        } catch (const RuntimeError& error) {
            if (error.Number() != err::FileNotFound)
                throw;
            desktopShortcutMissing = error;
        }
    } else
        MsgBox("An error occurred while getting the path to your desktop folder, unable to remove "
               "shortcut...",
               forms::MbOkExclamation);
    DoEvents();

    std::string startMenu;
    if (platform_.GetFolderPath(hWnd, StartMenuFolder, startMenu) != 0)
        platform_.Kill(WithTrailingBackslash(startMenu) + Shortcut);
    else
        MsgBox("An error occurred while getting the path to your Start Menu folder, unable to "
               "remove shortcut at the top of your Start Menu...",
               forms::MbOkExclamation);
    DoEvents();
    if (desktopShortcutMissing)
        throw *desktopShortcutMissing;
}

} // namespace kestovan
