#include <gtest/gtest.h>

#include <cstring>

#include "ntfs/MftRecordMap.h"
#include "partition/NtfsBootSector.h"
#include "ntfs/NtfsScanner.h"
#include "NtfsTestRecords.h"
#include "support/WholeContent.h"

using namespace undelete;
using undelete::test::fixedMftLength;
using undelete::test::MemoryDisk;
using undelete::test::RecordBuilder;
using undelete::test::TestVolume;

namespace {

RunListNode run(uint64_t clusters, int64_t offset) { return {clusters, offset, false}; }

TEST(MftRecordMap, TwoRunsNumberTheirRecordsInListOrder) {
    // 3 + 2 clusters of 4096 bytes hold 12 + 8 records of 1024.
    const auto map = MftRecordMap::fromRuns({run(3, 100), run(2, 50)}, 1000, 4096, 1024, 20);
    EXPECT_EQ(map.entry(0), 1000u + 100 * 4096);
    EXPECT_EQ(map.entry(11), 1000u + 100 * 4096 + 11 * 1024);
    EXPECT_EQ(map.entry(12), 1000u + 150 * 4096);
    EXPECT_EQ(map.entry(19), 1000u + 150 * 4096 + 7 * 1024);
    EXPECT_EQ(map.entry(20), 0u);

    // A negative distance puts the second run before the first on the disk;
    // its records keep the numbers 12 to 19.
    const auto back = MftRecordMap::fromRuns({run(3, 100), run(2, -60)}, 1000, 4096, 1024, 20);
    EXPECT_EQ(back.entry(12), 1000u + 40 * 4096);
    EXPECT_LT(back.entry(19), back.entry(0));
}

TEST(MftRecordMap, RecordsAreFoundByTheirByteOffsetAcrossRuns) {
    // 1024-byte clusters, 1024-byte records: 3 clusters, 3 records.
    const auto same = MftRecordMap::fromRuns({run(3, 10)}, 0, 1024, 1024, 100);
    EXPECT_NE(same.entry(2), 0u);
    EXPECT_EQ(same.entry(3), 0u);
    // 512-byte clusters, 1024-byte records, runs of an odd length: record 1
    // is the last half of run one's clusters and the first of run two's,
    // and the records after it keep their numbers and places.
    const auto odd =
        MftRecordMap::fromRuns({run(3, 100), run(3, 100), run(2, 100)}, 4096, 512, 1024, 100);
    MftRecordMap::Place place;
    ASSERT_TRUE(odd.locate(1, place));
    ASSERT_EQ(place.count, 2u);
    EXPECT_EQ(place.pieces[0].position, 4096u + 102 * 512);
    EXPECT_EQ(place.pieces[0].length, 512u);
    EXPECT_EQ(place.pieces[1].position, 4096u + 200 * 512);
    EXPECT_EQ(place.pieces[1].length, 512u);
    EXPECT_EQ(odd.entry(2), 4096u + 201 * 512);
    EXPECT_EQ(odd.entry(3), 4096u + 300 * 512);
    EXPECT_EQ(odd.entry(4), 0u);
    EXPECT_EQ(odd.mappedEnd(), 4u);
    // 4096-byte records on 1024-byte clusters, runs of 6 and 4: record 1
    // runs on from the first run into the second; record 2 would reach
    // past the table.
    const auto large = MftRecordMap::fromRuns({run(6, 10), run(4, 20)}, 0, 1024, 4096, 100);
    EXPECT_EQ(large.entry(0), 10u * 1024);
    ASSERT_TRUE(large.locate(1, place));
    EXPECT_EQ(place.count, 2u);
    EXPECT_EQ(place.pieces[1].position, 30u * 1024);
    EXPECT_EQ(place.pieces[1].length, 2048u);
    EXPECT_EQ(large.entry(2), 0u);
    // Half a record before a sparse run has no place: it is no record.
    const auto holed =
        MftRecordMap::fromRuns({run(3, 100), {1, 0, true}, run(2, 100)}, 0, 512, 1024, 100);
    EXPECT_EQ(holed.entry(1), 0u);
    EXPECT_EQ(holed.entry(2), 200u * 512);
}

TEST(MftRecordMap, FillStopsAtTheRecordCountAndSparseRunsHaveNoPositions) {
    const auto capped = MftRecordMap::fromRuns({run(3, 100), run(2, 50)}, 0, 4096, 1024, 13);
    EXPECT_NE(capped.entry(12), 0u);
    EXPECT_EQ(capped.entry(13), 0u);
    ASSERT_EQ(capped.extents().size(), 2u);
    EXPECT_EQ(capped.extents()[1].length, 1024u);

    const auto sparse =
        MftRecordMap::fromRuns({run(1, 100), {1, 0, true}, run(1, 1)}, 0, 4096, 1024, 100);
    EXPECT_EQ(sparse.entry(3), 100u * 4096 + 3 * 1024);
    EXPECT_EQ(sparse.entry(4), 0u);
    EXPECT_EQ(sparse.entry(7), 0u);
    EXPECT_EQ(sparse.entry(8), 101u * 4096);

    // Lengths that overflow the byte count are held to the record count,
    // and the map's size does not grow with them.
    const auto huge =
        MftRecordMap::fromRuns({run(UINT64_MAX, 1), run(UINT64_MAX, 1)}, 0, 4096, 1024, UINT64_MAX);
    EXPECT_EQ(huge.extents().size(), 1u);
    EXPECT_EQ(huge.entry(5), 4096u + 5 * 1024);
    EXPECT_EQ(MftRecordMap::fromRuns({run(3, 1)}, 0, 4096, 1024, 0).entry(0), 0u);
}

TEST(NtfsBootSector, OemIdAndRecordSizeRules) {
    NtfsBootFields f;
    auto boot = test::ntfsBootSector(8, 786432, 0xF6, 0xDEADBEEF);
    ASSERT_TRUE(decodeNtfsBootSector(boot.data(), f));
    EXPECT_EQ(f.bytesPerCluster, 4096u);
    EXPECT_EQ(f.recordSize, 1024u);
    EXPECT_EQ(f.mftCluster, 786432u);
    EXPECT_EQ(f.serial, 0xDEADBEEFu);

    std::memcpy(&boot[7], "XYZW", 4);  // the last four OEM bytes are not looked at
    EXPECT_TRUE(decodeNtfsBootSector(boot.data(), f));
    boot[3] = 'n';  // "nTFS"
    EXPECT_FALSE(decodeNtfsBootSector(boot.data(), f));

    boot = test::ntfsBootSector(8, 4, 0xF4, 1);
    ASSERT_TRUE(decodeNtfsBootSector(boot.data(), f));
    EXPECT_EQ(f.recordSize, 4096u);
    boot = test::ntfsBootSector(2, 4, 0x02, 1);  // positive: clusters per record
    ASSERT_TRUE(decodeNtfsBootSector(boot.data(), f));
    EXPECT_EQ(f.bytesPerCluster, 1024u);
    EXPECT_EQ(f.recordSize, 2048u);
    boot = test::ntfsBootSector(1, 4, 0xF4, 1);  // the volume's own sector size counts
    put16(&boot[11], 4096);
    ASSERT_TRUE(decodeNtfsBootSector(boot.data(), f));
    EXPECT_EQ(f.bytesPerSector, 4096u);
    EXPECT_EQ(f.bytesPerCluster, 4096u);
    EXPECT_EQ(f.recordSize, 4096u);
    put16(&boot[11], 4095);
    EXPECT_FALSE(decodeNtfsBootSector(boot.data(), f));
    boot = test::ntfsBootSector(1, 4, 0xF7, 1);  // 512-byte records: none the parser takes
    EXPECT_FALSE(decodeNtfsBootSector(boot.data(), f));
    boot = test::ntfsBootSector(0xF8, 4, 0xF6, 1);  // 2^8 sectors: clusters above 64 KiB
    ASSERT_TRUE(decodeNtfsBootSector(boot.data(), f));
    EXPECT_EQ(f.bytesPerCluster, 128u * 1024);
    boot = test::ntfsBootSector(0, 4, 0xF6, 1);
    EXPECT_FALSE(decodeNtfsBootSector(boot.data(), f));
}

TEST(NtfsOpen, RecordCountComesFromTheLookupOrElseFromTheTablesOwnRecord) {
    MemoryDisk disk(1 << 20);
    TestVolume volume(disk);
    volume.putTable(5);  // 20 records, all of them initialized
    test::MessageCapture messages;
    auto countOf = [&](MftLengthLookup lookup) -> int64_t {
        NtfsScanner scanner(test::scanContext(disk, messages, std::move(lookup)));
        if (!scanner.open(&volume.partition)) return -1;
        int64_t n = 0;
        while (scanner.hasItem(static_cast<uint32_t>(n))) ++n;
        return n;
    };
    EXPECT_EQ(countOf(fixedMftLength(TestVolume::kSerial, 10 * 1024 + 100)), 10);
    EXPECT_EQ(countOf(fixedMftLength(TestVolume::kSerial, 1000)), 0);
    // No mounted volume answers (no drive letter, a damaged volume): the
    // table's own record tells.
    EXPECT_EQ(countOf(fixedMftLength(TestVolume::kSerial + 1, 10 * 1024)), 20);
    EXPECT_EQ(countOf({}), 20);
    EXPECT_TRUE(messages.messages().empty());
}

TEST(NtfsOpen, ClonedVolumesWithOneSerialEachKeepTheirOwnCount) {
    // Two partitions with the same serial number, tables of 8 and 16 records.
    MemoryDisk disk(4 << 20);
    TestVolume first(disk);
    first.putTable(2);
    PartitionRecord second = first.partition;
    second.relativeSectors = (2 << 20) / 512;
    const auto boot = test::ntfsBootSector(8, TestVolume::kMftCluster, 0xF6, TestVolume::kSerial);
    std::memcpy(disk.at(2 << 20), boot.data(), boot.size());
    first.putRecord((2 << 20) + TestVolume::kMftCluster * TestVolume::kCluster,
                    RecordBuilder(1)
                        .fileName(u"$MFT", 3)
                        .data({0x11, 4, static_cast<uint8_t>(TestVolume::kMftCluster)},
                              4 * TestVolume::kCluster, 4 * TestVolume::kCluster)
                        .build());
    test::MessageCapture messages;
    NtfsScanner a(test::scanContext(disk, messages));
    NtfsScanner b(test::scanContext(disk, messages));
    ASSERT_TRUE(a.open(&first.partition));
    ASSERT_TRUE(b.open(&second));
    EXPECT_TRUE(a.hasItem(7));
    EXPECT_FALSE(a.hasItem(8));
    EXPECT_TRUE(b.hasItem(15));
    EXPECT_FALSE(b.hasItem(16));
}

TEST(NtfsOpen, FailsWithoutATableToFollow) {
    MemoryDisk disk(1 << 20);
    TestVolume volume(disk);
    test::MessageCapture messages;
    const ScanContext context =
        test::scanContext(disk, messages, fixedMftLength(TestVolume::kSerial, 4 * 1024));
    NtfsScanner none(context);
    EXPECT_FALSE(none.open(nullptr));
    // Record 0 unreadable as a record (all zeros), then without a
    // non-resident $DATA.
    NtfsScanner blank(context);
    EXPECT_FALSE(blank.open(&volume.partition));
    volume.putRecord(volume.clusterOffset(4),
                     RecordBuilder(1).data(std::vector<uint8_t>(8, 1)).build());
    NtfsScanner resident(context);
    EXPECT_FALSE(resident.open(&volume.partition));
    EXPECT_TRUE(messages.messages().empty());
    // A table position past the disk: the read fails and says so.
    volume.partition.relativeSectors = (1 << 20) / 512 + 1;
    NtfsScanner outside(context);
    EXPECT_FALSE(outside.open(&volume.partition));
    EXPECT_EQ(messages.messages().size(), 1u);
}

TEST(NtfsOpen, RecordsAcrossRunsOfHalfARecordAreListedAndSaved) {
    // 512-byte clusters; the table in runs of 3, 3 and 2 clusters at 100,
    // 200 and 300: record 1 lies half at cluster 102, half at 200.
    constexpr uint64_t kStart = 8 * 512;
    MemoryDisk disk(1 << 20);
    PartitionRecord partition;
    partition.partitionType = 0x07;
    partition.relativeSectors = kStart / 512;
    partition.totalSectors = disk.bytes().size() / 512 - partition.relativeSectors;
    const auto boot = test::ntfsBootSector(1, 100, 0xF6, TestVolume::kSerial);
    std::memcpy(disk.at(kStart), boot.data(), boot.size());
    const auto put = [&](uint64_t cluster, const uint8_t* bytes, size_t n) {
        std::memcpy(disk.at(kStart + cluster * 512), bytes, n);
    };
    const auto table = RecordBuilder(1)
                           .fileName(u"$MFT", 3)
                           .data({0x11, 3, 100, 0x11, 3, 100, 0x11, 2, 100, 0}, 8 * 512, 8 * 512)
                           .build();
    put(100, table.data(), table.size());
    const auto across =
        RecordBuilder().fileName(u"across.txt", 1).data({'t', 'w', 'o', ' ', 'h', 'a', 'l', 'f'}).build();
    put(102, across.data(), 512);
    put(200, across.data() + 512, 512);
    const auto after = RecordBuilder().fileName(u"after.txt", 1).data({'x'}).build();
    put(300, after.data(), after.size());

    test::MessageCapture messages;
    NtfsScanner scanner(test::scanContext(disk, messages));
    ASSERT_TRUE(scanner.open(&partition));
    EXPECT_TRUE(scanner.hasItem(3));
    EXPECT_FALSE(scanner.hasItem(4));
    DeletedFile file;
    ASSERT_TRUE(scanner.describe(1, file));
    EXPECT_EQ(file.name, "across.txt");
    ASSERT_TRUE(scanner.describe(3, file));
    EXPECT_EQ(file.name, "after.txt");
    std::vector<uint8_t> content;
    ASSERT_TRUE(readWholeContent(scanner, 1, content));
    EXPECT_EQ(std::string(content.begin(), content.end()), "two half");
    EXPECT_TRUE(messages.messages().empty());
}

}  // namespace
