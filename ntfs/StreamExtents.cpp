#include "ntfs/StreamExtents.h"

#include <algorithm>

namespace undelete {

uint64_t runClusters(const std::vector<RunListNode>& runs) {
    uint64_t total = 0;
    for (const RunListNode& run : runs) {
        if (run.runLength > UINT64_MAX - total) return UINT64_MAX;
        total += run.runLength;
    }
    return total;
}

std::vector<Extent> extentsOf(const std::vector<RunListNode>& runs) {
    std::vector<Extent> extents;
    extents.reserve(runs.size());
    uint64_t lcn = 0;
    for (const RunListNode& run : runs) {
        if (run.sparse) {
            extents.push_back(Extent::sparse(run.runLength));
            continue;
        }
        lcn += static_cast<uint64_t>(run.runOffset);
        extents.push_back(Extent::stored(lcn, run.runLength));
    }
    return extents;
}

bool appendPiece(JoinedRuns& joined, uint64_t lowestVcn, const std::vector<RunListNode>& runs) {
    if (lowestVcn != joined.nextVcn) return false;
    const uint64_t clusters = runClusters(runs);
    uint64_t lcn = 0;  // as the piece counts: from cluster 0
    for (RunListNode run : runs) {
        if (!run.sparse) {
            lcn += static_cast<uint64_t>(run.runOffset);
            // Distances wrap as the disk's cluster numbers do.
            run.runOffset = static_cast<int64_t>(lcn - joined.lastLcn);
            joined.lastLcn = lcn;
        }
        joined.runs.push_back(run);
    }
    joined.nextVcn = clusters > UINT64_MAX - joined.nextVcn ? UINT64_MAX : joined.nextVcn + clusters;
    return true;
}

JoinedRuns joinPieces(std::vector<DataExtent>& pieces) {
    std::stable_sort(pieces.begin(), pieces.end(), [](const DataExtent& a, const DataExtent& b) {
        return a.lowestVcn < b.lowestVcn;
    });
    JoinedRuns joined;
    for (const DataExtent& piece : pieces) {
        if (piece.lowestVcn < joined.nextVcn) continue;  // a repeat, or an overlap
        if (!appendPiece(joined, piece.lowestVcn, piece.runs)) break;
        if (piece.runs.empty()) break;  // covers nothing: what follows cannot join
    }
    return joined;
}

}  // namespace undelete
