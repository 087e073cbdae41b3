// A whole-disk image file read as a drive on Windows: the sector size its
// partition table was made for (see partition/SectorSizeProbe.h) and the
// geometry the POSIX backend gives image files (63 sectors per track, 255
// tracks per cylinder).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "disk/DriveDevice.h"

namespace undelete {

// Opens `path` (in the program's narrow encoding) read-only; null when it cannot be
// opened. While it is open nobody may write to the file, this process
// included: a recovered file saved over the image would destroy the very
// data being read.
std::unique_ptr<DriveDevice> openImageFileDrive(const std::string& path,
                                               uint32_t sectorBytes = 512);

}  // namespace undelete
