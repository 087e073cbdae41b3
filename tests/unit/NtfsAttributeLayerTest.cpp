// The NTFS scanner's file object on hand-built records: compressed units
// decoded (and a damaged one saved as lost zeros), encrypted files told, and
// extension records joined only while they still belong to their base.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/Text.h"
#include "ntfs/NtfsScanner.h"
#include "scan/ContentReader.h"
#include "NtfsTestRecords.h"
#include "support/WholeContent.h"

using namespace undelete;
using undelete::test::fixedMftLength;
using undelete::test::listEntry;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;
using undelete::test::RecordBuilder;
using undelete::test::reference;
using undelete::test::TestVolume;

namespace {

constexpr uint64_t kCluster = TestVolume::kCluster;

// A compressed LZNT1 chunk: three literals, then one back-reference that
// repeats them up to `total` bytes (at most 4096).
std::vector<uint8_t> repeatingChunk(const char* three, size_t total, size_t distance = 3) {
    // Three bytes decoded: a 4-bit distance, a 12-bit length.
    const auto token = static_cast<uint16_t>(((distance - 1) << 12) | (total - 3 - 3));
    std::vector<uint8_t> chunk = {0, 0, 0x08, static_cast<uint8_t>(three[0]),
                                  static_cast<uint8_t>(three[1]), static_cast<uint8_t>(three[2]),
                                  static_cast<uint8_t>(token), static_cast<uint8_t>(token >> 8)};
    put16(&chunk[0], static_cast<uint16_t>(0xB000 | (chunk.size() - 2 - 1)));
    return chunk;
}

std::string repeated(const char* three, size_t total) {
    std::string text;
    while (text.size() < total) text += three[text.size() % 3];
    return text;
}

// Content as it reaches a save, with the bytes given as lost counted.
struct CountingSink : ContentSink {
    bool begin(uint64_t) override { return true; }
    bool write(const uint8_t* bytes, size_t count) override {
        data.append(reinterpret_cast<const char*>(bytes), count);
        return true;
    }
    bool skip(uint64_t count) override {
        data.append(count, '\0');
        return true;
    }
    bool lost(uint64_t count) override {
        lostBytes += count;
        return skip(count);
    }
    std::string data;
    uint64_t lostBytes = 0;
};

class NtfsAttributeLayer : public ::testing::Test {
protected:
    NtfsAttributeLayer()
        : disk_(2 << 20),
          volume_(disk_),
          scanner_(test::scanContext(disk_, messages_,
                                     fixedMftLength(TestVolume::kSerial, 20 * 1024))) {
        initProcessLocale();
        for (uint64_t c = 9; c < 400; ++c) {
            for (uint64_t i = 0; i < kCluster; ++i) {
                *disk_.at(volume_.clusterOffset(c) + i) = static_cast<uint8_t>(c * 37 + i / 7 + 1);
            }
        }
        volume_.putTable(5);
        // The bitmap: the boot sector and the table in use, the rest free.
        std::vector<uint8_t> bits(512 / 8, 0);
        bits[0] = 0xFF;
        bits[1] = 0x01;
        volume_.putTableRecord(6, RecordBuilder(1).data(bits).build());
    }

    std::vector<uint8_t> clusterBytes(uint64_t cluster) {
        const uint8_t* p = disk_.at(volume_.clusterOffset(cluster));
        return std::vector<uint8_t>(p, p + kCluster);
    }

    void put(uint64_t cluster, const std::vector<uint8_t>& bytes) {
        std::copy(bytes.begin(), bytes.end(), disk_.at(volume_.clusterOffset(cluster)));
    }

    bool contains(const char* message) {
        const auto all = messages_.messages();
        return std::find(all.begin(), all.end(), std::string(message)) != all.end();
    }

    bool read(uint32_t index) { return readWholeContent(scanner_, index, data_); }

    MemoryDisk disk_;
    TestVolume volume_;
    MessageCapture messages_;
    NtfsScanner scanner_;
    DeletedFile file_;
    std::vector<uint8_t> data_;
};

// Units of 16 clusters: one cluster of LZNT1 chunks, 15 sparse.
TEST_F(NtfsAttributeLayer, CompressedUnitsAreDecodedAndADamagedOneIsSavedAsLostZeros) {
    const auto record = [](const char16_t* name, const std::vector<uint8_t>& runs,
                           uint64_t units, uint64_t size) {
        return RecordBuilder()
            .fileName(name, 1)
            .data(runs, units * 16 * kCluster, size)
            .flags(0x0001)
            .compressionUnit(4)
            .build();
    };
    std::vector<uint8_t> chunks;
    for (const auto& [three, total] : {std::pair{"abc", 4096}, {"xyz", 4096}, {"end", 1808}}) {
        const auto chunk = repeatingChunk(three, static_cast<size_t>(total));
        chunks.insert(chunks.end(), chunk.begin(), chunk.end());
    }
    chunks.resize(kCluster, 0);
    put(100, chunks);
    volume_.putTableRecord(10, record(u"packed.txt", {0x11, 0x01, 100, 0x01, 0x0F}, 1, 10000));
    // The same after a unit whose second chunk's back-reference reaches
    // before that chunk.
    std::vector<uint8_t> damaged = chunks;
    const auto bad = repeatingChunk("xyz", 4096, 4);
    std::copy(bad.begin(), bad.end(), damaged.begin() + 8);
    put(101, damaged);
    volume_.putTableRecord(
        11, record(u"damaged.txt", {0x11, 0x01, 101, 0x01, 0x0F, 0x11, 0x01, 0xFF, 0x01, 0x0F}, 2,
                   16 * kCluster + 10000));
    ASSERT_TRUE(scanner_.open(&volume_.partition));

    ASSERT_TRUE(scanner_.describe(10, file_));
    EXPECT_EQ(file_.size, 10000u);
    EXPECT_EQ(file_.state, FileState::Intact);
    ASSERT_TRUE(read(10));
    const std::string expected = repeated("abc", 4096) + repeated("xyz", 4096) + repeated("end", 1808);
    EXPECT_EQ(std::string(data_.begin(), data_.end()), expected);
    EXPECT_TRUE(messages_.messages().empty());

    // The damaged unit is lost whole, the save goes on, and it says so.
    CountingSink sink;
    ASSERT_TRUE(scanner_.readContent(11, sink));
    EXPECT_EQ(sink.lostBytes, 16 * kCluster);
    EXPECT_EQ(sink.data.substr(0, 16 * kCluster), std::string(16 * kCluster, '\0'));
    EXPECT_EQ(sink.data.substr(16 * kCluster), expected);
    EXPECT_EQ(messages_.messages(), std::vector<std::string>{kCompressedUnitsZeroedMessage});
}

TEST_F(NtfsAttributeLayer, AnEncryptedFileIsToldAndSavedAsItLies) {
    volume_.putTableRecord(
        12, RecordBuilder().fileName(u"secret.doc", 1).data({0x11, 0x01, 102}, kCluster, 3000).flags(0x4000).build());
    ASSERT_TRUE(scanner_.open(&volume_.partition));
    ASSERT_TRUE(scanner_.describe(12, file_));
    EXPECT_EQ(file_.state, FileState::Encrypted);
    ASSERT_TRUE(read(12));
    const auto cluster = clusterBytes(102);
    EXPECT_EQ(data_, std::vector<uint8_t>(cluster.begin(), cluster.begin() + 3000));
    EXPECT_TRUE(contains(kEncryptedSavedMessage));
}

// Base record 13 (deleted: sequence 2) lists its name in record 14 and the
// second piece of its data (VCN 2 on) in record 15; both were freed with it.
class NtfsExtensionRecords : public NtfsAttributeLayer {
protected:
    void putFile(uint64_t secondBase, uint16_t nameFlags) {
        std::vector<uint8_t> list;
        for (const auto& entry : {listEntry(0x30, 0, reference(14, 1)),
                                  listEntry(0x80, 0, reference(13, 1)),
                                  listEntry(0x80, 2, reference(15, 1))}) {
            list.insert(list.end(), entry.begin(), entry.end());
        }
        volume_.putTableRecord(13, RecordBuilder()
                                       .sequence(2)
                                       .resident(0x20, list)
                                       .data({0x21, 0x02, 0xC8, 0x00}, 4 * kCluster, 4 * kCluster)
                                       .vcns(0, 1)
                                       .build());
        volume_.putTableRecord(14, RecordBuilder(nameFlags)
                                       .sequence(2)
                                       .base(reference(13, 1))
                                       .fileName(u"film.mkv", 1, 0, reference(5, 5))
                                       .build());
        volume_.putTableRecord(15, RecordBuilder()
                                       .sequence(2)
                                       .base(secondBase)
                                       .data({0x21, 0x02, 0x2C, 0x01}, 0, 0)
                                       .vcns(2, 3)
                                       .build());
        ASSERT_TRUE(scanner_.open(&volume_.partition));
    }

    std::vector<uint8_t> clusters(std::initializer_list<uint64_t> numbers) {
        std::vector<uint8_t> bytes;
        for (uint64_t c : numbers) {
            const auto one = c == 0 ? std::vector<uint8_t>(kCluster, 0) : clusterBytes(c);
            bytes.insert(bytes.end(), one.begin(), one.end());
        }
        return bytes;
    }
};

TEST_F(NtfsExtensionRecords, AreJoinedInVcnOrderAndTheExtensionsAreNotFilesOfTheirOwn) {
    putFile(reference(13, 1), 0);
    ASSERT_TRUE(scanner_.describe(13, file_));
    EXPECT_EQ(file_.name, "film.mkv");
    EXPECT_EQ(file_.path, "/");
    EXPECT_EQ(file_.size, 4 * kCluster);
    EXPECT_EQ(file_.state, FileState::Intact);
    ASSERT_TRUE(read(13));
    EXPECT_TRUE(data_ == clusters({200, 201, 300, 301}));
    EXPECT_FALSE(scanner_.describe(14, file_));
    EXPECT_FALSE(scanner_.describe(15, file_));
}

TEST_F(NtfsExtensionRecords, AReusedOneMakesTheFilePartialAndItsPieceLost) {
    putFile(reference(9, 1), 0);  // record 15 belongs to another file now
    ASSERT_TRUE(scanner_.describe(13, file_));
    EXPECT_EQ(file_.state, FileState::Partial);
    ASSERT_TRUE(read(13));
    EXPECT_TRUE(data_ == clusters({200, 201, 0, 0}));
}

TEST_F(NtfsExtensionRecords, ANameRecordInUseAgainGivesNoName) {
    putFile(reference(13, 1), kRecordInUse);
    EXPECT_FALSE(scanner_.describe(13, file_));
}

}  // namespace
