// Hands tasks from other threads to the user-interface thread and waits
// until that thread has run them: the synchronous call that the worker's
// list and counter updates need. The user-interface thread wakes from its
// input wait through a pipe that is readable while tasks are queued; while
// tasks keep coming it waits for the next one on a condition variable
// instead, so a scan's thousands of hand-overs cost no pipe traffic.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace undelete::terminal {

class UiTaskQueue {
public:
    // The constructing thread is the user-interface thread.
    UiTaskQueue();
    ~UiTaskQueue();
    UiTaskQueue(const UiTaskQueue&) = delete;
    UiTaskQueue& operator=(const UiTaskQueue&) = delete;

    bool onUiThread() const { return std::this_thread::get_id() == uiThread_; }

    // Runs `task` on the user-interface thread and returns once it has run;
    // on that thread it runs at once.
    void run(const std::function<void()>& task);

    // On the user-interface thread: runs the tasks queued so far, one at a
    // time, without holding the lock, so a task may itself wait in a nested
    // loop that calls this again. True when any task ran.
    bool runPending();

    // Runs tasks as they come, waiting up to `idle` for each next one, until
    // none comes in that time or `deadline` passes. Returns at once when
    // nothing is queued. True when any task ran.
    bool runWhileBusy(std::chrono::steady_clock::time_point deadline,
                      std::chrono::microseconds idle);

    // Waits up to `timeoutMs` (−1: without limit) for a task and runs what
    // is queued. For the user-interface thread when it has no input to read.
    bool waitAndRun(int timeoutMs);

    // Readable while tasks are queued: poll it next to the terminal input.
    int wakeFd() const { return pipe_[0]; }

private:
    struct Item {
        const std::function<void()>* task = nullptr;
        std::atomic<bool> done{false};
    };

    // How the user-interface thread is to be told of a new task.
    enum class UiState { Polling, Busy, Waiting };

    void writeWakeByteLocked();
    void drainPipeLocked();
    void waitUntilDone(Item& item);
    bool awaitTask(std::chrono::microseconds idle);

    std::thread::id uiThread_;
    std::mutex mutex_;
    std::condition_variable doneSignal_;
    std::condition_variable taskSignal_;  // for the user-interface thread's short waits
    UiState uiState_ = UiState::Polling;  // under mutex_
    std::deque<Item*> pending_;
    std::atomic<bool> hasPending_{false};  // !pending_.empty(), read without the lock
    int pipe_[2] = {-1, -1};
};

}  // namespace undelete::terminal
