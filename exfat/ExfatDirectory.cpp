#include "exfat/ExfatDirectory.h"

#include <algorithm>

#include "common/Bytes.h"
#include "common/Text.h"

namespace undelete {

namespace {

size_t nameEntriesFor(uint8_t nameLength) {
    return (nameLength + kFileNameUnits - 1) / kFileNameUnits;
}

const uint8_t* entryOf(const uint8_t* set, size_t index) { return set + index * kExfatEntrySize; }

// A Stream Extension, the File Name entries its NameLength needs, then any
// secondaries; in a live set all in use. A deleted set's secondaries may be
// in either state: what matters is that they were written as its own.
bool hasSetShape(const uint8_t* set, uint8_t secondaries, bool deleted) {
    const uint8_t* stream = entryOf(set, 1);
    if (exfatWrittenType(stream[0]) != kExfatStreamExtension) return false;
    const uint8_t nameLength = stream[kStreamNameLength];
    if (nameLength == 0) return false;
    const size_t names = nameEntriesFor(nameLength);
    if (1 + names > secondaries) return false;
    for (size_t i = 1; i <= secondaries; ++i) {
        const uint8_t type = entryOf(set, i)[0];
        if (!deleted && !exfatInUse(type)) return false;
        if (i == 1) continue;  // the stream, checked above
        const uint8_t written = exfatWrittenType(type);
        const bool isName = i < 2 + names;
        if (isName ? written != kExfatFileName : (written & kExfatSecondary) == 0) return false;
    }
    return true;
}

// Clusters inside the volume for the data length, valid data within it.
bool extentInside(const ExfatEntrySet& set, const ExfatWalkBounds& bounds) {
    if (set.validDataLength > set.dataLength) return false;
    if (set.dataLength == 0) return true;
    if (!set.allocationPossible() || bounds.clusterBytes == 0) return false;
    if (set.firstCluster < 2 || set.firstCluster >= bounds.clusterLimit) return false;
    const uint64_t clusters = (set.dataLength - 1) / bounds.clusterBytes + 1;
    const uint64_t room = set.noFatChain() ? bounds.clusterLimit - set.firstCluster
                                           : bounds.clusterLimit - 2u;
    return clusters <= room;
}

void takeFields(const uint8_t* set, ExfatEntrySet& out) {
    out.attributes = le16(set + kFileAttributes);
    out.created = {le32(set + kFileCreateTimestamp), set[kFileCreate10msIncrement],
                   set[kFileCreateUtcOffset]};
    out.modified = {le32(set + kFileLastModifiedTimestamp), set[kFileLastModified10msIncrement],
                    set[kFileLastModifiedUtcOffset]};
    const uint8_t* stream = entryOf(set, 1);
    out.flags = stream[kStreamGeneralSecondaryFlags];
    out.nameLength = stream[kStreamNameLength];
    out.validDataLength = le64(stream + kStreamValidDataLength);
    out.firstCluster = le32(stream + kStreamFirstCluster);
    out.dataLength = le64(stream + kStreamDataLength);
}

// The set of the File entry at `offset`, when it has a set's shape and lies
// wholly inside the bytes.
bool takeSet(const uint8_t* bytes, size_t length, size_t offset, const ExfatWalkBounds& bounds,
             ExfatEntrySet& out) {
    const uint8_t* set = bytes + offset;
    const uint8_t secondaries = set[kFileSecondaryCount];
    if (secondaries < kExfatMinSecondaries || secondaries > kExfatMaxSecondaries) return false;
    const size_t entries = size_t{secondaries} + 1;
    if (!fits(offset, entries * kExfatEntrySize, length)) return false;
    const bool deleted = !exfatInUse(set[0]);
    if (!hasSetShape(set, secondaries, deleted)) return false;
    out = ExfatEntrySet{};
    out.offset = offset;
    out.entries = static_cast<uint8_t>(entries);
    out.deleted = deleted;
    takeFields(set, out);
    uint16_t units[kExfatMaxNameUnits];
    for (size_t i = 0; i < out.nameLength; ++i) {
        const uint8_t* entry = entryOf(set, 2 + i / kFileNameUnits);
        units[i] = le16(entry + kFileNameUnitsAt + (i % kFileNameUnits) * 2);
    }
    out.name = utf16ToText(units, out.nameLength);
    out.checksumValid = exfatSetChecksum(set, entries) == le16(set + kFileSetChecksum);
    out.extentValid = extentInside(out, bounds);
    return true;
}

void keepRun(const uint8_t* entry, ExfatRootRun& run) {
    if (run.found) return;
    run.found = true;
    run.firstCluster = le32(entry + kRootEntryFirstCluster);
    run.dataLength = le64(entry + kRootEntryDataLength);
}

void takeRootEntry(const uint8_t* entry, ExfatRootEntries& root) {
    switch (entry[0]) {
    case kExfatAllocationBitmap:
        keepRun(entry, (entry[kBitmapFlags] & 1) != 0 ? root.secondBitmap : root.bitmap);
        break;
    case kExfatVolumeLabel: {
        if (root.hasLabel) break;
        uint16_t units[kExfatMaxLabelUnits];
        const size_t count = std::min<size_t>(entry[kLabelCharacterCount], kExfatMaxLabelUnits);
        for (size_t i = 0; i < count; ++i) units[i] = le16(entry + kLabelUnitsAt + 2 * i);
        root.label = utf16ToText(units, count);
        root.hasLabel = true;
        break;
    }
    default: break;
    }
}

// Types the format defines, in use or not: anything else in a directory is
// not an entry.
bool isKnownType(uint8_t type) {
    switch (exfatWrittenType(type)) {
    case kExfatAllocationBitmap:
    case kExfatUpcaseTable:
    case kExfatVolumeLabel:
    case kExfatFile:
    case 0xA0:  // volume GUID
    case 0xA1:  // TexFAT padding
    case 0xA2:  // access control table
    case kExfatStreamExtension:
    case kExfatFileName:
    case 0xE0:  // vendor extension
    case 0xE1:  // vendor allocation
        return true;
    default: return false;
    }
}

}  // namespace

ExfatWalkSummary walkExfatDirectory(const uint8_t* bytes, size_t length,
                                    const ExfatWalkBounds& bounds, const ExfatSetVisitor& visit,
                                    ExfatRootEntries* root) {
    ExfatWalkSummary summary;
    if (bytes == nullptr) return summary;
    ExfatEntrySet set;
    size_t at = 0;
    while (fits(at, kExfatEntrySize, length)) {
        const uint8_t type = bytes[at];
        if (type == kExfatEndOfDirectory) {
            summary.endSeen = true;
            break;
        }
        if (exfatWrittenType(type) == kExfatFile && takeSet(bytes, length, at, bounds, set)) {
            ++summary.sets;
            if (visit) visit(set);
            at += size_t{set.entries} * kExfatEntrySize;
            continue;
        }
        if (root != nullptr) takeRootEntry(bytes + at, *root);
        if (!isKnownType(type)) ++summary.strays;
        at += kExfatEntrySize;
    }
    return summary;
}

bool readsAsExfatEntries(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr || length < kExfatEntrySize || bytes[0] == kExfatEndOfDirectory) {
        return false;
    }
    for (size_t at = 0; fits(at, kExfatEntrySize, length); at += kExfatEntrySize) {
        if (bytes[at] == kExfatEndOfDirectory) return true;
        if (!isKnownType(bytes[at])) return false;
    }
    return true;
}

bool isWalkableExfatDirectory(const ExfatEntrySet& set) {
    return set.isDirectory() && set.checksumValid && set.extentValid && set.dataLength > 0 &&
           set.dataLength <= kExfatMaxDirectoryBytes;
}

}  // namespace undelete
