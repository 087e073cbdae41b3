// The boot-sector decoders on input bytes: exFAT's (with its boot-region
// checksum at every sector size) and the FAT12/16/32 one, whose geometry is
// then used to read table entries of every width from the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "partition/ExfatBootSector.h"
#include "partition/FatBootSector.h"
#include "fat/FatEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    std::vector<uint8_t> bytes(data, data + size);  // exactly the input: reads past it show
    ExfatBootSector exfat;
    if (decodeExfatBootSector(bytes.data(), bytes.size(), exfat) == ExfatBootCheck::Ok) {
        // Every place the geometry gives lies inside the volume.
        const uint64_t lastCluster = exfat.clusterSector(exfat.clusterLimit() - 1);
        if (exfat.clusterBytes() > (32u << 20) ||
            lastCluster + exfat.sectorsPerCluster() > exfat.volumeLength ||
            exfat.activeFatSector() + exfat.fatLength > exfat.clusterHeapOffset ||
            !exfat.validCluster(exfat.rootCluster)) {
            __builtin_trap();
        }
        (void)exfatBootChecksumMatches(bytes.data(), bytes.size(), exfat.sectorBytes());
    }
    for (uint32_t sectorBytes : {512u, 4096u}) {
        (void)exfatBootChecksumMatches(bytes.data(), bytes.size(), sectorBytes);
    }
    FatBootSector fat;
    const FatBootCheck check = decodeFatBootSector(bytes.data(), bytes.size(), fat);
    if (check == FatBootCheck::Ok || check == FatBootCheck::LayoutMismatch) {
        const uint32_t limit = fat.clusterLimit();
        if (limit < 2 || limit > fatClusterCeiling(fat.type) ||
            fat.firstDataSector() >= fat.totalSectors) {
            __builtin_trap();
        }
    }
    for (FatType type : {FatType::Fat12, FatType::Fat16, FatType::Fat32}) {
        const uint32_t limit = static_cast<uint32_t>(bytes.size());
        for (uint32_t cluster = 0; cluster < 64 && cluster < limit; ++cluster) {
            uint32_t value = 0;
            if (fatEntryValue(type, bytes.data(), bytes.size(), 0, cluster, value)) {
                (void)fatLinkOf(type, value, limit);
            }
        }
    }
    return 0;
}
