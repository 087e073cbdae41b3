#include "scan/VolumeBounds.h"

#include <algorithm>

namespace undelete {

bool volumeBoundsOf(const PartitionRecord& record, const DriveReader& drive, VolumeBounds& bounds) {
    const uint64_t sector = drive.bytesPerSector();
    if (sector == 0 || record.firstSector() > UINT64_MAX / sector) return false;
    bounds.start = record.firstSector() * sector;
    bounds.end = UINT64_MAX;
    if (record.totalSectors != 0) {
        const uint64_t bytes =
            record.totalSectors > UINT64_MAX / sector ? UINT64_MAX : record.totalSectors * sector;
        bounds.end = bytes > UINT64_MAX - bounds.start ? UINT64_MAX : bounds.start + bytes;
    }
    const uint64_t device = drive.deviceBytes();
    if (device != 0 && device < bounds.end) bounds.end = std::max(device, bounds.start);
    return true;
}

}  // namespace undelete
