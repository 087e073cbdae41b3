// Ctrl-C (SIGINT; on Windows the console's Ctrl-C or Ctrl-Break) during a
// batch scan: the first one stops the scan, whose rows found so far are
// kept; a second one ends the program at once.
#pragma once
#if !defined(_WIN32)
#include <signal.h>
#endif

#include <atomic>
#include <functional>
#include <thread>

namespace undelete {

class InterruptStop {
public:
    // Holds SIGINT back from this thread and from every thread started
    // while the object lives (the scan's workers), and hands it to a
    // watcher that calls `onFirst` (from the watcher's thread).
    explicit InterruptStop(std::function<void()> onFirst);
    // Ends the watcher and lets SIGINT through again.
    ~InterruptStop();
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;

    bool interrupted() const { return interrupted_; }

private:
#if defined(_WIN32)
    static int __stdcall handle(unsigned long event);
#else
    void watch();
#endif

    std::function<void()> onFirst_;
    std::atomic<bool> interrupted_{false};
#if defined(_WIN32)
    // The system calls the console's handler on a thread of its own.
    bool installed_ = false;
#else
    sigset_t previous_{};
    bool blocked_ = false;
    std::atomic<bool> done_{false};
    std::thread watcher_;
#endif
};

}  // namespace undelete
