// RIFF (WAV, AVI, WebP): the RIFF chunk states its size; the chunks inside
// must fill it exactly, with the ones the form needs. An AVI over 1 GiB
// goes on in further RIFF chunks of form AVIX, which are taken with it.
// An INFO list gives the title.
#include <cstring>

#include "carve/MetadataText.h"
#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "RIFF", 4}};
constexpr const char* kExtensions[] = {"wav", "avi", "webp", nullptr};
constexpr int kMaxChunks = 1 << 20;
constexpr int kMaxExtensions = 4096;
constexpr int kNamedChunks = 64;  // the chunks whose names are kept for the checks

bool fourCc(const uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        if (p[i] < 0x20 || p[i] > 0x7E) return false;
    }
    return true;
}

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 20 || std::memcmp(bytes, "RIFF", 4) != 0 || le32(bytes + 4) < 4) return {};
    const uint64_t size = 8ull + le32(bytes + 4);
    if (std::memcmp(bytes + 8, "WAVE", 4) == 0) return {"wav", "wav", size};
    if (std::memcmp(bytes + 8, "AVI ", 4) == 0) return {"avi", "avi", size};
    if (std::memcmp(bytes + 8, "WEBP", 4) == 0) return {"webp", "webp", size};
    return {};
}

void readInfo(Window& file, uint64_t list, uint32_t length, FileMetadata& metadata) {
    if (length < 4 || length > 65536) return;
    const uint8_t* p = file.at(list + 8, length);
    if (p == nullptr || std::memcmp(p, "INFO", 4) != 0) return;
    for (uint32_t at = 4; at + 8 <= length;) {
        const uint32_t size = le32(p + at + 4);
        if (size > length - at - 8) return;
        if (std::memcmp(p + at, "INAM", 4) == 0) {
            metadata.title = metadataText(p + at + 8, size, TextEncoding::Latin1);
        }
        at += 8 + size + (size & 1);
    }
}

// True when the chunks of the RIFF chunk at `at` fill it to `end`; the
// names of the first ones (and of the lists among them) go into `seen`.
bool chunksFill(Window& file, uint64_t at, uint64_t end, std::string& seen,
                FileMetadata& metadata) {
    at += 12;
    for (int n = 0; at < end; ++n) {
        const uint8_t* chunk = file.at(at, 8);
        if (chunk == nullptr || n == kMaxChunks || !fourCc(chunk)) return false;
        const uint32_t size = le32(chunk + 4);
        const bool list = std::memcmp(chunk, "LIST", 4) == 0;
        if (n < kNamedChunks) seen.append(reinterpret_cast<const char*>(chunk), 4);
        if (list && n < kNamedChunks) {
            const uint8_t* type = file.at(at + 8, 4);
            if (type != nullptr) seen.append(reinterpret_cast<const char*>(type), 4);
            readInfo(file, at, size, metadata);
        }
        at += 8ull + size;
        // A pad byte after an odd size, unless the RIFF chunk ends before it.
        if ((size & 1) && at < end) ++at;
    }
    return at == end;
}

bool has(const std::string& seen, const char* fourCc) {
    for (size_t i = 0; i + 4 <= seen.size(); i += 4) {
        if (seen.compare(i, 4, fourCc) == 0) return true;
    }
    return false;
}

Recognised walk(Window& file, const HeaderCheck& header) {
    Recognised found;
    std::string seen;
    if (!file.has(0, header.size) || !chunksFill(file, 0, header.size, seen, found.metadata)) {
        return {};
    }
    const bool whole = std::strcmp(header.kind, "wav") == 0 ? has(seen, "fmt ") && has(seen, "data")
                       : std::strcmp(header.kind, "avi") == 0
                           ? has(seen, "hdrl") && has(seen, "movi")
                           : has(seen, "VP8 ") || has(seen, "VP8L") || has(seen, "VP8X");
    if (!whole) return {};
    uint64_t end = header.size;
    if (std::strcmp(header.kind, "avi") == 0) {
        for (int n = 0; n < kMaxExtensions; ++n) {
            const uint8_t* next = file.at(end, 12);
            if (next == nullptr || std::memcmp(next, "RIFF", 4) != 0 ||
                std::memcmp(next + 8, "AVIX", 4) != 0) {
                break;
            }
            const uint64_t size = 8ull + le32(next + 4);
            std::string more;
            FileMetadata none;
            if (!file.has(end, size) || !chunksFill(file, end, end + size, more, none)) break;
            end += size;
        }
    }
    found.length = end;
    return found;
}

}  // namespace

extern const Recogniser kRiffRecogniser = {"RIFF",      kSignatures, std::size(kSignatures),
                                           kExtensions, header,      walk};

}  // namespace undelete
