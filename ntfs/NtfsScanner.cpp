#include "ntfs/NtfsScanner.h"

#include <algorithm>
#include <new>

#include "ntfs/NtfsRecords.h"
#include "ntfs/TableMap.h"
#include "partition/NtfsBootSector.h"

namespace undelete {

const char kTableBeyondPartitionMessage[] =
    "主文件表声称的记录多于分区所能容纳的，超出分区的记录未扫描";
const char kTableUnmappedMessage[] = "主文件表有记录的位置无从得知，这些记录未扫描";
const char kCompressedDamagedMessage[] = "文件的压缩数据已损坏，无法解压，未保存";
const char kCompressedUnitsZeroedMessage[] = "文件的压缩数据有损坏之处：无法解压的部分已写为零";
const char kEncryptedSavedMessage[] = "该文件已加密：保存的是磁盘上的加密数据，无法直接打开";

namespace {

constexpr uint32_t kBootSectorBytes = 512;

}  // namespace

NtfsScanner::NtfsScanner(const ScanContext& context)
    : drive_(context.openDrive, context.showMessage, context.readFailed),
      messages_(context.showMessage),
      stopRequested_(context.stopRequested),
      mftValidDataLength_(context.mftValidDataLength),
      toldIncomplete_(context.toldIncomplete) {}

bool NtfsScanner::open(const PartitionRecord* record) {
    if (record == nullptr) return false;
    if (!drive_.open()) return false;
    const uint64_t sectorBytes = drive_.bytesPerSector();
    const uint64_t firstSector = record->firstSector();
    if (sectorBytes == 0 || firstSector > UINT64_MAX / sectorBytes) return false;
    volume_.partitionOffset = firstSector * sectorBytes;
    const uint64_t partitionOffset = volume_.partitionOffset;
    const uint64_t partitionBytes = record->totalSectors > UINT64_MAX / sectorBytes
                                        ? UINT64_MAX
                                        : record->totalSectors * sectorBytes;
    // The table's claim is cut by the disk's real size where it is known.
    uint64_t& volumeEnd = volume_.volumeEnd;
    volumeEnd = partitionBytes > UINT64_MAX - partitionOffset ? UINT64_MAX
                                                              : partitionOffset + partitionBytes;
    if (drive_.deviceBytes() != 0) volumeEnd = std::min(volumeEnd, drive_.deviceBytes());
    uint8_t boot[kBootSectorBytes] = {};
    // A found volume's damaged first sector is read from its backup.
    uint64_t bootAt = 0;
    if (!record->bootSectorAt(partitionOffset, bootAt) ||
        !drive_.readBytes(bootAt, boot, kBootSectorBytes)) {
        return false;
    }
    NtfsBootFields fields;
    if (!decodeNtfsBootSector(boot, fields)) return false;
    if (volumeEnd <= partitionOffset) return false;
    volume_.bytesPerCluster = fields.bytesPerCluster;
    recordSize_ = fields.recordSize;
    try {
        if (!buildRecordMap(fields.serial, fields.mftCluster)) return false;
        table_ = std::make_unique<MftTableReader>(drive_, *recordMap_);
        // A folder's name may lie in an extension record too.
        folders_ = std::make_unique<FolderPaths>([this](uint64_t number, MftRecordInfo& info) {
            try {
                NtfsFile folder;
                TableRecords source(*this);
                if (!loadFile(number, false, source, folder)) return false;
                info = std::move(folder.info);
                return true;
            } catch (const std::bad_alloc&) {
                return false;
            }
        });
        loadBitmap();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool NtfsScanner::hasItem(uint32_t index) {
    return static_cast<uint64_t>(index) < recordCount_;
}

bool NtfsScanner::buildRecordMap(uint32_t serial, uint64_t mftCluster) {
    if (recordSize_ == 0) return false;
    const uint64_t partitionOffset = volume_.partitionOffset;
    uint64_t tableOffset = 0;
    if (!clusterByteOffset(partitionOffset, mftCluster, volume_.bytesPerCluster, tableOffset)) {
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
    const uint64_t claimed = validLength / recordSize_;
    recordMap_ = std::make_unique<MftRecordMap>(partitionOffset, volume_.bytesPerCluster,
                                                recordSize_, claimed, volume_.volumeEnd);
    DirectRecords streams(*this);
    const PieceReader read = [this](uint64_t position, uint8_t* into, uint32_t length) {
        return drive_.readBytes(position, into, length);
    };
    buildTableMap(info, streams, [&](uint64_t number) -> const uint8_t* {
        return readMappedRecord(*recordMap_, number, read, buffer) ? buffer : nullptr;
    }, *recordMap_);
    // Only records the disk holds are offered: a claimed length of 2^50
    // bytes on a small disk does not make 2^40 indices.
    // Every record of a table lies in its volume, so the volume's size
    // bounds the numbers too (a vast sparse run cannot stretch them).
    // Either cut is told: the files past it are not listed.
    const uint64_t held = volume_.bytes() / recordSize_;
    recordCount_ = std::min({claimed, recordMap_->mappedEnd(), held});
    if (recordCount_ < claimed && toldIncomplete_) {
        toldIncomplete_(held < claimed ? kTableBeyondPartitionMessage : kTableUnmappedMessage);
    }
    return true;
}

}  // namespace undelete
