// Boot sectors of each file system as their formatters write them, with
// the fields the decoders check; the rest of the sector is left as found.
#pragma once
#include <cstdint>
#include <cstring>

#include "common/Bytes.h"

namespace undelete::test {

inline void signBootSector(uint8_t* s) {
    s[510] = 0x55;
    s[511] = 0xAA;
}

// FAT32 as mkfs.fat -F 32 -s 8 writes it: the FAT type comes from the
// cluster count, so `totalSectors` must give at least 65,525 clusters.
inline void writeFat32Boot(uint8_t* s, uint32_t totalSectors = 999999) {
    s[0] = 0xEB;
    put16(s + 11, 512);
    s[13] = 8;
    put16(s + 14, 32);
    s[16] = 2;
    s[21] = 0xF8;
    put32(s + 32, totalSectors);
    put32(s + 36, 1000);
    put32(s + 44, 2);
    std::memcpy(s + 82, "FAT32   ", 8);
    signBootSector(s);
}

// FAT12/16 as mkfs.fat -F 16 -s 4 writes it on 32 MiB: a fixed root of 512
// entries, FATs of 64 sectors; `totalSectors` decides the width (65,536:
// FAT16; 16,000: FAT12), whatever `label` says.
inline void writeFat16Boot(uint8_t* s, uint32_t totalSectors = 65536,
                           const char* label = "FAT16   ") {
    s[0] = 0xEB;
    put16(s + 11, 512);
    s[13] = 4;
    put16(s + 14, 4);
    s[16] = 2;
    put16(s + 17, 512);
    if (totalSectors < 0x10000) put16(s + 19, static_cast<uint16_t>(totalSectors));
    else put32(s + 32, totalSectors);
    s[21] = 0xF8;
    put16(s + 22, 64);
    std::memcpy(s + 54, label, 8);
    signBootSector(s);
}

// exFAT as mkfs.exfat writes it on 64 MiB (4 KiB clusters, root at 5).
inline void writeExfatBoot(uint8_t* s, uint64_t volumeLength = 131072) {
    s[0] = 0xEB;
    std::memset(s + 11, 0, 53);
    std::memcpy(s + 3, "EXFAT   ", 8);
    put64(s + 72, volumeLength);
    put32(s + 80, 2048);
    put32(s + 84, 128);
    put32(s + 88, 4096);
    put32(s + 92, 15872);
    put32(s + 96, 5);
    put16(s + 104, 0x0100);
    s[108] = 9;
    s[109] = 3;
    s[110] = 1;
    signBootSector(s);
}

// NTFS as mkntfs writes it: 4 KiB clusters, 1 KiB records.
inline void writeNtfsBoot(uint8_t* s, uint64_t totalSectors) {
    s[0] = 0xEB;
    std::memcpy(s + 3, "NTFS    ", 8);
    put16(s + 11, 512);
    s[13] = 8;
    put64(s + 40, totalSectors);
    put64(s + 48, 4);
    s[64] = 0xF6;
    signBootSector(s);
}

}  // namespace undelete::test
