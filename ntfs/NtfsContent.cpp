#include <algorithm>
#include <new>

#include "ntfs/Lznt1.h"
#include "ntfs/NtfsRecords.h"
#include "ntfs/StreamExtents.h"

namespace undelete {
namespace {

// Bytes the runs describe, sparse ones included; saturates.
uint64_t runBytes(const std::vector<RunListNode>& runs, uint32_t bytesPerCluster) {
    const uint64_t clusters = runClusters(runs);
    return clusters > UINT64_MAX / bytesPerCluster ? UINT64_MAX : clusters * bytesPerCluster;
}

// `length` rounded up to whole units of `unitBytes`; saturates.
uint64_t wholeUnits(uint64_t length, uint64_t unitBytes) {
    const uint64_t rest = length % unitBytes;
    return rest == 0 || length > UINT64_MAX - unitBytes ? length : length + unitBytes - rest;
}

}  // namespace

bool NtfsScanner::readContent(uint32_t index, ContentSink& sink) {
    NtfsFile file;
    try {
        DirectRecords source(*this);
        if (!loadFile(index, false, source, file)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    const MftRecordInfo& info = file.info;
    if (file.encrypted() && messages_) messages_(kEncryptedSavedMessage);
    if (!info.nonResident()) {
        const auto size = static_cast<size_t>(info.dataLength);
        return sink.begin(size) && (size == 0 || sink.write(info.residentData.data(), size));
    }
    const uint32_t cluster = volume_.bytesPerCluster;
    if (cluster == 0) return false;
    const uint64_t allocated = info.allocatedSize;
    // Neither the volume nor the runs can account for such an allocation:
    // the record is not to be believed.
    if (allocated > volume_.bytes() && allocated > runBytes(info.runs, cluster)) return false;
    // A data size beyond the allocation contradicts it: only the
    // allocation is the file.
    const uint64_t length = std::min(info.dataSize, allocated);
    return streamData(file, length, sink) == StreamResult::Done;
}

// An encrypted file is read as it lies: its clusters hold no compressed
// units to decode.
StreamResult NtfsScanner::streamData(const NtfsFile& file, uint64_t length, ContentSink& sink) {
    const MftRecordInfo& info = file.info;
    const uint32_t cluster = volume_.bytesPerCluster;
    StreamReader reader(drive_, volume_, kMaxReadFailuresInARow);
    if (!file.compressed() || file.encrypted()) {
        if (!reader.inside(info.runs, length) || !sink.begin(length)) return StreamResult::Refused;
        return reader.plain(info.runs, length, info.initializedSize, sink);
    }
    const uint64_t unitClusters = compressionUnitClusters(info.compressionUnit, cluster);
    const uint64_t unitBytes = unitClusters * cluster;
    StreamResult result = StreamResult::Damaged;
    if (unitBytes != 0) {
        // A unit's clusters are read whole, the last one's too.
        if (!reader.inside(info.runs, wholeUnits(length, unitBytes)) || !sink.begin(length)) {
            return StreamResult::Refused;
        }
        result = reader.compressed(info.runs, length, info.initializedSize, unitClusters, sink);
    }
    if (result == StreamResult::Damaged && messages_) messages_(kCompressedDamagedMessage);
    if (result == StreamResult::Done && reader.damagedUnits() != 0 && messages_) {
        messages_(kCompressedUnitsZeroedMessage);
    }
    return result;
}

}  // namespace undelete
