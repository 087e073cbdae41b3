// The texts of a partition-list row, shared by every front end.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Message.h"
#include "disk/DriveDevice.h"
#include "partition/PartitionRecord.h"
#include "partition/VolumeSearch.h"

namespace undelete {

constexpr int kPartitionColumns = 10;

// Column headers of the partition list, left to right.
extern const char* const kPartitionColumnHeaders[kPartitionColumns];

// "FAT12", "FAT16", "EXTENDED", "NTFS", "FAT32" or "UNKNOWN".
const char* partitionTypeName(uint8_t type);

// "%.1f GB" of the capacity: whole mebibytes divided by 1024.
std::string partitionCapacityText(uint64_t totalSectors, uint32_t bytesPerSector);

struct PartitionRow {
    PartitionRecord record;  // the row's own copy: the scan command's input
    uint32_t bytesPerSector = 512;  // the device's: the unit of the record's sectors
    std::array<std::string, kPartitionColumns> texts;
};

// The file-system column without the active mark: the file system the
// row's boot sector holds ("FAT12", "FAT16", "FAT32", "exFAT", "NTFS"); an
// MBR row whose boot sector holds none, or whose type is not probed, keeps
// the name of its type byte. The type column: the type byte in hexadecimal
// for MBR rows, a short text of the type GUID for GPT rows, "-" for a bare
// volume and a found one.
std::string partitionFileSystemText(const PartitionRecord& record);
std::string partitionTypeText(const PartitionRecord& record);

// Where a row came from, a stable word: "found" (partition/VolumeSearch.h)
// or "table" (every other row).
const char* partitionOriginText(const PartitionRecord& record);

// The ten column texts of row `number`: the file system as above; MBR rows
// show the type byte in hex, GPT rows what the type GUID means ("EFI",
// "数据", ...), a bare volume "-".
std::array<std::string, kPartitionColumns> partitionRowTexts(int number,
                                                             const PartitionRecord& record,
                                                             uint32_t bytesPerSector);

}  // namespace undelete
