#include "ntfs/NtfsFile.h"

#include <algorithm>
#include <unordered_set>

#include "ntfs/SlackName.h"
#include "ntfs/StreamExtents.h"

namespace undelete {
namespace {

const char16_t kEfsName[] = u"$EFS";

bool hasName(const MftRecordInfo& info) {
    return info.fileName[kFileNameNameOffset] != 0 || info.fileName[kFileNameNameOffset + 1] != 0;
}

// Takes the unnamed $DATA header of `from` (the piece at VCN 0, or a
// resident value) when the file has none yet.
void takeData(MftRecordInfo& from, MftRecordInfo& into, std::vector<DataExtent>& pieces) {
    if (from.dataLength == 0 || into.dataLength != 0) return;
    into.dataLength = from.dataLength;
    into.dataFlags = from.dataFlags;
    into.compressionUnit = from.compressionUnit;
    if (!from.nonResident()) {
        into.residentData = from.residentData;
        return;
    }
    into.dataSize = from.dataSize;
    into.allocatedSize = from.allocatedSize;
    into.initializedSize = from.initializedSize;
    pieces.push_back({0, from.highestVcn, std::move(from.runs)});
}

// Adds `piece` unless the file's runs would grow past kMaxFileRuns.
void takePiece(DataExtent&& piece, size_t& runs, NtfsFile& file, std::vector<DataExtent>& pieces) {
    if (piece.runs.size() > kMaxFileRuns - runs) {
        file.pieces = FilePieces::Unreadable;
        return;
    }
    runs += piece.runs.size();
    pieces.push_back(std::move(piece));
}

// What one extension record adds to the file.
void takeExtension(const uint8_t* raw, size_t recordSize, bool namedHere, MftRecordInfo& extension,
                   NtfsFile& file, std::vector<DataExtent>& pieces, size_t& runs) {
    MftRecordInfo& info = file.info;
    if (!hasName(info)) {
        if (hasName(extension)) {
            info.fileName = extension.fileName;
            info.parentReference = extension.parentReference;
        } else if (namedHere) {
            slackFileName(raw, recordSize, info);
        }
    }
    std::vector<DataExtent> own;
    takeData(extension, info, own);
    for (DataExtent& piece : extension.laterExtents) own.push_back(std::move(piece));
    for (DataExtent& piece : own) takePiece(std::move(piece), runs, file, pieces);
    if (extension.efs) info.efs = true;
}

// The entries whose records can give the file its name or its content.
bool followed(const AttributeListEntry& entry) {
    return entry.type == kTypeFileName || (entry.type == kTypeData && entry.name.empty());
}

void followList(RecordSource& source, NtfsFile& file, std::vector<DataExtent>& pieces) {
    std::vector<uint8_t> value;
    if (!readAttributeListValue(file.info, source, value)) {
        file.pieces = FilePieces::Unreadable;
        return;
    }
    std::vector<AttributeListEntry> entries;
    parseAttributeList(value.data(), value.size(), entries);  // the entries before a fault
    std::unordered_set<uint64_t> nameRecords;
    for (const AttributeListEntry& entry : entries) {
        if (entry.type == kTypeFileName) nameRecords.insert(entry.record());
        if (entry.type == kTypeLoggedUtilityStream && entry.name == kEfsName) file.info.efs = true;
    }
    std::unordered_set<uint64_t> read{file.number};
    size_t runs = 0;
    for (const DataExtent& piece : pieces) runs += piece.runs.size();
    for (const AttributeListEntry& entry : entries) {
        if (!followed(entry) || !read.insert(entry.record()).second) continue;
        const uint8_t* raw = source.rawRecord(entry.record());
        MftRecordInfo extension;
        if (raw == nullptr || !parseRecord(raw, source.recordSize(), false, extension)) {
            file.pieces = FilePieces::Unreadable;
            continue;
        }
        if (!extensionBelongs(extension, file.number, file.info, entry.sequence())) {
            file.pieces = FilePieces::Reused;
            continue;
        }
        takeExtension(raw, source.recordSize(), nameRecords.count(entry.record()) != 0, extension,
                      file, pieces, runs);
    }
}

}  // namespace

bool extensionBelongs(const MftRecordInfo& extension, uint64_t number, const MftRecordInfo& base,
                      uint16_t entrySequence) {
    // A base record's own base reference is 0: never taken for record 0's.
    if (extension.baseReference == 0 || referenceRecord(extension.baseReference) != number) {
        return false;
    }
    const uint16_t baseSequence = referenceSequence(extension.baseReference);
    const uint16_t own = extension.sequenceNumber;
    const bool extensionLive = (extension.flags & kRecordInUse) != 0;
    if ((base.flags & kRecordInUse) != 0) {
        return extensionLive && baseSequence == base.sequenceNumber &&
               (entrySequence == 0 || own == entrySequence);
    }
    return !extensionLive &&
           (baseSequence == base.sequenceNumber ||
            static_cast<uint16_t>(baseSequence + 1) == base.sequenceNumber) &&
           (entrySequence == 0 || own == entrySequence ||
            own == static_cast<uint16_t>(entrySequence + 1));
}

bool readAttributeListValue(const MftRecordInfo& base, RecordSource& source,
                            std::vector<uint8_t>& value) {
    const AttributeListSource& list = base.attributeList;
    if (!list.nonResident) {
        value = list.value;
        return true;
    }
    const bool deleted = (base.flags & kRecordInUse) == 0;
    const uint64_t length =
        std::min(deleted ? std::max(list.allocatedSize, list.dataSize) : list.dataSize,
                 kMaxAttributeListBytes);
    return source.readStream(list.runs, length, value);
}

void completeFile(RecordSource& source, NtfsFile& file) {
    MftRecordInfo& info = file.info;
    if (!info.attributeList.present && info.laterExtents.empty()) return;
    std::vector<DataExtent> pieces;
    if (info.nonResident()) pieces.push_back({0, info.highestVcn, std::move(info.runs)});
    for (DataExtent& piece : info.laterExtents) pieces.push_back(std::move(piece));
    info.laterExtents.clear();
    info.runs.clear();
    if (info.attributeList.present) followList(source, file, pieces);
    if (pieces.empty()) return;
    JoinedRuns joined = joinPieces(pieces);
    info.runs = std::move(joined.runs);
    info.highestVcn = joined.nextVcn == 0 ? 0 : joined.nextVcn - 1;
}

}  // namespace undelete
