#pragma once

namespace kestovan::app {

// Ctrl-C (SIGINT) and SIGTERM as the progress dialog's Cancel.  While the
// removal runs, a signal is only noted: the program presses Cancel at its
// next DoEvents, the removal stops at its next poll, and its records and the
// status log are written as after a click on Cancel.  A further signal while
// it stops is ignored until then.  Outside the removal (at a question before
// it, at the status report after it) nothing is left half done and a signal
// ends the program at once, as it would without this object.
//
// One object a process; the handlers it installs are put back when it goes.
// Where the platform delivers no such signals (the windowed Windows
// program), it notes nothing.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // On from the show of the progress dialog until the records of the run
    // are written.
    void SetRemovalUnderway(bool underway);
    // The signal that asked the removal to stop; 0 when none did.
    int Received() const;
    // The exit status of a run a signal stopped that has no status of its
    // own: 128 + the signal's number, as the shell reports a signal.
    int ExitStatus() const { return 128 + Received(); }
};

} // namespace kestovan::app
