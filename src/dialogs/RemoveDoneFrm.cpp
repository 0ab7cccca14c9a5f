#include "dialogs/RemoveDoneFrm.h"

#include "dialogs/DialogLayout.h"
#include "state/MainModule.h"
#include "state/Text.h"

namespace kestovan::dialogs {

RemoveDoneFrm::RemoveDoneFrm(MainModule& module)
    : Form(module.Runtime(), "RemoveDoneFrm", "KESTOVAN Done"), module_(module) {
    using forms::ControlKind;
    ClientWidth = 6615;
    ClientHeight = 5295;
    BackColor = LightGrey;
    const std::string q = Quote;

    auto& cmdCopy =
        Place(AddControl("CmdCopy", ControlKind::CommandButton), 4560, 3960, 1695, 495, 1);
    cmdCopy.Caption = "&Copy Text";
    cmdCopy.BackColor = White;
    cmdCopy.ToolTipText = "Copy the status report to the clipboard.";
    auto& cmdOk = Place(AddControl("CmdOK", ControlKind::CommandButton), 4560, 4560, 1695, 495, 0);
    cmdOk.Caption = "&OK";
    SetFont(cmdOk, 8.25, true);
    cmdOk.IsDefault = true;
    cmdOk.ToolTipText = "Click here to continue.";
    auto& txtLog = Place(AddControl("txtLog", ControlKind::TextBox), 360, 960, 5895, 2295, 3);
    txtLog.Caption = "Text1";
    txtLog.MultiLine = true;
    txtLog.BackColor = White;
    txtLog.ForeColor = Black;
    auto& lblNote = Place(AddControl("lblNote", ControlKind::Label), 480, 3720, 3735, 495, 6);
    lblNote.Caption = "#";
    SetFont(lblNote, 9.75, true);
    lblNote.ForeColor = DarkBlue;
    lblNote.TextAlign = forms::Alignment::Center;
    lblNote.BackTransparent = true;
    auto& image1 = Place(AddControl("Image1", ControlKind::Image), 360, 240, 480, 480, -1);
    image1.ToolTipText = "Click \"OK\" to close the lid on the software that you flushed.";
    auto& lblMsg = Place(AddControl("lblMsg", ControlKind::Label), 600, 4200, 3495, 735, 5);
    lblMsg.Caption = "#";
    SetFont(lblMsg, 8.25, true);
    lblMsg.ForeColor = DarkRed;
    lblMsg.TextAlign = forms::Alignment::Center;
    lblMsg.BackTransparent = true;
    auto& lblHeading = Place(AddControl("lblHeading", ControlKind::Label), 360, 285, 5895, 495, 4);
    lblHeading.Caption = "KESTOVAN - [Status Report]";
    SetFont(lblHeading, 13.5, false);
    lblHeading.ForeColor = DarkGrey;
    lblHeading.TextAlign = forms::Alignment::Center;
    lblHeading.BackTransparent = true;
    auto& lblFrame = Place(AddControl("lblFrame", ControlKind::Label), 360, 3600, 3975, 1455, 7);
    lblFrame.BackColor = White;
    lblFrame.BorderSingle = true;
    auto& lblBack = Place(AddControl("lblBack", ControlKind::Label), 0, 0, 6615, 5295, 2);
    lblBack.BackColor = LightGrey;
    lblBack.BorderSingle = true;

    On("CmdCopy", "Click", [this] { CmdCopy_Click(); });
    On("CmdOK", "Click", [this] { CmdOK_Click(); });
}

void RemoveDoneFrm::Form_Load() {
    auto& s = module_.State;
    Caption = ProgramTitle;
    (*this)["lblNote"].Caption = Quote + s.SelectedApp + Quote;
    (*this)["lblMsg"].Caption = s.ProblemsFound == True
                                    ? "NOTE: Some problems occurred while removing the software."
                                    : "Software has been successfully removed from your system.";
    (*this)["txtLog"].Caption = s.StatusLog;
    module_.DoEvents();
    module_.SetMousePointer(forms::PointerDefault);
}

void RemoveDoneFrm::Form_Unload(int& /*cancel*/) {
    module_.SetMousePointer(forms::PointerHourglass);
    module_.DoEvents();
}

void RemoveDoneFrm::CmdCopy_Click() {
    auto& platform = module_.Platform();
    platform.ClipboardClear();
    platform.ClipboardSetText((*this)["txtLog"].Caption);
    module_.MsgBox("KESTOVAN log was copied to the clipboard." + module_.State.CrLf2 +
                       "You may paste this data into a word processor to print it and/or save it.",
                   forms::MbOkInformation);
}

void RemoveDoneFrm::CmdOK_Click() {
    Runtime().Unload(*this);
}

} // namespace kestovan::dialogs
