#include "ntfs/NtfsScanner.h"

#include <new>

#include "ntfs/NtfsBootSector.h"

namespace undelete {
namespace {

constexpr uint32_t kBootSectorBytes = 512;

}  // namespace

NtfsScanner::NtfsScanner(const ScanContext& context)
    : drive_(context.openDrive, context.showMessage, context.readFailed),
      mftValidDataLength_(context.mftValidDataLength) {}

bool NtfsScanner::open(const PartitionRecord* record) {
    if (record == nullptr) return false;
    if (!drive_.open()) return false;
    const uint64_t sectorBytes = drive_.bytesPerSector();
    const uint64_t firstSector = record->firstSector();
    if (firstSector > UINT64_MAX / sectorBytes) return false;
    partitionOffset_ = firstSector * sectorBytes;
    partitionBytes_ = record->totalSectors > UINT64_MAX / sectorBytes
                          ? UINT64_MAX
                          : record->totalSectors * sectorBytes;
    uint8_t boot[kBootSectorBytes] = {};
    if (!drive_.readBytes(partitionOffset_, boot, kBootSectorBytes)) return false;
    NtfsBootFields fields;
    if (!decodeNtfsBootSector(boot, drive_.bytesPerSector(), fields)) return false;
    bytesPerCluster_ = fields.bytesPerCluster;
    recordSize_ = fields.recordSize;
    return buildRecordMap(fields.serial, fields.mftCluster);
}

bool NtfsScanner::hasItem(uint32_t index) {
    return static_cast<uint64_t>(index) < recordCount_;
}

bool NtfsScanner::buildRecordMap(uint32_t serial, uint64_t mftCluster) {
    if (recordSize_ == 0) return false;
    uint64_t tableOffset = 0;
    if (!clusterByteOffset(partitionOffset_, mftCluster, bytesPerCluster_, tableOffset)) {
        return false;
    }
    uint8_t buffer[kMftRecordBytes] = {};
    if (!drive_.readBytes(tableOffset, buffer, kMftRecordBytes)) return false;
    MftRecordInfo info;
    if (!parseTableRecord(buffer, kMftRecordBytes, info)) return false;
    // A mounted volume is asked by its serial number where there are such
    // volumes; otherwise this volume's own record tells, so that two cloned
    // volumes with one serial number each keep their own length.
    const uint64_t validLength =
        mftValidDataLength_ ? mftValidDataLength_(serial) : info.initializedSize;
    if (validLength == 0) return false;
    try {
        recordMap_ = std::make_unique<MftRecordMap>(MftRecordMap::fromRuns(
            info.runs, partitionOffset_, bytesPerCluster_, recordSize_, validLength / recordSize_));
    } catch (const std::bad_alloc&) {
        return false;
    }
    recordCount_ = validLength / recordSize_;
    return true;
}

bool NtfsScanner::readRecord(uint32_t index, bool notInUseOnly, MftRecordInfo& info) {
    if (!recordMap_ || !hasItem(index)) return false;
    const uint64_t position = recordMap_->entry(index);
    if (position == 0) return false;
    uint8_t buffer[kMftRecordBytes] = {};
    if (!drive_.readBytes(position, buffer, kMftRecordBytes)) return false;
    return parseRecord(buffer, kMftRecordBytes, notInUseOnly, info);
}

}  // namespace undelete
