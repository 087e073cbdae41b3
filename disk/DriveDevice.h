// The narrow platform interface behind DriveReader: one open raw device.
// Backends: POSIX (block device or image file), Win32 (physical drive), and
// memory (tests and fuzzing).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace undelete {

struct DriveGeometry {
    uint32_t bytesPerSector = 0;
    uint32_t sectorsPerTrack = 0;
    uint32_t tracksPerCylinder = 0;
};

// A read-only window onto a range of the device's bytes, valid while the
// object lives: lets a caller parse data where it lies instead of copying
// it out first.
class DeviceView {
public:
    DeviceView(const uint8_t* bytes, uint64_t length) : bytes_(bytes), length_(length) {}
    DeviceView(const DeviceView&) = delete;
    DeviceView& operator=(const DeviceView&) = delete;
    virtual ~DeviceView() = default;
    const uint8_t* bytes() const { return bytes_; }
    uint64_t length() const { return length_; }

private:
    const uint8_t* bytes_;
    uint64_t length_;
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
    //
    // DriveReader asks only for whole sectors: `offset` and `length` are
    // multiples of the geometry's bytesPerSector, whatever its own callers
    // ask. A raw disk refuses anything else (Windows' physical drives do),
    // and so do the backends here: such a read returns 0.
    virtual uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) = 0;

    // The device's size in bytes as the system knows it (an image file's
    // length, a block device's capacity); 0 when it cannot be told.
    virtual uint64_t sizeInBytes() = 0;

    // A window onto `length` bytes at `offset`, every byte of it readable
    // now; null where the backend offers none (the caller reads instead).
    // The caller keeps the range inside sizeInBytes().
    virtual std::unique_ptr<DeviceView> view(uint64_t /*offset*/, uint64_t /*length*/) {
        return nullptr;
    }
};

// Told of every failed read, with where it was: lets a caller count and
// summarise failures instead of showing each.
using ReadFailureObserver = std::function<void(uint64_t offset, uint32_t length)>;

// Opens the disk of this run (each call a device of its own); null when it
// cannot be opened. Made by the front end from the disk it was given (see
// DriveSelection.h) or by a test from memory.
using DriveOpener = std::function<std::unique_ptr<DriveDevice>()>;

}  // namespace undelete
