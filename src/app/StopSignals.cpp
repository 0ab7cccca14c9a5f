#include "app/StopSignals.h"

#include <atomic>
#include <csignal>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestovan::app {

namespace {

// What a signal handler may touch: lock-free atomics of the process.
std::atomic<bool> removalUnderway{false};
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

#ifndef _WIN32
struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

extern "C" void OnStopSignal(int signalNumber) {
    if (!removalUnderway.load()) {
        // Nothing is under way: the signal does what it does by default.
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
        return;
    }
    int none = 0;
    if (receivedSignal.compare_exchange_strong(none, signalNumber)) {
        static constexpr char notice[] =
            "\nkestovan: stopping: the removal stops after the step it is making and writes its "
            "records (a further Ctrl-C is ignored until then)\n";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, notice, sizeof notice - 1);
    }
}
#endif

} // namespace

StopSignals::StopSignals() {
    removalUnderway = false;
    receivedSignal = 0;
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A question waiting for its answer goes on waiting: the removal stops
    // at its next poll after it.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInterrupt);
    ::sigaction(SIGTERM, &action, &previousTerminate);
#endif
}

StopSignals::~StopSignals() {
#ifndef _WIN32
    ::sigaction(SIGINT, &previousInterrupt, nullptr);
    ::sigaction(SIGTERM, &previousTerminate, nullptr);
#endif
    removalUnderway = false;
}

void StopSignals::SetRemovalUnderway(bool underway) {
    removalUnderway = underway;
}

int StopSignals::Received() const {
    return receivedSignal.load();
}

} // namespace kestovan::app
