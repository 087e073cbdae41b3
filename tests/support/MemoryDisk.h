// Test helpers: a memory drive installed as drive 0 for the life of a test,
// and a capture of the messages the user would see.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Message.h"
#include "disk/MemoryDrive.h"

namespace undelete::test {

class MemoryDisk {
public:
    explicit MemoryDisk(size_t bytes, uint32_t bytesPerSector = 512)
        : image_(std::make_shared<MemoryImage>()) {
        image_->bytes.assign(bytes, 0);
        image_->geometry.bytesPerSector = bytesPerSector;
        previous_ = useMemoryDrive(image_);
    }
    ~MemoryDisk() { installDriveOpener(previous_); }
    MemoryDisk(const MemoryDisk&) = delete;
    MemoryDisk& operator=(const MemoryDisk&) = delete;

    MemoryImage& image() { return *image_; }
    std::vector<uint8_t>& bytes() { return image_->bytes; }
    uint8_t* at(uint64_t offset) { return image_->bytes.data() + offset; }

private:
    std::shared_ptr<MemoryImage> image_;
    DriveOpener previous_;
};

class MessageCapture {
public:
    MessageCapture() {
        previous_ = installMessageSink([this](const char* text) {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.emplace_back(text);
        });
    }
    ~MessageCapture() { installMessageSink(previous_); }
    std::vector<std::string> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    MessageSink previous_;
};

}  // namespace undelete::test
