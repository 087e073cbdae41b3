// Compressed content (NTFS's LZNT1): the decoding of one compression unit
// and the reading of a unit's layout from its extents, for the one content
// reader. Pure: bytes in, bytes out, no reads outside the buffers handed
// in, whatever the input holds.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scan/FileLayout.h"

namespace undelete {

// A unit is cut into chunks of this many decompressed bytes.
constexpr size_t kLznt1ChunkBytes = 4096;

enum class Lznt1Error {
    None,
    TruncatedChunk,            // a chunk (or a token in it) reaches past the stored bytes
    BackReferenceBeforeChunk,  // a back-reference points before the chunk's first byte
    OutputOverflow,            // a chunk would decode past its 4 KiB or past the output
};

struct Lznt1Result {
    Lznt1Error error = Lznt1Error::None;
    // Decoded bytes from the start of the output: up to the end of the last
    // chunk's data when ok, up to where the fault was met otherwise.
    size_t produced = 0;
    // Where in the input the fault was met: the chunk header or the token.
    size_t inputPosition = 0;

    bool ok() const { return error == Lznt1Error::None; }
};

// Decodes the stored bytes of one compressed unit (`input`, at most the
// unit's size) into `output` (the unit's size: the clusters of a unit times
// the cluster size). Chunk k fills output bytes [4096 k, 4096 (k + 1)); a
// chunk shorter than 4 KiB, a zero chunk header, the end of the input and
// the end of the output end their part, and every output byte not decoded
// is zero. Bytes left once the output is full are ignored.
Lznt1Result decompressLznt1(const uint8_t* input, size_t inputLength, uint8_t* output,
                            size_t outputLength);

// The largest unit accepted: 16 clusters of 64 KiB. Volumes write 16
// clusters of at most 4 KiB; the cap keeps one unit's buffer small
// whatever an attribute header says.
constexpr uint64_t kMaxCompressionUnitBytes = 1 << 20;

// The clusters of one unit, 2^exponent (the exponent is the attribute
// header's compression unit field), or 0 when the unit would be larger than
// the cap or the cluster size is 0.
uint64_t compressionUnitClusters(uint8_t exponent, uint32_t bytesPerCluster);

// How one compression unit of a compressed non-resident stream is kept.
enum class CompressionUnitKind {
    Stored,      // every cluster of the unit is on the disk: plain bytes
    Compressed,  // clusters at the start, sparse ones after: LZNT1 data
    Zeros,       // no cluster on the disk: the unit reads as zeros
    Invalid,     // the runs do not span the unit exactly, or a cluster follows a sparse run
};

struct CompressionUnitLayout {
    CompressionUnitKind kind = CompressionUnitKind::Invalid;
    uint64_t storedClusters = 0;  // the clusters on the disk, at the unit's start
};

// The layout of one unit from the extents that cover it (`count` of them,
// each already cut to the unit, in file order) and the unit's length in
// clusters. A compressed stream's runs always span whole units, so extents
// that end short of the unit (a run list cut off) are Invalid, not taken
// for a compressed tail; so is a unit with a missing extent.
CompressionUnitLayout compressionUnitLayout(const Extent* extents, size_t count,
                                            uint64_t unitClusters);

}  // namespace undelete
