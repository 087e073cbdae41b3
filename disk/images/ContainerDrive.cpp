#include "disk/images/ContainerDrive.h"

#include <algorithm>

namespace undelete {

bool ContainerDrive::queryGeometry(DriveGeometry& geometry) {
    geometry = DriveGeometry{sectorBytes_, 63, 255};
    return true;
}

// As a file's pread: a read reaching past the disk's end gives what lies
// before it, one starting there gives nothing.
uint32_t ContainerDrive::readAt(uint64_t offset, void* buffer, uint32_t length) {
    if (sectorBytes_ == 0 || offset % sectorBytes_ != 0 || length % sectorBytes_ != 0) return 0;
    const uint64_t media = container_->mediaBytes;
    if (length == 0 || offset >= media) return 0;
    const uint32_t n = media - offset < length ? static_cast<uint32_t>(media - offset) : length;
    auto* out = static_cast<uint8_t*>(buffer);
    if (!container_->ahead.take(offset, out, n)) {
        std::lock_guard<std::mutex> hold(container_->lock);
        if (!container_->reader->read(offset, out, n)) return 0;
    }
    const uint64_t next = offset + n;
    if (next < media) container_->ahead.start(next, std::min<uint64_t>(n, media - next));
    return n;
}

}  // namespace undelete
