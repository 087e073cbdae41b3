// The only path to the data on the disk: opens drive 0 raw and read-only,
// learns its geometry and reads whole sectors or byte ranges.
#pragma once
#include <cstdint>
#include <memory>

#include "disk/DriveDevice.h"

namespace undelete {

class DriveReader {
public:
    uint32_t bytesPerSector = 0;
    uint32_t sectorsPerTrack = 0;
    uint32_t tracksPerCylinder = 0;
    uint32_t sectorsPerCylinder = 0;
    std::unique_ptr<DriveDevice> handle;

    // All fields to zero, no handle.
    void reset();

    // Opens drive 0 when no handle is held, then queries the geometry.
    // A failed geometry query closes the handle.
    bool open();

    // Opens drive `number`; on failure writes "CreateFile() Error\n" to
    // standard output.
    bool openDevice(int number);

    // Reads `count` whole sectors from `sector` on. True only when exactly
    // count × bytesPerSector bytes arrived; on failure `buffer` is untouched.
    bool readSectors(uint64_t sector, void* buffer, uint32_t count);

    // Reads `length` bytes at byte `offset`. True only when all arrived; on
    // failure `buffer` may hold part of the data.
    bool readBytes(uint64_t offset, void* buffer, uint32_t length);

    // Releases the handle; the geometry stays. Safe in any state.
    void close();

    bool isOpen() const { return handle != nullptr; }
};

}  // namespace undelete
