#include "scan/VolumeBounds.h"

#include <algorithm>

#include "common/Bytes.h"

namespace undelete {

bool volumeBoundsOf(const PartitionRecord& record, const DriveReader& drive, VolumeBounds& bounds) {
    const uint64_t sector = drive.bytesPerSector();
    if (sector == 0 || record.firstSector() > UINT64_MAX / sector) return false;
    bounds.start = record.firstSector() * sector;
    bounds.end = UINT64_MAX;
    if (record.totalSectors != 0) {
        bounds.end = saturatingSum(bounds.start, saturatingProduct(record.totalSectors, sector));
    }
    const uint64_t device = drive.deviceBytes();
    if (device != 0 && device < bounds.end) bounds.end = std::max(device, bounds.start);
    return true;
}

}  // namespace undelete
