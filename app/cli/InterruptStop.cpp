#include "app/cli/InterruptStop.h"

#include <pthread.h>

#include <cstdlib>
#include <ctime>

namespace undelete {
namespace {

// How often the watcher looks whether it is still wanted.
constexpr long kWatchNanoseconds = 100 * 1000 * 1000;
// The shell's status for a run ended by a signal.
constexpr int kInterruptedStatus = 130;

}  // namespace

InterruptStop::InterruptStop(std::function<void()> onFirst) : onFirst_(std::move(onFirst)) {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    blocked_ = pthread_sigmask(SIG_BLOCK, &interrupt, &previous_) == 0;
    if (!blocked_) return;
    try {
        watcher_ = std::thread(&InterruptStop::watch, this);
    } catch (const std::exception&) {
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        blocked_ = false;
    }
}

InterruptStop::~InterruptStop() {
    done_ = true;
    if (watcher_.joinable()) {
        // Wakes the watcher now rather than at its next look: every run
        // would otherwise end up to one look later.
        pthread_kill(watcher_.native_handle(), SIGINT);
        watcher_.join();
    }
    if (blocked_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptStop::watch() {
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    const timespec tick{0, kWatchNanoseconds};
    while (!done_) {
        const int got = sigtimedwait(&interrupt, nullptr, &tick);
        if (done_) return;  // woken to end, or a Ctrl-C as the run ends
        if (got != SIGINT) continue;
        if (interrupted_.exchange(true)) std::_Exit(kInterruptedStatus);
        if (onFirst_) onFirst_();
    }
}

}  // namespace undelete
