#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/cli/InterruptStop.h"

namespace {

// The first Ctrl-C of a batch scan reaches the callback instead of ending
// the process; afterwards SIGINT is let through as before.
TEST(InterruptStop, TheFirstInterruptStopsInsteadOfEnding) {
    std::mutex mutex;
    std::condition_variable called;
    bool stopped = false;
    {
        undelete::InterruptStop interrupt([&] {
            std::lock_guard<std::mutex> lock(mutex);
            stopped = true;
            called.notify_all();
        });
        ASSERT_EQ(::kill(::getpid(), SIGINT), 0);
        std::unique_lock<std::mutex> lock(mutex);
        EXPECT_TRUE(called.wait_for(lock, std::chrono::seconds(10), [&] { return stopped; }));
        EXPECT_TRUE(interrupt.interrupted());
    }
    sigset_t now;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &now), 0);
    EXPECT_FALSE(sigismember(&now, SIGINT));
}

}  // namespace
