#include "state/MainModule.h"
#include "state/Text.h"
#include "state/ViewerFiles.h"

#include <array>
#include <utility>

namespace kestovan {

namespace {

using viewer::ViewerImageClass;

} // namespace

void MainModule::RemoveRegistrySettings() {
    auto& s = State;

    // A class key that cannot be deleted raises no run-time error; the run
    // reports it like one, but without an error text.  A key that is not
    // there counts as deleted: a run that was interrupted (a crash, a kill,
    // a power cut) may have deleted it, and stopping here would leave the
    // keys after it for good, since every later run would stop here too.
    auto deleteClassKey = [&](const char* key) {
        s.ApiResult = static_cast<std::int32_t>(platform_.RegDeleteKeyA(hkey::ClassesRoot, key));
        if (s.ApiResult != 0 && s.ApiResult != ErrorFileNotFound)
            throw RuntimeError(static_cast<int>(s.ApiResult), "");
    };

    // Step 39: the viewer's own settings.  For the same reason, settings
    // that are not there (the deletion raises error 5 and no path is stored
    // any more) count as removed; any other failure is reported.
    Checkpoint();
    try {
        platform_.DeleteSetting("TViewer", "Settings");
    } catch (const RuntimeError& error) {
        if (error.Number() != err::InvalidProcedureCall ||
            !platform_.GetSetting("TViewer", "Settings", "EXEPath", "").empty())
            throw;
    }
    AppendLogLine("(+) Tavori Viewer settings in the system registry have been removed.");
    Checkpoint();

    // Step 40: the class keys and the saved image associations.
    deleteClassKey("TavoriViewer");
    DoEvents();
    deleteClassKey(".tvs");
    DoEvents();
    AppendLogLine(
        "(+) Tavori Viewer Slide Show files (.TVS) are no longer associated to Tavori Viewer.");

    const std::array<std::pair<const char*, const std::string*>, 10> saved{{
        {".jpg", &s.RegJPG},
        {".jpe", &s.RegJPE},
        {".jpeg", &s.RegJPEG},
        {".jif", &s.RegJIF},
        {".gif", &s.RegGIF},
        {".bmp", &s.RegBMP},
        {".dib", &s.RegDIB},
        {".rle", &s.RegRLE},
        {".wmf", &s.RegWMF},
        {".emf", &s.RegEMF},
    }};
    bool anySaved = false;
    for (const auto& entry : saved)
        anySaved = anySaved || !entry.second->empty();
    if (anySaved) {
        s.Answer = static_cast<std::int16_t>(MsgBox("Restore image file type associations to the "
                                                    "settings found before running Tavori Viewer "
                                                    "setup?",
                                                    forms::MbYesNoQuestion));
        if (s.Answer == AnswerYes) {
            for (const auto& [extension, className] : saved)
                AssociateExtension(extension, *className);
            AppendLogLine("(+) Image file associations were restored to their original settings.");
        }
    }

    deleteClassKey(ViewerImageClass);
    DoEvents();
}

bool MainModule::AssociateExtension(const std::string& extension, const std::string& className) {
    if (className.empty())
        return true;
    // The viewer's own class, in any letter case (class names ignore it),
    // restores an empty association: an extension is never pointed back at
    // the class this run deletes.
    const std::string value =
        SameIgnoringCase(className, ViewerImageClass) ? std::string() : className;

    std::uint32_t key = 0;
    int location = 1;
    bool opened = false;
    long result = platform_.RegCreateKeyA(hkey::ClassesRoot, extension, key);
    if (result == 0) {
        opened = true;
        DoEvents();
        location = 2;
        result = platform_.RegSetValueA(key, "", RegSz, value, 0);
    }
    if (result == 0) {
        DoEvents();
        State.ApiResult = static_cast<std::int32_t>(platform_.RegCloseKey(key));
        DoEvents();
        return true;
    }

    // The registry calls report by their result and never raise, so no
    // run-time error text is pending here: the failure is an unknown one.
    MsgBox("An unknown error occurred while trying to associate " + extension + " files with " +
               className + ".  (Error location = " + std::to_string(location) + " )",
           forms::MbOkCritical);
    if (opened)
        State.ApiResult = static_cast<std::int32_t>(platform_.RegCloseKey(key));
    return false;
}

} // namespace kestovan
