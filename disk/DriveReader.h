// The only path to the data on the disk: opens the disk raw and read-only,
// learns its geometry and reads whole sectors or byte ranges. Whatever its
// callers ask, the device sees only whole sectors at sector-aligned
// offsets: an unaligned head or tail goes through a one-sector bounce
// buffer, the aligned middle straight into the caller's buffer.
#pragma once
#include <cstdint>
#include <memory>

#include "common/Message.h"
#include "disk/DriveDevice.h"

namespace undelete {

class DriveReader {
public:
    // `messages` receives the reader's failure messages; `onReadFailure`,
    // when set, hears of every failed read with its position.
    DriveReader(DriveOpener opener, MessageSink messages, ReadFailureObserver onReadFailure = {});
    DriveReader(const DriveReader&) = delete;
    DriveReader& operator=(const DriveReader&) = delete;

    // Opens the disk when no device is held, then queries the geometry. A
    // failed open tells "CreateFile() Error" to the message sink; a failed
    // geometry query, or a sector size that is no power of two from 512 to
    // 64 KiB, closes the device.
    bool open();

    // Reads `count` whole sectors from `sector` on. True only when exactly
    // count × bytesPerSector bytes arrived; on failure `buffer` is untouched.
    bool readSectors(uint64_t sector, void* buffer, uint32_t count);

    // Reads `length` bytes at byte `offset`. True only when all arrived; on
    // failure `buffer` may hold part of the data.
    bool readBytes(uint64_t offset, void* buffer, uint32_t length);

    // As readBytes, but a failure shows no message (for probes whose
    // failure is an answer, not an error).
    bool readBytesQuietly(uint64_t offset, void* buffer, uint32_t length);

    // A read-only window onto `length` bytes at `offset`, or null: no
    // device, a range not wholly inside the device's known size, or a
    // backend that offers none. Not a read: no failure is reported.
    std::unique_ptr<DeviceView> view(uint64_t offset, uint64_t length);

    bool isOpen() const { return device_ != nullptr; }
    // The device's size as the system knows it (0: unknown), read at open:
    // evidence that caps what a partition table or a volume may claim.
    uint64_t deviceBytes() const { return deviceBytes_; }
    uint32_t bytesPerSector() const { return geometry_.bytesPerSector; }
    uint32_t sectorsPerTrack() const { return geometry_.sectorsPerTrack; }
    uint32_t tracksPerCylinder() const { return geometry_.tracksPerCylinder; }
    uint32_t sectorsPerCylinder() const { return sectorsPerCylinder_; }

private:
    bool readLocked(uint64_t offset, void* buffer, uint32_t length, bool report);
    bool readWholeSectors(uint64_t offset, uint8_t* buffer, uint32_t length);

    DriveOpener opener_;
    MessageSink messages_;
    ReadFailureObserver onReadFailure_;
    std::unique_ptr<DriveDevice> device_;
    uint64_t deviceBytes_ = 0;
    DriveGeometry geometry_;
    uint32_t sectorsPerCylinder_ = 0;
};

}  // namespace undelete
