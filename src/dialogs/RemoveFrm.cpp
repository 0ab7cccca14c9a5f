#include "dialogs/RemoveFrm.h"

#include "dialogs/DialogLayout.h"
#include "dialogs/RemoveDoneFrm.h"
#include "dialogs/RemoveWaitFrm.h"
#include "state/MainModule.h"
#include "state/Text.h"

#include <array>
#include <string>

namespace kestovan::dialogs {

namespace {
constexpr const char* WebSite = "www.korvane.example";
constexpr const char* EMail = "support@korvane.example";
} // namespace

RemoveFrm::RemoveFrm(MainModule& module)
    : Form(module.Runtime(), "RemoveFrm", "KESTOVAN"), module_(module) {
    using forms::ControlKind;
    ClientWidth = 6615;
    ClientHeight = 5295;
    BackColor = LightGrey;
    const std::string q = Quote;

    auto& dir1 = Place(AddControl("Dir1", ControlKind::DirListBox), 4200, 120, 975, 540, 14);
    dir1.Visible = false;
    auto& text1 = Place(AddControl("Text1", ControlKind::TextBox), 5280, 120, 615, 375, 13);
    text1.Caption = "Text1";
    text1.Visible = false;
    auto& appList = Place(AddControl("AppList", ControlKind::ListBox), 960, 2760, 4695, 840, 8);
    appList.BackColor = White;
    appList.ForeColor = Black;
    auto& file1 = Place(AddControl("File1", ControlKind::FileListBox), 6000, 120, 495, 480, 6);
    file1.Visible = false;
    auto& cmdCancel =
        Place(AddControl("CmdCancel", ControlKind::CommandButton), 1800, 4560, 2175, 495, 0);
    cmdCancel.Caption = "&Cancel";
    cmdCancel.IsCancel = true;
    cmdCancel.ToolTipText = "Click here to CANCEL remove.";
    auto& cmdRemove =
        Place(AddControl("CmdRemove", ControlKind::CommandButton), 4080, 4560, 2175, 495, 1);
    cmdRemove.Caption = "&Remove";
    SetFont(cmdRemove, 8.25, true);
    cmdRemove.IsDefault = true;
    cmdRemove.ToolTipText = "Click here to REMOVE this software from your system.";
    auto& lblNumFound =
        Place(AddControl("lblNumFound", ControlKind::Label), 360, 4800, 1335, 255, 12);
    lblNumFound.Caption = "#";
    lblNumFound.ForeColor = DarkBlue;
    auto& lblFound = Place(AddControl("lblFound", ControlKind::Label), 360, 4560, 1335, 255, 11);
    lblFound.Caption = "Found:";
    SetFont(lblFound, 8.25, true);
    lblFound.ForeColor = DarkRed;
    auto& lblPath = Place(AddControl("lblPath", ControlKind::Label), 120, 2040, 6375, 255, 10);
    lblPath.Caption = "#";
    lblPath.TextAlign = forms::Alignment::Center;
    lblPath.HandPointer = true;
    lblPath.ToolTipText = "This shows the location of the files to be removed.";
    auto& lblMsg = Place(AddControl("lblMsg", ControlKind::Label), 960, 3720, 4695, 615, 9);
    lblMsg.Caption = "Select the program that you would like to delete from your system and press "
                     "the " +
                     q + "Remove" + q + " button.";
    lblMsg.TextAlign = forms::Alignment::Center;
    lblMsg.ForeColor = DarkBlue;
    auto& lblFrame = Place(AddControl("lblFrame", ControlKind::Label), 360, 2400, 5895, 1935, 7);
    lblFrame.BorderSingle = true;
    lblFrame.BackColor = LightGrey;
    auto& image1 = Place(AddControl("Image1", ControlKind::Image), 360, 240, 480, 480, -1);
    image1.ToolTipText =
        "Click the " + q + "Remove" + q + " button to flush the selected software down the drain.";
    auto& lblReadme = Place(AddControl("lblReadme", ControlKind::Label), 480, 1080, 5655, 1020, 5);
    lblReadme.Caption = "This program is used to remove a Korvane " + q + "Tavori" + q +
                        " application, such as Tavori Viewer, from your system.  Stop by our web "
                        "site at " +
                        WebSite + " or send an E-Mail to: " + EMail + " for more information.";
    lblReadme.TextAlign = forms::Alignment::Center;
    lblReadme.ForeColor = Black;
    auto& lblVersion = Place(AddControl("lblVersion", ControlKind::Label), 1200, 660, 4575, 255, 4);
    lblVersion.Caption = "Version";
    SetFont(lblVersion, 8.25, true);
    lblVersion.ForeColor = DarkRed;
    auto& lblHeader = Place(AddControl("lblHeader", ControlKind::Label), 1200, 225, 4575, 390, 3);
    lblHeader.Caption = "#";
    SetFont(lblHeader, 13.5, false);
    lblHeader.ForeColor = DarkGrey;
    auto& lblBack = Place(AddControl("lblBack", ControlKind::Label), 0, 0, 6615, 5295, 2);
    lblBack.BorderSingle = true;
    lblBack.BackColor = LightGrey;

    On("lblPath", "Click", [this] { lblPath_Click(); });
    On("CmdCancel", "Click", [this] { CmdCancel_Click(); });
    On("CmdRemove", "Click", [this] { CmdRemove_Click(); });
}

void RemoveFrm::Form_Load() {
    auto& s = module_.State;
    auto& self = *this;
    const std::string q = Quote;

    Caption = ProgramTitle;
    self["lblHeader"].Caption = ProgramTitle;
    self["lblPath"].Caption = s.RemovePath;
    self["lblVersion"].Caption =
        "KESTOVAN.EXE   Version: " + std::to_string(PlatformServices::AppMajor) + "." +
        std::to_string(PlatformServices::AppMinor) + "." +
        std::to_string(PlatformServices::AppRevision);

    auto& appList = self["AppList"];
    bool showingDefaults = false;
    for (;;) {
        if (s.ProgramCount == 0 && s.UseRegistryPath == 0) {
            appList.AddItem("Tavori Viewer");
            appList.AddItem("Tavori Sound");
            appList.AddItem("Tavori Notes");
            showingDefaults = true;
            break;
        }
        if (s.UseRegistryPath == -1) {
            appList.AddItem(s.RemoveProgram1);
            break;
        }
        for (const char* known : {"Tavori Viewer", "Tavori Sound", "Tavori Notes"}) {
            if (s.RemoveProgram1 == known || s.RemoveProgram2 == known || s.RemoveProgram3 == known)
                appList.AddItem(known);
        }
        if (appList.ListCount() > 0)
            break;
        module_.MsgBox("Unable to read a valid name of a " + q + "Tavori" + q +
                           " application to remove, file(s) may have already been deleted." +
                           s.CrLf2 +
                           "You will be given a list of default choices to choose from...",
                       forms::MbOkExclamation);
        showingDefaults = true;
        s.ProgramCount = 0;
    }
    appList.SetListIndex(0);

    if (showingDefaults) {
        self["lblNumFound"].Caption = "Showing defaults";
        appList.ToolTipText =
            "Select an application name, KESTOVAN will attempt to remove it from your system.";
    } else if (appList.ListCount() == 1) {
        self["lblNumFound"].Caption = "One program...";
        const std::string guidance =
            "Click the " + q + "Remove" + q + " button to delete this application.";
        appList.ToolTipText = guidance;
        self["lblMsg"].Caption = guidance;
    } else {
        self["lblNumFound"].Caption = std::to_string(s.ProgramCount) + " programs...";
        appList.ToolTipText = "Click mouse on the application you want to remove.";
    }
    module_.SetMousePointer(forms::PointerDefault);
}

void RemoveFrm::lblPath_Click() {
    auto& s = module_.State;
    if (!SameIgnoringCase(s.RemovePath, s.StartPath))
        module_.MsgBox("Location of KESTOVAN:" + s.CrLf2 + s.StartPath + s.CrLf2 + s.CrLf +
                           "Location of files to be removed:" + s.CrLf2 + s.RemovePath,
                       forms::MbOkInformation);
    else
        module_.MsgBox("Location of KESTOVAN and the files to be removed:" + s.CrLf2 +
                           (*this)["lblPath"].Caption,
                       forms::MbOkInformation);
}

void RemoveFrm::Form_QueryUnload(int& cancel, int /*unloadMode*/) {
    if (module_.State.UnloadRequested == 0) {
        cancel = 1;
        CmdCancel_Click();
    }
}

void RemoveFrm::CmdCancel_Click() {
    Runtime().Hide(*this);
    module_.DoEvents();
    module_.ShowCancelNotice();
    module_.State.UnloadRequested = True;
    Runtime().Unload(*this);
    module_.End();
}

void RemoveFrm::CmdRemove_Click() {
    auto& s = module_.State;
    auto& self = *this;
    auto& platform = module_.Platform();
    auto& runtime = Runtime();
    const std::string q = Quote;
    // Every statement of the command goes on past its own failure.
    auto attempt = [](const std::function<void()>& statement) { MainModule::TryIgnore(statement); };
    auto enableButtons = [&] {
        attempt([&] { self["CmdRemove"].Enabled = true; });
        attempt([&] { self["CmdCancel"].Enabled = true; });
    };

    module_.DoEvents();
    attempt([&] { self["CmdRemove"].Enabled = false; });
    attempt([&] { self["CmdCancel"].Enabled = false; });
    module_.DoEvents();

    bool nothingSelected = true;
    attempt([&] {
        nothingSelected = self["AppList"].ListCount() == 0 || self["AppList"].ListIndex() == -1;
    });
    if (nothingSelected) {
        module_.MsgBox("An application has not been selected, unable to perform REMOVE...",
                       forms::MbOkExclamation);
        enableButtons();
        return;
    }

    attempt([&] { s.SelectedApp = self["AppList"].SelectedText(); });

    s.Answer = static_cast<std::int16_t>(
        module_.MsgBox("You are about to REMOVE: " + q + s.SelectedApp + q + " from your system!" +
                           s.CrLf2 + "Are you sure?",
                       forms::MbYesNoExclamationDefaultNo));
    if (s.Answer == AnswerNo) {
        enableButtons();
        return;
    }

    module_.SetMousePointer(forms::PointerHourglass);
    module_.DoEvents();
    attempt([&] { runtime.Hide(self); });
    module_.DoEvents();
    attempt([&] { runtime.Show(module_.RemoveWaitFrm()); });
    module_.DoEvents();

    auto followUp = [&] {
        if (s.CancelRequested == True)
            return;
        if (s.SelectedApp == "Tavori Viewer")
            module_.RemoveViewer();
        else if (s.SelectedApp == "Tavori Sound")
            module_.RemoveSound();
        else if (s.SelectedApp == "Tavori Notes")
            module_.RemoveNotes();
        if (s.CancelRequested == True)
            return;

        module_.ForgetApplication(s.SelectedApp);
        if (s.CancelRequested == True)
            return;

        // Another copy of KESTOVAN in the directory being removed; a
        // directory that only leads to the start directory through a link
        // holds this very program, not another copy.
        const std::string realRemovePath = platform.ResolveDirectory(s.RemovePath);
        const bool startDirectory =
            SameIgnoringCase(s.RemovePath, s.StartPath) ||
            (!realRemovePath.empty() &&
             SameIgnoringCase(realRemovePath, platform.ResolveDirectory(s.StartPath)));
        if (!startDirectory) {
            bool otherCopy = false;
            attempt([&] {
                otherCopy = !platform.Dir(s.RemovePath + "KESTOVAN.EXE", attr::Normal).empty();
            });
            if (otherCopy) {
                s.Answer = static_cast<std::int16_t>(module_.MsgBox(
                    "There is another copy of KESTOVAN.EXE in the application folder that you are "
                    "removing. If you have other " +
                        q + "Tavori" + q +
                        " applications that you want to keep and/or remove, you may want to save "
                        "this file." +
                        s.CrLf2 + "Do you want to delete this file now?",
                    forms::MbYesNoQuestion));
                if (s.Answer == AnswerYes)
                    attempt([&] { platform.Kill(s.RemovePath + "KESTOVAN.EXE"); });
            }
        }

        // What is left in the program directory.
        if (s.CancelRequested == True)
            return;
        auto& file1 = self["File1"];
        auto& dir1 = self["Dir1"];
        attempt([&] { file1.SetPath(s.RemovePath); });
        attempt([&] { file1.SetPattern("*.*"); });
        attempt([&] { dir1.SetPath(s.RemovePath); });
        if (s.CancelRequested == True)
            return;
        int files = 0;
        int directories = 0;
        attempt([&] { files = file1.ListCount(); });
        attempt([&] { directories = dir1.ListCount(); });
        if (files > 0 || directories > 0) {
            bool onlyKestovan = false;
            if (files == 1 && directories == 0)
                attempt([&] {
                    onlyKestovan =
                        !platform.Dir(s.RemovePath + "KESTOVAN.EXE", attr::Normal).empty();
                });
            if (onlyKestovan)
                module_.MsgBox("KESTOVAN.EXE is the only file left in your application directory." +
                                   s.CrLf2 +
                                   "You may manually delete this file and then remove the "
                                   "directory that it was in after the program finishes.",
                               forms::MbOkInformation);
            else
                module_.MsgBox("Files and/or folders remain in the program directory that could "
                               "not be removed by KESTOVAN." +
                                   s.CrLf2 +
                                   "You will need to run KESTOVAN again or delete these file(s) "
                                   "yourself.",
                               forms::MbOkInformation);
        } else {
            s.Answer = static_cast<std::int16_t>(
                module_.MsgBox("The current directory is empty:" + s.CrLf2 + s.RemovePath +
                                   s.CrLf2 + "Delete this directory now?",
                               forms::MbYesNoQuestion));
            if (s.Answer == AnswerYes)
                attempt([&] { platform.RmDir(s.RemovePath); });
        }
    };
    followUp();

    if (s.CancelRequested == True) {
        s.ProblemsFound = True;
        module_.MsgBox("KESTOVAN has been canceled...", forms::MbOkCritical);
    }

    module_.DoEvents();
    attempt([&] { module_.UnloadIfLoaded(module_.RemoveWaitFrmIfLoaded()); });
    module_.DoEvents();
    runtime.Show(module_.RemoveDoneFrm(), 1);
    module_.DoEvents();

    module_.MsgBox("You may safely delete this program (KESTOVAN.EXE) after you press the " + q +
                       "OK" + q + " button, if you no longer need it...",
                   forms::MbOkInformation);

    module_.DoEvents();
    s.UnloadRequested = True;
    attempt([&] { runtime.Unload(self); });
    module_.End();
}

} // namespace kestovan::dialogs
