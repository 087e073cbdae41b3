// SQLite databases: the header states the page size and, when the count
// is current (its version number matches the change counter), the number
// of pages; the file is their product.
#include <cstring>

#include "carve/Recognisers.h"

namespace undelete {
namespace {

constexpr Signature kSignatures[] = {{0, "SQLite format 3\0", 16}};
constexpr const char* kExtensions[] = {"sqlite", "sqlite3", "db", "db3", nullptr};

HeaderCheck header(const uint8_t* bytes, size_t length) {
    if (length < 108 || std::memcmp(bytes, kSignatures[0].bytes, 16) != 0) return {};
    const uint32_t page = be16(bytes + 16) == 1 ? 65536 : be16(bytes + 16);
    if (page < 512 || (page & (page - 1)) != 0) return {};
    if (bytes[18] < 1 || bytes[18] > 2 || bytes[19] < 1 || bytes[19] > 2 || bytes[21] != 64 ||
        bytes[22] != 32 || bytes[23] != 32) {
        return {};
    }
    const uint32_t pages = be32(bytes + 28);
    if (pages == 0 || be32(bytes + 24) != be32(bytes + 92)) return {};
    // The first page is a table's b-tree page: leaf (13) or interior (5).
    if (bytes[100] != 13 && bytes[100] != 5) return {};
    return {"sqlite", "sqlite", uint64_t{page} * pages};
}

Recognised walk(Window& file, const HeaderCheck& header) {
    Recognised found;
    if (file.has(0, header.size)) found.length = header.size;
    return found;
}

}  // namespace

extern const Recogniser kSqliteRecogniser = {"SQLite",    kSignatures, std::size(kSignatures),
                                             kExtensions, header,      walk};

}  // namespace undelete
