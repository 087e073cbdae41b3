// Photoshop documents (PSD, and PSB for large ones): the header, three
// sections each led by its length, then the merged image: raw rows, or
// run-length rows whose byte counts lead it.
#include <cstring>

#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "8BPS\0\x01", 6}, {0, "8BPS\0\x02", 6}};
constexpr const char* kExtensions[] = {"psd", "psb", nullptr};
constexpr uint64_t kHeader = 26;

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < kHeader || std::memcmp(bytes, "8BPS", 4) != 0) return {};
    const uint16_t version = be16(bytes + 4), channels = be16(bytes + 12), depth = be16(bytes + 22),
                   mode = be16(bytes + 24);
    const uint32_t height = be32(bytes + 14), width = be32(bytes + 18);
    const uint32_t most = version == 1 ? 30000 : 300000;
    static const uint8_t kZeros[6] = {};
    if ((version != 1 && version != 2) || std::memcmp(bytes + 6, kZeros, 6) != 0 || channels < 1 ||
        channels > 56 || height < 1 || height > most || width < 1 || width > most ||
        (depth != 1 && depth != 8 && depth != 16 && depth != 32) || mode > 9 || mode == 5 ||
        mode == 6) {
        return {};
    }
    return version == 1 ? HeaderCheck{"psd", "psd", 0} : HeaderCheck{"psb", "psb", 0};
}

Recognised walk(Window& file, const HeaderCheck&) {
    const uint8_t* h = file.at(0, kHeader);
    if (h == nullptr) return {};
    const bool large = be16(h + 4) == 2;
    const uint64_t channels = be16(h + 12), height = be32(h + 14), width = be32(h + 18),
                   depth = be16(h + 22);
    uint64_t at = kHeader;
    for (int section = 0; section < 3; ++section) {
        uint64_t length;
        if (section == 2 && large) {
            if (!file.be64(at, length)) return {};
            at += 8;
        } else {
            uint32_t length32;
            if (!file.be32(at, length32)) return {};
            length = length32;
            at += 4;
        }
        if (!fits(at, length, file.size())) return {};
        at += length;
    }
    uint16_t compression;
    if (!file.be16(at, compression)) return {};
    at += 2;
    const uint64_t rows = channels * height;
    if (compression == 0) {
        at += rows * ((width * depth + 7) / 8);
    } else if (compression == 1) {
        const uint64_t countBytes = large ? 4 : 2;
        uint64_t data = 0;
        for (uint64_t r = 0; r < rows; ++r) {
            uint32_t count;
            uint16_t count16;
            if (large ? !file.be32(at + r * 4, count) : !file.be16(at + r * 2, count16)) return {};
            data += large ? count : count16;
        }
        at += rows * countBytes + data;
    } else {
        return {};  // zip-compressed merged data states no length
    }
    if (!file.has(0, at)) return {};
    Recognised found;
    found.length = at;
    return found;
}

}  // namespace

extern const Recogniser kPsdRecogniser = {"PSD",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
