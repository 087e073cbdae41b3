// A byte count as people read it: B, KiB, MiB or GiB, one decimal above
// bytes ("512 B", "1.5 KiB", "64.0 MiB", "1862.6 GiB"), with a decimal
// point whatever the locale.
#pragma once
#include <cstdint>
#include <string>

namespace undelete {

// The size of `count` bytes, or of `count` units of `unitBytes` (sectors),
// without wrapping.
std::string binarySizeText(uint64_t count, uint32_t unitBytes = 1);

}  // namespace undelete
