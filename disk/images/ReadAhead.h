// Reads the next piece of a container on a thread of its own while the
// caller works on this one: a compressed container (an E01's chunks) costs
// its decoding on every read, and a scan of a master file table reads it
// in long runs of large pieces, one after the other. Decoding the next
// piece while the scanner parses this one hides most of that cost on a
// machine with a core to spare.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace undelete {

class ReadAhead {
public:
    // Reads `length` bytes at `offset` into the buffer; true when all came.
    // Called on the read-ahead thread; the caller keeps it apart from its
    // own reads of the same library.
    using Read = std::function<bool(uint64_t offset, uint8_t* buffer, size_t length)>;

    // Pieces from kSmallest to kLargest bytes are read ahead; memory is one
    // piece.
    static constexpr size_t kSmallest = 256u << 10;
    static constexpr size_t kLargest = 4u << 20;

    explicit ReadAhead(Read read) : read_(std::move(read)) {}
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;
    ~ReadAhead();

    // When exactly this piece was asked ahead: waits for it and copies it
    // out; true when it arrived whole. False otherwise (the caller reads).
    bool take(uint64_t offset, uint8_t* buffer, size_t length);

    // Starts reading the piece, dropping one not taken. Ignored when a
    // piece is still being read, or the length is out of range.
    void start(uint64_t offset, size_t length);

private:
    void run();

    Read read_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::thread thread_;
    std::unique_ptr<uint8_t[]> piece_;
    uint64_t offset_ = 0;
    size_t length_ = 0;
    bool asked_ = false;    // a piece is wanted or held
    bool reading_ = false;  // the thread has not finished it
    bool arrived_ = false;  // read whole
    bool stopping_ = false;
};

}  // namespace undelete
