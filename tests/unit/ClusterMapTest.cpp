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
    EXPECT_EQ(map.nextUsed(3991, 3996), 3996u);  // not looked for past 3996
    EXPECT_EQ(map.nextUsed(3991, 5000), 3997u);  // 7 × 571
    EXPECT_EQ(map.usedIn(3990, 20), 2u + 10u);    // 3990, 3997, then 4000–4009
    EXPECT_EQ(map.usedIn(limit - 2, 5), 3u + (((limit - 2) % 7 == 0 || (limit - 1) % 7 == 0) ? 1 : 0));
}

}  // namespace
