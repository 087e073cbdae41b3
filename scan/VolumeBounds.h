// Where a volume lies on the disk: from the partition's first byte to the
// partition's end, or to the disk's when that comes sooner. Computed here
// once for every file system; each boot sector then says how much of it
// the volume itself claims, and no read of a scanner, nor any content a
// file's layout names, goes outside it.
#pragma once
#include <cstdint>

#include "disk/DriveReader.h"
#include "partition/PartitionRecord.h"

namespace undelete {

struct VolumeBounds {
    uint64_t start = 0;  // absolute byte offset of the volume's first sector
    uint64_t end = 0;    // absolute end: the partition's, or the disk's when sooner

    uint64_t bytes() const { return end > start ? end - start : 0; }
    // True when the `length` bytes at the absolute byte `offset` lie inside.
    bool holds(uint64_t offset, uint64_t length) const {
        return offset >= start && offset < end && length <= end - offset;
    }
};

// The bounds of `record` on the open `drive`. A size the table or the
// device does not tell (0) cuts nothing; a partition that starts past the
// disk's end holds no bytes (a read of its boot sector then fails, and
// says so). False when the partition's start is no byte offset (it wraps).
bool volumeBoundsOf(const PartitionRecord& record, const DriveReader& drive, VolumeBounds& bounds);

}  // namespace undelete
