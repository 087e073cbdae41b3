// The search for volumes no partition table names, run for a dialog on a
// thread of its own: its progress and the rows it found reach the
// user-interface thread through the view, and it stops on request like a
// scan, keeping what it found so far.
#pragma once
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "app/ShellView.h"
#include "core/DiskSource.h"

namespace undelete {

class LostVolumeSearch {
public:
    // Given the rows found (numbered after the table's) on the
    // user-interface thread once the search has ended.
    using Finished = std::function<void(FoundRows found)>;

    LostVolumeSearch(ShellView& view, DiskSource source)
        : view_(view), source_(std::move(source)) {}
    // Abandons a running search (its rows are not delivered) and waits for
    // it. While it waits, the user-interface thread must keep running the
    // tasks the view hands over: destroy it elsewhere.
    ~LostVolumeSearch();
    LostVolumeSearch(const LostVolumeSearch&) = delete;
    LostVolumeSearch& operator=(const LostVolumeSearch&) = delete;

    // On the user-interface thread (not from inside `finished`): starts a
    // search beside `tableRows` unless one runs. Progress goes to the view
    // as Work::Search.
    bool start(std::vector<PartitionRow> tableRows, Finished finished);
    // Asks the running search to end soon; it delivers what it found.
    void stop() { stopRequested_ = true; }
    // On the user-interface thread: true from start until `finished` ran.
    bool running() const { return running_; }

private:
    void work(std::vector<PartitionRow> tableRows, Finished finished);

    ShellView& view_;
    const DiskSource source_;
    std::thread thread_;
    bool running_ = false;  // user-interface thread
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> abandoned_{false};
};

}  // namespace undelete
