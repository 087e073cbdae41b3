#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "disk/MemoryDrive.h"
#include "fat/FatScanner.h"
#include "unit/Fat32TestImage.h"
#include "support/WholeContent.h"

using namespace undelete;
using namespace undelete::test;

namespace {

// A drive whose reads fail wherever they touch one of the bad byte ranges,
// as a disk with bad sectors does.
class FlakyDrive : public DriveDevice {
public:
    FlakyDrive(std::shared_ptr<MemoryImage> image, std::vector<std::pair<uint64_t, uint64_t>> bad,
               int* reads)
        : inner_(std::move(image)), bad_(std::move(bad)), reads_(reads) {}
    bool queryGeometry(DriveGeometry& g) override { return inner_.queryGeometry(g); }
    void lockVolume() override {}
    void unlockVolume() override {}
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override {
        ++*reads_;
        for (const auto& range : bad_) {
            if (offset < range.second && range.first < offset + length) return 0;
        }
        return inner_.readAt(offset, buffer, length);
    }
    uint64_t sizeInBytes() override { return inner_.sizeInBytes(); }

private:
    MemoryDrive inner_;
    std::vector<std::pair<uint64_t, uint64_t>> bad_;
    int* reads_;
};

// Keeps what reaches it, and how much was given as lost.
class RecordingSink : public ContentSink {
public:
    bool begin(uint64_t n) override {
        length = n;
        return true;
    }
    bool write(const uint8_t* b, size_t n) override {
        EXPECT_LE(n, kContentPieceBytes);
        bytes.insert(bytes.end(), b, b + n);
        return true;
    }
    bool skip(uint64_t n) override {
        bytes.resize(bytes.size() + n, 0);
        return true;
    }
    bool lost(uint64_t n) override {
        lostBytes += n;
        return skip(n);
    }
    uint64_t length = 0, lostBytes = 0;
    std::vector<uint8_t> bytes;
};

struct Listed {
    std::string path, name;
    FileState state;
    bool operator==(const Listed& o) const {
        return path == o.path && name == o.name && state == o.state;
    }
};

std::ostream& operator<<(std::ostream& out, const Listed& l) {
    return out << l.path << l.name << " (" << static_cast<int>(l.state) << ")";
}

class FatWalk : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }

    std::vector<Listed> list(FatScanner& scanner) {
        std::vector<Listed> all;
        DeletedFile file;
        for (uint32_t i = 0; scanner.hasItem(i); ++i) {
            EXPECT_TRUE(scanner.describe(i, file));
            all.push_back({file.path, file.name, file.state});
        }
        return all;
    }
    // Fills cluster k with the byte k, so that content shows where it came from.
    static void mark(Fat32Volume& volume, uint32_t k) {
        std::memset(volume.cluster(k), static_cast<int>(k), volume.clusterBytes());
    }

    MessageCapture messages;
};

constexpr FileState kIntact = FileState::Intact;

TEST_F(FatWalk, DirectoriesFollowTheirChainAndEveryFileCarriesItsFolder) {
    Fat32Volume volume;  // 512-byte clusters: 16 entries each
    Directory root;
    for (int i = 0; i < 14; ++i) root.add(shortEntry("LIVE    TXT", 0x20));
    // A long name whose pieces lie in the first cluster, its short entry in
    // the next one of the chain.
    root.add(deletedNamedFile(u"Crossing name.txt", "CROSSI~1TXT", 40, 1));
    root.add(liveNamedEntry(u"照片", "_D5D5~1    ", 0x10, 5));
    root.add(deletedFile("XAST    IN ", 41, 2));
    // Root: 2 → 7 → 3; the 48 bytes are put into those clusters in turn.
    size_t from = 0;
    for (uint32_t k : {2u, 7u, 3u}) {
        if (from < root.bytes.size()) {
            std::memcpy(volume.cluster(k), root.bytes.data() + from,
                        std::min<size_t>(512, root.bytes.size() - from));
        }
        from += 512;
    }
    volume.chain({2, 7, 3});
    Directory sub;
    sub.add(dotEntries(5, 0));
    for (int i = 0; i < 13; ++i) sub.add(shortEntry("LIVE    TXT", 0x20));
    sub.add(deletedFile("XN_FIRST   ", 42, 3));
    sub.add(deletedFile("XN_NEXT    ", 43, 4));  // the chain's second cluster, 6
    std::memcpy(volume.cluster(5), sub.bytes.data(), 512);
    std::memcpy(volume.cluster(6), sub.bytes.data() + 512, 32);
    volume.setFat(5, 6);
    volume.setFat(6, 5);  // a loop back ends the chain
    FatScanner scanner(scanContext(volume.disk(), messages));
    ASSERT_TRUE(scanner.open(&volume.record));
    EXPECT_EQ(list(scanner), (std::vector<Listed>{{"/", "Crossing name.txt", kIntact},
                                                  {"/照片/", "#N_FIRST", kIntact},
                                                  {"/照片/", "#N_NEXT", kIntact},
                                                  {"/", "#AST.IN", kIntact}}));
}

TEST_F(FatWalk, DeletedFoldersAreWalkedWhileTheirClustersReadAsTheirEntries) {
    Fat32Volume volume;
    volume.put(2, Directory()
                      .add(deletedNamedFile(u"Old photos", "OLDPHO~1   ", 8, 0, 0x10))
                      .add([] { Entry e = shortEntry("XEXT       ", 0x10, 12); e[0] = 0xE5; return e; }())
                      .add([] { Entry e = shortEntry("XSED       ", 0x10, 15); e[0] = 0xE5; return e; }())
                      .add([] { Entry e = shortEntry("XOTMINE    ", 0x10, 17); e[0] = 0xE5; return e; }()));
    // Old photos: a full first cluster, then one more ending with an end
    // mark, holding a deleted subfolder of its own.
    Directory a;
    a.add(dotEntries(8, 0));
    for (int i = 0; i < 14; ++i) a.add(deletedFile("XA      A  ", 0, static_cast<uint32_t>(i)));
    a.add(deletedFile("XB      B  ")).add([] { Entry e = shortEntry("XUB        ", 0x10, 20); e[0] = 0xE5; return e; }());
    std::memcpy(volume.cluster(8), a.bytes.data(), a.bytes.size());
    volume.put(20, Directory().add(dotEntries(20, 8)).add(deletedFile("XEEP       ")));
    // Next: a full cluster followed by file data, which ends the folder.
    Directory b;
    b.add(dotEntries(12, 0));
    for (int i = 0; i < 14; ++i) b.add(deletedFile("XC      C  "));
    volume.put(12, b);
    std::memset(volume.cluster(13), 'q', 512);
    volume.put(14, Directory().add(deletedFile("XOT_MINE   ")));
    // Used: its cluster is a live file's now. Notmine: "." names another cluster.
    volume.put(15, Directory().add(dotEntries(15, 0)).add(deletedFile("XSED_FILE  ")));
    volume.setFat(15, 0x0FFFFFFF);
    volume.put(17, Directory().add(dotEntries(99, 0)).add(deletedFile("XOT_HERE   ")));
    FatScanner scanner(scanContext(volume.disk(), messages));
    ASSERT_TRUE(scanner.open(&volume.record));
    const auto all = list(scanner);
    ASSERT_EQ(all.size(), 14u + 1 + 1 + 14);
    EXPECT_EQ(all[0].path, "/Old photos/");
    EXPECT_EQ(all[14], (Listed{"/Old photos/", "#B.B", kIntact}));
    EXPECT_EQ(all[15], (Listed{"/Old photos/#UB/", "#EEP", kIntact}));
    EXPECT_EQ(all[16].path, "/#EXT/");
    EXPECT_EQ(all.back().name, "#C.C");
}

TEST_F(FatWalk, StateAndContentComeFromTheFat) {
    Fat32Volume volume;
    for (uint32_t k = 20; k < 102; ++k) mark(volume, k);
    volume.put(2, Directory()
                      .add(deletedFile("XNTACT     ", 20, 3 * 512))
                      .add(deletedFile("XARTIAL    ", 30, 3 * 512 - 1))
                      .add(deletedFile("XVERWRIT   ", 40, 2 * 512))
                      .add(deletedFile("XOO_LONG   ", 95, 10 * 512))
                      .add(deletedFile("XMPTY      ", 0, 0)));
    volume.setFat(31, 0x0FFFFFFF);  // a live file took the middle cluster
    volume.setFat(40, 0x0FFFFFFF);  // and another the first
    FatScanner scanner(scanContext(volume.disk(), messages));
    ASSERT_TRUE(scanner.open(&volume.record));
    const auto all = list(scanner);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].state, FileState::Intact);
    EXPECT_EQ(all[1].state, FileState::Partial);
    EXPECT_EQ(all[2].state, FileState::Overwritten);
    EXPECT_EQ(all[3].state, FileState::Partial);  // the volume ends first
    EXPECT_EQ(all[4].state, FileState::Intact);

    auto content = [&](uint32_t index) {
        std::vector<uint8_t> data;
        EXPECT_TRUE(readWholeContent(scanner, index, data)) << index;
        std::string clusters;
        for (size_t at = 0; at < data.size(); at += 512) clusters += std::to_string(data[at]) + " ";
        return clusters + std::to_string(data.size());
    };
    const int before = volume.disk().image().reads.load();
    EXPECT_EQ(content(0), "20 21 22 1536");
    EXPECT_EQ(volume.disk().image().reads.load() - before, 1);  // one read for the run
    EXPECT_EQ(content(1), "30 32 33 1535");  // the live file's cluster stepped over
    EXPECT_EQ(content(2), "40 41 1024");     // the first cluster whatever the FAT says
    std::vector<uint8_t> data;
    EXPECT_FALSE(readWholeContent(scanner, 3, data));
}

TEST_F(FatWalk, BadSectorsAreLostAndAFloodOfThemStopsTheReading) {
    Fat32Volume volume;
    for (uint32_t k = 20; k < 60; ++k) mark(volume, k);
    volume.put(2, Directory()
                      .add(deletedFile("XNE_BAD    ", 20, 4 * 512))
                      .add(deletedFile("XLL_BAD    ", 30, 30 * 512)));
    const uint64_t c21 = volume.cluster(21) - volume.disk().at(0);
    const uint64_t c30 = volume.cluster(30) - volume.disk().at(0);
    int reads = 0;
    auto image = std::shared_ptr<MemoryImage>(&volume.disk().image(), [](MemoryImage*) {});
    ScanContext context{[&]() -> std::unique_ptr<DriveDevice> {
                            return std::make_unique<FlakyDrive>(
                                image, std::vector<std::pair<uint64_t, uint64_t>>{
                                           {c21, c21 + 512}, {c30, c30 + 30 * 512}},
                                &reads);
                        },
                        messages.sink(), {}, {}, {}};
    FatScanner scanner(context);
    ASSERT_TRUE(scanner.open(&volume.record));

    RecordingSink one;
    ASSERT_TRUE(scanner.readContent(0, one));
    EXPECT_EQ(one.lostBytes, 512u);
    ASSERT_EQ(one.bytes.size(), 4u * 512);
    EXPECT_EQ(one.bytes[0], 20);
    EXPECT_EQ(one.bytes[512], 0);  // zeros where the disk gave nothing
    EXPECT_EQ(one.bytes[1024], 22);
    EXPECT_EQ(one.bytes[1536], 23);

    reads = 0;
    RecordingSink all;
    ASSERT_TRUE(scanner.readContent(1, all));
    EXPECT_EQ(all.lostBytes, 30u * 512);
    EXPECT_EQ(all.bytes.size(), 30u * 512);
    // One read of the piece, then one a cluster until the bound.
    EXPECT_EQ(reads, 1 + FatScanner::kMaxConsecutiveReadFailures);
}

TEST_F(FatWalk, AnUnreadableFatLeavesTheStateUnknown) {
    Fat32Volume volume;
    volume.put(2, Directory().add(deletedFile("XILE       ", 20, 100)));
    int reads = 0;
    auto image = std::shared_ptr<MemoryImage>(&volume.disk().image(), [](MemoryImage*) {});
    const uint64_t fats = (64 + 32) * 512;  // both copies: sectors 96 to 103
    FatScanner scanner(ScanContext{[&]() -> std::unique_ptr<DriveDevice> {
                                         return std::make_unique<FlakyDrive>(
                                             image, std::vector<std::pair<uint64_t, uint64_t>>{
                                                        {fats, fats + 8 * 512}},
                                             &reads);
                                     },
                                     messages.sink(), {}, {}, {}});
    ASSERT_TRUE(scanner.open(&volume.record));
    EXPECT_EQ(list(scanner), (std::vector<Listed>{{"/", "#ILE", FileState::Unknown}}));
    std::vector<uint8_t> data;
    EXPECT_TRUE(readWholeContent(scanner, 0, data));  // taken as free: the old contiguous run
}

TEST_F(FatWalk, ClusterNumbersAreBoundByWhatTheVolumeHas) {
    // 128 sectors a cluster: cluster 2 + 2^25 once wrapped to cluster 2.
    VolumeLayout layout;
    layout.sectorsPerCluster = 128;
    layout.clusters = 4;
    Fat32Volume volume(layout);
    volume.record.totalSectors = 32 + 8 + 3 * 128;  // the partition holds one cluster fewer
    volume.put(2, Directory()
                      .add(deletedFile("XOOT       "))
                      .add(shortEntry("WRAP       ", 0x10, 2u + (1u << 25)))
                      .add(shortEntry("TOP        ", 0x10, 0xF0000003u))  // reserved bits
                      .add(shortEntry("LAST       ", 0x10, 5))           // past the partition
                      .add(shortEntry("SUB        ", 0x10, 4))
                      .add(deletedFile("XIG        ", 3, 3 * 128 * 512))
                      .add(deletedFile("XRAP       ", 2u + (1u << 25), 5)));
    Directory rest;  // the root's first cluster full: no end mark before cluster 3
    for (int i = 7; i < 2048; ++i) rest.add(shortEntry("LIVE    TXT", 0x20));
    std::memcpy(volume.cluster(2) + 7 * 32, rest.bytes.data(), rest.bytes.size());
    volume.put(4, Directory().add(deletedFile("XN_SUB     ")));
    volume.put(5, Directory().add(deletedFile("XEYOND     ")));
    volume.setFat(2, 0x00000003);  // chain into cluster 3 ...
    volume.setFat(3, 0x0FFFFFF0);  // ... whose entry points past the FAT's clusters
    std::memcpy(volume.cluster(3), deletedFile("XN_CHAIN   ").data(), 32);
    FatScanner scanner(scanContext(volume.disk(), messages));
    ASSERT_TRUE(scanner.open(&volume.record));
    std::vector<std::string> names;
    for (const Listed& l : list(scanner)) names.push_back(l.path + l.name);
    EXPECT_EQ(names, (std::vector<std::string>{"/#OOT", "/SUB/#N_SUB", "/#IG", "/#RAP",
                                               "/#N_CHAIN"}));
    std::vector<uint8_t> data;
    EXPECT_FALSE(readWholeContent(scanner, 2, data));  // needs clusters 3 to 5: 4 is the last
    EXPECT_FALSE(readWholeContent(scanner, 3, data));  // no wrap to cluster 2
}

}  // namespace
