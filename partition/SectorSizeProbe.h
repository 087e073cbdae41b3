// The sector size of a whole-disk image file, which no device reports: a
// disk with 4096-byte sectors copied into a file keeps its partition table
// in 4096-byte units, and reading it as 512 would misplace every partition.
#pragma once
#include <cstdint>

#include "disk/DriveDevice.h"

namespace undelete {

// 512 or 4096: where the GPT header lies (LBA 1 at byte 512 or at byte
// 4096), else where the primary MBR entries' boot sectors lie: 4096 only
// when one lies at its entry's start counted in 4096-byte sectors and none
// at its start counted in 512-byte sectors; 512 when nothing tells.
// `opener` opens the image with 512-byte sectors.
uint32_t probeImageSectorSize(const DriveOpener& opener);

}  // namespace undelete
