// The state and the content of a deleted exFAT file: its clusters in the
// layout its set and the FAT give, weighed against the allocation bitmap.
#include <algorithm>
#include <new>

#include "exfat/ExfatScanner.h"

namespace undelete {

bool ExfatScanner::clustersThere(const Item& item, uint64_t clusters) {
    if (clusters == 0) return true;
    if (!item.extentValid || !validCluster(item.firstCluster)) return false;
    switch (item.layout) {
    case ExfatLayout::Contiguous: return clusters <= clusterLimit_ - item.firstCluster;
    case ExfatLayout::FatChain: return true;  // the chain holds them all
    default: {
        uint32_t last = 0;
        return clusters == 1 || bitmap_.nthFree(item.firstCluster + 1, clusters - 1, last);
    }
    }
}

FileState ExfatScanner::stateOf(const Item& item) {
    // Only the clusters of the valid data are content.
    const uint64_t clusters = clustersFor(item.validDataLength);
    if (clusters == 0) return FileState::Intact;  // nothing to lose
    // A set that does not check is not sure to be what was written.
    if (!item.checksumValid || !bitmapKnown_ || !item.extentValid) return FileState::Unknown;
    if (bitmap_.used(item.firstCluster)) return FileState::Overwritten;
    if (!clustersThere(item, clusters)) return FileState::Partial;
    if (item.layout == ExfatLayout::FreeAfterFirst) {
        // Clusters live files use between the first and the last: either
        // the file lay around them or they took its place.
        uint32_t last = item.firstCluster;
        if (clusters > 1) bitmap_.nthFree(item.firstCluster + 1, clusters - 1, last);
        return uint64_t{last} - item.firstCluster + 1 == clusters ? FileState::Intact
                                                                  : FileState::Partial;
    }
    ExfatClusterRuns runs(item.layout, item.firstCluster, clusters, *fat_, bitmap_, clusterLimit_);
    uint32_t first = 0, count = 0;
    uint64_t used = 0;
    while (runs.next(first, count)) used += count - bitmap_.freeBetween(first, first + count);
    return used == 0 && runs.given() == clusters ? FileState::Intact : FileState::Partial;
}

bool ExfatScanner::readContent(uint32_t index, ContentSink& sink) {
    if (index >= catalogue_.size() || !fat_) return false;
    const Item& item = catalogue_[index];
    if (item.dataLength == 0) return sink.begin(0);
    // Content that would run past the volume, or whose clusters cannot be
    // found, is refused before anything reaches the sink.
    const uint64_t clusters = clustersFor(item.validDataLength);
    if (!item.extentValid || !clustersThere(item, clusters)) return false;
    if (!sink.begin(item.dataLength)) return false;

    BudgetedReader reads(drive_, kMaxConsecutiveReadFailures);
    std::vector<uint8_t> piece;
    try {
        piece.resize(streamBufferBytes(item.validDataLength, clusterBytes_));
    } catch (const std::bad_alloc&) {
        return false;
    }
    ExfatClusterRuns runs(item.layout, item.firstCluster, clusters, *fat_, bitmap_, clusterLimit_);
    uint64_t left = item.validDataLength;
    uint32_t first = 0, count = 0;
    while (left > 0 && runs.next(first, count)) {
        const uint64_t run = std::min<uint64_t>(uint64_t{count} * clusterBytes_, left);
        if (!reads.stream(clusterOffset(first), run, clusterBytes_, sink, piece)) return false;
        left -= run;
    }
    if (left > 0) return false;
    // Past the valid data length the file reads as zeros.
    const uint64_t zeros = item.dataLength - item.validDataLength;
    return zeros == 0 || sink.skip(zeros);
}

}  // namespace undelete
