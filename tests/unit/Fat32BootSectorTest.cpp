#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "fat32/Fat32BootSector.h"

using namespace undelete;

namespace {

std::vector<uint8_t> bootSector(const char* label) {
    std::vector<uint8_t> s(512, 0);
    put16(s.data() + 11, 512);
    s[13] = 8;
    put16(s.data() + 14, 32);
    s[16] = 2;
    put32(s.data() + 36, 1000);
    put32(s.data() + 44, 2);
    std::memcpy(s.data() + 82, label, std::strlen(label));
    return s;
}

TEST(Fat32BootSector, LabelIsComparedWithoutLetterCase) {
    for (const char* label : {"FAT32   ", "fat32   ", "Fat32", "FAT32x"}) {
        const auto s = bootSector(label);
        EXPECT_TRUE(hasFat32Label(s.data(), s.size())) << label;
    }
    for (const char* label : {"FAT16   ", "NTFS    ", "FAT3", "FAT 32", ""}) {
        const auto s = bootSector(label);
        EXPECT_FALSE(hasFat32Label(s.data(), s.size())) << label;
    }
    const auto s = bootSector("FAT32");
    EXPECT_FALSE(hasFat32Label(s.data(), 86));  // label not wholly inside
    Fat32BootSector boot;
    EXPECT_FALSE(decodeFat32BootSector(s.data(), 89, boot));
    EXPECT_TRUE(decodeFat32BootSector(s.data(), 90, boot));
}

TEST(Fat32BootSector, FieldsAndTheirStandIns) {
    auto s = bootSector("FAT32   ");
    Fat32BootSector boot;
    ASSERT_TRUE(decodeFat32BootSector(s.data(), s.size(), boot));
    EXPECT_EQ(boot.sectorsPerCluster, 8);
    EXPECT_EQ(boot.reservedSectors, 32);
    EXPECT_EQ(boot.numberOfFats, 2);
    EXPECT_EQ(boot.fatSize, 1000u);
    EXPECT_EQ(boot.rootCluster, 2u);

    s[16] = 0;  // no FAT count: two are taken
    put32(s.data() + 44, 1);
    ASSERT_TRUE(decodeFat32BootSector(s.data(), s.size(), boot));
    EXPECT_EQ(boot.numberOfFats, 2);
    EXPECT_EQ(boot.rootCluster, 2u);
    s[16] = 1;
    put32(s.data() + 44, 0);
    ASSERT_TRUE(decodeFat32BootSector(s.data(), s.size(), boot));
    EXPECT_EQ(boot.numberOfFats, 1);
    EXPECT_EQ(boot.rootCluster, 2u);
    put32(s.data() + 44, 0x12345);
    ASSERT_TRUE(decodeFat32BootSector(s.data(), s.size(), boot));
    EXPECT_EQ(boot.rootCluster, 0x12345u);
}

TEST(Fat32BootSector, SectorArithmetic) {
    Fat32BootSector boot;
    boot.reservedSectors = 32;
    boot.numberOfFats = 2;
    boot.fatSize = 1000;
    EXPECT_EQ(firstDataSectorOf(2048, boot), 4080u);
    boot.numberOfFats = 1;
    EXPECT_EQ(firstDataSectorOf(2048, boot), 3080u);
    // A damaged FAT size does not wrap the data area back to the disk start.
    boot.numberOfFats = 255;
    boot.fatSize = 0xFFFFFFFFu;
    EXPECT_EQ(firstDataSectorOf(2048, boot), 2048u + 32u + 255ull * 0xFFFFFFFFull);

    EXPECT_EQ(clusterSectorOf(4080, 8, 2), 4080u);
    EXPECT_EQ(clusterSectorOf(4080, 8, 3), 4088u);
    // Clusters 0 and 1 wrap within 32 bits: far beyond, never before, the data.
    EXPECT_EQ(clusterSectorOf(4080, 1, 0), 4080ull + 0xFFFFFFFEull);
    EXPECT_EQ(clusterSectorOf(4080, 8, 0), 4080ull + 0xFFFFFFF0ull);
    EXPECT_EQ(clusterSectorOf(4080, 8, 0x20000002u), 4080u);  // (2^29 × 8) mod 2^32
}

TEST(Fat32BootSector, ClusterCountRoundsUpWithoutWrap) {
    EXPECT_EQ(clustersForSize(0, 4096), 0u);
    EXPECT_EQ(clustersForSize(1, 4096), 1u);
    EXPECT_EQ(clustersForSize(8192, 4096), 2u);
    EXPECT_EQ(clustersForSize(8193, 4096), 3u);
    EXPECT_EQ(clustersForSize(0xFFFFFFFFu, 4096), 1048576u);
    EXPECT_EQ(clustersForSize(0xFFFFFFFFu, 255u * 4096u), 4113u);
    EXPECT_EQ(clustersForSize(0xFFFFFFFFu, 1), 0xFFFFFFFFu);
}

}  // namespace

namespace {

TEST(Fat32BootSector, ClusterLimitTakesTheSmallestEvidence) {
    // Boot sector, partition table and device: the smallest known one wins.
    EXPECT_EQ(volumeSectorsOf(1000, 800, 900), 800u);
    EXPECT_EQ(volumeSectorsOf(0, 0, 900), 900u);
    EXPECT_EQ(volumeSectorsOf(1000, 0, 0), 1000u);
    // The data area from sector 2032 on; 8 sectors a cluster: whole ones only.
    EXPECT_EQ(clusterLimitOf(2032 + 87, 2032, 8, 1u << 20), 2u + 10);  // 87 = 10 × 8 + 7
    EXPECT_EQ(clusterLimitOf(2032, 2032, 8, 1u << 20), 2u);       // no data area
    EXPECT_EQ(clusterLimitOf(100, 2032, 8, 1u << 20), 2u);        // data past the end
    EXPECT_EQ(clusterLimitOf(1u << 30, 0, 1, 4 * 50), 50u);        // what one FAT describes
    EXPECT_EQ(clusterLimitOf(UINT64_MAX, 0, 1, UINT64_MAX), kFat32ClusterCeiling);
    EXPECT_EQ(clusterLimitOf(1u << 30, 0, 0, 1u << 20), 2u);      // no sectors a cluster
}

}  // namespace
