#include "app/QuietLeftovers.h"

#include "app/CommandLine.h"
#include "state/Discovery.h"
#include "state/MainModule.h"

#include <algorithm>
#include <utility>

namespace kestovan::app {

namespace {

ViewerTraces Discover(PlatformServices& platform, const std::string& startDir) {
    return DiscoverViewerTraces(platform, DiscoverApplications(platform, startDir), startDir);
}

} // namespace

QuietLeftovers::QuietLeftovers(PlatformServices& platform, std::string startDir)
    : platform_(platform), startDir_(std::move(startDir)), before_(Discover(platform_, startDir_)) {
}

void QuietLeftovers::Remove(MainModule& module) const {
    module.RemoveLeftovers(before_);
}

void QuietLeftovers::FollowUp(MainModule& module) {
    const ViewerTraces left = Discover(platform_, startDir_);
    const bool removable = std::any_of(left.items.begin(), left.items.end(), [](const Trace& t) {
        return t.kind != TraceKind::ProgramFile && t.kind != TraceKind::PreferencesFile &&
               t.kind != TraceKind::StartMenuGroup;
    });
    if (removable)
        module.RemoveLeftovers(left, true);
}

std::string LeftOnMachineLine(const Trace& trace) {
    return "(-) Left on the machine: " + TraceLine(trace);
}

int QuietLeftovers::Verify(int outcome, std::string& log, std::ostream& err) {
    // A stopped run says so, its log ending where it stopped.
    if (outcome == QuietExit.stopped)
        return outcome;
    const ViewerTraces after = Discover(platform_, startDir_);
    for (const Trace& trace : after.items) {
        err << "kestovan: left on the machine: " << TraceLine(trace) << "\n";
        log += LeftOnMachineLine(trace) + "\r\n";
    }
    if (!after.Empty())
        return QuietExit.leftBehind;
    return FoundBefore() ? QuietExit.removed : QuietExit.nothing;
}

} // namespace kestovan::app
