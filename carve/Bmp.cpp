// BMP: the file header states the file's size; the bitmap header must
// describe pixels that fit in it.
#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "BM", 2}};
constexpr const char* kExtensions[] = {"bmp", "dib", nullptr};
constexpr uint32_t kMaxSide = 1u << 16;

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 30 || bytes[0] != 'B' || bytes[1] != 'M') return {};
    const uint32_t size = le32(bytes + 2);
    const uint32_t pixels = le32(bytes + 10);
    const uint32_t info = le32(bytes + 14);
    if (info != 12 && info != 40 && info != 52 && info != 56 && info != 64 && info != 108 &&
        info != 124) {
        return {};
    }
    if (le32(bytes + 6) != 0 || pixels < 14 + info || pixels >= size) return {};
    uint64_t width, height;
    uint16_t planes, depth;
    uint32_t compression = 0;
    if (info == 12) {
        width = le16(bytes + 18);
        height = le16(bytes + 20);
        planes = le16(bytes + 22);
        depth = le16(bytes + 24);
    } else {
        if (length < 54) return {};
        const auto h = static_cast<int32_t>(le32(bytes + 22));
        width = le32(bytes + 18);
        height = static_cast<uint64_t>(h < 0 ? -static_cast<int64_t>(h) : static_cast<int64_t>(h));
        planes = le16(bytes + 26);
        depth = le16(bytes + 28);
        compression = le32(bytes + 30);
    }
    if (planes != 1 || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        return {};
    }
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16 && depth != 24 &&
        depth != 32) {
        return {};
    }
    if (compression > 6) return {};
    // Rows of whole 32-bit words: the file holds them all unless compressed.
    const uint64_t rows = ((width * depth + 31) / 32) * 4 * height;
    if ((compression == 0 || compression == 3 || compression == 6) && pixels + rows > size) {
        return {};
    }
    return {"bmp", "bmp", size};
}

Recognised walk(Window& file, const HeaderCheck& header) {
    Recognised found;
    if (file.has(0, header.size)) found.length = header.size;
    return found;
}

}  // namespace

extern const Recogniser kBmpRecogniser = {"BMP",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
