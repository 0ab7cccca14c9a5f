#include "dialogs/RemoveFrm.h"
#include "dialogs/SelectDirFrm.h"
#include "state/MainModule.h"
#include "state/SystemDirectories.h"
#include "state/Text.h"

#include <algorithm>

namespace kestovan {

void MainModule::ShowCancelNotice() {
    auto& s = State;
    MsgBox("KESTOVAN has been CANCELED..." + s.CrLf2 +
               "You may safely run this program (KESTOVAN.EXE) at a later time if you decide to "
               "remove a " +
               Quote + "Tavori" + Quote + " application from your system...",
           forms::MbOkInformation);
}

std::string MainModule::GetWindowsDir() {
    std::string buffer(128, ' ');
    State.ApiResult = static_cast<std::int32_t>(platform_.GetWindowsDirectoryA(buffer, 128));
    std::size_t kept = std::clamp<std::int32_t>(State.ApiResult, 0, 128);
    return WithTrailingBackslash(buffer.substr(0, kept));
}

std::string MainModule::GetSystemDir() {
    std::string buffer(255, ' ');
    State.ApiResult = static_cast<std::int32_t>(platform_.GetSystemDirectoryA(buffer, 255));
    if (State.ApiResult < 1)
        return {};
    std::size_t nul = buffer.find('\0');
    State.Answer = static_cast<std::int16_t>(nul == std::string::npos ? 0 : nul + 1);
    if (State.Answer >= 1)
        buffer.resize(static_cast<std::size_t>(State.Answer - 1));
    return WithTrailingBackslash(std::move(buffer));
}

void MainModule::Main() {
    auto& s = State;
    if (platform_.AppPrevInstance())
        End();

    SetMousePointer(forms::PointerHourglass);
    DoEvents();

    s.CrLf = "\r\n";
    s.CrLf2 = s.CrLf + s.CrLf;

    s.StartPath = WithTrailingBackslash(platform_.AppPath());
    s.UseRegistryPath = False;
    s.CancelRequested = False;

    // Refuse to work from the Windows or the system directory, also when the
    // start directory only leads there through a link or junction.  A start
    // directory that leads to a drive's root, or to a directory holding the
    // system's, through a link is refused as well; one started from a root
    // as written is taken as it is.
    std::string systemDir = GetSystemDir();
    std::string windowsDir = GetWindowsDir();
    const SystemDirectories system(platform_, windowsDir, systemDir);
    const bool startsAtRoot = s.StartPath.size() <= 3;
    if (SameIgnoringCase(s.StartPath, systemDir) || SameIgnoringCase(s.StartPath, windowsDir) ||
        system.IsSystemDirectory(s.StartPath) ||
        (!startsAtRoot && system.HoldsSystemFiles(s.StartPath))) {
        MsgBox("You may not run KESTOVAN.EXE from:" + s.CrLf2 + UCase(windowsDir) + s.CrLf + "or" +
                   s.CrLf + UCase(systemDir) + s.CrLf2 + "Unable to continue...",
               forms::MbOkCritical);
        End();
    }

    s.Answer = static_cast<std::int16_t>(
        MsgBox("Welcome to:" + s.CrLf + ProgramTitle + s.CrLf2 + "PLEASE NOTE:" + s.CrLf2 +
                   "This program is used to remove a Korvane " + Quote + "Tavori" + Quote +
                   " application, such as Tavori Viewer, from your system." + s.CrLf2 +
                   "Do you want to continue?",
               forms::MbYesNoQuestion));
    if (s.Answer == AnswerNo) {
        ShowCancelNotice();
        End();
    }

    s.RemovePath = s.StartPath;
    ReadPreferencesFile();
    ReadRegistryPaths();

    if (s.ViewerPath.empty() && s.SoundPath.empty() && s.NotesPath.empty() && s.ProgramCount == 0) {
        MsgBox("Unable to find the name of a " + std::string(Quote) + "Tavori" + Quote +
                   " application to remove, file(s) may have already been deleted." + s.CrLf2 +
                   "You may still attempt to remove an application, a default list will be "
                   "shown...",
               forms::MbOkExclamation);
    }

    auto registeredElsewhere = [](const std::string& path) { return !path.empty() && path != "."; };
    if (registeredElsewhere(s.ViewerPath) || registeredElsewhere(s.SoundPath) ||
        registeredElsewhere(s.NotesPath)) {
        runtime_.Show(SelectDirFrm(), 1);
        if (s.Answer == 0) {
            ShowCancelNotice();
            End();
        }
        DoEvents();
    }

    s.UnloadRequested = False;
    runtime_.Show(RemoveFrm());
}

} // namespace kestovan
