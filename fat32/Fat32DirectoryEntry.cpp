#include "fat32/Fat32DirectoryEntry.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Text.h"

namespace undelete {

namespace {

// Where the 13 UTF-16 units of a long-name piece lie: LDIR_Name1 (5 units),
// LDIR_Name2 (6) and LDIR_Name3 (2).
constexpr size_t kPieceUnitOffsets[kLongNamePieceUnits] = {1,  3,  5,  7,  9,  14, 16,
                                                           18, 20, 22, 24, 28, 30};

// Length of a space-padded field of an 8.3 name: up to a zero byte, then
// without trailing spaces.
size_t paddedFieldLength(const char* field, size_t width) {
    size_t n = 0;
    while (n < width && field[n] != '\0') ++n;
    while (n > 0 && field[n - 1] == ' ') --n;
    return n;
}

}  // namespace

uint32_t entryFirstCluster(const uint8_t* entry) {
    return (static_cast<uint32_t>(le16(entry + kDirFstClusHi)) << 16) | le16(entry + kDirFstClusLo);
}

bool isWalkableSubdirectory(const uint8_t* entry) {
    const uint8_t attr = entry[kDirAttr];
    return entry[0] != kEntryDot && attr != kAttrLongName && (attr & kAttrDirectory) != 0;
}

std::string shortEntryName(const uint8_t* entry) {
    char base[8];
    char extension[3];
    std::memcpy(base, entry + kDirName, sizeof base);
    std::memcpy(extension, entry + kDirExtension, sizeof extension);
    base[0] = '#';
    const size_t baseLength = paddedFieldLength(base, sizeof base);
    const size_t extensionLength = paddedFieldLength(extension, sizeof extension);
    std::string name(base, baseLength);
    if (extensionLength > 0) {
        name += '.';
        name.append(extension, extensionLength);
    }
    return name;
}

void takeShortEntryFields(const uint8_t* entry, DeletedEntry& out) {
    out.creationTime = le16(entry + kDirCrtTime);
    out.creationDate = le16(entry + kDirCrtDate);
    out.firstClusterLow = le16(entry + kDirFstClusLo);
    out.firstClusterHigh = le16(entry + kDirFstClusHi);
    out.fileSize = le32(entry + kDirFileSize);
}

void LongNameRun::addPiece(const uint8_t* entry) {
    uint16_t* slot = slots_[read_ % kLongNameSlots];
    for (size_t i = 0; i < kLongNamePieceUnits; ++i) slot[i] = le16(entry + kPieceUnitOffsets[i]);
    ++read_;
}

std::string LongNameRun::name() const {
    uint16_t joined[kLongNameSlots * kLongNamePieceUnits];
    size_t length = 0;
    const size_t kept = read_ < kLongNameSlots ? read_ : kLongNameSlots;
    for (size_t k = 1; k <= kept; ++k) {
        const uint16_t* slot = slots_[(read_ - k) % kLongNameSlots];
        for (size_t i = 0; i < kLongNamePieceUnits && slot[i] != 0; ++i) joined[length++] = slot[i];
    }
    return utf16ToText(joined, length);
}

}  // namespace undelete
