// Which device is "drive 0". On Windows it is PhysicalDrive0; elsewhere it
// is the disk or image file named on the command line, or else the first
// whole disk of the machine.
#pragma once
#include <string>

namespace undelete {

// Names the device or image file that drive 0 stands for (POSIX only; an
// empty path restores the default).
void setDrivePath(const std::string& path);

// The path drive 0 opens: the one set, or the first whole disk found
// (empty when there is none).
std::string drivePath();

// True when writing to `path` would write to drive 0 itself or to a raw
// disk device: a recovered file saved there would overwrite the very data
// being recovered, and the disk is never written.
bool isDiskPath(const std::string& path);

// Tries to open drive 0 read-only and read its first sector; on failure
// fills `why` with a sentence a user can act on.
bool checkDriveAccess(std::string& why);

}  // namespace undelete
