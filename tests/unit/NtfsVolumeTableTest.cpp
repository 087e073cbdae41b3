#include <gtest/gtest.h>

#include "disk/VolumeLocator.h"
#include "ntfs/DiskVolumeTable.h"
#include "ntfs/NtfsScanner.h"
#include "NtfsTestRecords.h"

using namespace undelete;
using undelete::test::MemoryDisk;
using undelete::test::MessageCapture;
using undelete::test::RecordBuilder;

namespace {

constexpr uint64_t kPartitionSectors = 1024;

// A disk whose master boot record lists one partition per call of add(),
// each 1024 sectors long, in slot order.
class VolumeDisk {
public:
    VolumeDisk() : disk_(4 << 20) {
        disk_.bytes()[510] = 0x55;
        disk_.bytes()[511] = 0xAA;
    }

    // An NTFS boot sector with `serial` (upper half `high`) and a $MFT
    // record whose table is `validLength` bytes; a broken record when
    // validLength is 0.
    void add(uint8_t type, uint32_t serial, uint64_t validLength, uint32_t high = 0) {
        const uint64_t start = 2048 + slot_ * kPartitionSectors;
        uint8_t* entry = disk_.at(446 + 16 * slot_++);
        entry[4] = type;
        put32(entry + 8, static_cast<uint32_t>(start));
        put32(entry + 12, static_cast<uint32_t>(kPartitionSectors));
        auto boot = test::ntfsBootSector(8, 4, 0xF6, serial);
        put32(&boot[76], high);
        std::memcpy(disk_.at(start * 512), boot.data(), boot.size());
        if (validLength == 0) return;
        const auto record =
            RecordBuilder(1)
                .fileName(u"$MFT", 3)
                .nonResident(0x80, {0x11, 0x10, 0x04}, 16 * 4096, 16 * 4096, validLength)
                .build();
        std::memcpy(disk_.at(start * 512 + 4 * 4096), record.data(), record.size());
    }

    PartitionRecord partition(int slot) const {
        PartitionRecord p;
        p.partitionType = 0x07;
        p.relativeSectors = 2048 + static_cast<uint64_t>(slot) * kPartitionSectors;
        p.totalSectors = kPartitionSectors;
        return p;
    }

private:
    MemoryDisk disk_;
    int slot_ = 0;
};

TEST(DiskVolumeTable, FirstNtfsPartitionWithTheSerialDecides) {
    VolumeDisk disk;
    disk.add(0x07, 0x11111111, 40 * 1024);
    disk.add(0x0C, 0x33333333, 50 * 1024);  // not an NTFS partition type
    disk.add(0x07, 0x22222222, 60 * 1024);
    disk.add(0x07, 0x11111111, 70 * 1024, 0xFFFF);  // differs only in the upper half
    MessageCapture messages;
    EXPECT_EQ(findDiskVolumeMftValidDataLength(0x11111111), 40u * 1024);
    EXPECT_EQ(findDiskVolumeMftValidDataLength(0x22222222), 60u * 1024);
    EXPECT_EQ(findDiskVolumeMftValidDataLength(0x33333333), 0u);
    EXPECT_EQ(findDiskVolumeMftValidDataLength(0x44444444), 0u);
    EXPECT_TRUE(messages.messages().empty());
}

TEST(DiskVolumeTable, AnUnreadableFirstMatchGivesZeroEvenWithALaterOne) {
    VolumeDisk disk;
    disk.add(0x07, 0x11111111, 0);  // no $MFT record
    disk.add(0x07, 0x11111111, 70 * 1024);
    EXPECT_EQ(findDiskVolumeMftValidDataLength(0x11111111), 0u);
}

TEST(DiskVolumeTable, IsTheDefaultLocatorSoAnUnmountedImageOpens) {
    VolumeDisk disk;
    disk.add(0x07, 0x11111111, 40 * 1024);
    disk.add(0x07, 0x22222222, 60 * 1024);
    EXPECT_EQ(locateMftValidDataLength(0x22222222), 60u * 1024);
    NtfsScanner scanner;
    const PartitionRecord second = disk.partition(1);
    ASSERT_TRUE(scanner.open(&second));
    EXPECT_EQ(scanner.recordCount, 60u);
    EXPECT_EQ(scanner.recordMap->entry(0), (2048 + kPartitionSectors) * 512 + 4 * 4096);
}

}  // namespace
