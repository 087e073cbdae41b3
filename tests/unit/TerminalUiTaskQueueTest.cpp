#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/terminal/UiTaskQueue.h"

namespace undelete::terminal {
namespace {

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

// Runs the user-interface side until `done` or a few seconds have passed.
void serveUntil(UiTaskQueue& queue, const std::atomic<bool>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < limit) queue.waitAndRun(20);
}

TEST(TerminalUiTaskQueueTest, OnTheUiThreadATaskRunsAtOnce) {
    UiTaskQueue queue;
    EXPECT_TRUE(queue.onUiThread());
    int runs = 0;
    queue.run([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(readable(queue.wakeFd()));
    EXPECT_FALSE(queue.runPending());
}

TEST(TerminalUiTaskQueueTest, AnotherThreadWaitsUntilTheUiThreadHasRunItsTask) {
    UiTaskQueue queue;
    std::atomic<bool> returned{false};
    std::thread::id ranOn;
    std::thread worker([&] {
        EXPECT_FALSE(queue.onUiThread());
        queue.run([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    // Until the user-interface thread runs it, the caller stays blocked and
    // the wake-up pipe is readable.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!readable(queue.wakeFd()) && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(readable(queue.wakeFd()));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(returned);
    EXPECT_TRUE(queue.runPending());
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(readable(queue.wakeFd()));
}

TEST(TerminalUiTaskQueueTest, ManyCallersAreServedInOrderPerThread) {
    UiTaskQueue queue;
    constexpr int kThreads = 3, kCalls = 2000;
    std::vector<std::vector<int>> seen(kThreads);  // touched only on the UI thread
    std::atomic<int> finished{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) queue.run([&, t, i] { seen[t].push_back(i); });
            if (++finished == kThreads) done = true;
        });
    }
    serveUntil(queue, done);
    for (std::thread& w : workers) w.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(kCalls));
        for (int i = 0; i < kCalls; ++i) EXPECT_EQ(seen[t][i], i);
    }
}

TEST(TerminalUiTaskQueueTest, ATaskMayWaitInANestedLoopThatServesOthers) {
    // A message box of one worker runs a nested loop on the user-interface
    // thread; another worker's updates must still be served meanwhile.
    UiTaskQueue queue;
    std::atomic<bool> secondDone{false}, firstDone{false};
    int secondRuns = 0;
    std::thread second;
    std::thread first([&] {
        queue.run([&] {
            second = std::thread([&] {
                queue.run([&] { ++secondRuns; });
                secondDone = true;
            });
            serveUntil(queue, secondDone);  // the nested loop
        });
        firstDone = true;
    });
    serveUntil(queue, firstDone);
    first.join();
    second.join();
    EXPECT_TRUE(secondDone);
    EXPECT_EQ(secondRuns, 1);
}

TEST(TerminalUiTaskQueueTest, ANestedLoopInsideTheBusyLoopIsWokenThroughThePipe) {
    // The scan's stream of updates keeps the thread in its busy loop; a
    // message box opened there sleeps in poll on the pipe, so another
    // worker's task must still make the pipe readable.
    UiTaskQueue queue;
    std::atomic<bool> boxOpen{false}, firstDone{false};
    bool woken = false;
    std::thread second;
    std::thread first([&] {
        queue.run([] {});  // the busy loop begins with this one
        // Its pipe emptied: the next task comes to the busy loop.
        while (readable(queue.wakeFd())) std::this_thread::yield();
        queue.run([&] {
            char bytes[64];
            while (::read(queue.wakeFd(), bytes, sizeof bytes) > 0) {
            }
            second = std::thread([&] {
                while (!boxOpen) std::this_thread::yield();
                queue.run([] {});
            });
            boxOpen = true;
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!readable(queue.wakeFd()) && std::chrono::steady_clock::now() < limit) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            woken = readable(queue.wakeFd());
            queue.runPending();
        });
        firstDone = true;
    });
    // Only the busy loop serves here, so both tasks of the first worker
    // are taken by it.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!firstDone && std::chrono::steady_clock::now() < limit) {
        if (!queue.runWhileBusy(std::chrono::steady_clock::now() + std::chrono::seconds(5),
                                std::chrono::milliseconds(100))) {
            std::this_thread::yield();
        }
    }
    first.join();
    second.join();
    EXPECT_TRUE(woken);
}

TEST(TerminalUiTaskQueueTest, ATaskThatThrowsStillReleasesItsCaller) {
    UiTaskQueue queue;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        queue.run([] { throw 1; });
        done = true;
    });
    serveUntil(queue, done);
    worker.join();
    EXPECT_TRUE(done);
}

}  // namespace
}  // namespace undelete::terminal
