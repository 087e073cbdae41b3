#include "ntfs/NtfsScanner.h"

#include <algorithm>
#include <new>

#include "partition/NtfsBootSector.h"

namespace undelete {

const char kTableBeyondPartitionMessage[] =
    "主文件表声称的记录多于分区所能容纳的，超出分区的记录未扫描";
const char kTableUnmappedMessage[] = "主文件表有记录的位置无从得知，这些记录未扫描";

namespace {

constexpr uint32_t kBootSectorBytes = 512;

}  // namespace

NtfsScanner::NtfsScanner(const ScanContext& context)
    : drive_(context.openDrive, context.showMessage, context.readFailed),
      mftValidDataLength_(context.mftValidDataLength),
      toldIncomplete_(context.toldIncomplete) {}

bool NtfsScanner::open(const PartitionRecord* record) {
    if (record == nullptr) return false;
    if (!drive_.open()) return false;
    const uint64_t sectorBytes = drive_.bytesPerSector();
    const uint64_t firstSector = record->firstSector();
    if (sectorBytes == 0 || firstSector > UINT64_MAX / sectorBytes) return false;
    partitionOffset_ = firstSector * sectorBytes;
    const uint64_t partitionBytes = record->totalSectors > UINT64_MAX / sectorBytes
                                        ? UINT64_MAX
                                        : record->totalSectors * sectorBytes;
    // The table's claim is cut by the disk's real size where it is known.
    volumeEnd_ = partitionBytes > UINT64_MAX - partitionOffset_ ? UINT64_MAX
                                                                 : partitionOffset_ + partitionBytes;
    if (drive_.deviceBytes() != 0) volumeEnd_ = std::min(volumeEnd_, drive_.deviceBytes());
    uint8_t boot[kBootSectorBytes] = {};
    if (!drive_.readBytes(partitionOffset_, boot, kBootSectorBytes)) return false;
    NtfsBootFields fields;
    if (!decodeNtfsBootSector(boot, fields)) return false;
    if (volumeEnd_ <= partitionOffset_) return false;
    bytesPerCluster_ = fields.bytesPerCluster;
    recordSize_ = fields.recordSize;
    if (!buildRecordMap(fields.serial, fields.mftCluster)) return false;
    try {
        table_ = std::make_unique<MftTableReader>(drive_, *recordMap_);
        folders_ = std::make_unique<FolderPaths>([this](uint64_t number, MftRecordInfo& info) {
            return readTableRecord(number, MftTableReader::Slot::Lookup, false, info);
        });
    } catch (const std::bad_alloc&) {
        return false;
    }
    loadBitmap();
    return true;
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
    uint8_t buffer[kMaxMftRecordBytes] = {};
    if (!drive_.readBytes(tableOffset, buffer, recordSize_)) return false;
    MftRecordInfo info;
    if (!parseTableRecord(buffer, recordSize_, info)) return false;
    // A mounted volume is asked by its serial number where there are such
    // volumes; otherwise, and for a volume no mounted one answers for (no
    // drive letter, a removable or damaged one: the usual case in
    // recovery), this volume's own record tells. Two cloned volumes with one
    // serial number each keep their own length where there is no lookup.
    uint64_t validLength = mftValidDataLength_ ? mftValidDataLength_(serial) : 0;
    if (validLength == 0) validLength = info.initializedSize;
    if (validLength == 0) return false;
    try {
        recordMap_ = std::make_unique<MftRecordMap>(
            MftRecordMap::fromRuns(info.runs, partitionOffset_, bytesPerCluster_, recordSize_,
                                   validLength / recordSize_, volumeEnd_));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Only records the disk holds are offered: a claimed length of 2^50
    // bytes on a small disk does not make 2^40 indices.
    // Every record of a table lies in its volume, so the volume's size
    // bounds the numbers too (a vast sparse run cannot stretch them).
    // Either cut is told: the files past it are not listed.
    const uint64_t claimed = validLength / recordSize_;
    const uint64_t held = (volumeEnd_ - partitionOffset_) / recordSize_;
    recordCount_ = std::min({claimed, recordMap_->mappedEnd(), held});
    if (recordCount_ < claimed && toldIncomplete_) {
        toldIncomplete_(held < claimed ? kTableBeyondPartitionMessage : kTableUnmappedMessage);
    }
    return true;
}

bool NtfsScanner::readRecord(uint64_t index, bool notInUseOnly, MftRecordInfo& info) {
    if (!recordMap_ || index >= recordCount_) return false;
    const uint64_t position = recordMap_->entry(index);
    if (position == 0) return false;
    uint8_t buffer[kMaxMftRecordBytes] = {};
    if (!drive_.readBytes(position, buffer, recordSize_)) return false;
    return parseRecord(buffer, recordSize_, notInUseOnly, info);
}

bool NtfsScanner::readTableRecord(uint64_t index, MftTableReader::Slot slot, bool notInUseOnly,
                                  MftRecordInfo& info) {
    if (!table_ || index >= recordCount_) return false;
    const uint8_t* record = table_->read(index, slot);
    return record != nullptr && parseRecord(record, recordSize_, notInUseOnly, info);
}

bool NtfsScanner::clustersInside(uint64_t cluster, uint64_t bytes, uint64_t& position) const {
    return clusterByteOffset(partitionOffset_, cluster, bytesPerCluster_, position) &&
           position < volumeEnd_ && bytes <= volumeEnd_ - position;
}

}  // namespace undelete
