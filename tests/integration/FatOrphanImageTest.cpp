// The orphan-cluster recogniser over every free cluster of a FAT32 volume
// made by mtools: it must pick out exactly the deleted folder's clusters
// (its files' data, text, and never-used zeros lie free beside them) and
// read from the later ones the files the folder's first cluster no longer
// leads to.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Harness.h"
#include "common/Bytes.h"
#include "common/Text.h"
#include "fat32/Fat32BootSector.h"
#include "fat32/OrphanEntries.h"

namespace {

using namespace undelete;

constexpr uint64_t kStart = 2048;

class FatOrphanImage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { built = harness::makeFixtureImage("make-fat32-orphan-image.sh"); }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 14u);
        ASSERT_TRUE(initProcessLocale());
    }

    static inline harness::FixtureImage built;
};

TEST_F(FatOrphanImage, FindsTheDeletedFolderClustersAndTheirFiles) {
    std::ifstream image(built.image(), std::ios::binary);
    const auto read = [&](uint64_t sector, uint64_t bytes) {
        std::vector<uint8_t> data(bytes);
        image.seekg(static_cast<std::streamoff>(sector * 512));
        image.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(bytes));
        EXPECT_TRUE(image);
        return data;
    };
    Fat32BootSector boot;
    const std::vector<uint8_t> sector = read(kStart, 512);
    ASSERT_TRUE(decodeFat32BootSector(sector.data(), sector.size(), boot));
    const uint64_t data = firstDataSectorOf(kStart, boot) - kStart;
    const uint32_t limit =
        clusterLimitOf(boot.totalSectors, data, boot.sectorsPerCluster, uint64_t{boot.fatSize} * 512);
    const uint64_t clusterBytes = uint64_t{boot.sectorsPerCluster} * 512;
    const std::vector<uint8_t> fat = read(kStart + boot.reservedSectors, uint64_t{limit} * 4);
    const std::vector<uint8_t> area = read(kStart + data, (limit - 2) * clusterBytes);

    std::set<uint32_t> directories;
    std::map<uint32_t, DeletedEntry> orphans;  // by first cluster
    uint32_t free = 0;
    for (uint32_t c = 2; c < limit; ++c) {
        if ((le32(fat.data() + 4 * c) & 0x0FFFFFFF) != 0) continue;
        ++free;
        const uint8_t* bytes = area.data() + (c - 2) * clusterBytes;
        const OrphanCluster found = readOrphanCluster(bytes, clusterBytes, limit, 0);
        if (!found.directory) continue;
        directories.insert(c);
        for (const DeletedEntry& e : found.files) orphans[e.firstCluster()] = e;
    }
    EXPECT_GT(free, 100000u);

    std::set<uint32_t> folder;
    for (const std::string& c : harness::split(harness::readFile(built.dir->file("clusters.txt")), '\n')) {
        folder.insert(static_cast<uint32_t>(std::stoul(c)));
    }
    EXPECT_EQ(directories, folder);

    for (const auto& f : built.manifest) {
        const auto entry = orphans.find(static_cast<uint32_t>(std::stoul(f[2])));
        ASSERT_NE(entry, orphans.end()) << f[0];
        EXPECT_EQ(entry->second.fileSize, std::stoul(f[1])) << f[0];
        // An entry at a cluster's start has its long name in the cluster
        // before: it keeps its 8.3 name, the first character lost.
        if (f[4] == "0") {
            EXPECT_EQ(entry->second.name.substr(0, 5), "#OLID") << f[0];
        } else {
            EXPECT_EQ(entry->second.name, f[0]);
        }
    }
}

}  // namespace
