#include "disk/MemoryDrive.h"

#include <cstring>

namespace undelete {

bool MemoryDrive::queryGeometry(DriveGeometry& geometry) {
    if (image_->geometryFails) return false;
    geometry = image_->geometry;
    return true;
}

uint32_t MemoryDrive::readAt(uint64_t offset, void* buffer, uint32_t length) {
    ++image_->reads;
    const uint32_t sector = image_->geometry.bytesPerSector;
    if (image_->strict && (sector == 0 || offset % sector != 0 || length % sector != 0)) {
        ++image_->refusedReads;
        return 0;
    }
    const uint64_t size = image_->bytes.size();
    if (offset >= size) return 0;
    const uint64_t available = size - offset;
    const uint32_t n = available < length ? static_cast<uint32_t>(available) : length;
    std::memcpy(buffer, image_->bytes.data() + offset, n);
    return n;
}

std::unique_ptr<DeviceView> MemoryDrive::view(uint64_t offset, uint64_t length) {
    const uint64_t size = image_->bytes.size();
    if (!image_->offersViews || offset > size || length > size - offset) return nullptr;
    ++image_->views;
    return std::make_unique<DeviceView>(image_->bytes.data() + offset, length);
}

DriveOpener memoryDriveOpener(std::shared_ptr<MemoryImage> image) {
    return [image]() -> std::unique_ptr<DriveDevice> { return std::make_unique<MemoryDrive>(image); };
}

}  // namespace undelete
