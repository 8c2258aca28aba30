#include "uStopSignal.h"

#include <atomic>
#include <csignal>

namespace tavrin {
namespace {

// A lock-free atomic is the one thing a signal handler may touch besides volatile
// sig_atomic_t; std::signal keeps this portable to the Windows console's Ctrl-C.
std::atomic<bool> StopRaised{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RecordStop(int /*signal*/) {
    StopRaised.store(true);
}

}  // namespace

TProcessStopSignal::TProcessStopSignal() {
    StopRaised.store(false);
    PreviousInterrupt = std::signal(SIGINT, RecordStop);
    PreviousTerminate = std::signal(SIGTERM, RecordStop);
#ifdef _WIN32
    // Ctrl-Break in a Windows console, and what another program can send to one of its group.
    PreviousBreak = std::signal(SIGBREAK, RecordStop);
#endif
}

TProcessStopSignal::~TProcessStopSignal() {
    std::signal(SIGINT, PreviousInterrupt == SIG_ERR ? SIG_DFL : PreviousInterrupt);
    std::signal(SIGTERM, PreviousTerminate == SIG_ERR ? SIG_DFL : PreviousTerminate);
#ifdef _WIN32
    std::signal(SIGBREAK, PreviousBreak == SIG_ERR ? SIG_DFL : PreviousBreak);
#endif
}

bool TProcessStopSignal::Raised() const {
    return StopRaised.load();
}

}  // namespace tavrin
