#include "carve/VorbisComment.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "carve/MetadataText.h"

namespace undelete {
namespace {

bool named(const uint8_t* p, uint32_t length, const char* name, size_t& valueAt) {
    size_t i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i >= length || std::toupper(p[i]) != name[i]) return false;
    }
    if (i >= length || p[i] != '=') return false;
    valueAt = i + 1;
    return true;
}

}  // namespace

void readVorbisComment(const uint8_t* bytes, size_t length, FileMetadata& metadata) {
    if (length < 8) return;
    const uint32_t vendor = le32(bytes);
    if (vendor > length - 8) return;
    size_t at = 4 + size_t{vendor};
    const uint32_t count = le32(bytes + at);
    at += 4;
    for (uint32_t i = 0; i < count && at + 4 <= length; ++i) {
        const uint32_t size = le32(bytes + at);
        at += 4;
        if (size > length - at) return;
        const uint8_t* p = bytes + at;
        size_t value;
        if (named(p, size, "TITLE", value)) {
            metadata.title = metadataText(p + value, size - value, TextEncoding::Utf8);
        } else if (named(p, size, "DATE", value) && size - value >= 10) {
            const std::string t(reinterpret_cast<const char*>(p + value), 10);
            metadata.created = isoTime(std::atoi(t.c_str()), std::atoi(t.c_str() + 5),
                                       std::atoi(t.c_str() + 8), 0, 0, 0);
            if (!metadata.created.empty()) metadata.created.resize(10);  // a day, no time
        }
        at += size;
    }
}

}  // namespace undelete
