// Tells from a boot sector which file system a volume holds by asking each
// file system's own decoder (partition/FatBootSector.h, ExfatBootSector.h,
// NtfsBootSector.h) whether the sector is its own: the scanners open their
// volumes with the same decoders, so the partition list and the scan never
// decide differently.
#pragma once
#include <cstddef>
#include <cstdint>

#include "partition/PartitionRecord.h"

namespace undelete {

// What a boot sector tells of its volume, by its file system's decoder.
struct VolumeShape {
    FileSystemKind kind = FileSystemKind::Unknown;
    uint32_t sectorBytes = 0;  // the volume's own sector
    uint64_t sectors = 0;      // its size in its own sectors, as claimed
    // Where the volume keeps a backup of this sector, in its own sectors
    // from its start: FAT32's BkBootSec (0: none), exFAT's backup boot
    // region (12), NTFS's last sector (the claimed size, one past it).
    uint64_t backupSector = 0;
};

// Asks the exFAT, NTFS and FAT decoders in turn; kind Unknown when none
// takes the sector (also for fewer than 512 bytes).
VolumeShape probeVolume(const uint8_t* sector, size_t length);

// The MBR type byte of a file system's usual partition (0x01 FAT12, 0x06
// FAT16, 0x0C FAT32, 0x07 exFAT and NTFS); `otherwise` for the rest.
uint8_t mbrTypeFor(FileSystemKind kind, uint8_t otherwise);

// "FAT12", "FAT16", "FAT32", "exFAT", "NTFS" or "UNKNOWN".
const char* fileSystemName(FileSystemKind kind);

// True for the MBR types whose partitions are probed for their file system:
// every used type but the extended containers (0x05, 0x0F, and Linux's
// 0x85), whose start holds a boot record of the chain, not a volume. A type
// byte proves nothing: Linux tools give a new partition 0x83 whatever it is
// formatted with, and hidden (0x1B, 0x1C, 0x17, ...) or EFI (0xEF) types
// hold FAT and NTFS volumes; the strict decoders decide.
bool probedMbrType(uint8_t type);

// The file system whose scanner a row needs: the probed one; for an MBR row
// whose probe found none, the one its type byte names (0x07 NTFS; 0x01,
// 0x04, 0x06, 0x0E, 0x0B, 0x0C FAT), whose scanner then tells why it cannot
// open the volume.
FileSystemKind scannedFileSystem(const PartitionRecord& record);

}  // namespace undelete
