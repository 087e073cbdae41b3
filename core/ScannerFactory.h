// Picks the scanner for a partition row by the file system its boot sector
// holds (partition/VolumeProbe.h): FAT12, FAT16 and FAT32 the FAT scanner,
// exFAT and NTFS their own; an MBR row whose boot sector holds none by its
// type byte.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "partition/PartitionRecord.h"
#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

using ScannerFactory =
    std::function<std::unique_ptr<VolumeScanner>(const PartitionRecord&, const ScanContext&)>;

// Null for any other row, or when no memory is left for a scanner.
std::unique_ptr<VolumeScanner> createScanner(const PartitionRecord& record,
                                             const ScanContext& context);

}  // namespace undelete
