#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scan/Lznt1.h"

using namespace undelete;

namespace {

using Bytes = std::vector<uint8_t>;

// A chunk: its header (signature 3 in bits 12-14, bit 15 when compressed,
// the data length minus one below) and its data.
Bytes chunk(bool compressed, const Bytes& data) {
    const auto header = static_cast<uint16_t>((compressed ? 0xB000 : 0x3000) | (data.size() - 1));
    Bytes bytes{static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes token(uint16_t t) { return {static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8)}; }

struct Decoded {
    Lznt1Result result;
    Bytes out;
};

Decoded decode(const Bytes& input, size_t outputLength = 2 * kLznt1ChunkBytes) {
    Decoded d;
    d.out.assign(outputLength, 0xCC);  // what is not decoded must come out zero
    d.result = decompressLznt1(input.data(), input.size(), d.out.data(), d.out.size());
    return d;
}

// Literal-only chunk, then an uncompressed chunk: each fills its own 4 KiB
// of the output, the rest zero; a zero header ends the unit.
TEST(Lznt1, LiteralAndStoredChunksLandOnTheirOwnFourKiB) {
    Bytes stored(kLznt1ChunkBytes);
    for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<uint8_t>(i * 7 + 1);
    const Bytes input = chunk(true, Bytes{0x00} + text("ABCDEFGH") + Bytes{0x00} + text("IJ")) +
                        chunk(false, stored) + Bytes{0, 0} + chunk(false, text("ignored"));
    const Decoded d = decode(input, 3 * kLznt1ChunkBytes);
    ASSERT_TRUE(d.result.ok());
    EXPECT_EQ(d.result.produced, 2 * kLznt1ChunkBytes);
    Bytes expected = text("ABCDEFGHIJ");
    expected.resize(kLznt1ChunkBytes, 0);
    expected = expected + stored;
    expected.resize(3 * kLznt1ChunkBytes, 0);
    EXPECT_EQ(d.out, expected);
}

// The distance field is 4 bits wide up to 16 decoded bytes and widens by one
// at 17, ..., to 12 bits from 2049 on; a wrong split reads another distance
// or length. Hand-computed tokens at both ends of the range.
TEST(Lznt1, BackReferencesFollowTheSplitOfTheirPosition) {
    // 16 literals, then at 16: distance 16, length 3 (12 length bits):
    // 0xF000; at 19: distance 19, length 4 (11 bits): 18 << 11 | 1.
    // Then at 23 an overlapping one: distance 1, length 5: 0x0002.
    const Bytes small = chunk(true, Bytes{0x00} + text("abcdefgh") + Bytes{0x00} +
                                        text("ijklmnop") + Bytes{0x07} + token(0xF000) +
                                        token(18 << 11 | 1) + token(0x0002));
    const Decoded s = decode(small);
    ASSERT_TRUE(s.result.ok());
    EXPECT_EQ(std::string(s.out.begin(), s.out.begin() + 28),
              "abcdefghijklmnop" "abc" "abcd" "ddddd");

    // 2048 literals, then at 2048: distance 2048, length 3 (5 length bits):
    // 2047 << 5; at 2051: distance 2051, length 18 (4 bits): 2050 << 4 | 15.
    Bytes data;
    Bytes expected;
    for (size_t group = 0; group < 256; ++group) {
        data.push_back(0x00);
        for (size_t k = 0; k < 8; ++k) {
            const auto byte = static_cast<uint8_t>((group * 8 + k) * 13 % 251);
            data.push_back(byte);
            expected.push_back(byte);
        }
    }
    data = data + Bytes{0x03} + token(2047 << 5) + token(2050 << 4 | 15);
    expected.insert(expected.end(), expected.begin(), expected.begin() + 3);
    expected.insert(expected.end(), expected.begin(), expected.begin() + 18);
    const Decoded l = decode(chunk(true, data));
    ASSERT_TRUE(l.result.ok());
    EXPECT_EQ(l.result.produced, expected.size());
    EXPECT_EQ(Bytes(l.out.begin(), l.out.begin() + expected.size()), expected);
}

// Faults carry where they were met, and nothing is read or written past
// the buffers (the sanitized build watches that).
TEST(Lznt1, DamagedChunksFailWithTheirPosition) {
    const Bytes good = chunk(true, Bytes{0x00} + text("12345678"));  // 11 bytes
    // A header claiming more bytes than are stored.
    Bytes cut = good + chunk(true, Bytes{0x00} + text("abcdefgh"));
    cut.resize(cut.size() - 3);
    Decoded d = decode(cut);
    EXPECT_EQ(d.result.error, Lznt1Error::TruncatedChunk);
    EXPECT_EQ(d.result.inputPosition, 11u);
    EXPECT_EQ(d.result.produced, kLznt1ChunkBytes);

    // A token whose second byte lies past the chunk's data.
    d = decode(chunk(true, Bytes{0x02, 'a', 0x00}));
    EXPECT_EQ(d.result.error, Lznt1Error::TruncatedChunk);
    EXPECT_EQ(d.result.inputPosition, 4u);

    // A back-reference as the chunk's first token, and one reaching before
    // the chunk (the earlier chunk's bytes are not its to copy).
    d = decode(good + chunk(true, Bytes{0x01} + token(0x0000)));
    EXPECT_EQ(d.result.error, Lznt1Error::BackReferenceBeforeChunk);
    EXPECT_EQ(d.result.inputPosition, 14u);
    d = decode(good + chunk(true, Bytes{0x02} + text("x") + token(1 << 12)));
    EXPECT_EQ(d.result.error, Lznt1Error::BackReferenceBeforeChunk);
    EXPECT_EQ(d.result.produced, kLznt1ChunkBytes + 1);

    // A match past the chunk's 4 KiB (length 4098 at 1), a literal after a
    // match that filled it (length 4095), and a stored chunk larger than a
    // short output.
    d = decode(chunk(true, Bytes{0x02} + text("x") + token(0x0FFF)));
    EXPECT_EQ(d.result.error, Lznt1Error::OutputOverflow);
    d = decode(chunk(true, Bytes{0x02} + text("x") + token(0x0FFC) + text("y")));
    EXPECT_EQ(d.result.error, Lznt1Error::OutputOverflow);
    EXPECT_EQ(d.result.produced, kLznt1ChunkBytes);
    d = decode(chunk(false, Bytes(kLznt1ChunkBytes, 1)), 2048);
    EXPECT_EQ(d.result.error, Lznt1Error::OutputOverflow);
    for (uint8_t byte : d.out) ASSERT_EQ(byte, 0);
}

TEST(Lznt1, UnitLayoutFromItsRuns) {
    const auto layout = [](std::vector<Extent> extents) {
        return compressionUnitLayout(extents.data(), extents.size(), 16);
    };
    const Extent stored = Extent::stored(100, 6), more = Extent::stored(150, 10),
                 hole = Extent::sparse(10);
    EXPECT_EQ(layout({stored, more}).kind, CompressionUnitKind::Stored);
    EXPECT_EQ(layout({stored, hole}).kind, CompressionUnitKind::Compressed);
    EXPECT_EQ(layout({stored, hole}).storedClusters, 6u);
    EXPECT_EQ(layout({Extent::sparse(16)}).kind, CompressionUnitKind::Zeros);
    // Runs short of the unit, past it, a cluster after a sparse run, or
    // clusters whose place is lost.
    EXPECT_EQ(layout({stored}).kind, CompressionUnitKind::Invalid);
    EXPECT_EQ(layout({stored, more, Extent::stored(1, 1)}).kind, CompressionUnitKind::Invalid);
    EXPECT_EQ(layout({hole, stored}).kind, CompressionUnitKind::Invalid);
    EXPECT_EQ(layout({stored, Extent::missing(10)}).kind, CompressionUnitKind::Invalid);

    EXPECT_EQ(compressionUnitClusters(4, 4096), 16u);
    EXPECT_EQ(compressionUnitClusters(4, 65536), 16u);
    EXPECT_EQ(compressionUnitClusters(5, 65536), 0u);   // past the cap
    EXPECT_EQ(compressionUnitClusters(255, 512), 0u);
}

}  // namespace
