// A replaceable function with a default, shared by all threads: the seams
// where a front end or a test plugs in (message sink, drive opener, volume
// locator, clock zone). Replacing and calling may happen on any thread.
#pragma once
#include <functional>
#include <mutex>
#include <utility>

namespace undelete {

template <typename Signature>
class Hook {
public:
    using Function = std::function<Signature>;

    explicit Hook(Function fallback) : fallback_(fallback), current_(std::move(fallback)) {}

    // Installs `function` (an empty one restores the default); returns the
    // one it replaces.
    Function install(Function function) {
        std::lock_guard<std::mutex> lock(mutex_);
        Function previous = std::move(current_);
        current_ = function ? std::move(function) : fallback_;
        return previous;
    }

    // A copy of the installed function: call it outside the lock, since it
    // may block for long (a message waits for the user).
    Function get() {
        std::lock_guard<std::mutex> lock(mutex_);
        return current_;
    }

private:
    const Function fallback_;
    std::mutex mutex_;
    Function current_;
};

}  // namespace undelete
