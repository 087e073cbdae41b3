// JPEG: from the start-of-image marker through its segments and
// entropy-coded scans to the matching end-of-image marker. The thumbnail an
// Exif block holds lies inside that block's segment and is passed over
// with it; the Exif block gives the camera and the time taken.
#include <cstring>

#include "carve/Recognisers.h"
#include "carve/TiffDirectories.h"

namespace undelete {
namespace {

// Bytes, not a string: no text for the catalogue's extraction tools.
constexpr char kMagic[] = {'\xFF', '\xD8', '\xFF'};
constexpr Signature kSignatures[] = {{0, kMagic, sizeof kMagic}};
constexpr const char* kExtensions[] = {"jpg", "jpeg", "jpe", "jfif", nullptr};

// A marker that may follow the start of image or any segment: frames,
// tables, scans, restart intervals, application data, comments.
bool segmentMarker(uint8_t m) {
    return (m >= 0xC0 && m <= 0xCF && m != 0xC8) || (m >= 0xDA && m <= 0xFE);
}

bool frameMarker(uint8_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 6 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF) return {};
    if (!segmentMarker(bytes[3]) || be16(bytes + 4) < 2) return {};
    return {"jpeg", "jpg", 0};
}

void readExif(Window& file, uint64_t segment, uint16_t length, FileMetadata& metadata) {
    const uint8_t* bytes = file.at(segment + 4, length - 2u);
    if (bytes == nullptr || length < 2 + 6 + 8 || std::memcmp(bytes, "Exif\0\0", 6) != 0) return;
    MemorySource block(bytes + 6, length - 2u - 6u);
    Window exif(block);
    const TiffWalk tiff = walkTiff(exif, 0);
    if (tiff.ok || !tiff.metadata.empty()) metadata = tiff.metadata;
}

// Coded data holds a 0xFF byte about every 256 bytes: a stretch this long
// without one is no JPEG's (a photo whose later clusters were cleared),
// and looking no further keeps such a beginning from costing a read of
// the rest of the region.
constexpr uint64_t kMaxStretch = 1u << 20;

// The first marker after the entropy-coded data that begins at `at`:
// stuffed zeros, restart markers and fill bytes belong to the data.
uint64_t afterScan(Window& file, uint64_t at) {
    for (;;) {
        at = file.find(at, at + kMaxStretch, 0xFF);
        if (at == Window::kNowhere) return at;
        uint8_t next;
        if (!file.u8(at + 1, next)) return Window::kNowhere;
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
            at += next == 0xFF ? 1 : 2;
            continue;
        }
        return at;
    }
}

Recognised walk(Window& file, const HeaderCheck&) {
    Recognised found;
    bool frame = false, scan = false, exifRead = false;
    uint64_t at = 2;
    for (;;) {
        uint8_t marker;
        if (!file.u8(at, marker) || marker != 0xFF || !file.u8(at + 1, marker)) return {};
        if (marker == 0xFF) {  // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == 0xD9) {
            if (!frame || !scan) return {};
            found.length = at + 2;
            return found;
        }
        if (marker >= 0xD0 && marker <= 0xD7) {
            at += 2;
            continue;
        }
        uint16_t length;
        if (!segmentMarker(marker) || !file.be16(at + 2, length) || length < 2 ||
            !file.has(at + 2, length)) {
            return {};
        }
        frame = frame || frameMarker(marker);
        if (marker == 0xE1 && !exifRead) {
            exifRead = true;
            readExif(file, at, length, found.metadata);
        }
        at += 2u + length;
        if (marker == 0xDA) {
            if (!frame) return {};
            scan = true;
            at = afterScan(file, at);
            if (at == Window::kNowhere) return {};
        }
    }
}

}  // namespace

extern const Recogniser kJpegRecogniser = {"JPEG",      kSignatures, std::size(kSignatures),
                                           kExtensions, header,      walk};

}  // namespace undelete
