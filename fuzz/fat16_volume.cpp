// A whole FAT12 or FAT16 scan on a small volume made from the input, taken
// as the volume from its boot sector on (at most 256 KiB): the fixed root
// region, table entries of 12 and 16 bits, every directory, deleted folders
// included, then every listed file described and its content streamed into
// a sink that only counts. When bit 0 of the input's first byte is clear, a
// fixed boot sector (what mkfs.fat -F 16 -s 1 writes on 8 MiB; FAT12 when
// bit 1 is set too, with the total cut to 4,000 sectors) replaces the
// input's, so that every input reaches the walk. (fat32_volume covers
// FAT32.)
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "CountingSink.h"
#include "common/Bytes.h"
#include "fat/FatScanner.h"

namespace {

using namespace undelete;

void putBootSector(uint8_t* b, bool fat12) {
    std::memset(b, 0, 512);
    b[0] = 0xEB;
    b[1] = 0x3C;
    b[2] = 0x90;
    put16(b + 11, 512);
    b[13] = 1;              // one sector a cluster
    put16(b + 14, 1);       // reserved: the boot sector
    b[16] = 2;              // two FATs
    put16(b + 17, 512);     // root entries
    put16(b + 19, fat12 ? 4000 : 16384);
    b[21] = 0xF8;
    put16(b + 22, fat12 ? 12 : 64);
    b[510] = 0x55;
    b[511] = 0xAA;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto image = fuzz::volumeFromInput(data, size);
    if (size == 0 || (data[0] & 1) == 0) {
        putBootSector(image->bytes.data(), size != 0 && (data[0] & 2) != 0);
    }
    fuzz::scanVolume<FatScanner>(image, 0x06, FileSystemKind::Fat16);
    return 0;
}
