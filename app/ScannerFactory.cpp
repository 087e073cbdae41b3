#include <new>

#include "app/VolumeScanner.h"
#include "fat32/Fat32Scanner.h"
#include "ntfs/NtfsScanner.h"

namespace undelete {

std::unique_ptr<VolumeScanner> createScanner(uint8_t partitionType) {
    switch (partitionType) {
    case 0x07: return std::unique_ptr<VolumeScanner>(new (std::nothrow) NtfsScanner());
    case 0x0B:
    case 0x0C: return std::unique_ptr<VolumeScanner>(new (std::nothrow) Fat32Scanner());
    default: return nullptr;
    }
}

}  // namespace undelete
