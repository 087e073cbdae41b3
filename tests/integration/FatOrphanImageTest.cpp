// The orphan-cluster recogniser over every free cluster of a FAT32 volume
// made by mtools: it must pick out exactly the deleted folder's clusters
// (its files' data, text, and never-used zeros lie free beside them) and
// read from the later ones the files the folder's first cluster no longer
// leads to.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Harness.h"
#include "common/Bytes.h"
#include "common/Text.h"
#include "fat/OrphanEntries.h"
#include "partition/FatBootSector.h"

namespace {

using namespace undelete;

constexpr uint64_t kStart = 2048;

// The same folder on a FAT32 volume and on a FAT16 one (its root a fixed
// region, its table 16 bits wide).
template <int Bits>
class FatOrphanImageOf : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        built = harness::makeFixtureImage("make-fat32-orphan-image.sh", std::to_string(Bits));
    }
    static void TearDownTestSuite() { built = harness::FixtureImage(); }

    void SetUp() override {
        if (!built.skipReason.empty()) GTEST_SKIP() << built.skipReason;
        ASSERT_TRUE(built.failure.empty()) << built.failure;
        ASSERT_EQ(built.manifest.size(), 14u);
        ASSERT_TRUE(initProcessLocale());
    }

    static inline harness::FixtureImage built;
};
using FatOrphanImage = FatOrphanImageOf<32>;
using Fat16OrphanImage = FatOrphanImageOf<16>;

TEST_F(FatOrphanImage, FindsTheDeletedFolderClustersAndTheirFiles) {
    std::ifstream image(built.image(), std::ios::binary);
    const auto read = [&](uint64_t sector, uint64_t bytes) {
        std::vector<uint8_t> data(bytes);
        image.seekg(static_cast<std::streamoff>(sector * 512));
        image.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(bytes));
        EXPECT_TRUE(image);
        return data;
    };
    FatBootSector boot;
    const std::vector<uint8_t> sector = read(kStart, 512);
    ASSERT_EQ(decodeFatBootSector(sector.data(), sector.size(), boot), FatBootCheck::Ok);
    ASSERT_EQ(boot.type, FatType::Fat32);
    const uint64_t data = boot.firstDataSector();
    const uint32_t limit = boot.clusterLimit();
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

// The deep scan end to end: the folder's first cluster is reached from the
// tree, its other two only by the pass; each file listed once, fls's
// count, and saved byte for byte.
void expectTheDeepScanListsEachOrphanOnceAndSavesIt(const harness::FixtureImage& built) {
    const auto listing = [&](const std::string& options) {
        const auto result = harness::undelete("--scan 0 " + options + " " +
                                              harness::quote(built.image()));
        EXPECT_EQ(result.status, 0) << options;
        std::map<std::string, std::string> rows;  // name → path
        const auto table = harness::table(result.out);
        for (size_t i = 1; i < table.size(); ++i) {
            if (table[i].size() < 8) continue;
            EXPECT_TRUE(rows.emplace(table[i][2], table[i][7]).second) << table[i][2] << " twice";
        }
        return rows;
    };
    EXPECT_EQ(listing("").size(), 4u);
    const auto deep = listing("--deep");
    ASSERT_EQ(deep.size(), built.manifest.size());
    if (harness::haveTool("fls")) {
        const auto fls = harness::run("fls -rd -o " + std::to_string(kStart) + " " +
                                      harness::quote(built.image()) + " | grep -c '^r/r\\|^-/r'");
        EXPECT_EQ(std::stoul(fls.out), built.manifest.size());
    }
    harness::TempDir out;
    ASSERT_EQ(harness::undelete("--scan 0 --deep --save-all --output " + harness::quote(out.path()) +
                                " " + harness::quote(built.image()) + " 2>/dev/null")
                  .status,
              0);
    for (const auto& f : built.manifest) {  // name, size, first, holder, slot, where, original
        // The later clusters follow no folder's first: each is a folder of
        // its own whose name is lost.
        const std::string folder = f[5] == "first" ? "/Album/" : "/$Orphan/$Folder" + f[3] + "/";
        auto row = deep.find(f[0]);
        if (f[4] == "0") {  // its long name lay in the cluster before: its 8.3 name (one such)
            row = std::find_if(deep.begin(), deep.end(),
                               [](const auto& r) { return r.first.rfind("#OLID", 0) == 0; });
        }
        ASSERT_NE(row, deep.end()) << f[0];
        EXPECT_EQ(row->second, folder) << f[0];
        EXPECT_TRUE(harness::readFile(out.path() + folder + row->first) ==
                    harness::readFile(built.dir->file(f[6])))
            << f[0];
    }
}

TEST_F(FatOrphanImage, TheDeepScanListsEachOrphanOnceAndSavesIt) {
    expectTheDeepScanListsEachOrphanOnceAndSavesIt(built);
}

TEST_F(Fat16OrphanImage, TheDeepScanListsEachOrphanOnceAndSavesIt) {
    expectTheDeepScanListsEachOrphanOnceAndSavesIt(built);
}

}  // namespace
