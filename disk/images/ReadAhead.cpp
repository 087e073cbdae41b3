#include "disk/images/ReadAhead.h"

#include <cstring>
#include <new>

namespace undelete {

ReadAhead::~ReadAhead() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool ReadAhead::take(uint64_t offset, uint8_t* buffer, size_t length) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!asked_ || offset != offset_ || length != length_) return false;
    changed_.wait(hold, [this] { return !reading_; });
    asked_ = false;
    if (!arrived_) return false;
    std::memcpy(buffer, piece_.get(), length);
    return true;
}

void ReadAhead::start(uint64_t offset, size_t length) {
    if (length < kSmallest || length > kLargest) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (reading_ || stopping_) return;
        if (!piece_) piece_.reset(new (std::nothrow) uint8_t[kLargest]);
        if (!piece_) return;
        if (!thread_.joinable()) thread_ = std::thread(&ReadAhead::run, this);
        offset_ = offset;
        length_ = length;
        asked_ = reading_ = true;
        arrived_ = false;
    }
    changed_.notify_all();
}

void ReadAhead::run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return stopping_ || reading_; });
        if (stopping_) return;
        const uint64_t offset = offset_;
        const size_t length = length_;
        // The piece's buffer is the thread's alone while reading_ is set.
        hold.unlock();
        const bool whole = read_(offset, piece_.get(), length);
        hold.lock();
        arrived_ = whole;
        reading_ = false;
        changed_.notify_all();
    }
}

}  // namespace undelete
