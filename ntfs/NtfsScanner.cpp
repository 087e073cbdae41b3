#include "ntfs/NtfsScanner.h"

#include <new>

#include "disk/VolumeLocator.h"
#include "ntfs/NtfsBootSector.h"

namespace undelete {
namespace {

constexpr uint32_t kBootSectorBytes = 512;

}  // namespace

bool NtfsScanner::open(const PartitionRecord* record) {
    if (record == nullptr) return false;
    if (!drive.open()) return false;
    partitionOffset = record->firstSector() * drive.bytesPerSector;
    partitionBytes = record->totalSectors * drive.bytesPerSector;
    uint8_t boot[kBootSectorBytes] = {};
    if (!drive.readBytes(partitionOffset, boot, kBootSectorBytes)) return false;
    NtfsBootFields fields;
    if (!decodeNtfsBootSector(boot, drive.bytesPerSector, fields)) return false;
    bytesPerCluster = fields.bytesPerCluster;
    recordSize = fields.recordSize;
    const uint64_t validLength = locateMftValidDataLength(fields.serial);
    if (validLength == 0) return false;
    return buildRecordMap(validLength, fields.mftCluster);
}

bool NtfsScanner::hasItem(uint32_t index) {
    return static_cast<uint64_t>(index) < recordCount;
}

bool NtfsScanner::buildRecordMap(uint64_t validLength, uint64_t mftCluster) {
    if (recordSize == 0) return false;
    uint64_t tableOffset = 0;
    if (!clusterByteOffset(partitionOffset, mftCluster, bytesPerCluster, tableOffset)) return false;
    uint8_t buffer[kMftRecordBytes] = {};
    if (!drive.readBytes(tableOffset, buffer, kMftRecordBytes)) return false;
    MftRecordInfo info;
    if (!parseTableRecord(buffer, kMftRecordBytes, info)) return false;
    try {
        recordMap = std::make_unique<MftRecordMap>(MftRecordMap::fromRuns(
            info.runs, partitionOffset, bytesPerCluster, recordSize, validLength / recordSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    recordCount = validLength / recordSize;
    return true;
}

bool NtfsScanner::readRecord(uint32_t index, bool notInUseOnly, MftRecordInfo& info) {
    if (!recordMap || !hasItem(index)) return false;
    const uint64_t position = recordMap->entry(index);
    if (position == 0) return false;
    uint8_t buffer[kMftRecordBytes] = {};
    if (!drive.readBytes(position, buffer, kMftRecordBytes)) return false;
    return parseRecord(buffer, kMftRecordBytes, notInUseOnly, info);
}

}  // namespace undelete
