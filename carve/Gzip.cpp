// gzip: the member header (its optional fields passed over), the deflate
// stream decoded to its end, then the CRC-32 and length of what it decodes
// to, both checked. The header's original name and time are kept.
#include <cstring>

#include "carve/Inflate.h"
#include "carve/MetadataText.h"
#include "carve/Recognisers.h"

namespace undelete {
namespace {

// Bytes, not a string: no text for the catalogue's extraction tools.
constexpr char kMagic[] = {'\x1F', '\x8B', '\x08'};
constexpr Signature kSignatures[] = {{0, kMagic, sizeof kMagic}};
constexpr const char* kExtensions[] = {"gz", "tgz", "svgz", nullptr};
constexpr uint8_t kHeaderCrc = 2, kExtra = 4, kName = 8, kComment = 16;
constexpr uint64_t kMaxName = 1024;
constexpr uint64_t kMaxComment = 65536;

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 18 || bytes[0] != 0x1F || bytes[1] != 0x8B || bytes[2] != 8 ||
        (bytes[3] & 0xE0) != 0) {
        return {};
    }
    if ((bytes[8] != 0 && bytes[8] != 2 && bytes[8] != 4) || (bytes[9] > 13 && bytes[9] != 255)) {
        return {};
    }
    return {"gz", "gz", 0};
}

// Past a zero-terminated field of at most `most` bytes.
uint64_t afterText(Window& file, uint64_t at, uint64_t most) {
    const uint64_t zero = file.find(at, at + most, 0);
    return zero == Window::kNowhere ? zero : zero + 1;
}

Recognised walk(Window& file, const HeaderCheck&) {
    const uint8_t* h = file.at(0, 10);
    if (h == nullptr) return {};
    const uint8_t flags = h[3];
    const uint32_t mtime = le32(h + 4);
    Recognised found;
    uint64_t at = 10;
    if (flags & kExtra) {
        uint16_t length;
        if (!file.le16(at, length)) return {};
        at += 2u + length;
    }
    if (flags & kName) {
        const uint64_t end = afterText(file, at, kMaxName);
        if (end == Window::kNowhere) return {};
        if (const uint8_t* name = file.at(at, static_cast<size_t>(end - at - 1))) {
            found.metadata.title =
                metadataText(name, static_cast<size_t>(end - at - 1), TextEncoding::Latin1);
        }
        at = end;
    }
    if (flags & kComment) {
        at = afterText(file, at, kMaxComment);
        if (at == Window::kNowhere) return {};
    }
    if (flags & kHeaderCrc) at += 2;
    const uint64_t left = file.size() - std::min(at, file.size());
    const uint64_t most = left > (uint64_t{4} << 30) / 1032 ? uint64_t{4} << 30 : left * 1032;
    const InflateResult stream = inflate(file, at, most);
    uint32_t crc, size;
    if (!stream.ok || !file.le32(stream.end, crc) || !file.le32(stream.end + 4, size) ||
        crc != stream.crc || size != static_cast<uint32_t>(stream.produced)) {
        return {};
    }
    if (mtime != 0) found.metadata.created = isoTimeFromUnix(mtime);
    found.length = stream.end + 8;
    return found;
}

}  // namespace

extern const Recogniser kGzipRecogniser = {"gzip",      kSignatures, std::size(kSignatures),
                                           kExtensions, header,      walk};

}  // namespace undelete
