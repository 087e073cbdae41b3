#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "fat/FatScanner.h"
#include "scan/RowTexts.h"
#include "unit/Fat32TestImage.h"
#include "support/WholeContent.h"

using namespace undelete;
using namespace undelete::test;

namespace {

const std::string kPreparing = "程序正在准备初始化，可能需要很长时间才能响应";
const std::string kReady = "初始化已经成功完成";
const std::string kOutside = kFolderOutsideVolumeMessage;
const std::string kReadError = "ReadFile() Error";

class FatScannerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(initProcessLocale()); }

    ScanContext context(Fat32Volume& volume) { return scanContext(volume.disk(), messages); }

    // Every listed name, in catalogue order.
    static std::vector<std::string> names(FatScanner& scanner) {
        std::vector<std::string> list;
        DeletedFile file;
        for (uint32_t i = 0; scanner.hasItem(i); ++i) {
            EXPECT_TRUE(scanner.describe(i, file));
            list.push_back(file.name);
        }
        return list;
    }

    MessageCapture messages;
};

using Names = std::vector<std::string>;

TEST_F(FatScannerTest, OpenShowsBothMessagesAroundTheWalk) {
    Fat32Volume volume;
    volume.put(2, Directory().add(deletedFile("XNE     TXT", 3, 5)));
    std::memcpy(volume.cluster(3), "third", 5);
    FatScanner scanner(context(volume));
    ASSERT_TRUE(scanner.open(&volume.record));
    EXPECT_EQ(messages.messages(), (Names{kPreparing, kReady}));
    EXPECT_EQ(names(scanner), Names{"#NE.TXT"});
    std::vector<uint8_t> data;
    ASSERT_TRUE(readWholeContent(scanner, 0, data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "third");
    EXPECT_TRUE(scanner.hasItem(0));
    EXPECT_FALSE(scanner.hasItem(1));
    EXPECT_EQ(volume.disk().image().locks.load(), volume.disk().image().unlocks.load());
}

TEST_F(FatScannerTest, LogicalPartitionStartCountsFromItsBase) {
    VolumeLayout layout;
    layout.start = 300;
    Fat32Volume volume(layout);
    volume.put(2, Directory().add(deletedFile("XOGICAL    ")));
    volume.record.baseSector = 100;
    volume.record.relativeSectors = 200;
    FatScanner scanner(context(volume));
    ASSERT_TRUE(scanner.open(&volume.record));
    EXPECT_EQ(names(scanner), Names{"#OGICAL"});
}

TEST_F(FatScannerTest, RefusalsBeforeTheWalkShowNoScannerMessage) {
    // A FAT32 layout with too few clusters for FAT32 is no FAT volume,
    // whatever its label says.
    VolumeLayout few;
    few.totalSectors = 32 + 2 * 4 + 100;
    Fat32Volume other(few);
    FatScanner absent(context(other));
    EXPECT_FALSE(absent.open(nullptr));
    FatScanner refused(context(other));
    EXPECT_FALSE(refused.open(&other.record));
    EXPECT_TRUE(messages.messages().empty());

    // Boot sector beyond the disk: the reader's message only.
    Fat32Volume volume;
    volume.record.relativeSectors = 1u << 20;
    FatScanner unreadable(context(volume));
    EXPECT_FALSE(unreadable.open(&volume.record));
    EXPECT_EQ(messages.messages(), Names{kReadError});
}

TEST_F(FatScannerTest, FailedRootReadEndsOpenAfterTheFirstMessage) {
    VolumeLayout zero;
    zero.sectorsPerCluster = 0;  // no cluster size: refused with its boot sector, silently
    Fat32Volume empty(zero);
    FatScanner scanner(context(empty));
    EXPECT_FALSE(scanner.open(&empty.record));
    EXPECT_TRUE(messages.messages().empty());

    // A root beyond the volume's clusters is not read at all, and told.
    VolumeLayout far;
    far.rootCluster = 1u << 24;
    Fat32Volume volume(far);
    FatScanner other(context(volume));
    const int before = volume.disk().image().reads.load();
    EXPECT_FALSE(other.open(&volume.record));
    EXPECT_EQ(messages.messages(), (Names{kPreparing, kOutside}));
    EXPECT_EQ(volume.disk().image().reads.load() - before, 2);  // boot sector and FAT
}

TEST_F(FatScannerTest, WalkIsDepthFirstPreOrderAndSkipsWhatItMust) {
    Fat32Volume volume;
    volume.put(2, Directory()
                      .add(deletedFile("XOOT1      "))
                      .add(shortEntry("SUB        ", 0x10, 5))
                      .add([] { Entry e = shortEntry("XONE       ", 0x10, 8); e[0] = 0xE5; return e; }())
                      .add(shortEntry("BAD        ", 0x10, 1u << 24))  // beyond the volume
                      .add(deletedFile("XOOT2      ")));
    volume.put(5, Directory()
                      .add(shortEntry(".          ", 0x10, 9))  // must not be walked
                      .add(shortEntry("..         ", 0x10, 0))
                      .add(deletedFile("XUB1       "))
                      .add(shortEntry("DEEPER     ", 0x10, 6))
                      .add(deletedFile("XUB2       ")));
    volume.put(6, Directory().add(deletedFile("XEEP       ")));
    volume.put(8, Directory().add(deletedFile("XN_GONE    ")));   // in a deleted directory
    volume.put(9, Directory().add(deletedFile("XN_DOT     ")));
    FatScanner scanner(context(volume));
    ASSERT_TRUE(scanner.open(&volume.record));
    // The deleted directory's cluster does not start with "." and "..": not
    // walked. The live folder outside the volume is told.
    EXPECT_EQ(names(scanner), (Names{"#OOT1", "#UB1", "#EEP", "#UB2", "#OOT2"}));
    EXPECT_EQ(messages.messages(), (Names{kPreparing, kOutside, kReady}));
}

TEST_F(FatScannerTest, CyclesEndAndEachClusterIsWalkedOnce) {
    Fat32Volume volume;
    volume.put(2, Directory()
                      .add(deletedFile("XOOT       "))
                      .add(shortEntry("LOOP       ", 0x10, 3))
                      .add(shortEntry("TWICE      ", 0x10, 3)));
    volume.put(3, Directory()
                      .add(deletedFile("XN_LOOP    "))
                      .add(shortEntry("BACK       ", 0x10, 2))
                      .add(shortEntry("SELF       ", 0x10, 3)));
    FatScanner scanner(context(volume));
    ASSERT_TRUE(scanner.open(&volume.record));
    EXPECT_EQ(names(scanner), (Names{"#OOT", "#N_LOOP"}));
}

TEST_F(FatScannerTest, DepthIsLimitedTo64Levels) {
    Fat32Volume volume;
    for (uint32_t level = 0; level < 80; ++level) {
        volume.put(2 + level, Directory()
                                  .add(deletedFile("XILE       ", 0, level))
                                  .add(shortEntry("NEXT       ", 0x10, 3 + level)));
    }
    FatScanner scanner(context(volume));
    ASSERT_TRUE(scanner.open(&volume.record));
    ASSERT_TRUE(scanner.hasItem(63));
    EXPECT_FALSE(scanner.hasItem(64));
    DeletedFile last;
    ASSERT_TRUE(scanner.describe(63, last));
    EXPECT_EQ(last.size, 63u);
}

TEST_F(FatScannerTest, OneFatAndARootClusterOtherThanTwo) {
    VolumeLayout layout;
    layout.numberOfFats = 1;
    layout.rootCluster = 7;
    Fat32Volume volume(layout);
    volume.put(2, Directory().add(deletedFile("XOT_ROOT   ")));
    volume.put(7, Directory().add(deletedFile("XEALROOT   ")));
    FatScanner scanner(context(volume));
    ASSERT_TRUE(scanner.open(&volume.record));
    EXPECT_EQ(names(scanner), Names{"#EALROOT"});
}

TEST_F(FatScannerTest, WholeClusterIsWalkedWhateverTheSectorSize) {
    for (auto [sectorBytes, perCluster] : {std::pair<uint32_t, uint8_t>{4096, 1}, {512, 8}}) {
        VolumeLayout layout;
        layout.sectorBytes = sectorBytes;
        layout.sectorsPerCluster = perCluster;
        layout.clusters = 4;
        Fat32Volume volume(layout);
        Directory dir;
        for (int i = 0; i < 127; ++i) dir.add(shortEntry("LIVE       ", 0x20));
        dir.add(deletedFile("XAST       ", 3, 1));  // the cluster's last entry
        dir.add(deletedFile("XEYOND     "));        // first entry of the next cluster
        volume.put(2, dir);
        FatScanner scanner(context(volume));
        ASSERT_TRUE(scanner.open(&volume.record)) << sectorBytes;
        EXPECT_EQ(names(scanner), Names{"#AST"}) << sectorBytes;
        std::vector<uint8_t> data;
        ASSERT_TRUE(readWholeContent(scanner, 0, data));
        EXPECT_EQ(data.size(), 1u);
    }
}

TEST_F(FatScannerTest, DescribeGivesSizeTimeAndName) {
    const std::pair<uint32_t, const char*> sizes[] = {
        {0, "0 B"},           {1024, "1024 B"},           {1025, "1.0 KB"},
        {1048576, "1024.0 KB"}, {1048577, "1.0 MB"},      {1073741824, "1024.0 MB"},
        {4294967295u, "4.0 GB"}};
    Fat32Volume volume;
    Directory dir;
    for (const auto& size : sizes) dir.add(deletedFile("XIZE       ", 0, size.first));
    dir.add(longNameEntries(u"报告.txt", true, checksumOf("__A5B~1 TXT")));
    dir.add([] { Entry e = shortEntry("X_A5B~1 TXT", 0x20, 0, 5, 0x3D21, 0x6B5F); e[0] = 0xE5; return e; }());
    volume.put(2, dir);
    FatScanner scanner(context(volume));
    ASSERT_TRUE(scanner.open(&volume.record));
    ASSERT_TRUE(scanner.hasItem(7));
    ASSERT_FALSE(scanner.hasItem(8));
    DeletedFile file;
    ResultRow row;
    auto describe = [&](uint32_t i) {
        if (!scanner.describe(i, file)) return false;
        formatResultRow(file, LocalZone::fixed(0), row);
        return true;
    };
    for (uint32_t i = 0; i < 7; ++i) {
        ASSERT_TRUE(describe(i));
        EXPECT_EQ(file.size, sizes[i].first);
        EXPECT_STREQ(row.sizeText, sizes[i].second) << sizes[i].first;
        EXPECT_STREQ(row.timeText, "1980/0/0 00:00:00");
        EXPECT_STREQ(row.nameText, "#IZE");
    }
    ASSERT_TRUE(describe(7));
    EXPECT_STREQ(row.timeText, "2010/9/1 13:26:62");
    EXPECT_EQ(file.created.kind, CreationTime::Kind::FatLocal);
    EXPECT_STREQ(row.nameText, "报告.txt");
    EXPECT_FALSE(describe(8));  // past the catalogue: nothing is read
}

class Fat32ContentTest : public FatScannerTest {
protected:
    Fat32ContentTest() : volume(layout()), scanner(scanContext(volume.disk(), messages)) {
        for (uint32_t k = 2; k < 12; ++k) std::memset(volume.cluster(k), static_cast<int>(k), 4096);
        volume.put(2, Directory()
                          .add(deletedFile("XMPTY      ", 0, 0))
                          .add(deletedFile("XNE        ", 4, 1))
                          .add(deletedFile("XWO        ", 4, 8192))
                          .add(deletedFile("XHREE      ", 4, 8193))
                          .add(deletedFile("XAST       ", 11, 8193))   // runs off the disk
                          .add(deletedFile("XERO       ", 0, 5)));     // wraps far beyond it
        EXPECT_TRUE(scanner.open(&volume.record));
        reads = volume.disk().image().reads.load();
    }
    static VolumeLayout layout() {
        VolumeLayout l;
        l.sectorsPerCluster = 8;  // 4096-byte clusters
        l.clusters = 10;
        return l;
    }
    int readsSinceOpen() { return volume.disk().image().reads.load() - reads; }

    Fat32Volume volume;
    FatScanner scanner;
    int reads = 0;
    bool read(uint32_t index) { return readWholeContent(scanner, index, data); }

    std::vector<uint8_t> data;
};

TEST_F(Fat32ContentTest, EmptyFileReadsNothing) {
    data.assign(3, 1);
    ASSERT_TRUE(read(0));
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(readsSinceOpen(), 0);
}

TEST_F(Fat32ContentTest, FreeClustersFromTheFirstOneOnInOneRead) {
    ASSERT_TRUE(read(1));
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0], 4);
    EXPECT_EQ(readsSinceOpen(), 1);

    ASSERT_TRUE(read(2));
    ASSERT_EQ(data.size(), 8192u);
    EXPECT_EQ(data[4095], 4);
    EXPECT_EQ(data[4096], 5);  // free in the FAT: the file's next cluster
    EXPECT_EQ(readsSinceOpen(), 2);

    ASSERT_TRUE(read(3));
    ASSERT_EQ(data.size(), 8193u);
    EXPECT_EQ(data[8192], 6);
    EXPECT_EQ(readsSinceOpen(), 3);
    EXPECT_EQ(messages.messages().size(), 2u);
}

TEST_F(Fat32ContentTest, ContentBeyondTheVolumeIsRefusedBeforeAnyRead) {
    data.assign(3, 1);
    EXPECT_FALSE(read(4));  // three clusters from the last one
    EXPECT_FALSE(read(5));  // cluster 0 never wraps to a position
    EXPECT_FALSE(read(6));  // no such item
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(readsSinceOpen(), 0);
    EXPECT_EQ(messages.messages().size(), 2u);
    DeletedFile file;
    ASSERT_TRUE(scanner.describe(4, file));
    EXPECT_EQ(file.state, FileState::Partial);  // the volume ends before the file
    ASSERT_TRUE(scanner.describe(5, file));
    EXPECT_EQ(file.state, FileState::Unknown);
}

}  // namespace
