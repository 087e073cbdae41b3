// The sink a file's content streams into, piece by piece, and one that
// gathers it in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace undelete {

// The largest piece the reader hands to a sink at once: a save's memory
// stays bounded whatever the file's size, and a piece this small stays in
// the processor's cache between its read and its write.
constexpr size_t kContentPieceBytes = 1u << 20;

// Receives one file's content: begin once with the whole length, then
// pieces and holes in order, adding up to exactly that length.
class ContentSink {
public:
    virtual ~ContentSink() = default;
    virtual bool begin(uint64_t length) = 0;
    virtual bool write(const uint8_t* bytes, size_t count) = 0;
    // `count` bytes that read as zeros (a sparse run): the sink may seek.
    virtual bool skip(uint64_t count) = 0;
    // `count` bytes of the file that could not be read from the disk (a bad
    // sector): given as zeros, and counted by sinks that tell the user.
    virtual bool lost(uint64_t count) { return skip(count); }
};

// Content gathered in memory (cleared at begin), holes and unreadable
// bytes as zeros; a content longer than `largest` bytes is refused.
class BufferSink : public ContentSink {
public:
    static constexpr uint64_t kLargest = 1u << 30;

    explicit BufferSink(std::vector<uint8_t>& data, uint64_t largest = kLargest)
        : data_(data), largest_(largest) {}
    bool begin(uint64_t length) override;
    bool write(const uint8_t* bytes, size_t count) override;
    bool skip(uint64_t count) override;

private:
    std::vector<uint8_t>& data_;
    const uint64_t largest_;
};

}  // namespace undelete
