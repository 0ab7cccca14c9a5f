#include "dialogs/ShortcutFrm.h"

#include "dialogs/DialogLayout.h"
#include "state/GroupList.h"
#include "state/MainModule.h"

#include <algorithm>

namespace kestovan::dialogs {

namespace {
constexpr std::size_t MaxGroupNames = 201;
} // namespace

ShortcutFrm::ShortcutFrm(MainModule& module)
    : forms::Form(module.Runtime(), "ShortcutFrm", "Which Folder"), module_(module) {
    using forms::ControlKind;
    ClientWidth = 6615;
    ClientHeight = 3735;
    BackColor = LightGrey;

    // Controls in stacking order, topmost first.
    auto& text1 = Place(AddControl("Text1", ControlKind::TextBox), -240, -120, 615, 375, 6);
    text1.Caption = "Text1";
    text1.Visible = false; // only the client end of the DDE conversation

    auto& frame1 = Place(AddControl("Frame1", ControlKind::Frame), 240, 240, 6135, 1455, 3);
    frame1.Caption = "Attempt to remove one of these Start Menu folders?";
    SetFont(frame1, 9.75, true);
    frame1.BackColor = LightGrey;
    frame1.ForeColor = DarkGrey;

    auto& listFolders =
        Place(AddControl("ListFolders", ControlKind::ListBox), 240, 480, 5535, 645, 4);
    listFolders.Container = "Frame1";
    listFolders.BackColor = White;
    listFolders.ForeColor = Black;

    auto& cmdDontRemove =
        Place(AddControl("CmdDontRemove", ControlKind::CommandButton), 1440, 3000, 2415, 495, 2);
    cmdDontRemove.Caption = "&Don't Remove Folder";
    cmdDontRemove.IsCancel = true;
    cmdDontRemove.ToolTipText = "Don't delete any start menu shortcuts.";

    auto& cmdRemove =
        Place(AddControl("CmdRemove", ControlKind::CommandButton), 3960, 3000, 2415, 495, 1);
    cmdRemove.Caption = "&Remove Folder";
    SetFont(cmdRemove, 8.25, true);
    cmdRemove.IsDefault = true;
    cmdRemove.ToolTipText = "Delete the selected folder if it is empty.";

    auto& image1 = Place(AddControl("Image1", ControlKind::Image), 240, 3000, 480, 480, -1);
    image1.ToolTipText = "Select a folder to remove.";

    auto& lblMsg = Place(AddControl("lblMsg", ControlKind::Label), 840, 1920, 4935, 1095, 5);
    lblMsg.Caption = "KESTOVAN could not locate the name of the Start Menu shortcut that was "
                     "created when the software was installed.  Select one of the above folder "
                     "names and press the \"Remove\" button if you would like to try and delete "
                     "this folder.";
    lblMsg.ForeColor = Black;
    lblMsg.TextAlign = forms::Alignment::Center;
    lblMsg.BackTransparent = true;

    auto& lblBack = Place(AddControl("lblBack", ControlKind::Label), 0, 0, 6615, 3735, 0);
    lblBack.BackColor = LightGrey;
    lblBack.BorderSingle = true;

    On("CmdRemove", "Click", [this] { CmdRemove_Click(); });
    On("CmdDontRemove", "Click", [this] { CmdDontRemove_Click(); });
}

void ShortcutFrm::Form_Load() {
    // Every failing statement is passed over: the list may come out shorter,
    // but the dialog stays usable.
    auto& s = module_.State;
    auto ignore = [](const std::function<void()>& statement) { MainModule::TryIgnore(statement); };

    s.TempText.clear();
    Caption = ProgramTitle;
    module_.DoEvents();

    // The program groups, through the hidden text box.  Without a Program
    // Manager it keeps its design text, which holds no group.
    auto& link = (*this)["Text1"];
    ignore([&] { link.LinkTopic = "ProgMan|Progman"; });
    ignore([&] { link.LinkItem = "PROGMAN"; });
    ignore([&] { link.SetLinkMode(2); });
    ignore([&] { link.LinkRequest(); });
    ignore([&] { link.SetLinkMode(0); });
    const std::vector<std::string> groups = SplitGroupList(link.Caption, MaxGroupNames);
    module_.DoEvents();

    auto& listFolders = (*this)["ListFolders"];
    ignore([&] { listFolders.AddItem("Tavori Software"); });
    for (const std::string* recorded : {&s.StartMenu1, &s.StartMenu2, &s.StartMenu3}) {
        if (recorded->empty())
            continue;
        for (s.LoopIndex = 0; s.LoopIndex < static_cast<std::int32_t>(groups.size());
             ++s.LoopIndex) {
            if (groups[static_cast<std::size_t>(s.LoopIndex)] != *recorded)
                continue;
            const auto& items = listFolders.Items();
            if (std::find(items.begin(), items.end(), *recorded) == items.end())
                ignore([&] { listFolders.AddItem(*recorded); });
            break;
        }
    }
    ignore([&] { listFolders.SetListIndex(0); });

    module_.DoEvents();
    module_.SetMousePointer(forms::PointerDefault);
}

void ShortcutFrm::CmdRemove_Click() {
    auto& listFolders = (*this)["ListFolders"];
    if (listFolders.ListIndex() == -1 || listFolders.ListCount() == 0) {
        module_.MsgBox("You need to select a folder to remove first...", forms::MbOkInformation);
        return;
    }
    module_.State.TempText = listFolders.SelectedText();
    Runtime().Unload(*this);
}

void ShortcutFrm::CmdDontRemove_Click() {
    module_.State.TempText.clear();
    Runtime().Unload(*this);
}

void ShortcutFrm::Form_Unload(int& cancel) {
    // The unload is never refused.
    (void)cancel;
    module_.SetMousePointer(forms::PointerHourglass);
    module_.DoEvents();
}

} // namespace kestovan::dialogs
