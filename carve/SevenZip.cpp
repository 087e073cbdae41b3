// 7z: the start header (its CRC checked) tells where the next header lies
// and how long it is; the file ends with it, and its CRC must hold.
#include <cstring>

#include "carve/Recognisers.h"
#include "common/Crc32.h"

namespace undelete {
namespace {

// Bytes, not a string: no text for the catalogue's extraction tools.
constexpr char kMagic[] = {'7', 'z', '\xBC', '\xAF', '\x27', '\x1C'};
constexpr Signature kSignatures[] = {{0, kMagic, sizeof kMagic}};
constexpr const char* kExtensions[] = {"7z", nullptr};
constexpr uint64_t kStartHeader = 32;

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < kStartHeader || std::memcmp(bytes, kSignatures[0].bytes, 6) != 0 ||
        bytes[6] != 0 || crc32(bytes + 12, 20) != le32(bytes + 8)) {
        return {};
    }
    const uint64_t offset = le64(bytes + 12), size = le64(bytes + 20);
    if (size == 0 || offset > (uint64_t{1} << 48) || size > (uint64_t{1} << 32)) return {};
    return {"7z", "7z", kStartHeader + offset + size};
}

Recognised walk(Window& file, const HeaderCheck& header) {
    const uint8_t* start = file.at(0, kStartHeader);
    if (start == nullptr || !file.has(0, header.size)) return {};
    const uint32_t stored = le32(start + 28);
    const uint64_t from = kStartHeader + le64(start + 12);
    uint32_t crc = 0;
    size_t n = 0;
    for (uint64_t at = from; const uint8_t* bytes = file.run(at, header.size, n); at += n) {
        crc = crc32(bytes, n, crc);
    }
    uint8_t first;
    // The next header is a plain one (1) or an encoded one (0x17).
    if (crc != stored || !file.u8(from, first) || (first != 0x01 && first != 0x17)) return {};
    Recognised found;
    found.length = header.size;
    return found;
}

}  // namespace

extern const Recogniser kSevenZipRecogniser = {"7z",        kSignatures, std::size(kSignatures),
                                               kExtensions, header,      walk};

}  // namespace undelete
