#include "app/terminal/UiTaskQueue.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace undelete::terminal {
namespace {

// How long each side looks for the other's answer before it sleeps: a
// row's hand-over takes a microsecond or two, a sleep and a wake-up
// several. Each look yields, so on a single core the other side runs.
constexpr std::chrono::microseconds kSpin{50};

template <typename Ready>
bool spinFor(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace

UiTaskQueue::UiTaskQueue() : uiThread_(std::this_thread::get_id()) {
    if (::pipe(pipe_) == 0) {
        for (int fd : pipe_) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    } else {
        pipe_[0] = pipe_[1] = -1;
    }
}

UiTaskQueue::~UiTaskQueue() {
    for (int fd : pipe_) {
        if (fd >= 0) ::close(fd);
    }
}

void UiTaskQueue::run(const std::function<void()>& task) {
    if (onUiThread()) {
        task();
        return;
    }
    Item item;
    item.task = &task;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (uiState_ == UiState::Waiting) {
            wake = true;
        } else if (uiState_ == UiState::Polling && pending_.empty()) {
            writeWakeByteLocked();
        }
        pending_.push_back(&item);
        hasPending_ = true;
    }
    // Outside the lock, so the woken thread does not block on it at once. A
    // wait that timed out meanwhile still finds the task when it relocks.
    if (wake) taskSignal_.notify_one();
    waitUntilDone(item);
}

void UiTaskQueue::waitUntilDone(Item& item) {
    if (spinFor([&] { return item.done.load(); })) return;
    std::unique_lock<std::mutex> lock(mutex_);
    doneSignal_.wait(lock, [&] { return item.done.load(); });
}

void UiTaskQueue::writeWakeByteLocked() {
    if (pipe_[1] < 0) return;
    const char byte = 1;
    // A full pipe is already readable, which is all the wake-up needs.
    while (::write(pipe_[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

void UiTaskQueue::drainPipeLocked() {
    if (pipe_[0] < 0) return;
    char bytes[64];
    for (;;) {
        const ssize_t n = ::read(pipe_[0], bytes, sizeof bytes);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

bool UiTaskQueue::runPending() {
    bool ran = false;
    for (;;) {
        Item* item = nullptr;
        UiState outer = UiState::Polling;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_.empty()) {
                // Emptied under the lock: a task queued after this writes
                // a new byte, so the pipe never stays readable for nothing
                // nor silent with work waiting. Busy, nothing writes to it.
                if (uiState_ == UiState::Polling) drainPipeLocked();
                return ran;
            }
            item = pending_.front();
            pending_.pop_front();
            hasPending_ = !pending_.empty();
            // A task may wait in a loop of its own (a message box) that
            // sleeps in poll: while it runs, new tasks wake it by the pipe.
            outer = uiState_;
            uiState_ = UiState::Polling;
        }
        try {
            (*item->task)();
        } catch (...) {
            // The caller must be released whatever the task did.
        }
        ran = true;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            item->done = true;
            uiState_ = outer;
        }
        doneSignal_.notify_all();
    }
}

bool UiTaskQueue::runWhileBusy(std::chrono::steady_clock::time_point deadline,
                               std::chrono::microseconds idle) {
    if (!runPending()) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        uiState_ = UiState::Busy;
    }
    while (std::chrono::steady_clock::now() < deadline && awaitTask(idle)) runPending();
    std::lock_guard<std::mutex> lock(mutex_);
    uiState_ = UiState::Polling;
    // Queued while busy, without a byte: the poll must still see it.
    if (!pending_.empty()) writeWakeByteLocked();
    return true;
}

// Busy: true once a task is queued, false when none came within `idle`.
bool UiTaskQueue::awaitTask(std::chrono::microseconds idle) {
    if (spinFor([&] { return hasPending_.load(); })) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    uiState_ = UiState::Waiting;
    const bool arrived = taskSignal_.wait_for(lock, idle, [&] { return !pending_.empty(); });
    uiState_ = UiState::Busy;
    return arrived;
}

bool UiTaskQueue::waitAndRun(int timeoutMs) {
    if (pipe_[0] >= 0) {
        pollfd fd{pipe_[0], POLLIN, 0};
        ::poll(&fd, 1, timeoutMs);
    } else {  // no pipe: fall back to short naps
        ::poll(nullptr, 0, timeoutMs < 0 || timeoutMs > 10 ? 10 : timeoutMs);
    }
    return runPending();
}

}  // namespace undelete::terminal
