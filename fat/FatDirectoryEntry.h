// Decoding of the 32-byte FAT directory entries and of long-name runs.
// Pure: callers hand in entries that lie wholly inside their buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "fat/DeletedEntry.h"

namespace undelete {

constexpr size_t kDirEntrySize = 32;

// Offsets within an entry (published field names).
constexpr size_t kDirName = 0;        // 8 bytes of base name, 3 of extension
constexpr size_t kDirExtension = 8;
constexpr size_t kDirAttr = 11;
constexpr size_t kDirNtRes = 12;      // case bits of a short name
constexpr size_t kLdirChksum = 13;    // a long-name piece's checksum of its short name
constexpr size_t kDirCrtTimeTenth = 13;  // a short entry's 10 ms units of its creation
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
// A name of up to 255 units takes up to 20 pieces.
constexpr size_t kLongNameSlots = 20;
// A first byte 0xE5 of a live 8.3 name (a letter of some code pages, a lead
// byte of code page 936) is stored as 0x05, since 0xE5 marks deletion.
constexpr uint8_t kEntryE5Stored = 0x05;

inline bool isLongNameEntry(const uint8_t* entry) { return entry[kDirAttr] == kAttrLongName; }
inline bool isDotEntry(const uint8_t* entry) { return entry[0] == kEntryDot; }
inline bool isDirectoryEntry(const uint8_t* entry) {
    return !isLongNameEntry(entry) && (entry[kDirAttr] & kAttrDirectory) != 0;
}

// First cluster from the high and low words, all 32 bits.
uint32_t entryFirstCluster(const uint8_t* entry);

// The 8.3 name with '#' for its first character (lost to the deletion
// mark): trailing spaces dropped, a zero byte ends each part, a dot only
// before a non-empty extension, and the case bits lowering the base or the
// extension as a listing of the live name did.
std::string shortEntryName(const uint8_t* entry);

// A live short entry's name as a listing shows it: 0x05 stands for a first
// byte 0xE5, and the case bits lower the base or the extension.
std::string liveShortEntryName(const uint8_t* entry);

// The checksum a long-name piece carries of the 11 name bytes of its short
// entry.
uint8_t shortNameChecksum(const uint8_t* name11);

// True when a long-name run whose pieces carry `checksum` belongs to the
// short entry `entry`. A deleted short entry has lost its first byte; the
// checksum then gives exactly one candidate for it, which must be a byte
// an 8.3 name can start with (0x05 included: it stood for 0xE5) and, for a
// long name that starts with an ASCII letter or digit (`firstUnit`), that
// letter in upper case.
bool longNameMatches(const uint8_t* entry, uint8_t checksum, uint16_t firstUnit);

// True when the 32 bytes can be a directory entry of a volume whose
// clusters end before `clusterLimit`: how a deleted folder's later clusters
// are told from file data.
bool looksLikeDirectoryEntry(const uint8_t* entry, uint32_t clusterLimit);

// Times, first cluster and size of a short entry.
void takeShortEntryFields(const uint8_t* entry, DeletedEntry& out);

// The pieces of one long name in the order they were read. The format stores
// the last piece first, so the name reads backwards from the last piece
// read. Past twenty pieces (no name has more) the earliest read are
// dropped: the twenty kept are the start of the name.
class LongNameRun {
public:
    // Starts a new run whose pieces carry `checksum`.
    void start(bool deleted, uint8_t checksum);
    void clear() { read_ = 0; }
    void addPiece(const uint8_t* entry);
    size_t piecesRead() const { return read_; }
    bool deleted() const { return deleted_; }
    uint8_t checksum() const { return checksum_; }
    // The name's first UTF-16 unit (0 for an empty run).
    uint16_t firstUnit() const;

    // Joins the kept pieces in reading order (each up to its first zero
    // unit) and converts them to the process's encoding.
    std::string name() const;

private:
    uint16_t slots_[kLongNameSlots][kLongNamePieceUnits] = {};
    size_t read_ = 0;
    bool deleted_ = false;
    uint8_t checksum_ = 0;
};

}  // namespace undelete
