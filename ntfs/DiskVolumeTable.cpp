#include "ntfs/DiskVolumeTable.h"

#include <new>
#include <vector>

#include "disk/DriveReader.h"
#include "ntfs/MftRecord.h"
#include "ntfs/NtfsBootSector.h"
#include "partition/PartitionTableWalker.h"

namespace undelete {
namespace {

constexpr uint8_t kNtfsType = 0x07;
constexpr uint32_t kBootSectorBytes = 512;

// The volume data query of a mounted volume shows nothing when it fails;
// neither does its stand-in, so reads go past the reader's message.
bool quietRead(DriveReader& reader, uint64_t offset, uint8_t* buffer, uint32_t length) {
    return reader.handle && reader.handle->readAt(offset, buffer, length) == length;
}

// True when the partition carries `serial`; `length` is then its answer.
bool askPartition(DriveReader& reader, uint64_t firstSector, uint32_t serial, uint64_t& length) {
    length = 0;
    const uint64_t offset = firstSector * reader.bytesPerSector;
    uint8_t boot[kBootSectorBytes] = {};
    NtfsBootFields fields;
    if (!quietRead(reader, offset, boot, kBootSectorBytes)) return false;
    if (!decodeNtfsBootSector(boot, reader.bytesPerSector, fields)) return false;
    if (fields.serial != serial) return false;
    uint64_t tableOffset = 0;
    uint8_t record[kMftRecordBytes] = {};
    MftRecordInfo info;
    if (clusterByteOffset(offset, fields.mftCluster, fields.bytesPerCluster, tableOffset) &&
        quietRead(reader, tableOffset, record, kMftRecordBytes) &&
        parseTableRecord(record, kMftRecordBytes, info)) {
        length = info.initializedSize;
    }
    return true;
}

}  // namespace

uint64_t findDiskVolumeMftValidDataLength(uint32_t serial) {
    std::vector<uint64_t> starts;
    try {
        PartitionTableWalker([&](const PartitionRecord& record, uint32_t) {
            if (record.partitionType == kNtfsType) starts.push_back(record.firstSector());
        });
    } catch (const std::bad_alloc&) {
        return 0;
    }
    DriveReader reader;
    reader.reset();
    if (starts.empty() || !reader.open()) return 0;
    uint64_t length = 0;
    for (uint64_t start : starts) {
        if (askPartition(reader, start, serial, length)) break;
    }
    reader.close();
    return length;
}

}  // namespace undelete
