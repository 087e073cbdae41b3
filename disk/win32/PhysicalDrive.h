// Win32 backend internals shared by the drive and the access check: the raw
// device path of a physical drive, its opening, and the device that owns the
// opened handle.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <memory>
#include <string>

#include "disk/DriveDevice.h"

namespace undelete {

// "\\.\PHYSICALDRIVE<number>", formatted into a zero-filled buffer.
void formatDrivePath(int number, char (&path)[64]);
std::string physicalDrivePath(int number);

// Opens the device at `path` for reading, as openPhysicalDrive does.
HANDLE openDrivePath(const std::string& path);

// Opens the drive for reading, sharing it with everyone else who reads or
// writes it. INVALID_HANDLE_VALUE on failure; GetLastError says why.
HANDLE openPhysicalDrive(int number);

// A device that owns `handle` and closes it when destroyed; null (with the
// handle closed) when no memory is left for it.
std::unique_ptr<DriveDevice> adoptPhysicalDrive(HANDLE handle);

}  // namespace undelete
