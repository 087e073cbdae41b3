#include "fat32/Fat32BootSector.h"

#include <algorithm>
#include <initializer_list>

#include "common/Bytes.h"

namespace undelete {

namespace {

char upper(uint8_t c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
}

}  // namespace

bool hasFat32Label(const uint8_t* sector, size_t length) {
    static const char kLabel[] = "FAT32";
    if (sector == nullptr || !fits(kBsFilSysType, 5, length)) return false;
    for (size_t i = 0; i < 5; ++i) {
        const uint8_t c = sector[kBsFilSysType + i];
        if (c == 0 || upper(c) != kLabel[i]) return false;
    }
    return true;
}

bool decodeFat32BootSector(const uint8_t* sector, size_t length, Fat32BootSector& out) {
    if (sector == nullptr || length < kFat32BootFieldsEnd) return false;
    if (!hasFat32Label(sector, length)) return false;
    const uint16_t sectorBytes = le16(sector + kBpbBytsPerSec);
    if (sectorBytes < 512 || sectorBytes > 4096 || (sectorBytes & (sectorBytes - 1)) != 0) {
        return false;
    }
    out.bytesPerSector = sectorBytes;
    out.sectorsPerCluster = sector[kBpbSecPerClus];
    out.reservedSectors = le16(sector + kBpbRsvdSecCnt);
    out.numberOfFats = sector[kBpbNumFats] == 0 ? uint8_t{2} : sector[kBpbNumFats];
    out.fatSize = le32(sector + kBpbFatSz32);
    const uint32_t root = le32(sector + kBpbRootClus);
    out.rootCluster = root < 2 ? 2u : root;
    const uint32_t total32 = le32(sector + kBpbTotSec32);
    out.totalSectors = total32 != 0 ? total32 : le16(sector + kBpbTotSec16);
    return true;
}

uint64_t firstDataSectorOf(uint64_t partitionStart, const Fat32BootSector& boot) {
    return partitionStart + boot.reservedSectors +
           static_cast<uint64_t>(boot.numberOfFats) * boot.fatSize;
}

uint64_t clusterSectorOf(uint64_t firstDataSector, uint8_t sectorsPerCluster, uint32_t cluster) {
    const uint32_t offset = (cluster - 2u) * static_cast<uint32_t>(sectorsPerCluster);
    return firstDataSector + offset;
}

uint64_t volumeSectorsOf(uint32_t bootTotal, uint64_t partitionSectors,
                         uint64_t deviceSectorsLeft) {
    uint64_t sectors = UINT64_MAX;
    for (uint64_t known : {uint64_t{bootTotal}, partitionSectors, deviceSectorsLeft}) {
        if (known != 0 && known < sectors) sectors = known;
    }
    return sectors;
}

uint32_t clusterLimitOf(uint64_t volumeSectors, uint64_t dataOffsetSectors,
                        uint8_t sectorsPerCluster, uint64_t fatBytes) {
    if (sectorsPerCluster == 0 || volumeSectors <= dataOffsetSectors) return 2;
    // Capped before 2 is added: an unknown size is UINT64_MAX.
    const uint64_t clusters = std::min<uint64_t>((volumeSectors - dataOffsetSectors) / sectorsPerCluster,
                                                 kFat32ClusterCeiling - 2);
    uint64_t limit = std::min<uint64_t>(2 + clusters, fatBytes / 4);
    return limit < 2 ? 2u : static_cast<uint32_t>(limit);
}

}  // namespace undelete
