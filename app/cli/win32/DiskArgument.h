// The disk a run of the console program reads: a physical drive by its
// number ("1" for \\.\PHYSICALDRIVE1), as the dialog reads it, or a
// whole-disk image file.
#pragma once
#include <cstdint>
#include <string>

#include "disk/DriveDevice.h"

namespace undelete {

// The path of the disk named `argument`: a drive's device path for a
// number of at most three digits, the drive 0's when empty, else the image
// file's path as given.
std::string diskPathOf(const std::string& argument);

// Whether the disk at `path` can be read; when not, says why on standard
// error (administrator rights, for a drive that refuses the user).
bool checkDisk(const std::string& path);

// An opener of the disk at `path`: the drive, or the image file read with
// `imageSectorBytes`-byte sectors.
DriveOpener diskOpener(const std::string& path, uint32_t imageSectorBytes = 512);

}  // namespace undelete
