// The record Windows writes beside a file it moves into a recycle bin
// ("$I" and the six letters and extension of the moved "$R" file): the
// original path, size and deletion time. Two versions: 1 keeps the path in
// a fixed field of 260 UTF-16 units; 2 gives its length first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace undelete {

// The longest record read: version 2 with the longest path Windows takes.
constexpr size_t kRecycleRecordMost = 28 + 2 * 32767;

struct RecycleRecord {
    uint64_t size = 0;       // the original's bytes
    uint64_t deletedAt = 0;  // FILETIME of the deletion
    // The original, its drive dropped: name ("holiday 2024.jpg") and folder
    // inside the volume ("/Users/Alice/Pictures/").
    std::string name;
    std::string path;
};

// The record in `bytes`, or nothing when they read as neither version, or
// the path names no file (empty, "." or ".." parts, no name).
std::optional<RecycleRecord> parseRecycleRecord(const uint8_t* bytes, size_t length);

}  // namespace undelete
