// The narrow platform interface behind DriveReader: one open raw device.
// Backends: POSIX (block device or image file), Win32 (physical drive), and
// memory (tests and fuzzing).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace undelete {

struct DriveGeometry {
    uint32_t bytesPerSector = 0;
    uint32_t sectorsPerTrack = 0;
    uint32_t tracksPerCylinder = 0;
};

class DriveDevice {
public:
    virtual ~DriveDevice() = default;

    // The drive's geometry; false when the device does not give a full reply.
    virtual bool queryGeometry(DriveGeometry& geometry) = 0;

    // Lock and unlock requests sent around every read; their results are
    // ignored by the reader, so they return nothing.
    virtual void lockVolume() = 0;
    virtual void unlockVolume() = 0;

    // Reads up to `length` bytes at the absolute byte `offset` into `buffer`
    // and returns how many arrived (0 on error). One call is one positioned
    // read: calls from two threads never disturb each other.
    virtual uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) = 0;
};

// Opens drive `number` through the installed opener; null when it cannot be
// opened. The default opener is the platform's (see DriveSelection.h).
std::unique_ptr<DriveDevice> openDriveDevice(int number);

using DriveOpener = std::function<std::unique_ptr<DriveDevice>(int number)>;

// Replaces the opener (tests install memory drives); returns the previous one.
DriveOpener installDriveOpener(DriveOpener opener);

// The platform's own opener.
std::unique_ptr<DriveDevice> openPlatformDrive(int number);

}  // namespace undelete
