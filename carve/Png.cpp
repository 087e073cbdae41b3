// PNG: the signature, then chunks (length, type, data, CRC) from the
// header chunk to the end chunk, every CRC checked. A "Title" text chunk
// gives the title.
#include <cstring>

#include "carve/MetadataText.h"
#include "carve/Recognisers.h"
#include "common/Crc32.h"

namespace undelete {
namespace {

// Bytes, not a string: no text for the catalogue's extraction tools.
constexpr char kMagic[] = {'\x89', 'P', 'N', 'G', '\x0D', '\x0A', '\x1A', '\x0A'};
constexpr Signature kSignatures[] = {{0, kMagic, sizeof kMagic}};
constexpr const char* kExtensions[] = {"png", "apng", nullptr};
constexpr uint32_t kMaxChunk = 0x7FFFFFFF;  // the largest length the format allows

bool letters(const uint8_t* type) {
    for (int i = 0; i < 4; ++i) {
        const uint8_t c = type[i] & 0xDF;
        if (c < 'A' || c > 'Z') return false;
    }
    return true;
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 16 || std::memcmp(bytes, kSignatures[0].bytes, 8) != 0) return {};
    if (be32(bytes + 8) != 13 || std::memcmp(bytes + 12, "IHDR", 4) != 0) return {};
    return {"png", "png", 0};
}

// The CRC of a chunk's type and data, read a window at a time.
bool crcHolds(Window& file, uint64_t chunk, uint32_t length) {
    uint32_t crc = 0;
    size_t n = 0;
    const uint64_t end = chunk + 8 + length;
    for (uint64_t at = chunk + 4; const uint8_t* bytes = file.run(at, end, n); at += n) {
        crc = crc32(bytes, n, crc);
    }
    uint32_t stored;
    return file.be32(end, stored) && stored == crc;
}

void readTitle(Window& file, uint64_t chunk, uint32_t length, FileMetadata& metadata) {
    static const char kKey[] = "Title";
    if (length < sizeof kKey || length > 4096) return;
    const uint8_t* data = file.at(chunk + 8, length);
    if (data != nullptr && std::memcmp(data, kKey, sizeof kKey) == 0) {
        metadata.title =
            metadataText(data + sizeof kKey, length - sizeof kKey, TextEncoding::Latin1);
    }
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    for (uint64_t at = 8;;) {
        const uint8_t* chunk = file.at(at, 8);
        if (chunk == nullptr) return {};
        const uint32_t length = be32(chunk);
        char type[4];
        std::memcpy(type, chunk + 4, 4);
        if (length > kMaxChunk || !letters(chunk + 4) || !file.has(at, 12ull + length) ||
            !crcHolds(file, at, length)) {
            return {};
        }
        if (std::memcmp(type, "tEXt", 4) == 0) readTitle(file, at, length, found.metadata);
        at += 12ull + length;
        if (std::memcmp(type, "IEND", 4) == 0) {
            found.length = at;
            return found;
        }
    }
}

}  // namespace

extern const Recogniser kPngRecogniser = {"PNG",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
