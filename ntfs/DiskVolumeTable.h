// The mounted-volume table emulated from drive 0, for platforms without
// drive letters: every NTFS partition (type 0x07) found by the partition
// walk stands for a mounted volume, with the serial number and the MFT
// valid data length that its own boot sector and $MFT record give.
#pragma once
#include <cstdint>

namespace undelete {

// The initialized size of the $MFT record's unnamed $DATA attribute on the
// first NTFS partition whose boot sector carries `serial` (low 32 bits at
// 0x48), or 0 when there is none or its record cannot be read. Shows no
// message.
uint64_t findDiskVolumeMftValidDataLength(uint32_t serial);

}  // namespace undelete
