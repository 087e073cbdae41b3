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
        // `value`: (hundredths << 32) | (date word << 16) | time word, local
        // time as stored; hundredths are the 10 ms units (0 to 199) the
        // FAT family adds to the time word's even second.
        FatLocal,
    };
    Kind kind = Kind::None;
    uint64_t value = 0;

    static CreationTime fileTime(uint64_t stamp) { return {Kind::FileTime, stamp}; }
    static CreationTime fat(uint16_t date, uint16_t time, uint8_t hundredths = 0) {
        return {Kind::FatLocal, (static_cast<uint64_t>(hundredths) << 32) |
                                    (static_cast<uint64_t>(date) << 16) | time};
    }
    uint16_t fatDate() const { return static_cast<uint16_t>(value >> 16); }
    uint16_t fatTime() const { return static_cast<uint16_t>(value); }
    uint8_t fatHundredths() const { return static_cast<uint8_t>(value >> 32); }
    // The second the time word's even one and the hundredths make (an odd
    // second is stored as the even one before it and 100 hundredths);
    // hundredths past 199 are no time and add nothing.
    int fatSecond() const {
        return (fatTime() & 0x1F) * 2 + (fatHundredths() < 200 ? fatHundredths() / 100 : 0);
    }
};

// How much of a deleted file's content is still its own.
enum class FileState : uint8_t {
    Unknown,      // not checked, or the allocation map could not be read
    Intact,       // none of its clusters is used by a live file
    Partial,      // some are
    Overwritten,  // its first cluster, or most of its data, is in use
    Encrypted,    // its content is encrypted: saved as it lies, not readable as written
};

// Where a file was found: reached from the volume's live folders or table;
// in a folder no live folder reaches; an NTFS record outside the table; or
// recognised by its content alone.
enum class FileOrigin : uint8_t { Table, Orphan, Search, Carved };

struct DeletedFile {
    std::string name;  // whole, in the process's multibyte encoding
    uint64_t size = 0;  // bytes
    CreationTime created;
    std::string path;  // its folder inside the volume, when known ("/Docs/"); else empty
    FileState state = FileState::Unknown;
    FileOrigin origin = FileOrigin::Table;
    // When the user deleted it, as a recycle bin's record tells
    // (100-nanosecond intervals since 1601-01-01 UTC); 0: not known.
    uint64_t deletedAt = 0;
};

}  // namespace undelete
