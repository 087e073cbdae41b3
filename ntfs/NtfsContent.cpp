#include <algorithm>
#include <new>

#include "ntfs/NtfsBootSector.h"
#include "ntfs/NtfsScanner.h"

namespace undelete {
namespace {

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

bool NtfsScanner::readContent(uint32_t index, ContentSink& sink) {
    MftRecordInfo info;
    if (!readRecord(index, false, info)) return false;
    if (!info.nonResident()) {
        const auto size = static_cast<size_t>(info.dataLength);
        return sink.begin(size) && (size == 0 || sink.write(info.residentData.data(), size));
    }
    if (bytesPerCluster_ == 0) return false;
    const uint64_t allocated = info.allocatedSize;
    // Neither the volume nor the runs can account for such an allocation:
    // the record is not to be believed.
    if (allocated > partitionBytes_ && allocated > runBytes(info.runs, bytesPerCluster_)) {
        return false;
    }
    // A data size beyond the allocation contradicts it: only the
    // allocation is the file.
    const uint64_t length = std::min(info.dataSize, allocated);
    if (!sink.begin(length)) return false;
    return streamRuns(info, length, sink);
}

// The runs in list order up to `length`; sparse runs, and whatever the runs
// leave uncovered, are holes.
bool NtfsScanner::streamRuns(const MftRecordInfo& info, uint64_t length, ContentSink& sink) {
    std::vector<uint8_t> piece;
    uint64_t cluster = 0;
    uint64_t done = 0;
    for (const RunListNode& run : info.runs) {
        if (done >= length) break;
        cluster += static_cast<uint64_t>(run.runOffset);
        const uint64_t room = length - done;
        const uint64_t bytes =
            run.runLength > room / bytesPerCluster_ ? room : run.runLength * bytesPerCluster_;
        if (!run.sparse && piece.empty()) {
            try {
                piece.resize(static_cast<size_t>(std::min<uint64_t>(room, kContentPieceBytes)));
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        const bool ok = run.sparse ? sink.skip(bytes) : streamClusters(cluster, bytes, sink, piece);
        if (!ok) return false;
        done += bytes;
    }
    return done >= length || sink.skip(length - done);
}

// A run that cannot be read is zeros from the failed piece on; the reader
// has said so once, and the next run is read all the same.
bool NtfsScanner::streamClusters(uint64_t cluster, uint64_t bytes, ContentSink& sink,
                                 std::vector<uint8_t>& piece) {
    uint64_t position = 0;
    if (!clusterByteOffset(partitionOffset_, cluster, bytesPerCluster_, position)) {
        return sink.skip(bytes);
    }
    while (bytes > 0) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(bytes, piece.size()));
        if (!drive_.readBytes(position, piece.data(), n)) return sink.skip(bytes);
        if (!sink.write(piece.data(), n)) return false;
        position += n;
        bytes -= n;
    }
    return true;
}

}  // namespace undelete
