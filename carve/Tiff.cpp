// TIFF and the camera raw formats built on it (Canon CR2, Nikon NEF, Sony
// ARW, Adobe DNG): the file ends where the furthest of its directories,
// values, strips and tiles ends.
#include <cstring>

#include "carve/Recognisers.h"
#include "carve/TiffDirectories.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "II*\0", 4}, {0, "MM\0*", 4}};
constexpr const char* kExtensions[] = {"tif", "tiff", "cr2", "nef", "nrw",
                                       "arw", "srf",  "sr2", "dng", nullptr};

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 16) return {};
    const bool little = std::memcmp(bytes, "II*\0", 4) == 0;
    if (!little && std::memcmp(bytes, "MM\0*", 4) != 0) return {};
    const uint32_t first = little ? le32(bytes + 4) : be32(bytes + 4);
    if (first < 8) return {};
    if (little && std::memcmp(bytes + 8, "CR\x02\0", 4) == 0) return {"cr2", "cr2", 0};
    return {"tiff", "tif", 0};
}

Recognised walk(Window& file, const HeaderCheck& header) {
    const TiffWalk tiff = walkTiff(file, 0);
    if (!tiff.ok || !tiff.imageData) return {};
    Recognised found;
    found.length = tiff.end;
    found.metadata = tiff.metadata;
    if (std::strcmp(header.kind, "cr2") == 0) return found;
    if (tiff.dng) {
        found.kind = found.extension = "dng";
    } else if (tiff.make.compare(0, 5, "NIKON") == 0) {
        found.kind = found.extension = "nef";
    } else if (tiff.make.compare(0, 4, "SONY") == 0) {
        found.kind = found.extension = "arw";
    }
    return found;
}

}  // namespace

extern const Recogniser kTiffRecogniser = {"TIFF",      kSignatures, std::size(kSignatures),
                                           kExtensions, header,      walk};

}  // namespace undelete
