// The one rule for a file's state, over its extents and the volume's
// allocation map, for a layout a file system records and for one guessed.
#include <gtest/gtest.h>

#include "scan/FileStates.h"
#include "scan/FreeAfterFirst.h"

using namespace undelete;

namespace {

constexpr uint32_t kCluster = 4096;

// Clusters 8, 9 and 20 to 23 in use, on a 64-cluster volume numbered from 0.
ClusterMap sampleMap() {
    ClusterMap map;
    map.reset(64, 0);
    for (uint64_t c : {8, 9, 20, 21, 22, 23}) map.setUsed(c);
    map.finish();
    return map;
}

FileLayout recorded(std::vector<Extent> extents, uint64_t length) {
    FileLayout where;
    where.length = where.validLength = length;
    where.clusters = {0, 0, kCluster};
    where.extents = std::make_unique<ExtentList>(std::move(extents));
    return where;
}

TEST(FileStates, RecordedExtentsAgainstTheMap) {
    const ClusterMap map = sampleMap();
    auto state = [&](std::vector<Extent> extents, uint64_t clusters) {
        FileLayout where = recorded(std::move(extents), clusters * kCluster - 100);
        return layoutState(&where, map, true);
    };
    using E = Extent;
    EXPECT_EQ(state({E::stored(0, 4)}, 4), FileState::Intact);
    EXPECT_EQ(state({E::stored(6, 4)}, 4), FileState::Partial);      // 6–9: two of four
    EXPECT_EQ(state({E::stored(19, 4)}, 4), FileState::Overwritten);  // 19–22: three of four
    EXPECT_EQ(state({E::stored(9, 2), E::stored(0, 8)}, 10), FileState::Overwritten);  // first
    EXPECT_EQ(state({E::stored(0, 4), E::sparse(4)}, 8), FileState::Intact);  // nothing to lose
    EXPECT_EQ(state({E::stored(0, 2), E::stored(1000, 2)}, 4), FileState::Partial);  // outside
    EXPECT_EQ(state({E::stored(0, 2), E::stored(8, 2)}, 2), FileState::Intact);  // past the data
    EXPECT_EQ(state({E::stored(0, 2)}, 4), FileState::Partial);  // stops short
    EXPECT_EQ(state({E::stored(0, 2), E::missing(2)}, 4), FileState::Partial);
    // A vast extent: only as many clusters as the volume has are looked at
    // (34 inside, all free, and 31 outside).
    FileLayout vast = recorded({E::stored(30, UINT64_MAX)}, UINT64_MAX);
    EXPECT_EQ(layoutState(&vast, map, true), FileState::Partial);
    // Short of a record that could not be read: not known.
    FileLayout unread = recorded({E::stored(0, 2)}, 4 * kCluster);
    unread.shortfallUnknown = true;
    EXPECT_EQ(layoutState(&unread, map, true), FileState::Unknown);
    FileLayout any = recorded({E::stored(0, 4)}, 4 * kCluster);
    EXPECT_EQ(layoutState(&any, map, false), FileState::Unknown);  // no map
    EXPECT_EQ(layoutState(nullptr, map, true), FileState::Unknown);  // no layout
}

TEST(FileStates, TheFreeClustersAfterTheFirst) {
    const ClusterMap map = sampleMap();
    auto state = [&](uint64_t first, uint64_t clusters) {
        FileLayout where = recorded({}, clusters * kCluster);
        where.extents = std::make_unique<FreeAfterFirst>(map, first, clusters);
        where.guessed = true;
        return layoutState(&where, map, true);
    };
    EXPECT_EQ(state(2, 6), FileState::Intact);        // 2–7
    EXPECT_EQ(state(5, 6), FileState::Partial);       // 5–7, then 10–12: passed over 8 and 9
    EXPECT_EQ(state(9, 2), FileState::Overwritten);   // its first cluster is in use
    EXPECT_EQ(state(60, 10), FileState::Partial);     // the volume ends first
    // The runs themselves: the first cluster whatever the map says, then
    // the free ones, passing over those in use.
    FreeAfterFirst runs(map, 9, 14);
    Extent e;
    ASSERT_TRUE(runs.next(e));
    EXPECT_EQ(e.first, 9u);
    EXPECT_EQ(e.count, 11u);  // 9–19
    ASSERT_TRUE(runs.next(e));
    EXPECT_EQ(e.first, 24u);
    EXPECT_EQ(e.count, 3u);
    EXPECT_FALSE(runs.next(e));
}

}  // namespace
