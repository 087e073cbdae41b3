// Test helpers: a disk held in memory, a capture of the messages the user
// would see, and the scanner context made of them.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Message.h"
#include "disk/MemoryDrive.h"
#include "scan/ScanContext.h"

namespace undelete::test {

class MemoryDisk {
public:
    explicit MemoryDisk(size_t bytes, uint32_t bytesPerSector = 512)
        : image_(std::make_shared<MemoryImage>()) {
        image_->bytes.assign(bytes, 0);
        image_->geometry.bytesPerSector = bytesPerSector;
    }
    MemoryDisk(const MemoryDisk&) = delete;
    MemoryDisk& operator=(const MemoryDisk&) = delete;

    DriveOpener opener() const { return memoryDriveOpener(image_); }
    MemoryImage& image() { return *image_; }
    std::vector<uint8_t>& bytes() { return image_->bytes; }
    uint8_t* at(uint64_t offset) { return image_->bytes.data() + offset; }

private:
    std::shared_ptr<MemoryImage> image_;
};

class MessageCapture {
public:
    MessageCapture() = default;
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    MessageSink sink() {
        return [this](const char* text) {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.emplace_back(text);
        };
    }
    std::vector<std::string> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

// A scanner context on `disk` whose messages go to `messages`.
inline ScanContext scanContext(MemoryDisk& disk, MessageCapture& messages,
                               MftLengthLookup mftLength = {}) {
    return ScanContext{disk.opener(), messages.sink(), {}, std::move(mftLength), messages.sink()};
}

}  // namespace undelete::test
