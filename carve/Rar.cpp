// RAR: blocks from the marker on, each header's CRC checked, each block's
// data passed over by its stated size, to the end-of-archive block (both
// the format of RAR 1.5–4 and that of RAR 5).
#include <cstring>

#include "carve/Recognisers.h"
#include "common/Crc32.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "Rar!\x1A\x07", 6}};
constexpr const char* kExtensions[] = {"rar", nullptr};
constexpr uint32_t kMaxBlocks = 1u << 22;

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 16 || std::memcmp(bytes, "Rar!\x1A\x07", 6) != 0) return {};
    if (bytes[6] == 0x00 || (bytes[6] == 0x01 && bytes[7] == 0x00)) return {"rar", "rar", 0};
    return {};
}

// RAR 1.5–4: CRC16 (the low half of the CRC-32 of what follows it), type,
// flags, header size; with flag 0x8000 a 32-bit data size after them.
uint64_t walkOld(Window& file) {
    bool main = false;
    uint64_t at = 7;
    for (uint32_t n = 0; n < kMaxBlocks; ++n) {
        const uint8_t* h = file.at(at, 7);
        if (h == nullptr) break;
        const uint8_t type = h[2];
        const uint16_t flags = le16(h + 3), size = le16(h + 5), crc = le16(h);
        if (type < 0x72 || type > 0x7B || size < 7) break;
        const uint8_t* whole = file.at(at, size);
        if (whole == nullptr || (crc32(whole + 2, size - 2u) & 0xFFFF) != crc) break;
        uint64_t data = 0;
        if (flags & 0x8000) {
            if (size < 11) break;
            data = le32(whole + 7);
            // A file block's high 32 bits of size (flag 0x100).
            if (type == 0x74 && (flags & 0x100) && size >= 36) {
                data |= uint64_t{le32(whole + 32)} << 32;
            }
        }
        main = main || type == 0x73;
        if (!fits(at, size + data, file.size())) break;
        at += size + data;
        if (type == 0x7B) return main ? at : 0;
    }
    return 0;
}

// A RAR 5 variable-length integer: seven bits a byte, low first.
bool vint(const uint8_t* p, size_t available, uint64_t& value, size_t& used) {
    value = 0;
    for (used = 0; used < available && used < 10; ++used) {
        value |= uint64_t{p[used] & 0x7Fu} << (7 * used);
        if (!(p[used] & 0x80)) {
            ++used;
            return true;
        }
    }
    return false;
}

// RAR 5: CRC-32, header size, then type, flags, the extra and data sizes
// the flags announce.
uint64_t walkFive(Window& file) {
    uint64_t at = 8;
    for (uint32_t n = 0; n < kMaxBlocks; ++n) {
        const uint8_t* h = file.at(at, 7);
        if (h == nullptr) return 0;
        const uint32_t crc = le32(h);
        uint64_t size;
        size_t sizeBytes;
        if (!vint(h + 4, 3, size, sizeBytes) || size == 0 || size > (2u << 20)) return 0;
        const size_t headerBytes = sizeBytes + static_cast<size_t>(size);
        const uint8_t* block = file.at(at + 4, headerBytes);
        if (block == nullptr || crc32(block, headerBytes) != crc) return 0;
        const uint8_t* p = block + sizeBytes;
        size_t left = static_cast<size_t>(size), used;
        uint64_t type, flags, extra = 0, data = 0;
        if (!vint(p, left, type, used)) return 0;
        p += used, left -= used;
        if (!vint(p, left, flags, used)) return 0;
        p += used, left -= used;
        if ((flags & 1) && !vint(p, left, extra, used)) return 0;
        if (flags & 1) p += used, left -= used;
        if ((flags & 2) && !vint(p, left, data, used)) return 0;
        if (type < 1 || type > 5) return 0;
        const uint64_t total = 4 + headerBytes;
        if (data > file.size() || !fits(at, total + data, file.size())) return 0;
        at += total + data;
        if (type == 5) return at;
    }
    return 0;
}

Recognised walk(Window& file, const HeaderCheck&) {
    uint8_t version;
    if (!file.u8(6, version)) return {};
    Recognised found;
    found.length = version == 0 ? walkOld(file) : walkFive(file);
    return found;
}

}  // namespace

extern const Recogniser kRarRecogniser = {"RAR",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
