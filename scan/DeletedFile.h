// What a scanner knows of one deleted file, in exact values: the texts of
// the file list are formatted from it (RowTexts.h), and the batch output can
// print it as it is.
#pragma once
#include <cstdint>
#include <string>

namespace undelete {

// The creation time as the volume stores it.
struct CreationTime {
    enum class Kind : uint8_t {
        None,      // the volume gives none
        FileTime,  // `value`: 100-nanosecond intervals since 1601-01-01 UTC
        FatLocal,  // `value`: (date word << 16) | time word, local time as stored
    };
    Kind kind = Kind::None;
    uint64_t value = 0;

    static CreationTime fileTime(uint64_t stamp) { return {Kind::FileTime, stamp}; }
    static CreationTime fat(uint16_t date, uint16_t time) {
        return {Kind::FatLocal, (static_cast<uint64_t>(date) << 16) | time};
    }
    uint16_t fatDate() const { return static_cast<uint16_t>(value >> 16); }
    uint16_t fatTime() const { return static_cast<uint16_t>(value); }
};

// How much of a deleted file's content is still its own.
enum class FileState : uint8_t {
    Unknown,      // not checked, or the allocation map could not be read
    Intact,       // none of its clusters is used by a live file
    Partial,      // some are
    Overwritten,  // its first cluster, or most of its data, is in use
    Encrypted,    // its content is encrypted: saved as it lies, not readable as written
};

struct DeletedFile {
    std::string name;  // whole, in the process's multibyte encoding
    uint64_t size = 0;  // bytes
    CreationTime created;
    std::string path;  // its folder inside the volume, when known ("/Docs/"); else empty
    FileState state = FileState::Unknown;
};

}  // namespace undelete
