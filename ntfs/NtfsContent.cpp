#include <algorithm>
#include <new>

#include "ntfs/NtfsScanner.h"
#include "partition/NtfsBootSector.h"
#include "scan/BudgetedReader.h"

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

// The bytes of `run` that fall before `room` more bytes are done.
uint64_t bytesOf(const RunListNode& run, uint64_t room, uint32_t bytesPerCluster) {
    return run.runLength > room / bytesPerCluster ? room : run.runLength * bytesPerCluster;
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
    if (allocated > volumeEnd_ - partitionOffset_ &&
        allocated > runBytes(info.runs, bytesPerCluster_)) {
        return false;
    }
    // A data size beyond the allocation contradicts it: only the
    // allocation is the file.
    const uint64_t length = std::min(info.dataSize, allocated);
    if (!runsInside(info, length)) return false;
    if (!sink.begin(length)) return false;
    return streamRuns(info, length, sink);
}

// Content that lies outside the partition or the disk is no content of
// this file: saving zeros in its place would be a failure called success.
// Nor can a file hold more clusters than its volume (runs that cover the
// volume again and again would make a save of any length).
bool NtfsScanner::runsInside(const MftRecordInfo& info, uint64_t length) const {
    uint64_t cluster = 0;
    uint64_t done = 0;
    uint64_t stored = 0;
    for (const RunListNode& run : info.runs) {
        if (done >= length) break;
        cluster += static_cast<uint64_t>(run.runOffset);
        const uint64_t bytes = bytesOf(run, length - done, bytesPerCluster_);
        uint64_t position = 0;
        if (!run.sparse) {
            if (!clustersInside(cluster, bytes, position)) return false;
            stored += bytes;
            if (stored > volumeEnd_ - partitionOffset_) return false;
        }
        done += bytes;
    }
    return true;
}

// The runs in list order up to `length`; sparse runs and bytes past the
// initialized size are holes, and what the runs leave uncovered (their
// rest lies in records this scanner does not follow) is lost. A piece that
// cannot be read whole is read again cluster by cluster: only the clusters
// that still fail (a bad sector) are lost, not the file.
bool NtfsScanner::streamRuns(const MftRecordInfo& info, uint64_t length, ContentSink& sink) {
    const uint64_t readable = std::min(length, info.initializedSize);
    BudgetedReader reads(drive_, kMaxReadFailuresInARow);
    std::vector<uint8_t> piece;
    uint64_t cluster = 0;
    uint64_t done = 0;
    for (const RunListNode& run : info.runs) {
        if (done >= length) break;
        cluster += static_cast<uint64_t>(run.runOffset);
        const uint64_t bytes = bytesOf(run, length - done, bytesPerCluster_);
        const uint64_t toRead = run.sparse || done >= readable ? 0 : std::min(bytes, readable - done);
        // The buffer grows with the runs that are read, in whole clusters
        // up to a piece: a small file, or one whose record claims more than
        // its runs hold, does not cost a whole piece.
        const uint64_t clusters = toRead / bytesPerCluster_ + (toRead % bytesPerCluster_ != 0);
        const uint64_t wanted =
            std::min<uint64_t>(clusters * bytesPerCluster_, kContentPieceBytes);
        if (piece.size() < wanted) {
            try {
                piece.resize(static_cast<size_t>(wanted));
            } catch (const std::bad_alloc&) {
                return false;
            }
        }
        uint64_t position = 0;
        if (toRead != 0 && (!clustersInside(cluster, toRead, position) ||
                            !reads.stream(position, toRead, bytesPerCluster_, sink, piece))) {
            return false;
        }
        if (bytes > toRead && !sink.skip(bytes - toRead)) return false;
        done += bytes;
    }
    return done >= length || sink.lost(length - done);
}

}  // namespace undelete
