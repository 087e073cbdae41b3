#include "disk/DriveReader.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "common/Message.h"

namespace undelete {

void DriveReader::reset() {
    bytesPerSector = 0;
    sectorsPerTrack = 0;
    tracksPerCylinder = 0;
    sectorsPerCylinder = 0;
    handle.reset();
}

bool DriveReader::openDevice(int number) {
    handle = openDriveDevice(number);
    if (!handle) {
        std::printf("CreateFile() Error\n");
        std::fflush(stdout);
        return false;
    }
    return true;
}

bool DriveReader::open() {
    if (!handle && !openDevice(0)) return false;
    DriveGeometry geometry;
    if (!handle->queryGeometry(geometry)) {
        handle.reset();
        return false;
    }
    bytesPerSector = geometry.bytesPerSector;
    sectorsPerTrack = geometry.sectorsPerTrack;
    tracksPerCylinder = geometry.tracksPerCylinder;
    sectorsPerCylinder = tracksPerCylinder * sectorsPerTrack;
    return true;
}

bool DriveReader::readSectors(uint64_t sector, void* buffer, uint32_t count) {
    if (!handle || buffer == nullptr || count == 0) return false;
    // A request whose byte count does not fit the 32-bit read is refused
    // rather than cut short.
    const uint64_t wanted = static_cast<uint64_t>(bytesPerSector) * count;
    if (wanted == 0 || wanted > UINT32_MAX) return false;
    const uint32_t n = static_cast<uint32_t>(wanted);
    const uint64_t offset = static_cast<uint64_t>(bytesPerSector) * sector;
    if (sector != 0 && offset / sector != bytesPerSector) return false;

    handle->lockVolume();
    // The bounce block keeps the caller's buffer untouched on a short read.
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[n]());
    if (!block) {
        showMessage("HeapAlloc() Error");
        handle->unlockVolume();
        return false;
    }
    const uint32_t got = handle->readAt(offset, block.get(), n);
    if (got == n) {
        std::memcpy(buffer, block.get(), n);
        handle->unlockVolume();
        return true;
    }
    showMessage("ReadFile() Error");
    handle->unlockVolume();
    return false;
}

bool DriveReader::readBytes(uint64_t offset, void* buffer, uint32_t length) {
    if (!handle || buffer == nullptr || length == 0) return false;
    handle->lockVolume();
    const uint32_t got = handle->readAt(offset, buffer, length);
    if (got == length) {
        handle->unlockVolume();
        return true;
    }
    showMessage("ReadFile() Error");
    handle->unlockVolume();
    return false;
}

void DriveReader::close() {
    handle.reset();
}

}  // namespace undelete
