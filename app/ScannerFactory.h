// Picks the scanner for a partition type: 7 NTFS; 11 and 12 FAT32.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "scan/ScanContext.h"
#include "scan/VolumeScanner.h"

namespace undelete {

using ScannerFactory =
    std::function<std::unique_ptr<VolumeScanner>(uint8_t partitionType, const ScanContext&)>;

// Null for any other type, or when no memory is left for a scanner.
std::unique_ptr<VolumeScanner> createScanner(uint8_t partitionType, const ScanContext& context);

}  // namespace undelete
