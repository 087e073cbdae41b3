// The interface every file-system scanner implements, and the sink that
// receives a file's content piece by piece.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "partition/PartitionRecord.h"
#include "scan/DeletedFile.h"

namespace undelete {

// The largest piece a scanner hands to a sink at once: a save's memory
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

class VolumeScanner {
public:
    VolumeScanner() = default;
    virtual ~VolumeScanner() = default;
    VolumeScanner(const VolumeScanner&) = delete;
    VolumeScanner& operator=(const VolumeScanner&) = delete;

    // Opens the disk, reads the partition's boot sector, checks the file
    // system and builds the catalogue. False on any failure (the scanner
    // shows its own messages, if any). Called once, on the worker.
    virtual bool open(const PartitionRecord* record) = 0;

    // True exactly for the catalogue indices 0 … N − 1.
    virtual bool hasItem(uint32_t index) = 0;

    // N, for progress; 0 when the scanner cannot tell. Valid after open.
    virtual uint64_t itemCount() { return 0; }

    // True when a stop ended open's pass early and the catalogue it found
    // by then is in memory (listing it reads nothing more): the scan, though
    // stopped, still lists it.
    virtual bool cutShortByStop() const { return false; }

    // True when item `index` is a deleted file to list; `file` is then
    // filled.
    virtual bool describe(uint32_t index, DeletedFile& file) = 0;

    // Streams the content of item `index` into `sink`. True when the whole
    // length reached it; false when a read or the sink failed (what reached
    // the sink before is then not the file).
    virtual bool readContent(uint32_t index, ContentSink& sink) = 0;
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

// The whole content in one buffer: for tests and small files only (false
// for a file over 1 GiB).
bool readWholeContent(VolumeScanner& scanner, uint32_t index, std::vector<uint8_t>& data);

}  // namespace undelete
