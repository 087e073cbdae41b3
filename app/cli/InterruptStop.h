// Ctrl-C (SIGINT) during a batch scan: the first one stops the scan, whose
// rows found so far are kept; a second one ends the program at once.
#pragma once
#include <signal.h>

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
    void watch();

    std::function<void()> onFirst_;
    sigset_t previous_{};
    bool blocked_ = false;
    std::atomic<bool> done_{false};
    std::atomic<bool> interrupted_{false};
    std::thread watcher_;
};

}  // namespace undelete
