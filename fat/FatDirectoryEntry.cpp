#include "fat/FatDirectoryEntry.h"

#include <cstring>

#include "common/Bytes.h"
#include "common/Text.h"
#include "fat/OemText.h"

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

constexpr uint8_t kLowerBase = 0x08;
constexpr uint8_t kLowerExtension = 0x10;

std::string lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The 8.3 name from its base and extension bytes, each decoded from the
// OEM code page; `lower` takes the case bits.
std::string joinShortName(const char* base, const char* extension, uint8_t caseBits) {
    std::string name = oemToText(base, paddedFieldLength(base, 8));
    if ((caseBits & kLowerBase) != 0) name = lowered(name);
    const size_t extensionLength = paddedFieldLength(extension, 3);
    if (extensionLength > 0) {
        std::string ext = oemToText(extension, extensionLength);
        name += '.';
        name += (caseBits & kLowerExtension) != 0 ? lowered(ext) : ext;
    }
    return name;
}

// Bytes no 8.3 name holds.
bool isForbiddenNameByte(uint8_t c) {
    static const char kForbidden[] = "\"*+,./:;<=>?[\\]|";
    if (c < 0x20) return true;
    for (const char* f = kForbidden; *f != '\0'; ++f) {
        if (c == static_cast<uint8_t>(*f)) return true;
    }
    return false;
}

}  // namespace

uint32_t entryFirstCluster(const uint8_t* entry) {
    return (static_cast<uint32_t>(le16(entry + kDirFstClusHi)) << 16) | le16(entry + kDirFstClusLo);
}

std::string shortEntryName(const uint8_t* entry) {
    char base[8];
    char extension[3];
    std::memcpy(base, entry + kDirName, sizeof base);
    std::memcpy(extension, entry + kDirExtension, sizeof extension);
    base[0] = '#';
    return joinShortName(base, extension, entry[kDirNtRes]);
}

std::string liveShortEntryName(const uint8_t* entry) {
    char base[8];
    char extension[3];
    std::memcpy(base, entry + kDirName, sizeof base);
    std::memcpy(extension, entry + kDirExtension, sizeof extension);
    if (static_cast<uint8_t>(base[0]) == kEntryE5Stored) base[0] = static_cast<char>(kEntryDeleted);
    return joinShortName(base, extension, entry[kDirNtRes]);
}

uint8_t shortNameChecksum(const uint8_t* name11) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) {
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
    }
    return sum;
}

bool longNameMatches(const uint8_t* entry, uint8_t checksum, uint16_t firstUnit) {
    if (entry[0] != kEntryDeleted) return shortNameChecksum(entry) == checksum;
    // The sum after the first byte is that byte itself, and every later step
    // is a bijection: undoing the last ten steps from the checksum gives it.
    uint8_t sum = checksum;
    for (size_t i = 10; i >= 1; --i) {
        const auto rotated = static_cast<uint8_t>(sum - entry[i]);
        sum = static_cast<uint8_t>((rotated << 1) | (rotated >> 7));
    }
    const uint8_t first = sum;
    // 0x05 stood for 0xE5: no ASCII letter or digit, below.
    if (first != kEntryE5Stored &&
        (first == 0x20 || first == kEntryDeleted || isForbiddenNameByte(first))) {
        return false;
    }
    if (first >= 'a' && first <= 'z') return false;
    // An ASCII letter or digit that starts a long name starts its short name
    // too, in upper case; other first characters are replaced or dropped.
    if ((firstUnit >= '0' && firstUnit <= '9') || (firstUnit >= 'A' && firstUnit <= 'Z')) {
        return first == firstUnit;
    }
    if (firstUnit >= 'a' && firstUnit <= 'z') return first == firstUnit - 'a' + 'A';
    return true;
}

bool looksLikeDirectoryEntry(const uint8_t* entry, uint32_t clusterLimit) {
    const uint8_t mark = entry[0];
    if (isLongNameEntry(entry)) {
        // LDIR_Type and LDIR_FstClusLO are zero; a live ordinal is 1 to 20.
        if (entry[12] != 0 || le16(entry + kDirFstClusLo) != 0) return false;
        const uint8_t ordinal = mark & 0x3F;
        return mark == kEntryDeleted || ((mark & 0x80) == 0 && ordinal >= 1 && ordinal <= 20);
    }
    if ((entry[kDirAttr] & 0xC0) != 0) return false;
    if (entryFirstCluster(entry) >= clusterLimit) return false;
    if (mark == kEntryDot) {
        for (size_t i = 2; i < 11; ++i) {
            if (entry[i] != ' ') return false;
        }
        return entry[1] == ' ' || entry[1] == kEntryDot;
    }
    if (mark != kEntryDeleted && mark != kEntryE5Stored && (mark == ' ' || isForbiddenNameByte(mark))) {
        return false;
    }
    for (size_t i = 1; i < 11; ++i) {
        if (isForbiddenNameByte(entry[i])) return false;
    }
    return true;
}

void takeShortEntryFields(const uint8_t* entry, DeletedEntry& out) {
    out.creationTime = le16(entry + kDirCrtTime);
    out.creationHundredths = entry[kDirCrtTimeTenth];
    out.creationDate = le16(entry + kDirCrtDate);
    out.firstClusterLow = le16(entry + kDirFstClusLo);
    out.firstClusterHigh = le16(entry + kDirFstClusHi);
    out.fileSize = le32(entry + kDirFileSize);
}

void LongNameRun::start(bool deleted, uint8_t checksum) {
    read_ = 0;
    deleted_ = deleted;
    checksum_ = checksum;
}

uint16_t LongNameRun::firstUnit() const {
    if (read_ == 0) return 0;
    // The piece read last holds the start of the name; it is always kept.
    return slots_[(read_ - 1) % kLongNameSlots][0];
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
