// Picks the scanner for a partition row: by the file system its boot sector
// names (GPT and bare-volume rows), or by its type byte (MBR rows: 7 NTFS;
// 11 and 12 FAT32).
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
