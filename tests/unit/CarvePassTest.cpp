// The carving pass on hand-built bytes: small files of several kinds laid
// at block boundaries between random bytes (one across the boundary of
// two pieces, one in blocks marked in use), read where they lie and
// through copies: each free one is found once, where it begins, with its
// exact length, and nothing else.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "carve/CarvePass.h"
#include "carve/Recognisers.h"
#include "common/Bytes.h"
#include "common/Crc32.h"

using namespace undelete;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
Bytes be32Bytes(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
Bytes le32Bytes(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
Bytes le16Bytes(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

Bytes pngChunk(const char* type, const Bytes& data) {
    Bytes chunk = be32Bytes(static_cast<uint32_t>(data.size()));
    Bytes body = text(type);
    append(body, data);
    append(chunk, body);
    append(chunk, be32Bytes(crc32(body.data(), body.size())));
    return chunk;
}

// A 1×1 grey PNG: its image data a stored deflate block with its checksum.
Bytes png() {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    append(out, pngChunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0}));
    append(out, pngChunk("IDAT", {0x78, 0x01, 0x01, 0x02, 0x00, 0xFD, 0xFF, 0x00, 0x80, 0x00, 0x82,
                                  0x00, 0x81}));
    append(out, pngChunk("IEND", {}));
    return out;
}

Bytes wav(size_t samples) {
    Bytes data(samples, 0x80);
    Bytes out = text("RIFF");
    append(out, le32Bytes(static_cast<uint32_t>(36 + data.size())));
    append(out, text("WAVEfmt "));
    append(out, le32Bytes(16));
    append(out, {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0});
    append(out, text("data"));
    append(out, le32Bytes(static_cast<uint32_t>(data.size())));
    append(out, data);
    return out;
}

// A stored deflate member: the CRC and length of its text at the end.
Bytes gzip(const std::string& content) {
    Bytes out = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3, 0x01};
    append(out, le16Bytes(static_cast<uint16_t>(content.size())));
    append(out, le16Bytes(static_cast<uint16_t>(~content.size())));
    append(out, text(content));
    append(out, le32Bytes(crc32(reinterpret_cast<const uint8_t*>(content.data()), content.size())));
    append(out, le32Bytes(static_cast<uint32_t>(content.size())));
    return out;
}

Bytes gif() {
    Bytes out = text("GIF89a");
    append(out, {1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF});
    append(out, {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0, 0x3B});
    return out;
}

Bytes lines(size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) s += "line " + std::to_string(i) + " of a plain text file\n";
    return text(s);
}

// The disk without windows: every piece is copied out.
class CopyingSource final : public ByteSource {
public:
    explicit CopyingSource(const Bytes& bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read(uint64_t offset, uint8_t* into, size_t length) override {
        if (!fits(offset, length, bytes_.size())) return false;
        std::memcpy(into, bytes_.data() + offset, length);
        return true;
    }

private:
    const Bytes& bytes_;
};

struct Laid {
    uint64_t offset;
    Bytes bytes;
    std::string kind;
};

TEST(CarvePass, FindsEachFileOnceWithItsExactLengthWithOrWithoutWindows) {
    constexpr uint32_t kBlock = 4096;
    constexpr uint64_t kRegion = 20u << 20;
    Bytes disk(kRegion + 3 * kBlock);
    std::mt19937 random(2024);
    for (uint8_t& b : disk) b = static_cast<uint8_t>(random());
    const uint64_t start = 3 * kBlock;  // the region does not begin at the disk's start
    const uint64_t piece = CarvePass::kPieceBytes;
    std::vector<Laid> files = {
        {start, png(), "png"},
        {start + 5 * kBlock, wav(10000), "wav"},       // three blocks long
        {start + piece - kBlock, wav(300000), "wav"},  // across two pieces
        {start + piece + 80 * kBlock, gzip("compressed? no, stored"), "gz"},
        {start + 2 * piece + 7 * kBlock, gif(), "gif"},
        {start + 2 * piece + 9 * kBlock, lines(40), "text"},
        {start + kRegion - kBlock, png(), "png"},  // the last block
    };
    const Laid inUse = {start + 100 * kBlock, gif(), "gif"};
    for (const Laid& f : files) std::memcpy(disk.data() + f.offset, f.bytes.data(), f.bytes.size());
    std::memcpy(disk.data() + inUse.offset, inUse.bytes.data(), inUse.bytes.size());
    // Text runs to the next byte that is not text: a zero after it.
    disk[files[5].offset + files[5].bytes.size()] = 0;

    MemorySource windows(disk.data(), disk.size());
    CopyingSource copies(disk);
    for (ByteSource* source :
         {static_cast<ByteSource*>(&windows), static_cast<ByteSource*>(&copies)}) {
        std::vector<CarvedFile> found;
        uint64_t lastDone = 0;
        CarveHooks hooks;
        hooks.allocated = [&](uint64_t offset) { return offset == inUse.offset; };
        hooks.progress = [&](uint64_t done, uint64_t total) {
            EXPECT_GE(done, lastDone);
            EXPECT_EQ(total, kRegion);
            lastDone = done;
        };
        hooks.found = [&](const CarvedFile& f) { found.push_back(f); };
        const CarveSummary summary = CarvePass(*source, start, kRegion, kBlock, hooks).run();
        EXPECT_EQ(lastDone, kRegion);
        EXPECT_FALSE(summary.stopped);
        ASSERT_EQ(found.size(), files.size());
        EXPECT_EQ(summary.files, files.size());
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(found[i].offset, files[i].offset) << i;
            EXPECT_EQ(found[i].length, files[i].bytes.size()) << i;
            EXPECT_EQ(found[i].kind, files[i].kind) << i;
        }
    }
}

TEST(CarvePass, EndsWhenStoppedAndSaysSo) {
    Bytes disk(CarvePass::kPieceBytes * 3, 0);
    MemorySource source(disk.data(), disk.size());
    int pieces = 0;
    CarveHooks hooks;
    hooks.stop = [&] { return pieces == 1; };
    hooks.progress = [&](uint64_t, uint64_t) { ++pieces; };
    const CarveSummary summary = CarvePass(source, 0, disk.size(), 512, hooks).run();
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(pieces, 1);
}

}  // namespace

// A cross-reference section that claims more rows than a long counts (the
// fuzzer's find): the title is looked for without an overflowing sum
// (the sanitized build stops on one).
TEST(PdfRecogniser, ACrossReferenceCountAsLargeAsALongGoesIsNoOverflow) {
    const std::string pdf =
        "%PDF-1.4\nxref\n5 99999999999999999999\n0000000000 00000 n \ntrailer\n"
        "<< /Info 6 0 R >>\nstartxref\n9\n%%EOF\n";
    MemorySource source(reinterpret_cast<const uint8_t*>(pdf.data()), pdf.size());
    const Recognised found = recognise(kPdfRecogniser, source);
    EXPECT_EQ(found.length, pdf.size());
}
