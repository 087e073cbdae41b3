#include "core/RecycleRecord.h"

#include <vector>

#include "common/Bytes.h"
#include "common/Text.h"

namespace undelete {
namespace {

constexpr size_t kVersionAt = 0;
constexpr size_t kSizeAt = 8;
constexpr size_t kDeletedAt = 16;
constexpr size_t kV1PathAt = 24;
constexpr size_t kV1PathUnits = 260;
constexpr size_t kV2LengthAt = 24;
constexpr size_t kV2PathAt = 28;

bool isSeparator(uint16_t unit) { return unit == '\\' || unit == '/'; }

// "C:\a\b.txt" (or "\a\b.txt") in UTF-16 units up to the first zero: split
// into its parts, each converted on its own (a byte of a two-byte character
// of code page 936 can read as a backslash).
bool splitPath(const uint8_t* units, size_t count, RecycleRecord& record) {
    std::vector<uint16_t> path;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t unit = le16(units + 2 * i);
        if (unit == 0) break;
        path.push_back(unit);
    }
    size_t at = 0;
    if (path.size() >= 2 && path[1] == ':') at = 2;  // the drive
    std::vector<std::string> parts;
    while (at < path.size()) {
        size_t end = at;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        if (end > at) {
            std::string part = utf16ToText(path.data() + at, end - at);
            if (part == "." || part == "..") return false;
            parts.push_back(std::move(part));
        }
        at = end + 1;
    }
    if (parts.empty()) return false;
    record.name = parts.back();
    record.path = "/";
    for (size_t i = 0; i + 1 < parts.size(); ++i) record.path += parts[i] + "/";
    return true;
}

}  // namespace

std::optional<RecycleRecord> parseRecycleRecord(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr || length < kV1PathAt) return std::nullopt;
    RecycleRecord record;
    record.size = le64(bytes + kSizeAt);
    record.deletedAt = le64(bytes + kDeletedAt);
    const uint64_t version = le64(bytes + kVersionAt);
    bool read = false;
    if (version == 1 && fits(kV1PathAt, 2 * kV1PathUnits, length)) {
        read = splitPath(bytes + kV1PathAt, kV1PathUnits, record);
    } else if (version == 2 && fits(kV2LengthAt, 4, length)) {
        const uint64_t units = le32(bytes + kV2LengthAt);
        read = fits(kV2PathAt, 2 * units, length) && splitPath(bytes + kV2PathAt, units, record);
    }
    if (!read) return std::nullopt;
    return record;
}

}  // namespace undelete
