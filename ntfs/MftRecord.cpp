#include "ntfs/MftRecord.h"

#include <cstring>
#include <new>

#include "common/Bytes.h"

namespace undelete {
namespace {

// FILE record header.
constexpr size_t kUpdateSequenceOffset = 4;
constexpr size_t kUpdateSequenceCount = 6;
constexpr size_t kSequenceNumber = 16;
constexpr size_t kFirstAttributeOffset = 20;
constexpr size_t kFlags = 22;
constexpr size_t kHeaderBytes = 24;
constexpr size_t kAllocatedBytes = 28;
constexpr size_t kBaseReference = 32;
constexpr size_t kRecordNumber = 44;
constexpr size_t kSmallestStride = 512;

// Attribute header.
constexpr size_t kAttrType = 0;
constexpr size_t kAttrLength = 4;
constexpr size_t kAttrNonResident = 8;
constexpr size_t kAttrNameLength = 9;
constexpr size_t kAttrNameOffset = 10;
constexpr size_t kAttrFlags = 12;
constexpr size_t kResidentHeaderBytes = 24;
constexpr size_t kValueLength = 16;
constexpr size_t kValueOffset = 20;
constexpr size_t kNonResidentHeaderBytes = 64;
constexpr size_t kLowestVcn = 16;
constexpr size_t kHighestVcn = 24;
constexpr size_t kRunListOffset = 32;
constexpr size_t kCompressionUnit = 34;
constexpr size_t kAllocatedSize = 40;
constexpr size_t kDataSize = 48;
constexpr size_t kInitializedSize = 56;

constexpr uint32_t kTypeEnd = 0xFFFFFFFF;
// Pieces past VCN 0 kept from one record: a record of 4096 bytes holds
// fewer attributes than this.
constexpr size_t kMaxLaterExtents = 64;
const char16_t kEfsName[] = u"$EFS";
constexpr size_t kNamespaceOffset = 65;
constexpr uint8_t kDosNamespace = 2;

// One attribute of the record, already known to lie inside it.
struct Attribute {
    const uint8_t* start;
    size_t length;
};

// The resident value of `a`, or false when the header or the value would
// reach past the attribute.
bool residentValue(const Attribute& a, const uint8_t*& value, size_t& valueLength) {
    if (a.length < kResidentHeaderBytes) return false;
    const uint32_t size = le32(a.start + kValueLength);
    const uint16_t offset = le16(a.start + kValueOffset);
    if (!fits(offset, size, a.length)) return false;
    value = a.start + offset;
    valueLength = size;
    return true;
}

void takeFileName(const Attribute& a, MftRecordInfo& info) {
    if (a.start[kAttrNonResident] != 0) return;  // the format has no such thing
    const uint8_t* value = nullptr;
    size_t size = 0;
    if (!residentValue(a, value, size)) return;
    if (size <= kNamespaceOffset || size > kFileNameValueBytes) return;
    if (value[kNamespaceOffset] == kDosNamespace) return;
    info.fileName.fill(0);
    std::memcpy(info.fileName.data(), value, size);
    info.parentReference = le64(value);  // size > 65: the reference is there
}

// The runs of a non-resident attribute; false when its header or run list
// offset does not fit the attribute.
bool nonResidentRuns(const Attribute& a, std::vector<RunListNode>& runs) {
    if (a.length < kNonResidentHeaderBytes) return false;
    const uint16_t runList = le16(a.start + kRunListOffset);
    if (runList >= a.length) return false;
    decodeRunList(a.start + runList, a.length - runList, runs);
    return true;
}

void takeNonResidentData(const Attribute& a, MftRecordInfo& info) {
    const uint64_t lowest = a.length >= kNonResidentHeaderBytes ? le64(a.start + kLowestVcn) : 0;
    if (lowest != 0) {
        DataExtent extent;
        if (info.laterExtents.size() >= kMaxLaterExtents || !nonResidentRuns(a, extent.runs)) {
            return;
        }
        extent.lowestVcn = lowest;
        extent.highestVcn = le64(a.start + kHighestVcn);
        info.laterExtents.push_back(std::move(extent));
        return;
    }
    if (!nonResidentRuns(a, info.runs)) return;
    info.highestVcn = le64(a.start + kHighestVcn);
    info.allocatedSize = le64(a.start + kAllocatedSize);
    info.dataSize = le64(a.start + kDataSize);
    info.initializedSize = le64(a.start + kInitializedSize);
    info.dataFlags = le16(a.start + kAttrFlags);
    info.compressionUnit = a.start[kCompressionUnit];
    info.dataLength = -1;
}

void takeAttributeList(const Attribute& a, MftRecordInfo& info) {
    AttributeListSource& list = info.attributeList;
    if (a.start[kAttrNonResident] != 0) {
        if (!nonResidentRuns(a, list.runs)) return;
        list.allocatedSize = le64(a.start + kAllocatedSize);
        list.dataSize = le64(a.start + kDataSize);
        list.nonResident = true;
    } else {
        const uint8_t* value = nullptr;
        size_t size = 0;
        if (!residentValue(a, value, size)) return;
        list.value.assign(value, value + size);
        list.nonResident = false;
    }
    list.present = true;
}

// The attribute's name is `name` (UTF-16, without its terminator).
bool named(const Attribute& a, const char16_t* name, size_t units) {
    const uint16_t offset = le16(a.start + kAttrNameOffset);
    if (a.start[kAttrNameLength] != units || !fits(offset, 2 * units, a.length)) return false;
    for (size_t i = 0; i < units; ++i) {
        if (le16(a.start + offset + 2 * i) != name[i]) return false;
    }
    return true;
}

// Only the unnamed stream is the file's content; named streams (zone
// markers and the like) are passed over.
void takeData(const Attribute& a, MftRecordInfo& info) {
    if (a.start[kAttrNameLength] != 0) return;
    if (a.start[kAttrNonResident] != 0) {
        takeNonResidentData(a, info);
        return;
    }
    const uint8_t* value = nullptr;
    size_t size = 0;
    if (!residentValue(a, value, size) || size > info.residentData.size()) return;
    info.runs.clear();
    info.dataSize = info.allocatedSize = info.initializedSize = info.highestVcn = 0;
    info.dataFlags = le16(a.start + kAttrFlags);
    info.compressionUnit = 0;
    info.residentData.fill(0);
    std::memcpy(info.residentData.data(), value, size);
    info.dataLength = static_cast<int32_t>(size);
}

// Visits the attributes from the first attribute offset until the end
// marker, a type of 0, or a length that is 0 or crosses the record's end.
void walkAttributes(const uint8_t* record, size_t recordSize, MftRecordInfo& info) {
    size_t cursor = le16(record + kFirstAttributeOffset);
    // Each step advances by at least 16 bytes, so the walk ends within
    // recordSize / 16 steps.
    while (fits(cursor, 8, recordSize)) {
        const uint32_t type = le32(record + cursor + kAttrType);
        if (type == kTypeEnd || type == 0) return;
        const uint32_t length = le32(record + cursor + kAttrLength);
        if (length < 16 || !fits(cursor, length, recordSize)) return;
        const Attribute a{record + cursor, length};
        if (type == kTypeFileName) takeFileName(a, info);
        if (type == kTypeData) takeData(a, info);
        if (type == kTypeAttributeList) takeAttributeList(a, info);
        if (type == kTypeLoggedUtilityStream && named(a, kEfsName, 4)) info.efs = true;
        cursor += length;
    }
}

}  // namespace

bool loadRecord(uint8_t* record, size_t recordSize) {
    if (!isMftRecordSize(recordSize) || std::memcmp(record, "FILE", 4) != 0) return false;
    const uint16_t usa = le16(record + kUpdateSequenceOffset);
    const uint16_t entries = le16(record + kUpdateSequenceCount);
    // The number itself, then one entry per stride; a stride is a power of
    // two of at least 512 bytes that divides the record.
    if (entries < 2) return false;
    const size_t strides = entries - 1u;
    const size_t stride = recordSize / strides;
    if (stride < kSmallestStride || stride * strides != recordSize || (stride & (stride - 1)) != 0) {
        return false;
    }
    if (!fits(usa, 2 * size_t{entries}, recordSize)) return false;
    const uint16_t number = le16(record + usa);
    for (size_t i = 0; i < strides; ++i) {
        uint8_t* last = record + (i + 1) * stride - 2;
        if (le16(last) != number) return false;
        put16(last, le16(record + usa + 2 + 2 * i));
    }
    return true;
}

bool peekRecordFlags(const uint8_t* bytes, size_t length, uint16_t& flags) {
    if (bytes == nullptr || length < kHeaderBytes) return false;
    if (std::memcmp(bytes, "FILE", 4) != 0) return false;
    flags = le16(bytes + kFlags);
    return true;
}

bool parseRecord(const uint8_t* bytes, size_t recordSize, bool notInUseOnly, MftRecordInfo& info) {
    if (bytes == nullptr || !isMftRecordSize(recordSize)) return false;
    uint8_t record[kMaxMftRecordBytes];
#if defined(__GNUC__)
    // A record is usually cold: its lines are asked for all at once, not
    // one after another by the copy.
    for (size_t line = 64; line < recordSize; line += 64) __builtin_prefetch(bytes + line);
#endif
    std::memcpy(record, bytes, recordSize);
    if (!loadRecord(record, recordSize)) return false;
    const uint16_t flags = le16(record + kFlags);
    if (notInUseOnly && flags != 0) return false;
    info.flags = flags;
    info.sequenceNumber = le16(record + kSequenceNumber);
    info.baseReference = le64(record + kBaseReference);
    info.allocatedBytes = le32(record + kAllocatedBytes);
    info.numbered = le16(record + kUpdateSequenceOffset) >= kRecordNumber + 4;
    info.recordNumber = info.numbered ? le32(record + kRecordNumber) : 0;
    try {
        walkAttributes(record, recordSize, info);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace undelete
