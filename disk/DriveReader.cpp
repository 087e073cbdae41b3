#include "disk/DriveReader.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace undelete {

DriveReader::DriveReader(DriveOpener opener, MessageSink messages,
                         ReadFailureObserver onReadFailure)
    : opener_(std::move(opener)),
      messages_(std::move(messages)),
      onReadFailure_(std::move(onReadFailure)) {}

bool DriveReader::open() {
    if (!device_) {
        if (opener_) device_ = opener_();
        if (!device_) {
            std::printf("CreateFile() Error\n");
            std::fflush(stdout);
            return false;
        }
    }
    DriveGeometry geometry;
    if (!device_->queryGeometry(geometry)) {
        device_.reset();
        return false;
    }
    geometry_ = geometry;
    deviceBytes_ = device_->sizeInBytes();
    sectorsPerCylinder_ = geometry.tracksPerCylinder * geometry.sectorsPerTrack;
    return true;
}

bool DriveReader::readSectors(uint64_t sector, void* buffer, uint32_t count) {
    if (!device_ || buffer == nullptr || count == 0) return false;
    // A request whose byte count does not fit the 32-bit read is refused
    // rather than cut short.
    const uint32_t sectorBytes = geometry_.bytesPerSector;
    const uint64_t wanted = static_cast<uint64_t>(sectorBytes) * count;
    if (wanted == 0 || wanted > UINT32_MAX) return false;
    const auto n = static_cast<uint32_t>(wanted);
    if (sector > UINT64_MAX / sectorBytes) return false;
    const uint64_t offset = static_cast<uint64_t>(sectorBytes) * sector;

    // The bounce block keeps the caller's buffer untouched on a short read.
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[n]());
    if (!block) {
        if (messages_) messages_("HeapAlloc() Error");
        return false;
    }
    if (!readLocked(offset, block.get(), n, true)) return false;
    std::memcpy(buffer, block.get(), n);
    return true;
}

bool DriveReader::readBytes(uint64_t offset, void* buffer, uint32_t length) {
    if (!device_ || buffer == nullptr || length == 0) return false;
    return readLocked(offset, buffer, length, true);
}

bool DriveReader::readBytesQuietly(uint64_t offset, void* buffer, uint32_t length) {
    if (!device_ || buffer == nullptr || length == 0) return false;
    return readLocked(offset, buffer, length, false);
}

std::unique_ptr<DeviceView> DriveReader::view(uint64_t offset, uint64_t length) {
    // Only inside the size known at open: a window never reaches past it.
    if (!device_ || length == 0 || offset > deviceBytes_ || length > deviceBytes_ - offset) {
        return nullptr;
    }
    std::unique_ptr<DeviceView> window = device_->view(offset, length);
    if (window && (window->bytes() == nullptr || window->length() != length)) return nullptr;
    return window;
}

bool DriveReader::readLocked(uint64_t offset, void* buffer, uint32_t length, bool report) {
    device_->lockVolume();
    const bool ok = device_->readAt(offset, buffer, length) == length;
    if (!ok && report) {
        if (onReadFailure_) onReadFailure_(offset, length);
        if (messages_) messages_("ReadFile() Error");
    }
    device_->unlockVolume();
    return ok;
}

}  // namespace undelete
