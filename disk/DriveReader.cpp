#include "disk/DriveReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace undelete {

DriveReader::DriveReader(DriveOpener opener, MessageSink messages,
                         ReadFailureObserver onReadFailure)
    : opener_(std::move(opener)),
      messages_(std::move(messages)),
      onReadFailure_(std::move(onReadFailure)) {}

namespace {

constexpr uint32_t kSmallestSector = 512;
constexpr uint32_t kLargestSector = 64u << 10;
// Sectors up to this size bounce through the stack.
constexpr uint32_t kStackBounce = 4096;

bool usableSectorSize(uint32_t bytes) {
    return bytes >= kSmallestSector && bytes <= kLargestSector && (bytes & (bytes - 1)) == 0;
}

}  // namespace

bool DriveReader::open() {
    if (!device_) {
        if (opener_) device_ = opener_();
        if (!device_) {
            // Standard output is data (a listing, a saved file): never there.
            if (messages_) messages_("CreateFile() Error");
            return false;
        }
    }
    DriveGeometry geometry;
    if (!device_->queryGeometry(geometry) || !usableSectorSize(geometry.bytesPerSector)) {
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
    const bool ok = readWholeSectors(offset, static_cast<uint8_t*>(buffer), length);
    if (!ok && report) {
        if (onReadFailure_) onReadFailure_(offset, length);
        if (messages_) messages_("ReadFile() Error");
    }
    device_->unlockVolume();
    return ok;
}

// The head and the tail of the range, when they are parts of sectors, are
// read whole into a bounce sector and the wanted bytes copied out; the
// whole sectors between them go straight into `buffer` in one read, so a
// large unaligned read costs at most two more reads, not a copy.
bool DriveReader::readWholeSectors(uint64_t offset, uint8_t* buffer, uint32_t length) {
    const uint32_t sector = geometry_.bytesPerSector;
    const auto head = static_cast<uint32_t>(offset % sector);
    if (head == 0 && length % sector == 0) return device_->readAt(offset, buffer, length) == length;
    if (offset > UINT64_MAX - length - sector) return false;  // its last sector would wrap

    uint8_t onStack[kStackBounce];
    std::unique_ptr<uint8_t[]> onHeap;
    uint8_t* bounce = onStack;
    if (sector > kStackBounce) {
        onHeap.reset(new (std::nothrow) uint8_t[sector]);
        if (!onHeap) return false;
        bounce = onHeap.get();
    }
    uint32_t done = 0;
    if (head != 0) {
        if (device_->readAt(offset - head, bounce, sector) != sector) return false;
        done = std::min(sector - head, length);
        std::memcpy(buffer, bounce + head, done);
    }
    const uint32_t middle = (length - done) / sector * sector;
    if (middle != 0) {
        if (device_->readAt(offset + done, buffer + done, middle) != middle) return false;
        done += middle;
    }
    if (done < length) {
        if (device_->readAt(offset + done, bounce, sector) != sector) return false;
        std::memcpy(buffer + done, bounce, length - done);
    }
    return true;
}

}  // namespace undelete
