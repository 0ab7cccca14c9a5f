#pragma once

#include "platform/PlatformServices.h"
#include "state/Traces.h"

#include <optional>
#include <ostream>
#include <string>

namespace kestovan {
class MainModule;
}

namespace kestovan::app {

// What a quiet run knows of the viewer's traces: those found before it
// changed anything, and those found again at its end, which decide its exit
// status (nothing is inferred from the log).
class QuietLeftovers {
public:
    // Discovers the traces as they are before the run; startDir is the
    // directory the run starts from ("" = none).
    QuietLeftovers(PlatformServices& platform, std::string startDir);

    const ViewerTraces& Before() const { return before_; }
    bool FoundBefore() const { return !before_.Empty(); }

    // The removal of the leftovers found before the run, on module.
    void Remove(MainModule& module) const;

    // After a finished removal: removes what discovery still finds outside
    // the program directory (an association the restore left pointing at
    // the deleted class, say), its lines appended to the run's log.
    void FollowUp(MainModule& module);

    // Discovers again and gives the exit status of the run whose outcome (a
    // QuietExit code) the program state tells: nothing left = removed (or
    // nothing, when nothing was found before the run either), something left
    // = leftBehind with each trace named on err and appended to log; a
    // stopped run stays stopped, its log as it is.
    int Verify(int outcome, std::string& log, std::ostream& err);

private:
    PlatformServices& platform_;
    std::string startDir_;
    ViewerTraces before_;
};

// The log line that names a trace found at the end of a quiet run.
std::string LeftOnMachineLine(const Trace& trace);

} // namespace kestovan::app
