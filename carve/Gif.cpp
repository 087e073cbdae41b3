// GIF: the screen descriptor and its colour table, then extension and
// image blocks, each a run of sub-blocks, to the trailer byte.
#include <cstring>

#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "GIF87a", 6}, {0, "GIF89a", 6}};
constexpr const char* kExtensions[] = {"gif", nullptr};

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 13 ||
        (std::memcmp(bytes, "GIF87a", 6) != 0 && std::memcmp(bytes, "GIF89a", 6) != 0)) {
        return {};
    }
    if (le16(bytes + 6) == 0 || le16(bytes + 8) == 0) return {};
    return {"gif", "gif", 0};
}

// Past the sub-blocks that begin at `at` (each a length byte and as many
// bytes, the last of length zero); kNowhere when they run off the end.
uint64_t afterSubBlocks(Window& file, uint64_t at) {
    for (;;) {
        uint8_t length;
        if (!file.u8(at, length)) return Window::kNowhere;
        ++at;
        if (length == 0) return at;
        at += length;
    }
}

uint64_t colourTable(uint8_t flags) { return flags & 0x80 ? 3ull << ((flags & 7) + 1) : 0; }

Recognised walk(Window& file, const HeaderCheck&) {
    uint8_t flags;
    if (!file.u8(10, flags)) return {};
    uint64_t at = 13 + colourTable(flags);
    bool image = false;
    for (;;) {
        uint8_t block;
        if (!file.u8(at, block)) return {};
        if (block == 0x3B) {
            if (!image) return {};
            Recognised found;
            found.length = at + 1;
            return found;
        }
        if (block == 0x21) {
            at = afterSubBlocks(file, at + 2);
        } else if (block == 0x2C) {
            const uint8_t* descriptor = file.at(at, 11);
            if (descriptor == nullptr) return {};
            const uint64_t table = colourTable(descriptor[9]);
            uint8_t codeSize;
            if (!file.u8(at + 10 + table, codeSize) || codeSize < 1 || codeSize > 12) return {};
            at = afterSubBlocks(file, at + 11 + table);
            image = true;
        } else {
            return {};
        }
        if (at == Window::kNowhere) return {};
    }
}

}  // namespace

extern const Recogniser kGifRecogniser = {"GIF",       kSignatures, std::size(kSignatures),
                                          kExtensions, header,      walk};

}  // namespace undelete
