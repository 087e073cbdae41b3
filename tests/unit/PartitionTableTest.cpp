#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "partition/PartitionRows.h"
#include "partition/PartitionTableWalker.h"
#include "partition/SectorSizeProbe.h"
#include "partition/VolumeProbe.h"
#include "support/BootSectors.h"
#include "support/MemoryDisk.h"

using namespace undelete;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;
using namespace undelete::test;

namespace {

struct Entry {
    uint8_t boot = 0;
    uint8_t type = 0;
    uint32_t first = 0;
    uint32_t count = 0;
    uint8_t chs[6] = {0, 0x01, 0x00, 0, 0x01, 0x00};  // head, sector|cyl, cyl (start, end)
};

// Writes one entry and the boot signature every real MBR and EBR carries.
void writeEntry(uint8_t* sector, int slot, const Entry& e) {
    sector[510] = 0x55;
    sector[511] = 0xAA;
    uint8_t* p = sector + 446 + slot * 16;
    p[0] = e.boot;
    p[1] = e.chs[0];
    p[2] = e.chs[1];
    p[3] = e.chs[2];
    p[4] = e.type;
    p[5] = e.chs[3];
    p[6] = e.chs[4];
    p[7] = e.chs[5];
    put32(p + 8, e.first);
    put32(p + 12, e.count);
}

Entry part(uint8_t type, uint32_t first, uint32_t count, uint8_t boot = 0) {
    Entry e;
    e.type = type;
    e.first = first;
    e.count = count;
    e.boot = boot;
    return e;
}

std::vector<PartitionRecord> walk(MemoryDisk& disk, MessageSink messages = {},
                                  PartitionTableKind* kind = nullptr) {
    std::vector<PartitionRecord> records;
    const PartitionTableKind found = walkPartitionTable(
        disk.opener(), messages, [&](const PartitionRecord& r, uint32_t) { records.push_back(r); });
    if (kind != nullptr) *kind = found;
    return records;
}

TEST(PartitionTable, EmptySlotDoesNotEndThePrimaryPass) {
    MemoryDisk disk(64 * 512);
    writeEntry(disk.at(0), 0, part(0x0C, 2048, 100));
    writeEntry(disk.at(0), 2, part(0x07, 4096, 200));
    auto records = walk(disk);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].partitionType, 0x0C);
    EXPECT_EQ(records[1].partitionType, 0x07);
    EXPECT_EQ(records[1].firstSector(), 4096u);
}

TEST(PartitionTable, PrimariesAfterTheExtendedEntryComeBeforeTheLogicals) {
    MemoryDisk disk(200 * 512);
    const uint32_t ext = 100;
    writeEntry(disk.at(0), 0, part(0x0F, ext, 90));
    writeEntry(disk.at(0), 1, part(0x07, 10, 20));
    // EBR 1 at the start of the extended partition: logical at +2, link to +40.
    writeEntry(disk.at(ext * 512), 0, part(0x0B, 2, 30));
    writeEntry(disk.at(ext * 512), 1, part(0x05, 40, 40));
    // EBR 2 at ext+40: logical at +2 from it; empty link ends the chain.
    writeEntry(disk.at((ext + 40) * 512), 0, part(0x0C, 2, 30));
    auto records = walk(disk);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].partitionType, 0x07);
    EXPECT_EQ(records[0].baseSector, 0u);
    EXPECT_EQ(records[1].partitionType, 0x0B);
    EXPECT_EQ(records[1].baseSector, ext);
    EXPECT_EQ(records[1].extendedStart, ext);
    EXPECT_EQ(records[1].firstSector(), ext + 2);
    EXPECT_EQ(records[2].baseSector, ext + 40);
    EXPECT_EQ(records[2].extendedStart, ext);
    EXPECT_EQ(records[2].firstSector(), ext + 42);
}

TEST(PartitionTable, EveryEntryOfAnExtendedRecordIsReadAndEmptyOnesArePassedOver) {
    MemoryDisk disk(200 * 512);
    writeEntry(disk.at(0), 0, part(0x05, 100, 90));
    // EBR at 100: the link first, a logical partition behind it.
    writeEntry(disk.at(100 * 512), 0, part(0x05, 20, 40));
    writeEntry(disk.at(100 * 512), 1, part(0x07, 2, 10));
    // EBR at 120: an empty entry 0, then a link on to the EBR at 150.
    writeEntry(disk.at(120 * 512), 1, part(0x05, 50, 40));
    writeEntry(disk.at(150 * 512), 0, part(0x0B, 2, 10));
    auto records = walk(disk);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].firstSector(), 102u);
    EXPECT_EQ(records[1].firstSector(), 152u);
    EXPECT_EQ(records[1].baseSector, 150u);
}

TEST(PartitionTable, ChainThatComesBackEndsThereAndLongChainsEndAtTheBound) {
    MemoryDisk disk(400 * 512);
    writeEntry(disk.at(0), 0, part(0x05, 100, 290));
    writeEntry(disk.at(100 * 512), 0, part(0x07, 2, 10));
    writeEntry(disk.at(100 * 512), 1, part(0x05, 10, 10));
    writeEntry(disk.at(110 * 512), 0, part(0x0C, 2, 5));
    writeEntry(disk.at(110 * 512), 1, part(0x05, 0, 10));  // back to the first EBR
    auto records = walk(disk);
    ASSERT_EQ(records.size(), 2u);  // each once
    EXPECT_EQ(records[1].firstSector(), 112u);

    // An extended entry at sector 0 would read the MBR's entries as logicals.
    writeEntry(disk.at(0), 0, part(0x05, 0, 10));
    writeEntry(disk.at(0), 1, part(0x07, 300, 10));
    EXPECT_EQ(walk(disk).size(), 1u);

    // 60 distinct records, each linking to the next: the bound ends it.
    MemoryDisk longChain(200 * 512);
    writeEntry(longChain.at(0), 0, part(0x05, 100, 90));
    for (uint32_t i = 0; i < 60; ++i) {
        writeEntry(longChain.at((100 + i) * 512), 0, part(0x07, 0, 1));
        writeEntry(longChain.at((100 + i) * 512), 1, part(0x05, i + 1, 1));
    }
    EXPECT_EQ(walk(longChain).size(), static_cast<size_t>(kMaxExtendedRecords));
}

TEST(PartitionTable, FourPrimariesAndNoChain) {
    MemoryDisk disk(64 * 512);
    for (int i = 0; i < 4; ++i) writeEntry(disk.at(0), i, part(0x83, 100u + i, 1));
    auto records = walk(disk);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3].relativeSectors, 103u);
    EXPECT_EQ(disk.image().reads.load(), 1);
}

TEST(PartitionTable, UnreadableBootRecordGivesNoRowsAndOneMessage) {
    MemoryDisk disk(100);  // shorter than a sector
    MessageCapture messages;
    EXPECT_TRUE(walk(disk, messages.sink()).empty());
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0], "ReadFile() Error");
}

TEST(PartitionTable, UnreadableExtendedRecordKeepsEarlierRows) {
    MemoryDisk disk(64 * 512);
    writeEntry(disk.at(0), 0, part(0x07, 10, 10));
    writeEntry(disk.at(0), 1, part(0x0F, 1000, 10));  // beyond the disk
    MessageCapture messages;
    EXPECT_EQ(walk(disk, messages.sink()).size(), 1u);
    EXPECT_EQ(messages.messages().size(), 1u);
}

TEST(PartitionTable, LargeSectorsAreReadWhole) {
    MemoryDisk disk(16 * 4096, 4096);
    writeEntry(disk.at(0), 0, part(0x07, 1, 3));
    int rows = 0;
    PartitionTableWalker(disk.opener(), {}, [&](const PartitionRecord& r, uint32_t bytesPerSector) {
        ++rows;
        EXPECT_EQ(r.partitionType, 0x07);
        EXPECT_EQ(bytesPerSector, 4096u);
    });
    EXPECT_EQ(rows, 1);
}

TEST(PartitionTable, NoSignatureAndNoVolumeMeansNoTableAndSaysSo) {
    MemoryDisk disk(64 * 512);
    writeEntry(disk.at(0), 0, part(0x07, 10, 10));
    disk.at(0)[510] = 0;  // entries, but no boot signature: random bytes
    MessageCapture messages;
    PartitionTableKind kind = PartitionTableKind::Mbr;
    EXPECT_TRUE(walk(disk, messages.sink(), &kind).empty());
    EXPECT_EQ(kind, PartitionTableKind::None);
    EXPECT_EQ(messages.messages(), std::vector<std::string>{kNoPartitionTableMessage});

    MemoryDisk tiny(100);
    walk(tiny, {}, &kind);
    EXPECT_EQ(kind, PartitionTableKind::Unreadable);
}

// A boot sector of `kind` claiming `claimed` sectors (FAT16: its own
// size), with boot code in the entry area that must not be read as a table.
void writeBootSector(uint8_t* sector, FileSystemKind kind, uint32_t claimed) {
    writeEntry(sector, 0, part(0x07, 1, 5));
    switch (kind) {
    case FileSystemKind::Fat32: writeFat32Boot(sector, claimed); break;
    case FileSystemKind::Fat16: writeFat16Boot(sector); break;
    case FileSystemKind::Exfat: writeExfatBoot(sector, claimed); break;
    default: writeNtfsBoot(sector, claimed); break;
    }
}

TEST(PartitionTable, BareVolumeIsTheWholeDiskAsOneRow) {
    for (FileSystemKind fs : {FileSystemKind::Fat32, FileSystemKind::Fat16, FileSystemKind::Exfat,
                              FileSystemKind::Ntfs}) {
        MemoryDisk disk(16065 * 512 + 7 * 512);
        writeBootSector(disk.at(0), fs, 999999);
        PartitionTableKind kind = PartitionTableKind::None;
        auto records = walk(disk, {}, &kind);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(kind, PartitionTableKind::BareVolume);
        const PartitionRecord& r = records[0];
        EXPECT_EQ(r.table, PartitionTableKind::BareVolume);
        EXPECT_EQ(r.fileSystem, fs);
        EXPECT_EQ(r.firstSector(), 0u);
        EXPECT_EQ(r.totalSectors, 16072u);  // the device's size, not the volume's claim
        EXPECT_FALSE(r.reachesPastDevice());
        EXPECT_EQ(scannedFileSystem(r), fs);
        auto texts = partitionRowTexts(0, r, 512);
        EXPECT_EQ(texts[1], fileSystemName(fs));
        EXPECT_EQ(texts[2], "-");
        EXPECT_EQ((std::vector<std::string>(texts.begin() + 3, texts.begin() + 9)),
                  (std::vector<std::string>{"0", "0", "1", "1", "0", "7"}));
    }
    // The label alone, over a parameter block that makes no sense, is no volume.
    MemoryDisk disk(64 * 512);
    writeBootSector(disk.at(0), FileSystemKind::Fat32, 64);
    put16(disk.at(0) + 11, 0);
    auto records = walk(disk);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].table, PartitionTableKind::Mbr);
}

TEST(PartitionTable, MbrRowsAreNamedByTheirBootSectorWhateverTheirType) {
    struct Case {
        uint8_t type;
        FileSystemKind holds;  // Unknown: nothing
        FileSystemKind probed;
        const char* name;
        FileSystemKind scanned;
    };
    using K = FileSystemKind;
    const std::vector<Case> cases = {
        {0x07, K::Exfat, K::Exfat, "exFAT", K::Exfat},      // exFAT under the NTFS type
        {0x0C, K::Fat12, K::Fat12, "FAT12", K::Fat12},      // the count decides, not the type
        {0x0E, K::Unknown, K::Unknown, "FAT16", K::Fat16},  // nothing known: the type's name
        {0x83, K::Fat32, K::Fat32, "FAT32", K::Fat32},      // Linux's type for a new partition
        {0x83, K::Exfat, K::Exfat, "exFAT", K::Exfat},
        {0x83, K::Unknown, K::Unknown, "UNKNOWN", K::Unknown},
        {0xEF, K::Fat16, K::Fat16, "FAT16", K::Fat16},  // EFI system partition
        {0x1C, K::Fat32, K::Fat32, "FAT32", K::Fat32},  // hidden FAT32
        {0x17, K::Ntfs, K::Ntfs, "NTFS", K::Ntfs},      // hidden NTFS
        {0x85, K::Fat32, K::NotProbed, "UNKNOWN", K::Unknown},  // a container: its start is no volume
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.type) << " " << int(c.holds));
        MemoryDisk disk(128 * 512);  // the rest of the partition need not be there
        writeEntry(disk.at(0), 0, part(c.type, 100, 131072));
        uint8_t* boot = disk.at(100 * 512);
        switch (c.holds) {
        case K::Exfat: writeExfatBoot(boot); break;
        case K::Fat12: writeFat16Boot(boot, 16000, "FAT32   "); break;  // the label says nothing
        case K::Fat16: writeFat16Boot(boot); break;
        case K::Fat32: writeFat32Boot(boot); break;
        case K::Ntfs: writeNtfsBoot(boot, 131071); break;
        default: break;
        }
        const auto records = walk(disk);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].fileSystem, c.probed);
        EXPECT_EQ(partitionRowTexts(0, records[0], 512)[1], c.name);
        EXPECT_EQ(scannedFileSystem(records[0]), c.scanned);
        char code[8];
        std::snprintf(code, sizeof code, "%02X", c.type);
        EXPECT_EQ(partitionRowTexts(0, records[0], 512)[2], code);  // the type byte stays shown
    }

    // One FAT rule for the list and the scanners: the count decides, and a
    // FAT32 layout with too few clusters for FAT32 is no FAT volume.
    uint8_t sector[512] = {};
    writeFat32Boot(sector, 32 + 2 * 1000 + 8 * 65524);
    EXPECT_EQ(probeVolume(sector, sizeof sector).kind, FileSystemKind::Unknown);
    writeFat32Boot(sector, 32 + 2 * 1000 + 8 * 65525);
    EXPECT_EQ(probeVolume(sector, sizeof sector).kind, FileSystemKind::Fat32);
    std::memcpy(sector + 82, "fat16", 5);
    EXPECT_EQ(probeVolume(sector, sizeof sector).kind, FileSystemKind::Fat32);
    sector[21] = 0;  // no media byte: boot code, not a parameter block
    EXPECT_EQ(probeVolume(sector, sizeof sector).kind, FileSystemKind::Unknown);
}

TEST(PartitionTable, PartitionPastTheDeviceEndIsListedWithWhatIsPresent) {
    MemoryDisk disk(64 * 512);
    writeEntry(disk.at(0), 0, part(0x07, 60, 100));
    writeEntry(disk.at(0), 1, part(0x0C, 1000, 10));
    writeEntry(disk.at(0), 2, part(0x0B, 10, 10));
    auto records = walk(disk);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].deviceSectors, 64u);
    EXPECT_EQ(records[0].totalSectors, 100u);
    EXPECT_EQ(records[0].presentSectors(), 4u);
    EXPECT_TRUE(records[0].reachesPastDevice());
    EXPECT_EQ(records[1].presentSectors(), 0u);
    EXPECT_EQ(records[2].presentSectors(), 10u);
    EXPECT_FALSE(records[2].reachesPastDevice());
    PartitionRecord unknownDevice;  // as a test or an old face makes one
    unknownDevice.totalSectors = 5;
    EXPECT_EQ(unknownDevice.presentSectors(), 5u);
}

// An image file's sector size is told by all its entries together: an old
// boot sector left inside a 512-byte disk's first partition, where a
// 4096-byte table would put that partition, must not make it a 4096 disk.
TEST(SectorSizeProbe, StrayBootSectorAtTheLargeOffsetDoesNotOutvoteTheVolumes) {
    MemoryDisk disk(1 << 20);
    writeEntry(disk.at(0), 0, part(0x83, 100, 1000));  // holds no volume at its start
    writeEntry(disk.at(0), 1, part(0x0C, 1100, 900));
    writeFat32Boot(disk.at(100 * 4096));  // the stray: byte 409,600, inside the first partition
    writeFat32Boot(disk.at(1100 * 512));
    EXPECT_EQ(probeImageSectorSize(disk.opener()), 512u);

    // Without the volume at 1100 × 512, a boot sector only where 4096-byte
    // sectors put an entry's start is what tells a 4096-byte disk.
    std::memset(disk.at(1100 * 512), 0, 512);
    EXPECT_EQ(probeImageSectorSize(disk.opener()), 4096u);
}

TEST(PartitionEntry, DecodesCylinderHeadSector) {
    uint8_t entry[16] = {0x80, 0x20, 0x81, 0x05, 0x07, 0xFE, 0xFF, 0xFF};
    put32(entry + 8, 2048);
    put32(entry + 12, 204800000);
    PartitionRecord r;
    fillPartitionRecord(entry, 0, 16065, r);
    EXPECT_EQ(r.startHead, 0x20);
    EXPECT_EQ(r.startSector, 1);
    EXPECT_EQ(r.startCylinder, 517);
    EXPECT_EQ(r.endHead, 0xFE);
    EXPECT_EQ(r.endSector, 63);
    EXPECT_EQ(r.endCylinder, 12748);  // computed: field reads 1023
}

TEST(PartitionEntry, ComputedCylindersAddTheBaseAndKeepTheLow16Bits) {
    uint8_t entry[16] = {0, 0, 0xFF, 0xFF, 0x07, 0, 0xFF, 0xFF};
    put32(entry + 8, 2048);
    put32(entry + 12, 10);
    PartitionRecord r;
    fillPartitionRecord(entry, 300000000, 16065, r);
    EXPECT_EQ(r.startCylinder, 18674);
    put32(entry + 8, 2000000000);
    fillPartitionRecord(entry, 0, 16065, r);
    EXPECT_EQ(r.startCylinder, 58958);  // 124,494 mod 65,536
    fillPartitionRecord(entry, 0, 0, r);
    EXPECT_EQ(r.startCylinder, 0);  // no geometry: nothing to divide by
}

TEST(PartitionRows, TypeNamesActiveMarkAndCodes) {
    EXPECT_STREQ(partitionTypeName(0x0C), "FAT32");
    EXPECT_STREQ(partitionTypeName(0x0B), "FAT32");
    EXPECT_STREQ(partitionTypeName(0x0E), "FAT16");
    EXPECT_STREQ(partitionTypeName(0x01), "FAT12");
    EXPECT_STREQ(partitionTypeName(0x0F), "EXTENDED");
    EXPECT_STREQ(partitionTypeName(0x83), "UNKNOWN");
    EXPECT_STREQ(partitionTypeName(0x00), "UNKNOWN");
    PartitionRecord r;
    r.partitionType = 0x07;
    r.bootIndicator = 0x80;
    r.startCylinder = 65535;
    auto texts = partitionRowTexts(3, r, 512);
    EXPECT_EQ(texts[0], "3");
    EXPECT_EQ(texts[1], "NTFS(活动)");
    EXPECT_EQ(texts[2], "07");
    EXPECT_EQ(texts[3], "65535");
    r.bootIndicator = 0x81;
    r.partitionType = 0x83;
    texts = partitionRowTexts(0, r, 512);
    EXPECT_EQ(texts[1], "UNKNOWN");
    EXPECT_EQ(texts[2], "83");
}

TEST(PartitionRows, CapacityUsesTheDrivesSectorSize) {
    EXPECT_EQ(partitionCapacityText(204800000, 512), "97.7 GB");
    EXPECT_EQ(partitionCapacityText(204800, 512), "0.1 GB");
    EXPECT_EQ(partitionCapacityText(2047, 512), "0.0 GB");
    EXPECT_EQ(partitionCapacityText(976773168, 512), "465.8 GB");
    EXPECT_EQ(partitionCapacityText(244190646, 4096), "931.5 GB");
}

}  // namespace
