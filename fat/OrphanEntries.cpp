#include "fat/OrphanEntries.h"

#include "common/Bytes.h"
#include "fat/FatDirectoryEntry.h"

namespace undelete {
namespace {

constexpr size_t kDirWrtTime = 22;
constexpr size_t kDirWrtDate = 24;
constexpr size_t kDirLstAccDate = 18;
constexpr uint8_t kAttrVolumeId = 0x08;
constexpr uint8_t kLastPieceMark = 0x40;

// Where the 13 UTF-16 units of a long-name piece lie.
constexpr size_t kPieceUnitOffsets[kLongNamePieceUnits] = {1,  3,  5,  7,  9,  14, 16,
                                                           18, 20, 22, 24, 28, 30};

bool validTime(uint16_t time) {
    return (time & 0x1F) <= 29 && ((time >> 5) & 0x3F) <= 59 && (time >> 11) <= 23;
}

// A date that exists, or 0 (not kept).
bool validDate(uint16_t date) {
    if (date == 0) return true;
    const unsigned day = date & 0x1F;
    const unsigned month = (date >> 5) & 0x0F;
    return day >= 1 && month >= 1 && month <= 12;
}

bool allZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

// A piece's units: name characters (none below a space), then, after a
// zero unit, only fillers (0xFFFF as the format writes them, or zeros).
bool validPieceUnits(const uint8_t* entry) {
    size_t i = 0;
    for (; i < kLongNamePieceUnits; ++i) {
        const uint16_t unit = le16(entry + kPieceUnitOffsets[i]);
        if (unit == 0) break;
        if (unit < 0x20) return false;
    }
    if (i + 1 >= kLongNamePieceUnits) return true;
    const uint16_t filler = le16(entry + kPieceUnitOffsets[i + 1]);
    if (filler != 0xFFFF && filler != 0) return false;
    for (size_t k = i + 1; k < kLongNamePieceUnits; ++k) {
        if (le16(entry + kPieceUnitOffsets[k]) != filler) return false;
    }
    return true;
}

bool validShortEntry(const uint8_t* entry, size_t index, uint32_t clusterLimit) {
    if (!looksLikeDirectoryEntry(entry, clusterLimit)) return false;
    if (isDotEntry(entry)) return index < 2 && isDirectoryEntry(entry);
    if ((entry[kDirAttr] & kAttrVolumeId) != 0) return false;  // only the root has a label
    if (entryFirstCluster(entry) == 1) return false;
    return validTime(le16(entry + kDirWrtTime)) && validDate(le16(entry + kDirWrtDate)) &&
           validTime(le16(entry + kDirCrtTime)) && validDate(le16(entry + kDirCrtDate)) &&
           validDate(le16(entry + kDirLstAccDate));
}

// The live long-name pieces read so far: numbered down from the piece
// marked last to 1, all with one checksum, then the short entry it is of.
struct LiveRun {
    bool open = false;
    unsigned expected = 0;  // the next piece's number; 0: the short entry is next
    uint8_t checksum = 0;
};

bool takeLongPiece(const uint8_t* entry, size_t index, LiveRun& run) {
    if (!validPieceUnits(entry)) return false;
    // A deleted piece has lost its number: nothing to follow. A live run
    // is written whole, so none may be open around it.
    if (entry[0] == kEntryDeleted) return !run.open;
    const unsigned number = entry[0] & 0x3F;  // 1 to 20: checked before
    const bool last = (entry[0] & kLastPieceMark) != 0;
    if (run.open) {
        if (last || number != run.expected || entry[kLdirChksum] != run.checksum) return false;
    } else if (!last && index != 0) {
        // Only the cluster's first entries may go on with a name begun in
        // the cluster before.
        return false;
    }
    run.open = true;
    run.expected = number - 1;
    run.checksum = entry[kLdirChksum];
    return true;
}

bool takeShortEntry(const uint8_t* entry, size_t index, uint32_t clusterLimit, LiveRun& run) {
    if (!validShortEntry(entry, index, clusterLimit)) return false;
    const bool named = !run.open || (run.expected == 0 && entry[0] != kEntryDeleted &&
                                     shortNameChecksum(entry) == run.checksum);
    run = LiveRun();
    return named;
}

// Walks the entries before the end mark; `end` is where the walk stopped.
bool validEntries(const uint8_t* bytes, size_t length, uint32_t clusterLimit, size_t& end) {
    LiveRun run;
    bool shortSeen = false;
    size_t p = 0;
    for (; fits(p, kDirEntrySize, length) && bytes[p] != kEntryEnd; p += kDirEntrySize) {
        const uint8_t* entry = bytes + p;
        const size_t index = p / kDirEntrySize;
        if (entry[0] == kEntryDeleted && allZero(entry + 1, kDirEntrySize - 1)) continue;
        if (isLongNameEntry(entry)) {
            if (!looksLikeDirectoryEntry(entry, clusterLimit) || !takeLongPiece(entry, index, run)) {
                return false;
            }
            continue;
        }
        if (!takeShortEntry(entry, index, clusterLimit, run)) return false;
        shortSeen = true;
    }
    end = p;
    // A run may go on into the next cluster, not past an end mark.
    return shortSeen && (!run.open || !fits(p, kDirEntrySize, length));
}

}  // namespace

bool looksLikeDirectoryCluster(const uint8_t* bytes, size_t length, uint32_t clusterLimit) {
    size_t end = 0;
    if (!validEntries(bytes, length, clusterLimit, end)) return false;
    return end >= length || allZero(bytes + end, length - end);
}

OrphanCluster readOrphanCluster(const uint8_t* bytes, size_t length, uint32_t clusterLimit,
                                uint32_t folder) {
    OrphanCluster found;
    if (!looksLikeDirectoryCluster(bytes, length, clusterLimit)) return found;
    found.directory = true;
    parseDirectory(bytes, length, folder, found.files,
                   [&](const Subdirectory& sub) { found.subdirectories.push_back(sub); });
    return found;
}

bool startsDirectory(const uint8_t* bytes, size_t length, uint32_t cluster, uint32_t& parent) {
    if (length < 2 * kDirEntrySize) return false;
    const uint8_t* dot = bytes;
    const uint8_t* dotDot = bytes + kDirEntrySize;
    for (size_t i = 1; i < 11; ++i) {
        if (dot[i] != ' ' || (i >= 2 && dotDot[i] != ' ')) return false;
    }
    if (dot[0] != kEntryDot || dotDot[0] != kEntryDot || dotDot[1] != kEntryDot ||
        !isDirectoryEntry(dot) || !isDirectoryEntry(dotDot) || entryFirstCluster(dot) != cluster) {
        return false;
    }
    parent = entryFirstCluster(dotDot);
    return true;
}

}  // namespace undelete
