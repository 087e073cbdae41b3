// The boot sector of a FAT volume of any width: the BIOS parameter block's
// geometry, and the FAT type decided as the format decides it, by the count
// of data clusters (never by the label, which is not read). The partition
// list and the scanner both take a volume for FAT by this one decoder.
// Pure decoding: no I/O.
#pragma once
#include <cstddef>
#include <cstdint>

namespace undelete {

enum class FatType : uint8_t { Fat12, Fat16, Fat32 };

// One past the highest cluster number an entry of this width can name:
// 0xFF7, 0xFFF7, 0x0FFFFFF7 (that value itself is the bad-cluster mark).
uint32_t fatClusterCeiling(FatType type);

// Offsets within the volume's first sector (published BPB names).
constexpr size_t kBpbBytsPerSec = 11;
constexpr size_t kBpbSecPerClus = 13;
constexpr size_t kBpbRsvdSecCnt = 14;
constexpr size_t kBpbNumFats = 16;
constexpr size_t kBpbRootEntCnt = 17;
constexpr size_t kBpbTotSec16 = 19;
constexpr size_t kBpbMedia = 21;
constexpr size_t kBpbFatSz16 = 22;
constexpr size_t kBpbHiddSec = 28;
constexpr size_t kBpbTotSec32 = 32;
constexpr size_t kBpbFatSz32 = 36;
constexpr size_t kBpbRootClus = 44;
constexpr size_t kBpbBkBootSec = 50;
constexpr size_t kFatBootSignature = 510;  // 0x55 0xAA
constexpr size_t kFatBootSectorBytes = 512;

// Fewer data clusters than these make FAT12 and FAT16; the rest FAT32.
constexpr uint32_t kFat16MinClusters = 4085;
constexpr uint32_t kFat32MinClusters = 65525;

// Which check a sector failed, in the order they are made.
enum class FatBootCheck : uint8_t {
    Ok,
    TooShort,         // fewer than 512 bytes
    NoSignature,      // no 0x55 0xAA at 510
    SectorSize,       // BytsPerSec not 512, 1024, 2048 or 4096
    ClusterSize,      // SecPerClus not a power of two
    ReservedSectors,  // none
    FatCount,         // none
    Media,            // not 0xF0 or 0xF8 to 0xFF
    TotalSectors,     // neither TotSec16 nor TotSec32 gives it
    FatSize,          // no FAT size in the layout's field
    NoDataArea,       // reserved sectors, FATs and root leave no cluster
    // The count gives another type than the layout was written for: a
    // FAT32 layout (FATSz16 0, no fixed root) with fewer than 65,525
    // clusters, or a FAT12/16 layout with more. `out` is filled, its type
    // the count's. Such a volume is no FAT volume to the partition list
    // or the scanner: under the count's type it has no root directory.
    LayoutMismatch,
};

struct FatBootSector {
    FatType type = FatType::Fat32;
    uint16_t bytesPerSector = 0;
    uint8_t sectorsPerCluster = 0;
    uint16_t reservedSectors = 0;
    uint8_t numberOfFats = 0;
    uint16_t rootEntryCount = 0;  // entries of the fixed root directory; 0 on FAT32
    uint32_t fatSize = 0;         // sectors of one FAT: FATSz16, else FATSz32
    uint32_t totalSectors = 0;    // TotSec16, else TotSec32
    uint32_t hiddenSectors = 0;
    uint32_t rootCluster = 0;     // FAT32's root directory; 0 otherwise
    uint16_t backupBootSector = 0;  // FAT32's copy of this sector, sectors in; 0 otherwise
    uint32_t clusterCount = 0;    // data clusters the BPB describes

    uint32_t clusterBytes() const { return uint32_t{bytesPerSector} * sectorsPerCluster; }
    // Sectors of the fixed root directory, rounded up; 0 on FAT32.
    uint32_t rootDirectorySectors() const;
    // From the volume's start: the first FAT, the fixed root directory, and
    // cluster 2.
    uint64_t fatSector() const { return reservedSectors; }
    uint64_t rootDirectorySector() const;
    uint64_t firstDataSector() const;
    // First sector of a valid cluster, from the volume's start.
    uint64_t clusterSector(uint32_t cluster) const;
    // One past the highest usable cluster: the BPB's clusters, cut to what
    // one FAT holds and to the type's ceiling.
    uint32_t clusterLimit() const;
    // The same, cut further to the clusters that lie wholly in the first
    // `volumeSectors` sectors (what the partition and the disk hold).
    uint32_t clusterLimitWithin(uint64_t volumeSectors) const;
};

FatType fatTypeForClusterCount(uint32_t clusters);

// Decodes and checks the boot sector; `out` is filled when the result is Ok
// or LayoutMismatch. Only Ok is a FAT volume.
FatBootCheck decodeFatBootSector(const uint8_t* sector, size_t length, FatBootSector& out);

}  // namespace undelete
