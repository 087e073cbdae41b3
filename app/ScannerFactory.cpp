#include "app/ScannerFactory.h"

#include <new>

#include "fat32/Fat32Scanner.h"
#include "ntfs/NtfsScanner.h"

namespace undelete {

std::unique_ptr<VolumeScanner> createScanner(uint8_t partitionType, const ScanContext& context) {
    switch (partitionType) {
    case 0x07: return std::unique_ptr<VolumeScanner>(new (std::nothrow) NtfsScanner(context));
    case 0x0B:
    case 0x0C: return std::unique_ptr<VolumeScanner>(new (std::nothrow) Fat32Scanner(context));
    default: return nullptr;
    }
}

}  // namespace undelete
