// The search for volumes no table names: what a backup boot sector tells,
// and which of overlapping candidates are kept.
#include <gtest/gtest.h>

#include "disk/DriveReader.h"
#include "partition/VolumeSearch.h"
#include "support/BootSectors.h"
#include "support/MemoryDisk.h"

namespace undelete {
namespace {

using test::MemoryDisk;

}  // namespace

void PrintTo(const VolumeCandidate& c, std::ostream* out) {
    *out << "{start " << c.start << ", sectors " << c.sectors << ", kind "
         << static_cast<int>(c.kind) << ", boot at " << c.bootOffset << "}";
}

namespace {

VolumeCandidate candidate(uint64_t start, uint64_t sectors, uint64_t bootOffset = 0,
                          FileSystemKind kind = FileSystemKind::Fat32) {
    VolumeCandidate c;
    c.start = start;
    c.sectors = sectors;
    c.kind = kind;
    c.bootOffset = bootOffset;
    return c;
}

PartitionRecord tableRow(uint64_t start, uint64_t sectors, FileSystemKind kind) {
    PartitionRecord r;
    r.relativeSectors = start;
    r.totalSectors = sectors;
    r.fileSystem = kind;
    return r;
}

TEST(VolumeSearch, AnNtfsBackupInTheLastSectorTellsWhereTheVolumeBegan) {
    uint8_t s[512] = {};
    test::writeNtfsBoot(s, 1095);  // the backup follows the 1095 sectors it claims
    VolumeCandidate c;
    ASSERT_TRUE(volumeToldBy(s, sizeof s, 4095, BootCopy::NtfsBackup, 512, c));
    EXPECT_EQ(c, candidate(3000, 1096, 1095 * 512, FileSystemKind::Ntfs));
    // The same bytes as a first sector begin the volume where they lie.
    ASSERT_TRUE(volumeToldBy(s, sizeof s, 3000, BootCopy::First, 512, c));
    EXPECT_EQ(c, candidate(3000, 1096, 0, FileSystemKind::Ntfs));
    // A claim that would begin before sector 0 tells nothing; nor does a
    // backup of other sectors than the disk's (it would lie elsewhere), nor
    // one read as another file system's.
    EXPECT_FALSE(volumeToldBy(s, sizeof s, 1094, BootCopy::NtfsBackup, 512, c));
    EXPECT_FALSE(volumeToldBy(s, sizeof s, 4095, BootCopy::Fat32Backup, 512, c));
    put16(s + 11, 4096);
    EXPECT_FALSE(volumeToldBy(s, sizeof s, 4095, BootCopy::NtfsBackup, 512, c));
    put16(s + 11, 512);
    put64(s + 40, UINT64_MAX);  // no wrap into a small volume
    EXPECT_FALSE(volumeToldBy(s, sizeof s, 4095, BootCopy::NtfsBackup, 512, c));
    put64(s + 40, 20);  // too small for its table, which lies 16 KiB in
    EXPECT_FALSE(volumeToldBy(s, sizeof s, 4095, BootCopy::NtfsBackup, 512, c));

    // On a disk: the volume's first sector is gone and it does not start on
    // any place; the backup before the MiB place at 4096 finds it, and the
    // search reads places, not the disk.
    MemoryDisk disk(8 << 20);
    test::writeNtfsBoot(disk.at(4095 * 512), 1095);
    DriveReader reader(disk.opener(), {});
    ASSERT_TRUE(reader.open());
    const VolumeSearchResult result = searchVolumes(reader, {}, {});
    ASSERT_EQ(result.found.size(), 1u);
    const PartitionRecord& found = result.found[0];
    EXPECT_EQ(found.table, PartitionTableKind::Found);
    EXPECT_EQ(found.fileSystem, FileSystemKind::Ntfs);
    EXPECT_EQ(found.partitionType, 0x07);
    EXPECT_EQ(found.firstSector(), 3000u);
    EXPECT_EQ(found.totalSectors, 1096u);
    EXPECT_EQ(found.bootSectorOffset, 1095u * 512);
    EXPECT_EQ(found.deviceSectors, 16384u);
    EXPECT_FALSE(result.stopped);
    EXPECT_LE(result.reads, result.places);
    // 0 and its track (63), the MiB places, the cylinder at 16065 and its
    // track, the end.
    EXPECT_EQ(result.places, 12u);
    EXPECT_EQ(disk.image().refusedReads, 0);
}

TEST(VolumeSearch, OverlappingCandidatesGiveWayToTheTableFirstSectorsAndTheMostCovered) {
    const uint64_t disk = 100000;
    const FileSystemKind ntfs = FileSystemKind::Ntfs;
    // One volume told by its first sector and by its backup: once, as the
    // first sector told it.
    EXPECT_EQ(chooseVolumes({candidate(2048, 4096, 6 * 512), candidate(2048, 4096)}, {}, disk),
              (std::vector<VolumeCandidate>{candidate(2048, 4096)}));
    // The table's volume stays; one whose row names no file system (a
    // Linux partition, a protective entry) hides nothing.
    EXPECT_EQ(chooseVolumes({candidate(2048, 4096), candidate(10000, 100)},
                            {tableRow(2048, 6000, ntfs), tableRow(9000, 5000, FileSystemKind::Unknown)},
                            disk),
              (std::vector<VolumeCandidate>{candidate(10000, 100)}));
    // A stale volume over two current ones gives way to them, whatever its
    // size; an image inside a larger volume to the larger one.
    EXPECT_EQ(chooseVolumes({candidate(1000, 30000), candidate(2048, 20000), candidate(22048, 20000),
                             candidate(50000, 10000), candidate(52000, 100)},
                            {}, disk),
              (std::vector<VolumeCandidate>{candidate(2048, 20000), candidate(22048, 20000),
                                            candidate(50000, 10000)}));
    // A first sector outranks a larger volume only a backup tells of; one
    // lying on the disk outranks one reaching past its end.
    EXPECT_EQ(chooseVolumes({candidate(3000, 50000, 49999 * 512, ntfs), candidate(2048, 4096)}, {},
                            disk),
              (std::vector<VolumeCandidate>{candidate(2048, 4096)}));
    EXPECT_EQ(chooseVolumes({candidate(90000, 20000), candidate(95000, 1000, 6 * 512)}, {}, disk),
              (std::vector<VolumeCandidate>{candidate(95000, 1000, 6 * 512)}));
}

}  // namespace
}  // namespace undelete
