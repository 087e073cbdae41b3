// A whole exFAT scan on a small volume made from the input, taken as the
// volume from its boot sector on (at most 256 KiB of a 2 MiB volume): the
// walk of every directory, deleted folders included, the allocation bitmap
// and the FAT chains, then every listed file described and its content
// streamed into a sink that only counts. When bit 0 of the input's first
// byte is clear, a fixed boot sector (what mkfs.exfat -c 512 -b 4096 writes
// on 2 MiB) replaces the input's, so that every input reaches the walk.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "CountingSink.h"
#include "common/Bytes.h"
#include "exfat/ExfatScanner.h"

namespace {

using namespace undelete;

void putBootSector(uint8_t* b) {
    std::memset(b, 0, 512);
    b[0] = 0xEB;
    b[1] = 0x76;
    b[2] = 0x90;
    std::memcpy(b + 3, "EXFAT   ", 8);
    put64(b + 72, 4096);   // volume length
    put32(b + 80, 24);     // FAT offset
    put32(b + 84, 32);     // FAT length
    put32(b + 88, 56);     // cluster heap offset
    put32(b + 92, 4040);   // cluster count
    put32(b + 96, 15);     // root directory
    put16(b + 104, 0x0100);
    b[108] = 9;            // 512-byte sectors
    b[109] = 0;            // one sector a cluster
    b[110] = 1;            // one FAT
    b[510] = 0x55;
    b[511] = 0xAA;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto image = fuzz::volumeFromInput(data, size);
    if (size == 0 || (data[0] & 1) == 0) putBootSector(image->bytes.data());
    fuzz::scanVolume<ExfatScanner>(image, 0x07, FileSystemKind::Exfat);
    return 0;
}
