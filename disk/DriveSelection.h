// Which disk a run reads, and the checks around it. On Windows the disk is
// a physical drive ("\\.\PHYSICALDRIVE0" unless told otherwise); elsewhere
// it is the disk or image file named on the command line, or else the first
// whole disk of the machine.
#pragma once
#include <string>

#include "disk/DriveDevice.h"

namespace undelete {

// The disk read when none is named: PhysicalDrive0 on Windows, the first
// whole disk of the machine elsewhere (empty when there is none).
std::string defaultDrivePath();

// An opener of `path`, read-only: a block device, a physical drive (each
// with its own sector size) or a whole-disk image file, read with
// `imageSectorBytes`-byte sectors (see partition/SectorSizeProbe.h).
DriveOpener driveOpener(const std::string& path, uint32_t imageSectorBytes = 512);

// True when writing to `target` would write to the disk `diskPath` itself
// or to a raw disk device: a recovered file saved there would overwrite the
// very data being recovered, and the disk is never written.
bool isDiskPath(const std::string& target, const std::string& diskPath);

// Tries to open `path` read-only and read its first sector; on failure
// fills `why` with a sentence a user can act on.
bool checkDriveAccess(const std::string& path, std::string& why);

}  // namespace undelete
