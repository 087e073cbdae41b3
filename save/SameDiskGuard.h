// Whether a save would write to the disk being recovered: the file system
// of the target folder may put the new file on the very clusters of the
// deleted files still to be saved.
#pragma once
#include <string>

namespace undelete {

// True when `folder` (or, while it does not exist yet, the folder its
// missing part will be made in, through links and "..") lies on the disk
// `diskPath`. On Linux: its file system's device is that block device, one
// of its partitions, made of them (device mapper), or a loop device that
// reads a file lying on them; for a disk image file, a loop device reading
// that file (or a partition of one). On Windows: its volume's extents lie
// on that physical drive (never for an image file). False when the system
// cannot tell.
bool liesOnScannedDisk(const std::string& folder, const std::string& diskPath);

}  // namespace undelete
