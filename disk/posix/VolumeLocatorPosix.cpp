// Without drive letters the mounted volumes are emulated from drive 0
// itself: its NTFS partitions, each with the serial number and MFT length
// its own boot sector and $MFT record give.
#include "disk/VolumeLocator.h"
#include "ntfs/DiskVolumeTable.h"

namespace undelete {

uint64_t VolumeLocator::findMftValidDataLength(uint32_t serial) {
    return findDiskVolumeMftValidDataLength(serial);
}

}  // namespace undelete
