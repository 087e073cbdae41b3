#include <gtest/gtest.h>

#include <cstring>

#include "ntfs/MftRecordMap.h"
#include "partition/NtfsBootSector.h"
#include "ntfs/NtfsScanner.h"
#include "NtfsTestRecords.h"

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

TEST(MftRecordMap, RecordsLargerThanClustersAndPartialRecords) {
    // 1024-byte clusters, 1024-byte records: 3 clusters, 3 records.
    const auto same = MftRecordMap::fromRuns({run(3, 10)}, 0, 1024, 1024, 100);
    EXPECT_NE(same.entry(2), 0u);
    EXPECT_EQ(same.entry(3), 0u);
    // 4096-byte records on 1024-byte clusters: 6 clusters hold one record;
    // the remaining 2048 bytes are not mapped, and the next run's records
    // follow at the next number without a gap.
    const auto large = MftRecordMap::fromRuns({run(6, 10), run(4, 20)}, 0, 1024, 4096, 100);
    EXPECT_EQ(large.entry(0), 10u * 1024);
    EXPECT_EQ(large.entry(1), 30u * 1024);
    EXPECT_EQ(large.entry(2), 0u);
}

TEST(MftRecordMap, FillStopsAtTheRecordCountAndSparseRunsHaveNoPositions) {
    const auto capped = MftRecordMap::fromRuns({run(3, 100), run(2, 50)}, 0, 4096, 1024, 13);
    EXPECT_NE(capped.entry(12), 0u);
    EXPECT_EQ(capped.entry(13), 0u);
    ASSERT_EQ(capped.extents().size(), 2u);
    EXPECT_EQ(capped.extents()[1].count, 1u);

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

}  // namespace
