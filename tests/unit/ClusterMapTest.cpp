#include <gtest/gtest.h>

#include "scan/ClusterMap.h"

using namespace undelete;

namespace {

// Counts across word and block boundaries against a plain walk.
TEST(ClusterMap, FreeCountsAndSearchesAgreeWithAPlainWalk) {
    ClusterMap map;
    const uint32_t limit = 3 * 4096 + 77;
    ASSERT_TRUE(map.reset(limit));
    for (uint32_t c = 2; c < limit; ++c) {
        if (c % 7 == 0 || (c >= 4000 && c < 8300)) map.setUsed(c);
    }
    map.finish();
    EXPECT_TRUE(map.used(0));
    EXPECT_TRUE(map.used(1));
    EXPECT_TRUE(map.used(limit));  // beyond the volume
    auto plainFree = [&](uint32_t from, uint32_t to) {
        uint64_t n = 0;
        for (uint32_t c = from; c < to && c < limit; ++c) n += (c % 7 == 0 || (c >= 4000 && c < 8300) || c < 2) ? 0 : 1;
        return n;
    };
    for (auto [from, to] : {std::pair<uint32_t, uint32_t>{0, limit}, {3, 64}, {63, 4097},
                            {3999, 8301}, {8299, 12000}, {5, limit + 100}}) {
        EXPECT_EQ(map.freeBetween(from, to), plainFree(from, to)) << from << ".." << to;
    }
    EXPECT_EQ(map.nextUsed(3999), 4000u);
    EXPECT_EQ(map.nextFree(4000), 8300u);
    EXPECT_EQ(map.nextFree(limit - 1), limit - 1);
    uint64_t at = 0;
    ASSERT_TRUE(map.nthFree(3990, 6, at));  // 3990 3991 3992 3993 3995 3996 (3994 = 7 × 570)
    EXPECT_EQ(at, 3996u);
    ASSERT_TRUE(map.nthFree(3998, 3, at));  // 3998 3999, then past the used stretch
    EXPECT_EQ(at, 8300u);
    const uint64_t all = plainFree(100, limit);
    ASSERT_TRUE(map.nthFree(100, all, at));
    EXPECT_EQ(at, limit - 1 - (((limit - 1) % 7 == 0) ? 1 : 0));
    EXPECT_FALSE(map.nthFree(100, all + 1, at));
    EXPECT_FALSE(map.nthFree(100, 0, at));
}

}  // namespace
