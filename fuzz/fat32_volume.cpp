// A whole FAT32 scan on a small volume made from the input: a fixed boot
// sector (512-byte sectors and clusters, one FAT of one sector, root at
// cluster 2, a total size far larger than the image, which its cluster
// count makes FAT32), then the input as the FAT and the data area. Every
// listed item is described and its content streamed into a sink that only
// counts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "CountingSink.h"
#include "common/Bytes.h"
#include "fat/FatScanner.h"

namespace {

using namespace undelete;

std::shared_ptr<MemoryImage> volumeFrom(const uint8_t* data, size_t size) {
    auto image = std::make_shared<MemoryImage>();
    constexpr size_t kMaxInput = 256 * 1024;
    const size_t taken = size < kMaxInput ? size : kMaxInput;
    image->bytes.assign(512 + taken, 0);
    uint8_t* boot = image->bytes.data();
    boot[0] = 0xEB;
    put16(boot + 11, 512);
    boot[13] = 1;          // sectors per cluster
    put16(boot + 14, 1);   // reserved sectors: the boot sector
    boot[16] = 1;          // one FAT
    boot[21] = 0xF8;       // media: a fixed disk
    put32(boot + 32, 1u << 20);  // total sectors: far beyond the image
    put32(boot + 36, 1);   // sectors per FAT: 128 entries
    put32(boot + 44, 2);   // root cluster
    std::memcpy(boot + 82, "FAT32   ", 8);
    boot[510] = 0x55;
    boot[511] = 0xAA;
    if (taken) std::memcpy(image->bytes.data() + 512, data, taken);
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::scanVolume<FatScanner>(volumeFrom(data, size), 0x0C);
    return 0;
}
