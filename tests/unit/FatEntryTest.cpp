#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "partition/FatBootSector.h"
#include "fat/DeletedEntry.h"
#include "fat/FatEntry.h"

using namespace undelete;

namespace {

uint32_t entry(FatType type, const std::vector<uint8_t>& table, uint32_t cluster,
               uint64_t base = 0) {
    uint32_t value = 0xDEAD;
    EXPECT_TRUE(fatEntryValue(type, table.data(), table.size(), base, cluster, value));
    return value;
}

TEST(FatEntry, TwelveBitEntriesShareBytesAndTheOddOneStraddles) {
    // Entries 2 = 0x003, 3 = 0xFFF (end), 4 = 0x0AB, 5 = 0x123: entry 3
    // takes the high half of byte 4 and all of byte 5.
    const std::vector<uint8_t> table = {0xF8, 0xFF, 0xFF, 0x03, 0xF0, 0xFF, 0xAB, 0x30, 0x12};
    EXPECT_EQ(entry(FatType::Fat12, table, 2), 0x003u);
    EXPECT_EQ(entry(FatType::Fat12, table, 3), 0xFFFu);
    EXPECT_EQ(entry(FatType::Fat12, table, 4), 0x0ABu);
    EXPECT_EQ(entry(FatType::Fat12, table, 5), 0x123u);
    EXPECT_EQ(fatTableBytes(FatType::Fat12, 6), 9u);
    // Past the bytes held, or before a piece's start: no value.
    uint32_t value = 0;
    EXPECT_FALSE(fatEntryValue(FatType::Fat12, table.data(), table.size(), 0, 6, value));
    EXPECT_FALSE(fatEntryValue(FatType::Fat12, table.data() + 6, 3, 6, 3, value));
    // A piece of the table that starts at byte 6 holds entries 4 and 5.
    const std::vector<uint8_t> piece(table.begin() + 6, table.end());
    EXPECT_EQ(entry(FatType::Fat12, piece, 5, 6), 0x123u);

    EXPECT_EQ(fatLinkOf(FatType::Fat12, 0x003, 6), FatLink::Next);
    EXPECT_EQ(fatLinkOf(FatType::Fat12, 0x006, 6), FatLink::Reserved) << "past the volume";
    EXPECT_EQ(fatLinkOf(FatType::Fat12, 0xFF7, 4000), FatLink::Bad);
    EXPECT_EQ(fatLinkOf(FatType::Fat12, 0xFF8, 4000), FatLink::End);
    EXPECT_EQ(fatLinkOf(FatType::Fat12, 0x000, 6), FatLink::Free);
}

TEST(FatEntry, SixteenAndThirtyTwoBitEntries) {
    std::vector<uint8_t> table(16, 0);
    put16(table.data() + 2 * 2, 0xFFF7);
    put16(table.data() + 3 * 2, 0x1234);
    EXPECT_EQ(entry(FatType::Fat16, table, 2), 0xFFF7u);
    EXPECT_EQ(fatLinkOf(FatType::Fat16, 0xFFF7, 0xFFF7), FatLink::Bad);
    EXPECT_EQ(fatLinkOf(FatType::Fat16, 0xFFF8, 0xFFF7), FatLink::End);
    EXPECT_EQ(entry(FatType::Fat16, table, 3), 0x1234u);
    put32(table.data() + 3 * 4, 0xF0000005);  // reserved top bits set
    EXPECT_EQ(entry(FatType::Fat32, table, 3), 5u);
    EXPECT_EQ(fatLinkOf(FatType::Fat32, 0xF0000005, 100), FatLink::Next);
    EXPECT_EQ(fatLinkOf(FatType::Fat32, 0x0FFFFFFF, 100), FatLink::End);
}

// A BPB as mkfs.fat writes it; `fat16Layout` gives it a fixed root and
// FATSz16.
std::vector<uint8_t> bpb(uint32_t totalSectors, uint8_t perCluster, uint16_t fatSize,
                         bool fat16Layout = true) {
    std::vector<uint8_t> s(512, 0);
    s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90;
    put16(s.data() + kBpbBytsPerSec, 512);
    s[kBpbSecPerClus] = perCluster;
    put16(s.data() + kBpbRsvdSecCnt, fat16Layout ? 1 : 32);
    s[kBpbNumFats] = 2;
    s[kBpbMedia] = 0xF8;
    if (totalSectors < 0x10000) {
        put16(s.data() + kBpbTotSec16, static_cast<uint16_t>(totalSectors));
    } else {
        put32(s.data() + kBpbTotSec32, totalSectors);
    }
    if (fat16Layout) {
        put16(s.data() + kBpbRootEntCnt, 512);
        put16(s.data() + kBpbFatSz16, fatSize);
    } else {
        put32(s.data() + kBpbFatSz32, fatSize);
        put32(s.data() + kBpbRootClus, 2);
    }
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

TEST(FatBootSector, TheClusterCountDecidesTheType) {
    // Data sectors = total − 1 reserved − 2 FATs − 32 root sectors.
    const auto decode = [](const std::vector<uint8_t>& s, FatBootSector& boot) {
        return decodeFatBootSector(s.data(), s.size(), boot);
    };
    FatBootSector boot;
    const uint32_t overhead = 1 + 2 * 12 + 32;
    ASSERT_EQ(decode(bpb(overhead + 4084, 1, 12), boot), FatBootCheck::Ok);
    EXPECT_EQ(boot.type, FatType::Fat12);
    EXPECT_EQ(boot.clusterCount, 4084u);
    ASSERT_EQ(decode(bpb(overhead + 4085, 1, 12), boot), FatBootCheck::Ok);
    EXPECT_EQ(boot.type, FatType::Fat16);
    // The label says nothing: one that claims FAT12 is FAT16 by its count.
    auto labelled = bpb(overhead + 4085, 1, 12);
    std::memcpy(labelled.data() + 54, "FAT12   ", 8);
    ASSERT_EQ(decode(labelled, boot), FatBootCheck::Ok);
    EXPECT_EQ(boot.type, FatType::Fat16);
    const uint32_t overhead16 = 1 + 2 * 256 + 32;
    ASSERT_EQ(decode(bpb(overhead16 + 65524, 1, 256), boot), FatBootCheck::Ok);
    EXPECT_EQ(boot.type, FatType::Fat16);
    // A fixed-root layout with 65,525 clusters, and a FAT32 layout with
    // fewer: the count's type, told as a mismatch.
    ASSERT_EQ(decode(bpb(overhead16 + 65525, 1, 256), boot), FatBootCheck::LayoutMismatch);
    EXPECT_EQ(boot.type, FatType::Fat32);
    ASSERT_EQ(decode(bpb(32 + 2 * 600 + 65524, 1, 600, false), boot), FatBootCheck::LayoutMismatch);
    EXPECT_EQ(boot.type, FatType::Fat16);
    ASSERT_EQ(decode(bpb(32 + 2 * 600 + 65525, 1, 600, false), boot), FatBootCheck::Ok);
    EXPECT_EQ(boot.type, FatType::Fat32);
    EXPECT_EQ(boot.rootCluster, 2u);
    EXPECT_EQ(boot.rootDirectorySectors(), 0u);
}

TEST(FatBootSector, AFixedRootLiesBetweenTheFatsAndClusterTwo) {
    // mkfs.fat -F 16 -s 4 on 32 MiB: 4 reserved sectors, two FATs of 64
    // sectors, 512 root entries.
    auto s = bpb(65536, 4, 64);
    put16(s.data() + kBpbRsvdSecCnt, 4);
    put32(s.data() + kBpbHiddSec, 2048);
    FatBootSector boot;
    ASSERT_EQ(decodeFatBootSector(s.data(), s.size(), boot), FatBootCheck::Ok);
    EXPECT_EQ(boot.type, FatType::Fat16);
    EXPECT_EQ(boot.rootDirectorySector(), 4u + 128);
    EXPECT_EQ(boot.rootDirectorySectors(), 32u);
    EXPECT_EQ(boot.firstDataSector(), 164u);
    EXPECT_EQ(boot.clusterSector(3), 168u);
    EXPECT_EQ(boot.clusterCount, (65536u - 164) / 4);
    EXPECT_EQ(boot.clusterLimit(), boot.clusterCount + 2);
    EXPECT_EQ(boot.hiddenSectors, 2048u);
    EXPECT_EQ(boot.clusterBytes(), 2048u);
    // What the partition and the disk hold cuts the clusters to whole ones
    // inside it (87 sectors: 21 clusters and 3 sectors).
    EXPECT_EQ(boot.clusterLimitWithin(164 + 87), 2u + 21);
    EXPECT_EQ(boot.clusterLimitWithin(164), 2u);     // no data area
    EXPECT_EQ(boot.clusterLimitWithin(100), 2u);     // data past the end
    EXPECT_EQ(boot.clusterLimitWithin(UINT64_MAX), boot.clusterLimit());
    // A FAT too short for the clusters cuts the usable ones to what it holds.
    put16(s.data() + kBpbFatSz16, 16);
    ASSERT_EQ(decodeFatBootSector(s.data(), s.size(), boot), FatBootCheck::Ok);
    EXPECT_EQ(boot.clusterLimit(), 16u * 512 / 2);
    EXPECT_EQ(clustersForSize(8193, 4096), 3u);
    EXPECT_EQ(clustersForSize(0xFFFFFFFFu, 1), 0xFFFFFFFFu);  // no wrap
    // What is no BPB: no signature, a cluster size of 3, no FAT, no data.
    auto broken = bpb(65536, 4, 64);
    broken[511] = 0;
    EXPECT_EQ(decodeFatBootSector(broken.data(), broken.size(), boot), FatBootCheck::NoSignature);
    broken = bpb(65536, 3, 64);
    EXPECT_EQ(decodeFatBootSector(broken.data(), broken.size(), boot), FatBootCheck::ClusterSize);
    broken = bpb(65536, 4, 0);
    EXPECT_EQ(decodeFatBootSector(broken.data(), broken.size(), boot), FatBootCheck::FatSize);
    broken = bpb(100, 4, 64);
    EXPECT_EQ(decodeFatBootSector(broken.data(), broken.size(), boot), FatBootCheck::NoDataArea);
}

}  // namespace
