// Hostile tables and runs: counts and reads bounded by what the disk
// holds, content outside it refused, bad sectors lost but not the file.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "disk/MemoryDrive.h"
#include "ntfs/NtfsScanner.h"
#include "NtfsTestRecords.h"

using namespace undelete;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;
using undelete::test::RecordBuilder;
using undelete::test::TestVolume;

namespace {

constexpr uint64_t kCluster = TestVolume::kCluster;

// A memory drive whose bytes [badStart, badEnd) cannot be read.
class BadSectorDrive : public DriveDevice {
public:
    BadSectorDrive(std::shared_ptr<MemoryImage> image, uint64_t badStart, uint64_t badEnd)
        : inner_(image), image_(std::move(image)), badStart_(badStart), badEnd_(badEnd) {}
    bool queryGeometry(DriveGeometry& g) override { return inner_.queryGeometry(g); }
    void lockVolume() override {}
    void unlockVolume() override {}
    uint32_t readAt(uint64_t offset, void* buffer, uint32_t length) override {
        if (offset < badEnd_ && offset + length > badStart_) {
            ++image_->reads;
            return 0;
        }
        return inner_.readAt(offset, buffer, length);
    }
    uint64_t sizeInBytes() override { return inner_.sizeInBytes(); }

private:
    MemoryDrive inner_;
    std::shared_ptr<MemoryImage> image_;
    uint64_t badStart_, badEnd_;
};

// Counts what a save delivers without keeping it.
struct CountingSink : ContentSink {
    bool begin(uint64_t length) override {
        began = true;
        announced = length;
        return true;
    }
    bool write(const uint8_t* bytes, size_t count) override {
        data.insert(data.end(), bytes, bytes + count);
        return true;
    }
    bool skip(uint64_t count) override {
        data.resize(data.size() + count, 0);
        return true;
    }
    bool lost(uint64_t count) override {
        lostBytes += count;
        return skip(count);
    }
    bool began = false;
    uint64_t announced = 0, lostBytes = 0;
    std::vector<uint8_t> data;
};

class NtfsBounds : public ::testing::Test {
protected:
    NtfsBounds() : disk_(2 << 20), volume_(disk_) {
        for (uint64_t c = 9; c < 500; ++c) {
            for (uint64_t i = 0; i < kCluster; ++i)
                *disk_.at(volume_.clusterOffset(c) + i) = static_cast<uint8_t>(c * 13 + i / 5);
        }
    }

    // A scanner whose drive fails reads of [badStart, badEnd); every
    // failed read it reports is counted.
    std::unique_ptr<NtfsScanner> scanner(uint64_t badStart = 0, uint64_t badEnd = 0) {
        auto image = std::shared_ptr<MemoryImage>(&disk_.image(), [](MemoryImage*) {});
        ScanContext context{[image, badStart, badEnd]() -> std::unique_ptr<DriveDevice> {
                                return std::make_unique<BadSectorDrive>(image, badStart, badEnd);
                            },
                            messages_.sink(), [this](uint64_t, uint32_t) { ++failedReads_; },
                            {}, messages_.sink()};
        auto s = std::make_unique<NtfsScanner>(context);
        EXPECT_TRUE(s->open(&volume_.partition));
        return s;
    }

    std::vector<uint8_t> clusters(uint64_t first, uint64_t count) {
        const uint8_t* p = disk_.at(volume_.clusterOffset(first));
        return std::vector<uint8_t>(p, p + count * kCluster);
    }

    void putFile(uint64_t index, const std::vector<uint8_t>& runs, uint64_t bytes) {
        volume_.putTableRecord(
            index, RecordBuilder().fileName(u"f", 1).data(runs, bytes, bytes).build());
    }

    MemoryDisk disk_;
    TestVolume volume_;
    MessageCapture messages_;
    std::atomic<int> failedReads_{0};
};

TEST_F(NtfsBounds, TheRecordCountIsWhatTheDiskHoldsNotWhatTheTableClaims) {
    // A table claiming 2^50 bytes in one run of 2^38 clusters: only the
    // records between the table's start and the disk's end are offered.
    const uint64_t claim = 1ULL << 50;
    volume_.putRecord(volume_.clusterOffset(4),
                      RecordBuilder(1)
                          .data({0x15, 0, 0, 0, 0, 0x40, 0x04}, claim, claim)
                          .build());
    EXPECT_EQ(scanner()->itemCount(), ((2u << 20) - volume_.clusterOffset(4)) / 1024);
    // The cut is told: the files past it are not listed.
    EXPECT_EQ(messages_.messages(), std::vector<std::string>{kTableBeyondPartitionMessage});

    // A sparse run of 2^38 clusters first: the numbers after it cannot be
    // more than the volume can hold.
    volume_.putRecord(volume_.clusterOffset(4),
                      RecordBuilder(1)
                          .data({0x05, 0, 0, 0, 0, 0x40, 0x11, 0x01, 0x04}, claim, claim)
                          .build());
    auto sparse = scanner();
    EXPECT_LE(sparse->itemCount(), ((2u << 20) - TestVolume::kStart) / 1024);
    DeletedFile file;
    const int reads = disk_.image().reads.load();
    EXPECT_FALSE(sparse->describe(1000, file));
    EXPECT_EQ(disk_.image().reads.load(), reads);
}

TEST_F(NtfsBounds, ContentOutsideThePartitionOrTheDiskFailsTheSave) {
    volume_.putTable(5);
    putFile(5, {0x31, 0x01, 0x00, 0x00, 0x10}, kCluster);              // cluster 2^20
    putFile(6, {0x11, 0x01, 100, 0x11, 0x01, 0x80}, 2 * kCluster);     // 100, then −28
    putFile(7, {0x21, 0x40, 0xE0, 0x01}, 64 * kCluster);               // 480 … 543: ends past
    putFile(8, {0x11, 0x01, 100, 0x31, 0x01, 0x00, 0x00, 0x10}, kCluster);  // past the size
    auto s = scanner();
    for (uint32_t index : {5u, 6u, 7u}) {
        CountingSink sink;
        EXPECT_FALSE(s->readContent(index, sink)) << index;
        EXPECT_FALSE(sink.began) << index;
    }
    // A run beyond the data size is never read: the file is whole.
    CountingSink whole;
    ASSERT_TRUE(s->readContent(8, whole));
    EXPECT_EQ(whole.data, clusters(100, 1));
    EXPECT_EQ(failedReads_.load(), 0);
}

TEST_F(NtfsBounds, ABadSectorIsLostAndTheRestOfTheFileIsRight) {
    volume_.putTable(5);
    putFile(5, {0x11, 0x03, 100}, 3 * kCluster);
    // The runs cover one cluster of a four-cluster file: the rest lies in
    // records not followed, and is lost, not silently zeros.
    volume_.putTableRecord(
        6, RecordBuilder().fileName(u"g", 1).data({0x11, 0x01, 100}, 4 * kCluster, 4 * kCluster)
               .build());
    const uint64_t bad = volume_.clusterOffset(101) + 1024;
    auto s = scanner(bad, bad + 512);
    CountingSink sink;
    ASSERT_TRUE(s->readContent(5, sink));
    EXPECT_EQ(sink.lostBytes, kCluster);
    auto expected = clusters(100, 3);
    std::fill(expected.begin() + kCluster, expected.begin() + 2 * kCluster, 0);
    EXPECT_TRUE(sink.data == expected);
    EXPECT_EQ(messages_.messages(), std::vector<std::string>{"ReadFile() Error"});

    CountingSink part;
    ASSERT_TRUE(s->readContent(6, part));
    EXPECT_EQ(part.data.size(), 4 * kCluster);
    EXPECT_EQ(part.lostBytes, 3 * kCluster);
}

TEST_F(NtfsBounds, FailedTableReadsStopAfterARunAndShortRunsAreReadPast) {
    // A table of 400 records; a deleted file at 300.
    volume_.putTable(100);
    volume_.putTableRecord(300, RecordBuilder().fileName(u"after", 1).build());
    const uint64_t table = volume_.clusterOffset(4);
    {
        // Ten unreadable records: the scan goes on past them.
        auto s = scanner(table + 50 * 1024, table + 60 * 1024);
        DeletedFile file;
        for (uint32_t i = 0; i < 400; ++i) s->describe(i, file);
        EXPECT_EQ(failedReads_.load(), 10);
        EXPECT_TRUE(s->describe(300, file));
    }
    failedReads_ = 0;
    // Everything after record 0 unreadable: a bounded number of failures
    // (the bitmap's record, then a run), not one per record.
    auto s = scanner(table + 1024, table + 400 * 1024);
    DeletedFile file;
    for (uint32_t i = 0; i < 400; ++i) s->describe(i, file);
    EXPECT_EQ(failedReads_.load(), 1 + static_cast<int>(MftTableReader::kMaxFailuresInARow));
}

TEST_F(NtfsBounds, AScanReadsTheTableInLargePieces) {
    MemoryDisk big(8 << 20);
    TestVolume volume(big);
    // 4,096 records in 1,024 clusters: four pieces of a mebibyte.
    volume.putRecord(volume.clusterOffset(4),
                     RecordBuilder(1)
                         .data({0x12, 0x00, 0x04, 0x04}, 1024 * kCluster, 1024 * kCluster)
                         .build());
    for (uint64_t i = 16; i < 4096; i += 7)
        volume.putTableRecord(i, RecordBuilder().fileName(u"x", 1, 0, test::reference(5, 5)).build());
    NtfsScanner s(test::scanContext(big, messages_));
    ASSERT_TRUE(s.open(&volume.partition));
    ASSERT_EQ(s.itemCount(), 4096u);
    const int before = big.image().reads.load();
    int listed = 0;
    DeletedFile file;
    for (uint32_t i = 0; i < 4096; ++i) {
        if (!s.describe(i, file)) continue;
        ++listed;
        EXPECT_EQ(file.path, "/");
    }
    EXPECT_EQ(listed, (4096 - 16 + 6) / 7);
    EXPECT_LE(big.image().reads.load() - before, 4);
}

TEST_F(NtfsBounds, RecordsServedFromAViewEqualThoseRead) {
    MemoryDisk big(8 << 20);
    TestVolume volume(big);
    volume.putRecord(volume.clusterOffset(4),
                     RecordBuilder(1)
                         .data({0x12, 0x00, 0x04, 0x04}, 1024 * kCluster, 1024 * kCluster)
                         .build());
    for (uint64_t i = 16; i < 4096; i += 5) {
        volume.putTableRecord(
            i, RecordBuilder()
                   .fileName(u"f", 1, 0, test::reference(5, 5))
                   .data({0x11, 0x01, 100}, kCluster, i)
                   .build());
    }
    const std::vector<uint8_t> image = big.bytes();
    const auto listing = [&] {
        NtfsScanner s(test::scanContext(big, messages_));
        std::vector<std::string> rows;
        if (!s.open(&volume.partition)) return rows;
        DeletedFile file;
        for (uint32_t i = 0; i < s.itemCount(); ++i) {
            if (s.describe(i, file)) {
                rows.push_back(std::to_string(i) + file.name + file.path +
                               std::to_string(file.size));
            }
        }
        return rows;
    };
    const std::vector<std::string> read = listing();
    EXPECT_EQ(big.image().views.load(), 0);
    big.image().offersViews = true;
    const int readsBefore = big.image().reads.load();
    const std::vector<std::string> viewed = listing();
    EXPECT_EQ(viewed.size(), (4096u - 16 + 4) / 5);
    EXPECT_EQ(viewed, read);
    EXPECT_GE(big.image().views.load(), 4);
    EXPECT_LE(big.image().reads.load() - readsBefore, 4);  // the boot sector, the bitmap
    EXPECT_TRUE(big.bytes() == image);  // fix-ups were applied to copies only
}

}  // namespace
