#include "state/MainModule.h"
#include "state/Text.h"

#include <algorithm>

namespace kestovan {

namespace {

constexpr const char* TemporaryFile = "Untitled.BMP";
constexpr const char* PreferencesFile = "TAVORI.INI";

} // namespace

std::string MainModule::GetTempDir() {
    auto& s = State;
    std::string buffer(255, ' ');
    s.ApiResult = 0;
    if (!TryIgnore([&] {
            s.ApiResult = static_cast<std::int32_t>(platform_.GetTempPathA(255, buffer));
        }) ||
        s.ApiResult == 0)
        return s.StartPath;
    const std::size_t count =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(s.ApiResult, 0)), buffer.size());
    return WithTrailingBackslash(Trim(std::string_view(buffer).substr(0, count)));
}

void MainModule::RemoveTemporaryFiles() {
    auto& s = State;
    AppendLogLine("(*) Locating and deleting any remaining Tavori Viewer temporary files.");
    // Whether either file was there is not reported.
    TryIgnore([&] { platform_.Kill(GetTempDir() + TemporaryFile); });
    TryIgnore([&] { platform_.Kill(s.StartPath + TemporaryFile); });
}

void MainModule::RemovePreferencesFile() {
    auto& s = State;
    const std::string path = s.RemovePath + PreferencesFile;

    // A test that fails goes on with the statement after it: the file
    // counts as missing.
    bool missing = true;
    TryIgnore([&] { missing = platform_.Dir(path, attr::Normal).empty(); });
    if (missing) {
        s.ProblemsFound = True;
        AppendLogLine("(-) The preferences file (TAVORI.INI) could not be found.");
        return;
    }

    // The file also holds the records of the other Tavori applications.
    bool otherApplication = false;
    for (const std::string* program : {&s.RemoveProgram1, &s.RemoveProgram2, &s.RemoveProgram3}) {
        if (!program->empty() && *program != s.SelectedApp) {
            otherApplication = true;
            break;
        }
    }
    if (otherApplication)
        s.Answer = static_cast<std::int16_t>(
            MsgBox("PLEASE NOTE:" + s.CrLf2 + "If you have other " + Quote + "Tavori" + Quote +
                       " applications that you want to keep or remove later, you should NOT "
                       "delete the preferences file (TAVORI.INI) yet." +
                       s.CrLf2 + "Do you want to delete this file now?",
                   forms::MbYesNoQuestion));
    else
        s.Answer = AnswerYes;

    if (s.Answer != AnswerYes) {
        AppendLogLine("(*) The preferences file (TAVORI.INI) was not removed at this time.");
        return;
    }
    // A file that could not be deleted is not reported as removed.
    if (TryIgnore([&] { platform_.Kill(path); })) {
        AppendLogLine("(+) The preferences file (TAVORI.INI) was REMOVED.");
    } else {
        s.ProblemsFound = True;
        AppendLogLine("(-) The preferences file (TAVORI.INI) was not REMOVED.");
    }
}

} // namespace kestovan
