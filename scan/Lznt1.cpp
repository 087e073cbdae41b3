#include "scan/Lznt1.h"

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"

namespace undelete {
namespace {

// Chunk header: bit 15 set for a compressed chunk, the low 12 bits the
// count of data bytes after the header, minus one. Bits 12 to 14 hold a
// signature (3) that nothing depends on.
constexpr size_t kChunkHeaderBytes = 2;
constexpr uint16_t kChunkCompressed = 0x8000;
constexpr uint16_t kChunkSizeMask = 0x0FFF;
constexpr size_t kTokenBytes = 2;
constexpr size_t kMinMatch = 3;

struct ChunkFault {
    Lznt1Error error = Lznt1Error::None;
    size_t at = 0;  // offset of the token in the chunk's data
};

// A back-reference token is split into a distance field above a length
// field. The distance field is as wide as the bytes already decoded in the
// chunk need: 4 bits up to 16 of them, one more bit each time the count
// passes 16, 32, 64, ... 2048, so 12 bits from 2049 on.
unsigned lengthBits(size_t decoded) {
    unsigned bits = 12;
    for (size_t p = decoded - 1; p >= 16; p >>= 1) --bits;
    return bits;
}

// Copies one back-reference; `decoded` is at least 1.
ChunkFault copyMatch(uint16_t token, uint8_t* out, size_t room, size_t& decoded) {
    const unsigned bits = lengthBits(decoded);
    const size_t distance = static_cast<size_t>(token >> bits) + 1;
    const size_t length = static_cast<size_t>(token & ((1u << bits) - 1)) + kMinMatch;
    if (distance > decoded) return {Lznt1Error::BackReferenceBeforeChunk, 0};
    if (length > room - decoded) return {Lznt1Error::OutputOverflow, 0};
    if (distance >= length) {
        std::memcpy(out + decoded, out + decoded - distance, length);
        decoded += length;
        return {};
    }
    // Byte by byte: the match overlaps the bytes it produces (a run).
    for (size_t k = 0; k < length; ++k, ++decoded) out[decoded] = out[decoded - distance];
    return {};
}

// Decodes one compressed chunk's `size` data bytes into at most `room`
// bytes of `out`; `decoded` ends as the bytes produced.
ChunkFault decodeChunk(const uint8_t* data, size_t size, uint8_t* out, size_t room,
                       size_t& decoded) {
    decoded = 0;
    size_t i = 0;
    while (i < size) {
        const uint8_t flags = data[i++];
        for (unsigned bit = 0; bit < 8 && i < size; ++bit) {
            if (((flags >> bit) & 1) == 0) {
                if (decoded >= room) return {Lznt1Error::OutputOverflow, i};
                out[decoded++] = data[i++];
                continue;
            }
            if (size - i < kTokenBytes) return {Lznt1Error::TruncatedChunk, i};
            if (decoded == 0) return {Lznt1Error::BackReferenceBeforeChunk, i};
            ChunkFault fault = copyMatch(le16(data + i), out, room, decoded);
            if (fault.error != Lznt1Error::None) return {fault.error, i};
            i += kTokenBytes;
        }
    }
    return {};
}

Lznt1Result failed(Lznt1Error error, size_t produced, size_t inputPosition) {
    Lznt1Result result;
    result.error = error;
    result.produced = produced;
    result.inputPosition = inputPosition;
    return result;
}

}  // namespace

Lznt1Result decompressLznt1(const uint8_t* input, size_t inputLength, uint8_t* output,
                            size_t outputLength) {
    if (outputLength > 0) std::memset(output, 0, outputLength);
    Lznt1Result result;
    size_t in = 0;
    // Each chunk takes at least three input bytes and 4 KiB of output, so
    // the loop ends within both lengths whatever the headers say.
    for (size_t chunk = 0; chunk < outputLength && inputLength - in >= kChunkHeaderBytes;
         chunk += kLznt1ChunkBytes) {
        const uint16_t header = le16(input + in);
        if (header == 0) break;
        const size_t size = static_cast<size_t>(header & kChunkSizeMask) + 1;
        const size_t data = in + kChunkHeaderBytes;
        if (size > inputLength - data) {
            return failed(Lznt1Error::TruncatedChunk, chunk, in);
        }
        const size_t room = std::min(kLznt1ChunkBytes, outputLength - chunk);
        size_t decoded = 0;
        if ((header & kChunkCompressed) != 0) {
            const ChunkFault fault = decodeChunk(input + data, size, output + chunk, room, decoded);
            if (fault.error != Lznt1Error::None) {
                return failed(fault.error, chunk + decoded, data + fault.at);
            }
        } else {
            if (size > room) return failed(Lznt1Error::OutputOverflow, chunk, in);
            std::memcpy(output + chunk, input + data, size);
            decoded = size;
        }
        result.produced = chunk + decoded;
        in = data + size;
    }
    return result;
}

uint64_t compressionUnitClusters(uint8_t exponent, uint32_t bytesPerCluster) {
    if (bytesPerCluster == 0 || exponent >= 32) return 0;
    const uint64_t clusters = uint64_t{1} << exponent;
    return clusters * bytesPerCluster > kMaxCompressionUnitBytes ? 0 : clusters;
}

CompressionUnitLayout compressionUnitLayout(const Extent* extents, size_t count,
                                            uint64_t unitClusters) {
    CompressionUnitLayout layout;
    uint64_t covered = 0;
    uint64_t stored = 0;
    bool sparseSeen = false;
    for (size_t i = 0; i < count; ++i) {
        const Extent& extent = extents[i];
        if (extent.count > unitClusters - covered) return layout;
        covered += extent.count;
        if (extent.count == 0) continue;
        if (extent.kind == Extent::Kind::Missing) return layout;
        if (extent.kind == Extent::Kind::Sparse) {
            sparseSeen = true;
            continue;
        }
        if (sparseSeen) return layout;
        stored += extent.count;
    }
    if (unitClusters == 0 || covered != unitClusters) return layout;
    layout.storedClusters = stored;
    layout.kind = stored == unitClusters ? CompressionUnitKind::Stored
                  : stored == 0          ? CompressionUnitKind::Zeros
                                         : CompressionUnitKind::Compressed;
    return layout;
}

}  // namespace undelete
