// The FAT32 boot sector fields the scanner needs, and the sector arithmetic
// that follows from them. Pure decoding: no I/O.
#pragma once
#include <cstddef>
#include <cstdint>

namespace undelete {

// Offsets within the partition's first sector (published BPB names).
constexpr size_t kBpbBytsPerSec = 11;
constexpr size_t kBpbSecPerClus = 13;
constexpr size_t kBpbRsvdSecCnt = 14;
constexpr size_t kBpbNumFats = 16;
constexpr size_t kBpbTotSec16 = 19;
constexpr size_t kBpbTotSec32 = 32;
constexpr size_t kBpbFatSz32 = 36;
constexpr size_t kBpbRootClus = 44;
constexpr size_t kBsFilSysType = 82;
constexpr size_t kFat32BootFieldsEnd = kBsFilSysType + 8;

struct Fat32BootSector {
    // The volume's own sector: every sector count of the volume is in these,
    // whatever the sectors of the disk it lies on.
    uint16_t bytesPerSector = 0;    // 512, 1024, 2048 or 4096
    uint8_t sectorsPerCluster = 0;  // unvalidated
    uint16_t reservedSectors = 0;
    uint8_t numberOfFats = 0;       // 0 on disk is taken as 2
    uint32_t fatSize = 0;           // sectors of one FAT
    uint32_t rootCluster = 0;       // values below 2 on disk are taken as 2
    uint32_t totalSectors = 0;      // BPB_TotSec32, else BPB_TotSec16; 0: not given
};

// The highest cluster number FAT32 can address, plus one.
constexpr uint32_t kFat32ClusterCeiling = 0x0FFFFFF7u;

// True when the 5 bytes at offset 82 read "FAT32" in any letter case; a
// zero byte there is a mismatch.
bool hasFat32Label(const uint8_t* sector, size_t length);

// Decodes the fields above. False when the sector is too short to hold
// them, does not carry the FAT32 label, or gives no sector size the format
// allows.
bool decodeFat32BootSector(const uint8_t* sector, size_t length, Fat32BootSector& out);

// Absolute sector of cluster 2: the partition start, the reserved sectors
// and every FAT. Computed in 64 bits so that a damaged FAT size cannot wrap
// the data area back towards the start of the disk.
uint64_t firstDataSectorOf(uint64_t partitionStart, const Fat32BootSector& boot);

// Absolute first sector of cluster k. (k − 2) × sectorsPerCluster is taken
// modulo 2^32, so clusters 0 and 1 land far behind the data area, where the
// reader's bounds refuse them or they yield unrelated sectors.
uint64_t clusterSectorOf(uint64_t firstDataSector, uint8_t sectorsPerCluster, uint32_t cluster);

// The sectors the volume may be taken to span: what its boot sector says,
// cut down to the partition table's size and to the device's end. A value
// of 0 means "not known" and does not cut.
uint64_t volumeSectorsOf(uint32_t bootTotal, uint64_t partitionSectors, uint64_t deviceSectorsLeft);

// One past the highest usable cluster number: 2 + the whole clusters that
// lie in the data area of `volumeSectors`, capped by what one FAT of
// `fatBytes` can describe and by the FAT32 ceiling. 2 (no cluster) when the
// data area is empty or the geometry is unusable.
uint32_t clusterLimitOf(uint64_t volumeSectors, uint64_t dataOffsetSectors,
                        uint8_t sectorsPerCluster, uint64_t fatBytes);

// Whole clusters needed to hold `fileSize` bytes, rounded up without wrap;
// 0 for an empty file. `clusterBytes` must not be 0.
inline uint64_t clustersForSize(uint32_t fileSize, uint64_t clusterBytes) {
    return (static_cast<uint64_t>(fileSize) + clusterBytes - 1) / clusterBytes;
}

}  // namespace undelete
