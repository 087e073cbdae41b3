// The pieces of one non-resident attribute joined into one run list in VCN
// order. Each piece's run list counts its clusters from cluster 0, so the
// first stored run of a later piece gets a new distance from the last
// stored run before it. Pure.
#pragma once
#include <cstdint>
#include <vector>

#include "ntfs/MftRecord.h"
#include "scan/FileLayout.h"

namespace undelete {

struct JoinedRuns {
    std::vector<RunListNode> runs;
    uint64_t nextVcn = 0;  // the first VCN the runs do not cover
    uint64_t lastLcn = 0;  // the first cluster of the last stored run
};

// Appends the runs of a piece that starts at `lowestVcn`; false, with
// nothing changed, unless it starts exactly where the joined runs end (a
// gap or an overlap: the piece is not this place's). A piece may cover any
// number of clusters, so every sum saturates instead of wrapping.
bool appendPiece(JoinedRuns& joined, uint64_t lowestVcn, const std::vector<RunListNode>& runs);

// The clusters `runs` cover, sparse ones included; saturates.
uint64_t runClusters(const std::vector<RunListNode>& runs);

// The runs as extents in VCN order: each stored run at the cluster its
// distance leads to (distances wrap as the disk's cluster numbers do), each
// sparse run sparse.
std::vector<Extent> extentsOf(const std::vector<RunListNode>& runs);

// Joins `pieces` (in any order) from VCN 0 on: sorted by their first VCN,
// a piece that repeats one already taken is passed over, and the first gap
// ends the join. `pieces` is reordered.
JoinedRuns joinPieces(std::vector<DataExtent>& pieces);

}  // namespace undelete
