#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/Text.h"
#include "ntfs/NtfsScanner.h"
#include "scan/RowTexts.h"
#include "NtfsTestRecords.h"
#include "support/WholeContent.h"

using namespace undelete;
using undelete::test::fixedMftLength;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;
using undelete::test::RecordBuilder;
using undelete::test::TestVolume;

namespace {

constexpr uint64_t kCluster = TestVolume::kCluster;

// A partition of 2 MiB whose table (records 0 to 19) lies in clusters 4 to
// 8; every other cluster holds a pattern of its own number.
class NtfsContent : public ::testing::Test {
protected:
    NtfsContent()
        : disk_(2 << 20),
          volume_(disk_),
          scanner_(test::scanContext(disk_, messages_,
                                     fixedMftLength(TestVolume::kSerial, 20 * 1024))) {
        initProcessLocale();
        for (uint64_t c = 9; c < 400; ++c) {
            for (uint64_t i = 0; i < kCluster; ++i)
                *disk_.at(volume_.clusterOffset(c) + i) = pattern(c, i);
        }
        volume_.putTable(5);
    }

    static uint8_t pattern(uint64_t cluster, uint64_t i) {
        return static_cast<uint8_t>(cluster * 37 + i / 7 + 1);
    }

    std::vector<uint8_t> clusterBytes(uint64_t cluster) {
        const uint8_t* p = disk_.at(volume_.clusterOffset(cluster));
        return std::vector<uint8_t>(p, p + kCluster);
    }

    void open() { ASSERT_TRUE(scanner_.open(&volume_.partition)); }

    // Describes item `index` and formats its row, 8 hours east of UTC.
    bool describe(uint32_t index) {
        std::memset(&row_, 0, sizeof row_);
        if (!scanner_.describe(index, file_)) return false;
        formatResultRow(file_, LocalZone::fixed(8 * 3600), row_);
        return true;
    }
    bool read(uint32_t index) { return readWholeContent(scanner_, index, data_); }

    MemoryDisk disk_;
    TestVolume volume_;
    MessageCapture messages_;
    NtfsScanner scanner_;
    DeletedFile file_;
    ResultRow row_{};
    std::vector<uint8_t> data_;
};

TEST_F(NtfsContent, ResidentFileIsListedAndRecovered) {
    std::vector<uint8_t> content(100);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(200 - i);
    volume_.putTableRecord(5, RecordBuilder()
                                  .fileName(u"HUNDRE~1.TXT", 2)
                                  .fileName(u"hundred bytes.txt", 1, test::kMarch7th2012)
                                  .data(content)
                                  .build());
    open();
    ASSERT_TRUE(describe(5));
    EXPECT_STREQ(row_.nameText, "hundred bytes.txt");
    EXPECT_STREQ(row_.timeText, "2012/3/7 09:05:03");
    EXPECT_STREQ(row_.sizeText, "100 B");
    ASSERT_TRUE(read(5));
    EXPECT_EQ(data_, content);
}

TEST_F(NtfsContent, OnlyDeletedFilesWithAUsableNameAreListed) {
    volume_.putTableRecord(6, RecordBuilder(1).fileName(u"in use", 1).build());
    volume_.putTableRecord(7, RecordBuilder(2).fileName(u"deleted dir", 1).build());
    volume_.putTableRecord(8, RecordBuilder(0).fileName(u"DOSONLY.TXT", 2).build());
    volume_.putTableRecord(9, RecordBuilder(0).fileName(u"no data", 0).build());
    open();
    for (uint32_t index : {0u, 6u, 7u, 8u}) {
        EXPECT_FALSE(describe(index)) << index;
        EXPECT_EQ(row_.nameText[0], 0) << index;
    }
    EXPECT_FALSE(describe(20));  // past the table
    ASSERT_TRUE(describe(9));
    EXPECT_STREQ(row_.sizeText, "0 B");
    EXPECT_STREQ(row_.timeText, "1601/1/1 08:00:00");
    ASSERT_TRUE(read(9));
    EXPECT_TRUE(data_.empty());
    // A record back in use since the scan is read all the same.
    EXPECT_TRUE(read(6));
    EXPECT_FALSE(read(20));
}

TEST_F(NtfsContent, MapEntryZeroGivesFalseWithoutARead) {
    // Records 4 to 7 fall in a sparse run of the table: they have no place.
    volume_.putRecord(
        volume_.clusterOffset(4),
        RecordBuilder(1)
            .data({0x11, 0x01, 0x04, 0x01, 0x01, 0x11, 0x03, 0x01}, 5 * kCluster, 5 * kCluster)
            .build());
    open();
    const int reads = disk_.image().reads.load();
    EXPECT_FALSE(describe(5));
    EXPECT_FALSE(read(5));
    EXPECT_EQ(disk_.image().reads.load(), reads);
}

TEST_F(NtfsContent, SmallFileFillsItsClusterAndLengthIsTheDataSize) {
    volume_.putTableRecord(
        10, RecordBuilder().fileName(u"small", 1).data({0x11, 0x01, 100}, kCluster, 1000).build());
    open();
    ASSERT_TRUE(describe(10));
    EXPECT_STREQ(row_.sizeText, "1000 B");
    ASSERT_TRUE(read(10));
    const auto cluster = clusterBytes(100);
    EXPECT_EQ(data_, std::vector<uint8_t>(cluster.begin(), cluster.begin() + 1000));
}

TEST_F(NtfsContent, RunsAreReadInListOrderForwardsAndBackwards) {
    // 16 clusters at +256, then 8 at −256: clusters 256–271, then 0–7.
    volume_.putTableRecord(11, RecordBuilder()
                                   .fileName(u"two runs", 1)
                                   .data({0x21, 0x10, 0x00, 0x01, 0x21, 0x08, 0x00, 0xFF},
                                         24 * kCluster, 24 * kCluster - 10)
                                   .build());
    open();
    ASSERT_TRUE(read(11));
    ASSERT_EQ(data_.size(), 24 * kCluster - 10);
    std::vector<uint8_t> expected;
    for (uint64_t c = 256; c < 272; ++c) {
        const auto bytes = clusterBytes(c);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    for (uint64_t c = 0; c < 8; ++c) {
        const auto bytes = clusterBytes(c);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    expected.resize(expected.size() - 10);
    EXPECT_TRUE(data_ == expected);
}

TEST_F(NtfsContent, SparseRunsAreZerosAndKeepTheClusterPosition) {
    // Cluster 100, two sparse clusters, then the cluster 5 past 100.
    volume_.putTableRecord(
        12, RecordBuilder()
                .fileName(u"sparse", 1)
                .data({0x11, 0x01, 100, 0x01, 0x02, 0x11, 0x01, 0x05}, 4 * kCluster, 4 * kCluster)
                .build());
    open();
    ASSERT_TRUE(read(12));
    ASSERT_EQ(data_.size(), 4 * kCluster);
    EXPECT_TRUE(std::equal(data_.begin(), data_.begin() + kCluster, clusterBytes(100).begin()));
    EXPECT_TRUE(std::all_of(data_.begin() + kCluster, data_.begin() + 3 * kCluster,
                            [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(data_.begin() + 3 * kCluster, data_.end(), clusterBytes(105).begin()));
}

TEST_F(NtfsContent, ContradictorySizesNeverReachPastTheBuffer) {
    // Data size beyond the allocation: only the allocation is the file.
    volume_.putTableRecord(
        14, RecordBuilder().fileName(u"long", 1).data({0x11, 0x01, 100}, kCluster, 10000).build());
    // Runs of three clusters for an allocation of one.
    volume_.putTableRecord(
        15, RecordBuilder().fileName(u"wide", 1).data({0x11, 0x03, 100}, kCluster, 100).build());
    // An allocation of more than 4 GiB that neither the volume nor the
    // runs can account for is refused, not cut to 32 bits.
    volume_.putTableRecord(16,
                           RecordBuilder()
                               .fileName(u"huge", 1)
                               .data({0x11, 0x01, 100}, (1ULL << 32) + kCluster, (1ULL << 32) + 5)
                               .build());
    open();
    ASSERT_TRUE(read(14));
    EXPECT_EQ(data_, clusterBytes(100));
    ASSERT_TRUE(read(15));
    const auto cluster = clusterBytes(100);
    EXPECT_EQ(data_, std::vector<uint8_t>(cluster.begin(), cluster.begin() + 100));
    ASSERT_TRUE(describe(16));
    EXPECT_STREQ(row_.sizeText, "4.0 GB");
    EXPECT_FALSE(read(16));
    EXPECT_TRUE(data_.empty());
}

TEST_F(NtfsContent, LongNamesAreCutAtACharacterBoundary) {
    volume_.putTableRecord(17, RecordBuilder().fileName(std::u16string(100, u'汉'), 1).build());
    open();
    ASSERT_TRUE(describe(17));
    std::string expected;
    for (int i = 0; i < 86; ++i) expected += "汉";  // 258 bytes: a 259th would split one
    EXPECT_EQ(std::string(row_.nameText), expected);
}

// Random run lists and sizes: whatever they say, the content is exactly
// the smaller of data size and allocation (the sanitizer build checks that
// nothing is read or written outside a buffer).
TEST_F(NtfsContent, RandomRunListsAndSizesStayInsideTheBuffer) {
    std::mt19937_64 random(2024);
    open();
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> runs(1 + random() % 24);
        for (uint8_t& b : runs) b = static_cast<uint8_t>(random());
        runs[0] = static_cast<uint8_t>(0x11 + (random() % 3) * 0x10);  // a plausible first header
        // Huge allocations the runs cannot account for are refused; the
        // test's buffer refuses to hold more than a gibibyte.
        const uint64_t allocated =
            random() % 4 == 0 ? (1ULL << 63) | random() : random() % (3 << 20);
        const uint64_t dataSize = random() % 2 == 0 ? random() : random() % (3 << 20);
        volume_.putTableRecord(
            18, RecordBuilder().fileName(u"r", 1).data(runs, allocated, dataSize).build());
        if (!read(18)) {
            EXPECT_TRUE(data_.empty());
            continue;
        }
        ++accepted;
        EXPECT_EQ(data_.size(), std::min<uint64_t>(dataSize, allocated));
    }
    // Most random runs reach past the 2 MiB disk and are refused.
    EXPECT_GT(accepted, 20);
}

// A sink that keeps only what it needs to check a vast stream.
class CountingSink : public ContentSink {
public:
    bool begin(uint64_t length) override {
        announced = length;
        return true;
    }
    bool write(const uint8_t* bytes, size_t count) override {
        if (total == 0) first.assign(bytes, bytes + count);
        total += count;
        written += count;
        return true;
    }
    bool skip(uint64_t count) override {
        total += count;
        return true;
    }
    uint64_t announced = 0, total = 0, written = 0;
    std::vector<uint8_t> first;
};

// A sparse file far larger than memory streams as one cluster of data and
// holes: nothing of its size is ever held or written.
TEST_F(NtfsContent, AVastSparseFileStreamsAsHolesInBoundedPieces) {
    volume_.putTableRecord(
        19, RecordBuilder()
                .fileName(u"vast", 1)
                .data({0x11, 0x01, 100, 0x08, 0, 0, 0, 0, 0, 0, 0, 0x10}, 1ULL << 62, 1ULL << 62)
                .build());
    open();
    CountingSink vast;
    ASSERT_TRUE(scanner_.readContent(19, vast));
    EXPECT_EQ(vast.announced, 1ULL << 62);
    EXPECT_EQ(vast.total, 1ULL << 62);
    EXPECT_EQ(vast.written, kCluster);
    EXPECT_EQ(vast.first, clusterBytes(100));
}

}  // namespace
