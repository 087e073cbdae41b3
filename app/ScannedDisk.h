// Whether a save would write to the disk being recovered: the file system
// of the target folder may put the new file on the very clusters of the
// deleted files still to be saved.
#pragma once
#include <string>

namespace undelete {

// True when `folder` (or, while it does not exist yet, the nearest folder
// above it that does) lies on the disk `diskPath`: on Linux, its file
// system's device is that block device, one of its partitions, or made of
// them (device mapper); on Windows, its volume's extents lie on that
// physical drive. Never for a disk image file, nor when the system cannot
// tell.
bool liesOnScannedDisk(const std::string& folder, const std::string& diskPath);

}  // namespace undelete
