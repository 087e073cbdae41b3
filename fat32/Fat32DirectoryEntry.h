// Decoding of the 32-byte FAT directory entries and of long-name runs.
// Pure: callers hand in entries that lie wholly inside their buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "fat32/DeletedEntry.h"

namespace undelete {

constexpr size_t kDirEntrySize = 32;

// Offsets within an entry (published field names).
constexpr size_t kDirName = 0;        // 8 bytes of base name, 3 of extension
constexpr size_t kDirExtension = 8;
constexpr size_t kDirAttr = 11;
constexpr size_t kDirCrtTime = 14;
constexpr size_t kDirCrtDate = 16;
constexpr size_t kDirFstClusHi = 20;
constexpr size_t kDirFstClusLo = 26;
constexpr size_t kDirFileSize = 28;

constexpr uint8_t kEntryEnd = 0x00;
constexpr uint8_t kEntryDeleted = 0xE5;
constexpr uint8_t kEntryDot = 0x2E;
constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kAttrDirectory = 0x10;

constexpr size_t kLongNamePieceUnits = 13;
constexpr size_t kLongNameSlots = 10;

inline bool isLongNameEntry(const uint8_t* entry) { return entry[kDirAttr] == kAttrLongName; }

// First cluster from the high and low words, all 32 bits.
uint32_t entryFirstCluster(const uint8_t* entry);

// A live entry that leads to a directory the walk enters: not a dot entry,
// not a long-name entry, directory bit set.
bool isWalkableSubdirectory(const uint8_t* entry);

// The 8.3 name with '#' for its first character (lost to the deletion
// mark): trailing spaces dropped, a zero byte ends each part, and a dot only
// before a non-empty extension.
std::string shortEntryName(const uint8_t* entry);

// Times, first cluster and size of a short entry.
void takeShortEntryFields(const uint8_t* entry, DeletedEntry& out);

// The pieces of one long name in the order they were read. The format stores
// the last piece first, so the name reads backwards from the last piece
// read. Past ten pieces the earliest read are dropped: the ten kept are the
// start of the name.
class LongNameRun {
public:
    void addPiece(const uint8_t* entry);
    size_t piecesRead() const { return read_; }

    // Joins the kept pieces in reading order (each up to its first zero
    // unit) and converts them to the process's encoding.
    std::string name() const;

private:
    uint16_t slots_[kLongNameSlots][kLongNamePieceUnits] = {};
    size_t read_ = 0;
};

}  // namespace undelete
