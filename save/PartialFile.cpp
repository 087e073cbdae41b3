#include "save/PartialFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#if !defined(_WIN32)
#include <signal.h>
#include <unistd.h>
#endif

namespace undelete {
namespace {

// What the handler reads: fixed buffers and lock-free flags, nothing it
// would have to allocate or lock. `taken` is the saving thread's own.
char partialPath[kPartialSlots][4096];
std::atomic<bool> armed[kPartialSlots];
bool taken[kPartialSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs a lock-free flag");

#if !defined(_WIN32)
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction previous[kSignalCount];

void removeAndPassOn(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    for (int slot = 0; slot < kPartialSlots; ++slot) {
        if (armed[slot].exchange(false)) ::unlink(partialPath[slot]);
    }
    for (size_t i = 0; i < kSignalCount; ++i) {
        if (kSignals[i] != signal) continue;
        const struct sigaction& before = previous[i];
        if ((before.sa_flags & SA_SIGINFO) != 0) {
            before.sa_sigaction(signal, info, context);
        } else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
            before.sa_handler(signal);
        } else {
            // Blocked while this handler runs: delivered, with the default
            // action back in place, as soon as it returns.
            ::sigaction(signal, &before, nullptr);
            ::raise(signal);
        }
    }
    errno = savedErrno;
}
#endif

}  // namespace

void removePartialFileOnSignals() {
#if !defined(_WIN32)
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (size_t i = 0; i < kSignalCount; ++i) {
        if (::sigaction(kSignals[i], nullptr, &previous[i]) != 0) continue;
        if ((previous[i].sa_flags & SA_SIGINFO) == 0 && previous[i].sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_sigaction = removeAndPassOn;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(kSignals[i], &action, nullptr);
    }
#endif
}

int removeOnSignal(const std::string& path) {
    if (path.size() >= sizeof partialPath[0]) return -1;
    for (int slot = 0; slot < kPartialSlots; ++slot) {
        if (taken[slot]) continue;
        taken[slot] = true;
        std::memcpy(partialPath[slot], path.c_str(), path.size() + 1);
        armed[slot] = true;
        return slot;
    }
    return -1;
}

void keepOnSignal(int slot) {
    if (slot < 0 || slot >= kPartialSlots) return;
    armed[slot] = false;
    taken[slot] = false;
}

}  // namespace undelete
