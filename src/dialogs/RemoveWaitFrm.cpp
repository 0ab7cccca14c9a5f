#include "dialogs/RemoveWaitFrm.h"

#include "dialogs/DialogLayout.h"
#include "state/MainModule.h"
#include "state/Text.h"

namespace kestovan::dialogs {

RemoveWaitFrm::RemoveWaitFrm(MainModule& module)
    : Form(module.Runtime(), "RemoveWaitFrm", "Wait"), module_(module) {
    using forms::ControlKind;
    ClientWidth = 6165;
    ClientHeight = 1455;
    BackColor = LightGrey;
    MousePointer = forms::PointerArrowHourglass;

    auto& cmdCancel =
        Place(AddControl("CmdCancel", ControlKind::CommandButton), 4320, 360, 1575, 495, 0);
    cmdCancel.Caption = "&Cancel";
    SetFont(cmdCancel, 8.25, true);
    cmdCancel.IsCancel = true;
    cmdCancel.ToolTipText = "Click here to abort KESTOVAN.";
    auto& label1 = Place(AddControl("Label1", ControlKind::Label), 960, 1080, 1575, 375, 3);
    label1.Caption = "Please wait...";
    label1.ForeColor = DarkGrey;
    label1.BackTransparent = true;
    auto& lblName = Place(AddControl("lblName", ControlKind::Label), 960, 600, 3255, 255, 2);
    lblName.Caption = "#";
    SetFont(lblName, 9.75, false);
    lblName.ForeColor = DarkBlue;
    lblName.BackTransparent = true;
    auto& lblMsg = Place(AddControl("lblMsg", ControlKind::Label), 960, 240, 3135, 375, 1);
    lblMsg.Caption = "KESTOVAN is Removing:";
    SetFont(lblMsg, 12, false);
    lblMsg.ForeColor = DarkRed;
    lblMsg.BackTransparent = true;
    Place(AddControl("Image1", ControlKind::Image), 240, 330, 480, 480, -1);

    On("CmdCancel", "Click", [this] { CmdCancel_Click(); });
}

void RemoveWaitFrm::Form_Load() {
    Caption = ProgramTitle;
    (*this)["lblName"].Caption = Quote + module_.State.SelectedApp + Quote;
}

void RemoveWaitFrm::CmdCancel_Click() {
    (*this)["CmdCancel"].Enabled = false;
    module_.DoEvents();
    module_.State.CancelRequested = True;
}

} // namespace kestovan::dialogs
