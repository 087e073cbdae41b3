// A drive held in memory: the backend of unit tests and fuzzers.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "disk/DriveDevice.h"

namespace undelete {

// Shared image bytes plus knobs to provoke the failure paths.
struct MemoryImage {
    std::vector<uint8_t> bytes;
    DriveGeometry geometry{512, 63, 255};
    bool geometryFails = false;
    bool offersViews = false;  // windows into `bytes` instead of no view
    // As a raw disk does: any read whose offset or length is not a whole
    // number of sectors (geometry.bytesPerSector) is refused.
    bool strict = true;
    std::atomic<int> views{0};
    std::atomic<int> reads{0};
    std::atomic<int> refusedReads{0};  // not whole sectors
    std::atomic<int> locks{0};
    std::atomic<int> unlocks{0};
};

class MemoryDrive : public DriveDevice {
public:
    explicit MemoryDrive(std::shared_ptr<MemoryImage> image) : image_(std::move(image)) {}
    bool queryGeometry(DriveGeometry& geometry) override;
    void lockVolume() override { ++image_->locks; }
    void unlockVolume() override { ++image_->unlocks; }
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override;
    uint64_t sizeInBytes() override { return image_->bytes.size(); }
    std::unique_ptr<DeviceView> view(uint64_t offset, uint64_t length) override;

private:
    std::shared_ptr<MemoryImage> image_;
};

// An opener that gives every reader its own MemoryDrive on `image`.
DriveOpener memoryDriveOpener(std::shared_ptr<MemoryImage> image);

}  // namespace undelete
