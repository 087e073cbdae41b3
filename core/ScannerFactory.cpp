#include "core/ScannerFactory.h"

#include <new>

#include "exfat/ExfatScanner.h"
#include "fat/FatScanner.h"
#include "ntfs/NtfsScanner.h"
#include "partition/VolumeProbe.h"

namespace undelete {

std::unique_ptr<VolumeScanner> createScanner(const PartitionRecord& record,
                                             const ScanContext& context) {
    switch (scannedFileSystem(record)) {
    case FileSystemKind::Exfat:
        return std::unique_ptr<VolumeScanner>(new (std::nothrow) ExfatScanner(context));
    case FileSystemKind::Ntfs:
        return std::unique_ptr<VolumeScanner>(new (std::nothrow) NtfsScanner(context));
    case FileSystemKind::Fat12:
    case FileSystemKind::Fat16:
    case FileSystemKind::Fat32:
        return std::unique_ptr<VolumeScanner>(new (std::nothrow) FatScanner(context));
    default: return nullptr;
    }
}

}  // namespace undelete
