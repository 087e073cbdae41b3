// Tells from a boot sector which file system a volume holds, by the marks
// the scanners themselves check (the FAT32 label, the NTFS OEM id), backed
// by a sane BIOS parameter block so that boot code is not taken for one.
#pragma once
#include <cstddef>
#include <cstdint>

#include "partition/PartitionRecord.h"

namespace undelete {

// Fat32, Ntfs or Unknown (also for fewer than 512 bytes).
FileSystemKind detectFileSystem(const uint8_t* sector, size_t length);

// The volume's size in its own sectors as its boot sector claims it; 0 when
// `sector` is not a FAT32 or NTFS boot sector.
uint64_t volumeSectorsClaimed(const uint8_t* sector, size_t length);

// "FAT32", "NTFS" or "UNKNOWN".
const char* fileSystemName(FileSystemKind kind);

// The file system whose scanner a row needs: the probed one, or for an MBR
// row (not probed) the one its type byte names (0x07 NTFS; 0x0B, 0x0C FAT32).
FileSystemKind scannedFileSystem(const PartitionRecord& record);

}  // namespace undelete
