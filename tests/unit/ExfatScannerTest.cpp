// The exFAT scanner on hand-built volumes, for what the exfat-fuse driver
// never writes: a deleted file whose FAT chain is still there, one whose
// chain loops, a valid data length short of the length, a set whose
// checksum fails, a root whose chain comes back on itself.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Text.h"
#include "exfat/ExfatScanner.h"
#include "support/BootSectors.h"
#include "support/MemoryDisk.h"
#include "support/WholeContent.h"

using namespace undelete;
using namespace undelete::test;

namespace {

// A 1 MiB volume of 512-byte clusters on a memory disk: the FAT at sector
// 24, cluster 2 (the root) at sector 64, the allocation bitmap in cluster 3.
class ExfatVolume {
public:
    static constexpr uint32_t kHeap = 64;
    static constexpr uint32_t kClusters = 1984;

    ExfatVolume() : disk_(2048 * 512) {
        uint8_t* boot = disk_.at(0);
        writeExfatBoot(boot, 2048);
        put32(boot + 80, 24);          // FatOffset
        put32(boot + 84, 16);          // FatLength
        put32(boot + 88, kHeap);       // ClusterHeapOffset
        put32(boot + 92, kClusters);
        put32(boot + 96, 2);           // the root
        boot[109] = 0;                 // one sector a cluster
        // The root takes clusters 2 and 4: a set may lie across the two.
        setFat(2, 4);
        setFat(4, 0xFFFFFFFF);
        setFat(3, 0xFFFFFFFF);
        use(2);
        use(3);
        use(4);
        uint8_t* bitmapEntry = cluster(2);
        bitmapEntry[0] = 0x81;
        put32(bitmapEntry + 20, 3);
        put64(bitmapEntry + 24, kClusters / 8);
        rootEnd_ = 32;
        record.partitionType = 0x07;
    }

    uint8_t* cluster(uint32_t c) { return disk_.at((kHeap + uint64_t{c} - 2) * 512); }
    void setFat(uint32_t c, uint32_t value) { put32(disk_.at(24 * 512 + uint64_t{c} * 4), value); }
    void use(uint32_t c) { cluster(3)[(c - 2) / 8] |= static_cast<uint8_t>(1u << ((c - 2) % 8)); }
    void fill(uint32_t c, uint8_t byte) { std::memset(cluster(c), byte, 512); }
    // Appends entries to the root.
    void addToRoot(const std::vector<uint8_t>& entries) {
        for (uint8_t byte : entries) {
            *(rootEnd_ < 512 ? cluster(2) + rootEnd_ : cluster(4) + rootEnd_ - 512) = byte;
            ++rootEnd_;
        }
    }
    MemoryDisk& disk() { return disk_; }
    PartitionRecord record;

private:
    MemoryDisk disk_;
    size_t rootEnd_ = 0;
};

// A set named `name` (ASCII) as written, then deleted as a driver deletes
// it (every InUse bit cleared); its checksum counts the bits as set.
std::vector<uint8_t> deletedSet(const std::string& name, uint32_t cluster, uint64_t length,
                                uint8_t flags, uint64_t valid, uint16_t attributes = 0x20) {
    const size_t names = (name.size() + 14) / 15;
    std::vector<uint8_t> set((2 + names) * kExfatEntrySize, 0);
    set[0] = kExfatFile;
    set[kFileSecondaryCount] = static_cast<uint8_t>(1 + names);
    put16(set.data() + kFileAttributes, attributes);
    put32(set.data() + kFileCreateTimestamp, 0x5B7C3D21);
    uint8_t* stream = set.data() + kExfatEntrySize;
    stream[0] = kExfatStreamExtension;
    stream[kStreamGeneralSecondaryFlags] = flags;
    stream[kStreamNameLength] = static_cast<uint8_t>(name.size());
    put64(stream + kStreamValidDataLength, valid);
    put32(stream + kStreamFirstCluster, cluster);
    put64(stream + kStreamDataLength, length);
    for (size_t i = 0; i < name.size(); ++i) {
        uint8_t* entry = set.data() + (2 + i / 15) * kExfatEntrySize;
        entry[0] = kExfatFileName;
        put16(entry + kFileNameUnitsAt + (i % 15) * 2, static_cast<uint8_t>(name[i]));
    }
    put16(set.data() + kFileSetChecksum, exfatSetChecksum(set.data(), 2 + names));
    for (size_t i = 0; i < set.size(); i += kExfatEntrySize) set[i] &= 0x7F;
    return set;
}

constexpr uint8_t kChain = kExfatAllocationPossible;
constexpr uint8_t kOneRun = kExfatAllocationPossible | kExfatNoFatChain;

struct Found {
    std::string path;
    FileState state;
    std::vector<uint8_t> content;
    bool read;
};

std::map<std::string, Found> scan(ExfatVolume& volume, MessageCapture& messages) {
    ExfatScanner scanner(scanContext(volume.disk(), messages));
    std::map<std::string, Found> found;
    EXPECT_TRUE(scanner.open(&volume.record));
    DeletedFile file;
    for (uint32_t i = 0; scanner.hasItem(i); ++i) {
        EXPECT_TRUE(scanner.describe(i, file));
        EXPECT_EQ(found.count(file.name), 0u) << file.name << " listed twice";
        Found& f = found[file.name];
        f.path = file.path;
        f.state = file.state;
        f.read = readWholeContent(scanner, i, f.content);
    }
    return found;
}

std::vector<uint8_t> clusters(std::initializer_list<uint8_t> bytes, size_t length) {
    std::vector<uint8_t> content;
    for (uint8_t b : bytes) content.insert(content.end(), 512, b);
    content.resize(length, 0);
    return content;
}

class ExfatScannerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }
    MessageCapture messages;
};

TEST_F(ExfatScannerTest, ContentFollowsTheSetsLayoutAndTheStateTheBitmap) {
    ExfatVolume volume;
    for (uint32_t c = 10; c < 60; ++c) volume.fill(c, static_cast<uint8_t>(c));
    for (uint32_t c = 12; c < 20; ++c) volume.use(c);  // a live file between
    // A chain a driver left in the FAT when it deleted the file: 10, 20, 11.
    volume.setFat(10, 20);
    volume.setFat(20, 11);
    volume.setFat(11, 0xFFFFFFFF);
    volume.addToRoot(deletedSet("chained.bin", 10, 1300, kChain, 1300));
    // A chain that comes back on itself: not the file's; its first cluster
    // and the free ones after it are (30, 31, 32).
    volume.setFat(30, 31);
    volume.setFat(31, 30);
    volume.addToRoot(deletedSet("looped.bin", 30, 1536, kChain, 1536));
    // Valid data in the first 700 bytes; the rest of its 1500 reads as zeros.
    volume.addToRoot(deletedSet("short.bin", 40, 1500, kOneRun, 700));
    // A set changed after its checksum: listed, its state unknown.
    auto broken = deletedSet("broken.bin", 45, 512, kOneRun, 512);
    broken[kExfatEntrySize + kStreamFirstCluster] = 46;
    volume.addToRoot(broken);
    // One run whose second cluster a live file took, and one whose first.
    volume.addToRoot(deletedSet("taken.bin", 50, 1024, kOneRun, 1024));
    volume.use(51);
    volume.addToRoot(deletedSet("gone.bin", 55, 512, kOneRun, 512));
    volume.use(55);
    // Its first cluster free, but two of its three in use: overwritten, as
    // on every file system.
    volume.addToRoot(deletedSet("mostly.bin", 56, 1536, kOneRun, 1536));
    volume.use(57);
    volume.use(58);

    const auto found = scan(volume, messages);
    ASSERT_EQ(found.size(), 7u);
    EXPECT_EQ(found.at("chained.bin").content, clusters({10, 20, 11}, 1300));
    EXPECT_EQ(found.at("chained.bin").state, FileState::Intact);
    EXPECT_EQ(found.at("looped.bin").content, clusters({30, 31, 32}, 1536));
    EXPECT_EQ(found.at("looped.bin").state, FileState::Intact);
    std::vector<uint8_t> shortContent = clusters({40, 41}, 700);
    shortContent.resize(1500, 0);
    EXPECT_EQ(found.at("short.bin").content, shortContent);
    EXPECT_EQ(found.at("short.bin").state, FileState::Intact);
    EXPECT_EQ(found.at("broken.bin").state, FileState::Unknown);
    EXPECT_EQ(found.at("broken.bin").content, clusters({46}, 512));
    EXPECT_EQ(found.at("taken.bin").state, FileState::Partial);
    EXPECT_EQ(found.at("gone.bin").state, FileState::Overwritten);
    EXPECT_EQ(found.at("mostly.bin").state, FileState::Overwritten);
    EXPECT_EQ(found.at("mostly.bin").content, clusters({56, 57, 58}, 1536));
    for (const auto& f : found) {
        EXPECT_TRUE(f.second.read) << f.first;
        EXPECT_EQ(f.second.path, "/") << f.first;
    }
    EXPECT_TRUE(messages.messages().empty());
}

// The main boot region's checksum vouches for it: one damaged since (here
// its cluster heap moved) gives way to the backup region whose checksum
// holds; where neither holds, the main boot sector is taken as it reads.
TEST_F(ExfatScannerTest, ADamagedBootSectorGivesWayToTheBackupRegion) {
    ExfatVolume volume;
    volume.fill(10, 0x5A);
    volume.addToRoot(deletedSet("kept.bin", 10, 512, kOneRun, 512));
    uint8_t* main = volume.disk().at(0);
    uint32_t sum = 0;
    for (size_t i = 0; i < 11 * 512; ++i) {
        if (i != 106 && i != 107 && i != 112) sum = ((sum & 1) != 0 ? 0x80000000u : 0) + (sum >> 1) + main[i];
    }
    for (size_t at = 0; at < 512; at += 4) put32(main + 11 * 512 + at, sum);
    std::memcpy(volume.disk().at(12 * 512), main, 12 * 512);
    put32(main + 88, ExfatVolume::kHeap + 8);  // ClusterHeapOffset, after the checksum
    const auto found = scan(volume, messages);
    ASSERT_EQ(found.count("kept.bin"), 1u);
    EXPECT_EQ(found.at("kept.bin").content, clusters({0x5A}, 512));
    EXPECT_EQ(found.at("kept.bin").state, FileState::Intact);
    EXPECT_TRUE(messages.messages().empty());
    // The backup damaged too: the main boot sector's word, whose heap holds
    // no root.
    put32(volume.disk().at(12 * 512) + 88, ExfatVolume::kHeap + 8);
    ExfatScanner mainOnly(scanContext(volume.disk(), messages));
    EXPECT_FALSE(mainOnly.open(&volume.record));
}

TEST_F(ExfatScannerTest, ALoopingRootEndsAndFoldersOutsideTheVolumeAreTold) {
    ExfatVolume volume;
    // The root's second cluster leads back to its first; neither has an
    // end mark, so the walk would go round and round.
    volume.setFat(4, 2);
    for (size_t at = 0; at < 512; at += 32) {
        if (at > 0) volume.cluster(2)[at] = 0x20;
        volume.cluster(4)[at] = 0x20;
    }
    auto first = deletedSet("first.bin", 0, 0, kChain, 0);
    std::memcpy(volume.cluster(2) + 32, first.data(), first.size());
    auto second = deletedSet("second.bin", 0, 0, kChain, 0);
    std::memcpy(volume.cluster(4), second.data(), second.size());
    // A live folder past the volume's last cluster.
    auto outside = deletedSet("Far", ExfatVolume::kClusters + 10, 512, kOneRun, 512, 0x10);
    for (size_t i = 0; i < outside.size(); i += kExfatEntrySize) outside[i] |= 0x80;
    std::memcpy(volume.cluster(4) + second.size(), outside.data(), outside.size());

    const auto found = scan(volume, messages);
    EXPECT_EQ(found.size(), 2u);
    EXPECT_EQ(found.count("first.bin"), 1u);
    EXPECT_EQ(found.count("second.bin"), 1u);
    EXPECT_EQ(messages.messages(), std::vector<std::string>{kFolderOutsideVolumeMessage});
}

// A root whose chain comes back on itself before its bitmap entry or an
// end mark is read no further than the volume has clusters.
TEST_F(ExfatScannerTest, ALoopingRootWithoutItsBitmapIsReadAtMostOnceOver) {
    ExfatVolume volume;
    volume.setFat(4, 2);
    for (size_t at = 0; at < 512; at += 32) {
        volume.cluster(2)[at] = 0x20;
        volume.cluster(4)[at] = 0x20;
    }
    const int before = volume.disk().image().reads;
    ExfatScanner scanner(scanContext(volume.disk(), messages));
    scanner.open(&volume.record);
    // Two clusters give the walk; the search for the bitmap may go round
    // the volume's 1,984 clusters once, never the 524,288 the largest
    // directory would take.
    EXPECT_LT(volume.disk().image().reads - before, 2 * static_cast<int>(ExfatVolume::kClusters));
}

// A stop ends the walk: what it found by then is kept and told as cut
// short, and the rest of a long root is not read.
TEST_F(ExfatScannerTest, AStopEndsTheWalkKeepingWhatItFound) {
    ExfatVolume volume;
    // The root goes on over clusters 10 to 109, one deleted file in each,
    // with no end mark before the last.
    volume.setFat(4, 10);
    for (size_t at = 32; at < 512; at += 32) volume.cluster(2)[at] = 0x20;
    for (size_t at = 0; at < 512; at += 32) volume.cluster(4)[at] = 0x20;
    for (uint32_t c = 10; c < 110; ++c) {
        volume.setFat(c, c + 1 < 110 ? c + 1 : 0xFFFFFFFF);
        volume.use(c);
        const auto set = deletedSet("f" + std::to_string(c), 0, 0, kChain, 0);
        for (size_t at = set.size(); at < 512; at += 32) volume.cluster(c)[at] = 0x20;
        std::memcpy(volume.cluster(c), set.data(), set.size());
    }
    int asked = 0;
    ScanContext context = scanContext(volume.disk(), messages);
    context.stopRequested = [&asked] { return ++asked > 20; };
    ExfatScanner scanner(context);
    ASSERT_TRUE(scanner.open(&volume.record));
    EXPECT_TRUE(scanner.cutShortByStop());
    EXPECT_GT(scanner.itemCount(), 0u);
    EXPECT_LT(scanner.itemCount(), 50u);
}

// The deep pass over free clusters: a folder nothing links to (its name
// lost with the old root) names a live folder DCIM whose set runs from one
// of its clusters into the next; each found once, in one tree, its content
// whole.
TEST_F(ExfatScannerTest, TheDeepPassRebuildsFoldersNothingLinksTo) {
    ExfatVolume volume;
    const auto live = [](std::vector<uint8_t> set) {
        for (size_t i = 0; i < set.size(); i += kExfatEntrySize) set[i] |= 0x80;
        return set;
    };
    const auto dcim = live(deletedSet("DCIM", 20, 1024, kOneRun, 1024, 0x10));
    const auto gone = deletedSet("gone.txt", 40, 10, kOneRun, 10);
    std::memcpy(volume.cluster(10), dcim.data(), dcim.size());
    std::memcpy(volume.cluster(10) + dcim.size(), gone.data(), gone.size());
    // DCIM: five sets of fillers (15 entries), then the photo's across the
    // end of cluster 20 into 21.
    std::vector<uint8_t> folder;
    for (int n = 0; n < 5; ++n) {
        const auto filler = deletedSet("f" + std::to_string(n), 0, 0, kChain, 0);
        folder.insert(folder.end(), filler.begin(), filler.end());
    }
    const auto photo = live(deletedSet("photo.jpg", 30, 700, kOneRun, 700));
    folder.insert(folder.end(), photo.begin(), photo.end());
    std::memcpy(volume.cluster(20), folder.data(), folder.size());
    volume.fill(30, 0x30);
    volume.fill(31, 0x31);
    volume.fill(32, 'x');  // file data
    ScanContext context = scanContext(volume.disk(), messages);
    context.deepScan = true;
    ExfatScanner scanner(context);
    ASSERT_TRUE(scanner.open(&volume.record));
    std::map<std::string, std::string> paths;
    DeletedFile file;
    for (uint32_t i = 0; scanner.hasItem(i); ++i) {
        ASSERT_TRUE(scanner.describe(i, file));
        EXPECT_EQ(file.origin, FileOrigin::Orphan);
        EXPECT_TRUE(paths.emplace(file.name, file.path).second) << file.name;
        if (file.name != "photo.jpg") continue;
        std::vector<uint8_t> content;
        EXPECT_TRUE(readWholeContent(scanner, i, content));
        EXPECT_EQ(content, clusters({0x30, 0x31}, 700));
    }
    EXPECT_EQ(paths.size(), 7u);  // gone.txt, five fillers, the photo
    EXPECT_EQ(paths["gone.txt"], "/$Orphan/$Folder10/");
    EXPECT_EQ(paths["f0"], "/$Orphan/$Folder10/DCIM/");
    EXPECT_EQ(paths["photo.jpg"], "/$Orphan/$Folder10/DCIM/");
}

}  // namespace
