#include <algorithm>
#include <new>

#include "ntfs/NtfsBootSector.h"
#include "ntfs/NtfsScanner.h"

namespace undelete {
namespace {

// Reads go to the drive in pieces its 32-bit read length can carry.
constexpr uint64_t kReadPiece = 16u << 20;

// Bytes the runs describe, sparse ones included; saturates.
uint64_t runBytes(const std::vector<RunListNode>& runs, uint32_t bytesPerCluster) {
    uint64_t total = 0;
    for (const RunListNode& run : runs) {
        if (run.runLength > (UINT64_MAX - total) / bytesPerCluster) return UINT64_MAX;
        total += run.runLength * bytesPerCluster;
    }
    return total;
}

}  // namespace

bool NtfsScanner::readContent(uint32_t index, std::vector<uint8_t>& data, uint64_t& length) {
    data.clear();
    length = 0;
    MftRecordInfo info;
    if (!readRecord(index, false, info)) return false;
    if (!info.nonResident()) {
        const auto size = static_cast<size_t>(info.dataLength);
        try {
            data.assign(info.residentData.begin(), info.residentData.begin() + size);
        } catch (const std::bad_alloc&) {
            return false;
        }
        length = size;
        return true;
    }
    if (!readRuns(info, data)) {
        data.clear();
        return false;
    }
    // A data size beyond the allocation contradicts it: only what the
    // buffer holds is the file.
    length = std::min<uint64_t>(info.dataSize, data.size());
    return true;
}

// Fills a buffer of the allocated size with the runs in list order; sparse
// runs and whatever the runs leave uncovered stay zero, and no run reaches
// past the buffer.
bool NtfsScanner::readRuns(const MftRecordInfo& info, std::vector<uint8_t>& data) {
    const uint64_t allocated = info.allocatedSize;
    if (bytesPerCluster == 0) return false;
    // Neither the volume nor the runs can account for such an allocation:
    // the record is not to be believed.
    if (allocated > partitionBytes && allocated > runBytes(info.runs, bytesPerCluster)) {
        return false;
    }
    if (allocated > data.max_size()) return false;
    try {
        data.assign(static_cast<size_t>(allocated), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint64_t cluster = 0;
    uint64_t written = 0;
    for (const RunListNode& run : info.runs) {
        if (written >= allocated) break;
        cluster += static_cast<uint64_t>(run.runOffset);
        const uint64_t room = allocated - written;
        const uint64_t bytes =
            run.runLength > room / bytesPerCluster ? room : run.runLength * bytesPerCluster;
        if (!run.sparse) readClusters(cluster, data.data() + written, bytes);
        written += bytes;
    }
    return true;
}

// A run that cannot be read leaves its part of the buffer zero; the reader
// has said so once, and the next run is read all the same.
void NtfsScanner::readClusters(uint64_t cluster, uint8_t* buffer, uint64_t bytes) {
    uint64_t position = 0;
    if (!clusterByteOffset(partitionOffset, cluster, bytesPerCluster, position)) return;
    while (bytes > 0) {
        const auto piece = static_cast<uint32_t>(std::min(bytes, kReadPiece));
        if (!drive.readBytes(position, buffer, piece)) {
            std::fill(buffer, buffer + piece, uint8_t{0});
            return;
        }
        position += piece;
        buffer += piece;
        bytes -= piece;
    }
}

}  // namespace undelete
