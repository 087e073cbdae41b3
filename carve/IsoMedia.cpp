// ISO base media files (MP4, MOV, 3GP, M4A, HEIC and kin): a run of
// top-level boxes from the file-type box on, each of a type such a file
// holds at its top, to the first that is not. The kind is told by the
// major brand; the movie header gives the creation time.
#include <cstring>

#include "carve/MetadataText.h"
#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {
    {4, "ftyp", 4}, {4, "moov", 4}, {4, "mdat", 4}, {4, "wide", 4}};
constexpr const char* kExtensions[] = {"mp4", "m4v",  "m4a",  "m4b",  "mov", "qt",   "3gp",
                                       "3g2", "heic", "heif", "avif", "cr3", nullptr};

constexpr const char* kTopLevel[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid",
                                     "meta", "pdin", "moof", "mfra", "sidx", "ssix", "styp",
                                     "emsg", "prft", "pnot", "udta", "junk", "PICT"};

bool topLevel(const uint8_t* type) {
    for (const char* known : kTopLevel) {
        if (std::memcmp(type, known, 4) == 0) return true;
    }
    return false;
}

struct Brand {
    const char* prefix;
    const char* kind;
    const char* extension;
};
constexpr Brand kBrands[] = {
    {"qt  ", "mov", "mov"},   {"M4A ", "m4a", "m4a"},   {"M4B ", "m4a", "m4b"},
    {"M4V", "m4v", "m4v"},    {"3g2", "3g2", "3g2"},    {"3g", "3gp", "3gp"},
    {"heic", "heic", "heic"}, {"heix", "heic", "heic"}, {"hevc", "heic", "heic"},
    {"heim", "heic", "heic"}, {"heis", "heic", "heic"}, {"mif1", "heic", "heic"},
    {"msf1", "heic", "heic"}, {"avif", "avif", "avif"}, {"avis", "avif", "avif"},
    {"crx ", "cr3", "cr3"},
};

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 16) return {};
    const uint32_t size = be32(bytes);
    if (std::memcmp(bytes + 4, "ftyp", 4) != 0) {
        // A QuickTime movie written without a file-type box.
        if (!topLevel(bytes + 4) || (size < 8 && size != 1)) return {};
        return {"mov", "mov", 0};
    }
    if (size < 16 || size > 4096) return {};
    for (int i = 8; i < 12; ++i) {
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) return {};
    }
    for (const Brand& brand : kBrands) {
        if (std::memcmp(bytes + 8, brand.prefix, std::strlen(brand.prefix)) == 0) {
            return {brand.kind, brand.extension, 0};
        }
    }
    return {"mp4", "mp4", 0};
}

// The movie header's creation time: seconds since 1904-01-01 UTC.
void readCreated(Window& file, uint64_t moov, uint64_t end, FileMetadata& metadata) {
    for (uint64_t at = moov + 8; at + 8 <= end;) {
        const uint8_t* box = file.at(at, 28);
        if (box == nullptr || be32(box) < 8) return;
        if (std::memcmp(box + 4, "mvhd", 4) == 0) {
            const uint64_t since1904 = box[8] == 1 ? be64(box + 12) : be32(box + 12);
            constexpr uint64_t k1904To1970 = 2082844800;
            if (since1904 > k1904To1970) {
                metadata.created = isoTimeFromUnix(static_cast<int64_t>(since1904 - k1904To1970));
            }
            return;
        }
        at += be32(box);
    }
}

Recognised walk(Window& file, const HeaderCheck& header) {
    Recognised found;
    bool movie = false;
    uint64_t at = 0;
    for (int boxes = 0; boxes < 100000; ++boxes) {
        const uint8_t* box = file.at(at, 8);
        if (box == nullptr || !topLevel(box + 4)) break;
        // A second file-type box is the next file.
        if (at != 0 && std::memcmp(box + 4, "ftyp", 4) == 0) break;
        char type[4];
        std::memcpy(type, box + 4, 4);
        uint64_t size = be32(box);
        if (size == 1 && (!file.be64(at + 8, size) || size < 16)) break;
        if (size < 8) break;
        if (!file.has(at, size)) return {};  // cut short by the region's end
        if (std::memcmp(type, "moov", 4) == 0) {
            movie = true;
            readCreated(file, at, at + size, found.metadata);
        }
        movie = movie || std::memcmp(type, "meta", 4) == 0 || std::memcmp(type, "moof", 4) == 0;
        at += size;
    }
    if (!movie || at == 0) return {};
    found.length = at;
    (void)header;
    return found;
}

}  // namespace

extern const Recogniser kIsoMediaRecogniser = {"ISO media", kSignatures, std::size(kSignatures),
                                               kExtensions, header,      walk};

}  // namespace undelete
