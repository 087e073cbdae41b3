// The directories of a TIFF structure (a TIFF file, a camera raw built on
// it, the Exif block of a JPEG): how far its directories, values, strips
// and tiles reach, and the camera, make and date it names.
#pragma once
#include <cstdint>
#include <string>

#include "carve/Recogniser.h"
#include "carve/Window.h"

namespace undelete {

struct TiffWalk {
    bool ok = false;         // the header and every directory followed hold together
    uint64_t end = 0;        // one past the furthest byte reached, from the header
    bool imageData = false;  // strips, tiles or an embedded JPEG stream were met
    bool dng = false;        // a DNGVersion tag was met
    std::string make;        // as stored
    FileMetadata metadata;   // camera (make and model) and the time the picture was taken
};

// Follows the header at `base` of `file`, its chain of directories and
// the SubIFD, Exif, GPS and interoperability directories they point to (at
// most 64 directories); a value or strip that lies past the file's end
// makes it not ok.
TiffWalk walkTiff(Window& file, uint64_t base);

}  // namespace undelete
