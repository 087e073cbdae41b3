// The valid data length of an NTFS volume's master file table, asked of a
// mounted volume by the low half of its serial number. Only Windows has
// mounted volumes to ask; elsewhere (and for image files) the scanner takes
// the length from the volume's own $MFT record.
#pragma once
#include <cstdint>
#include <functional>

namespace undelete {

// 0 means no volume with that serial number could be asked.
using MftLengthLookup = std::function<uint64_t(uint32_t serial)>;

#if defined(_WIN32)
// Asks the mounted fixed volumes, drive letter by drive letter.
uint64_t findMountedMftValidDataLength(uint32_t serial);
#endif

}  // namespace undelete
