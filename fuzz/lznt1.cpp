// The LZNT1 decoder on input bytes taken as one unit's stored bytes, into
// outputs of a whole unit and of sizes that cut a chunk; then the unit
// layout on extents made from the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scan/Lznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    if (size > 65536) return 0;  // a unit's stored bytes are at most its size
    const std::vector<uint8_t> input(data, data + size);  // exactly the input: reads past it show
    // Made once: each is exactly its length, so a write past it shows.
    static std::vector<uint8_t> outputs[] = {std::vector<uint8_t>(65536),
                                             std::vector<uint8_t>(6000), std::vector<uint8_t>()};
    for (std::vector<uint8_t>& output : outputs) {
        const Lznt1Result result =
            decompressLznt1(input.data(), input.size(), output.data(), output.size());
        if (result.produced > output.size() || result.inputPosition > size) __builtin_trap();
    }
    std::vector<Extent> extents;
    for (size_t i = 0; i + 1 < size && extents.size() < 16; i += 2) {
        const auto kind = static_cast<Extent::Kind>(data[i + 1] % 3);
        extents.push_back({kind, 0, data[i] & 0x1Fu});
    }
    const CompressionUnitLayout layout = compressionUnitLayout(extents.data(), extents.size(), 16);
    if (layout.storedClusters > 16) __builtin_trap();
    return 0;
}
