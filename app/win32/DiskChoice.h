// Which disk the dialog reads: physical drive 0 (no argument), physical
// drive N (a number), or a whole-disk image file standing in for drive 0.
#pragma once
#include <string>

namespace undelete::win32 {

struct DiskChoice {
    enum class Kind { PhysicalDrive, ImageFile, Invalid } kind = Kind::PhysicalDrive;
    int driveNumber = 0;
    std::string imagePath;
};


// From the program's arguments (without the program name). Digits only: a
// drive number of at most three digits (more is Invalid); anything else is
// an image path (".\\12" names a file called 12). An empty argument, or
// more than one, is Invalid.
DiskChoice chooseDisk(int argumentCount, const char* const* arguments);

}  // namespace undelete::win32
