#include "dialogs/SelectDirFrm.h"

#include "dialogs/DialogLayout.h"
#include "state/MainModule.h"
#include "state/Text.h"

#include <array>

namespace kestovan::dialogs {

SelectDirFrm::SelectDirFrm(MainModule& module)
    : Form(module.Runtime(), "SelectDirFrm", "Select Directory"), module_(module) {
    using forms::ControlKind;
    ClientWidth = 6615;
    ClientHeight = 5295;
    BackColor = LightGrey;

    auto& appFrame = Place(AddControl("AppFrame", ControlKind::Frame), 300, 660, 1875, 1110, 15);
    appFrame.BackColor = forms::ColorWindowBackground;
    auto appOption = [&](const char* name, const char* caption, int top, int tabIndex) {
        auto& option =
            Place(AddControl(name, ControlKind::OptionButton), 75, top, 1695, 255, tabIndex);
        option.Caption = caption;
        option.Container = "AppFrame";
        option.BackColor = White;
        option.ForeColor = Black;
    };
    appOption("OptTViewer", "Tavori Viewer", 150, 18);
    appOption("OptTSound", "Tavori Sound", 450, 17);
    appOption("OptTNotes", "Tavori Notes", 750, 16);

    auto& cmdCancel =
        Place(AddControl("CmdCancel", ControlKind::CommandButton), 1920, 4560, 2175, 495, 4);
    cmdCancel.Caption = "&Cancel";
    cmdCancel.IsCancel = true;
    cmdCancel.ToolTipText = "Click here to cancel KESTOVAN.";
    auto& cmdContinue =
        Place(AddControl("CmdContinue", ControlKind::CommandButton), 4200, 4560, 2175, 495, 0);
    cmdContinue.Caption = "C&ontinue";
    SetFont(cmdContinue, 8.25, true);
    cmdContinue.IsDefault = true;
    cmdContinue.ToolTipText = "Click here to continue with the current selection.";

    auto& optUseReg =
        Place(AddControl("OptUseReg", ControlKind::OptionButton), 360, 1920, 6015, 375, 1);
    optUseReg.Caption = "Use path that was found in registry to KESTOVAN program.";
    SetFont(optUseReg, 8.25, true);
    optUseReg.BackColor = LightGrey;
    optUseReg.ForeColor = DarkGrey;
    auto& optUseData =
        Place(AddControl("OptUseData", ControlKind::OptionButton), 360, 2880, 6015, 375, 2);
    optUseData.Caption = "Search for KESTOVAN data in the current directory.";
    optUseData.BackColor = LightGrey;
    optUseData.ForeColor = Black;
    auto& optIgnore =
        Place(AddControl("OptIgnore", ControlKind::OptionButton), 360, 3240, 6015, 375, 3);
    optIgnore.Caption = "Don't use KESTOVAN data, remove program from the current directory.";
    optIgnore.BackColor = LightGrey;
    optIgnore.ForeColor = Black;
    optUseReg.SetValue(true);

    auto pathLabel = [&](const char* name, int top, int tabIndex, const char* toolTip) {
        auto& label = Place(AddControl(name, ControlKind::Label), 2280, top, 3975, 255, tabIndex);
        label.Caption = "#";
        label.BackTransparent = true;
        label.ForeColor = DarkGrey;
        label.HandPointer = true;
        label.ToolTipText = toolTip;
    };
    pathLabel("lblTNotesPath", 1440, 14, "Path to Tavori Notes");
    pathLabel("lblTSoundPath", 1140, 13, "Path to Tavori Sound");
    auto& image1 = Place(AddControl("Image1", ControlKind::Image), 240, 4560, 480, 480, -1);
    image1.ToolTipText = "Choose KESTOVAN options that you would like to use.";
    pathLabel("lblTViewerPath", 840, 12, "Path to Tavori Viewer");

    auto& lblProgPath =
        Place(AddControl("lblProgPath", ControlKind::Label), 240, 4080, 6135, 255, 11);
    lblProgPath.Caption = "#";
    lblProgPath.BackColor = White;
    lblProgPath.BorderSingle = true;
    lblProgPath.TextAlign = forms::Alignment::Center;
    lblProgPath.ForeColor = DarkGrey;
    lblProgPath.HandPointer = true;
    lblProgPath.ToolTipText = "This shows the path to KESTOVAN.EXE";
    auto note = [&](const char* name, const char* caption, int left, int top, int width,
                    int tabIndex, double size, std::uint32_t colour, bool centred) {
        auto& label = Place(AddControl(name, ControlKind::Label), left, top, width, 255, tabIndex);
        label.Caption = caption;
        SetFont(label, size, true);
        label.ForeColor = colour;
        label.BackTransparent = true;
        if (centred)
            label.TextAlign = forms::Alignment::Center;
    };
    note("lblNote3", "Current Directory", 240, 3720, 6135, 10, 9.75, MidGrey, true);
    note("lblNote2", "Advanced Options", 240, 2520, 6135, 9, 9.75, MidGrey, true);
    note("lblNote1", "(Recommended)", 720, 2280, 5655, 8, 8.25, DarkPurple, false);
    auto& label1 = Place(AddControl("Label1", ControlKind::Label), 240, 600, 6135, 1215, 7);
    label1.BackColor = White;
    label1.BorderSingle = true;
    auto& lblTitle = Place(AddControl("lblTitle", ControlKind::Label), 240, 120, 6135, 495, 6);
    lblTitle.Caption = "Program(s) were found in System Registry";
    SetFont(lblTitle, 12, true);
    lblTitle.ForeColor = DarkGrey;
    lblTitle.TextAlign = forms::Alignment::Center;
    lblTitle.BackTransparent = true;
    auto& lblBack = Place(AddControl("lblBack", ControlKind::Label), 0, 0, 6615, 5295, 5);
    lblBack.BackColor = LightGrey;
    lblBack.BorderSingle = true;

    On("CmdContinue", "Click", [this] { CmdContinue_Click(); });
    On("CmdCancel", "Click", [this] { CmdCancel_Click(); });
    On("lblProgPath", "Click", [this] { lblProgPath_Click(); });
    On("lblTViewerPath", "Click", [this] { lblTViewerPath_Click(); });
    On("lblTSoundPath", "Click", [this] { lblTSoundPath_Click(); });
    On("lblTNotesPath", "Click", [this] { lblTNotesPath_Click(); });
}

void SelectDirFrm::Form_Load() {
    auto& s = module_.State;
    auto& self = *this;
    auto attempt = [](const std::function<void()>& statement) { MainModule::TryIgnore(statement); };

    attempt([&] { Caption = ProgramTitle; });
    attempt([&] { self["lblProgPath"].Caption = s.StartPath; });
    if (s.ProgramCount == 0)
        attempt([&] { self["OptUseData"].Enabled = false; });

    const std::array<const std::string*, 3> paths{&s.ViewerPath, &s.SoundPath, &s.NotesPath};
    const std::array<const char*, 3> options{"OptTViewer", "OptTSound", "OptTNotes"};
    const std::array<const char*, 3> labels{"lblTViewerPath", "lblTSoundPath", "lblTNotesPath"};
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string& path = *paths[i];
        if (path.empty()) {
            attempt([&] { self[options[i]].Enabled = false; });
            attempt([&] { self[labels[i]].Caption = "Program was not found in registry."; });
        } else if (path == ".") {
            attempt([&] { self[labels[i]].Caption = "Program is located in current path."; });
        } else {
            attempt([&] { self[labels[i]].Caption = path; });
        }
    }
    for (const char* option : options) {
        bool enabled = false;
        attempt([&] { enabled = self[option].Enabled; });
        if (enabled) {
            attempt([&] { self[option].SetValue(true); });
            break;
        }
    }
    s.Answer = 0;
    module_.SetMousePointer(forms::PointerDefault);
}

void SelectDirFrm::Form_Unload(int& /*cancel*/) {
    module_.SetMousePointer(forms::PointerHourglass);
    module_.DoEvents();
}

void SelectDirFrm::CmdContinue_Click() {
    auto& s = module_.State;
    auto& self = *this;
    if (self["OptUseReg"].Value()) {
        s.UseRegistryPath = True;
        auto choose = [&](const char* name, const std::string& installPath) {
            s.RemoveProgram1 = name;
            if (installPath != ".")
                s.RemovePath = installPath;
        };
        if (self["OptTViewer"].Value())
            choose("Tavori Viewer", s.ViewerPath);
        else if (self["OptTSound"].Value())
            choose("Tavori Sound", s.SoundPath);
        else if (self["OptTNotes"].Value())
            choose("Tavori Notes", s.NotesPath);
    } else {
        s.UseRegistryPath = False;
    }
    if (self["OptIgnore"].Value()) {
        s.RemoveProgram1.clear();
        s.RemoveProgram2.clear();
        s.RemoveProgram3.clear();
        s.ProgramCount = 0;
    }
    s.Answer = 1;
    Runtime().Unload(*this);
}

void SelectDirFrm::CmdCancel_Click() {
    module_.State.UseRegistryPath = False;
    module_.State.Answer = 0;
    Runtime().Unload(*this);
}

void SelectDirFrm::lblProgPath_Click() {
    auto& s = module_.State;
    module_.MsgBox("Location on system where KESTOVAN was started:" + s.CrLf2 +
                       "(Current Directory)" + s.CrLf + s.StartPath,
                   forms::MbOkInformation);
}

void SelectDirFrm::ShowApplicationPath(const std::string& heading, const std::string& installPath) {
    auto& s = module_.State;
    std::string detail;
    if (installPath.empty())
        detail = "Program could not be found in your system registry, an attempt may have "
                 "already been made to remove this software or you currently don't have it "
                 "installed.";
    else if (installPath == ".")
        detail = "(Current Directory)" + s.CrLf + s.StartPath;
    else
        detail = installPath;
    module_.MsgBox(heading + s.CrLf2 + detail, forms::MbOkInformation);
}

void SelectDirFrm::lblTViewerPath_Click() {
    ShowApplicationPath("Tavori Viewer Path:", module_.State.ViewerPath);
}
void SelectDirFrm::lblTSoundPath_Click() {
    ShowApplicationPath("Tavori Sound Path:", module_.State.SoundPath);
}
void SelectDirFrm::lblTNotesPath_Click() {
    ShowApplicationPath("Tavori Notes Path:", module_.State.NotesPath);
}

} // namespace kestovan::dialogs
