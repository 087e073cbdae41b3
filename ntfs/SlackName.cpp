#include "ntfs/SlackName.h"

#include <cstring>

#include "common/Bytes.h"

namespace undelete {
namespace {

constexpr size_t kFirstAttributeOffset = 20;
constexpr uint32_t kTypeEnd = 0xFFFFFFFF;
// The removed attribute's header, from its start (where the marker lies).
constexpr size_t kAttrNonResident = 8;
constexpr size_t kAttrNameLength = 9;
constexpr size_t kValueLength = 16;
constexpr size_t kValueOffset = 20;
constexpr size_t kResidentHeaderBytes = 24;
// The $FILE_NAME value.
constexpr size_t kNameLength = 64;
constexpr size_t kNamespace = 65;
constexpr uint8_t kDosNamespace = 2;
constexpr uint8_t kLastNamespace = 3;

// Where the attribute walk meets the end marker; false when it does not.
bool endMarker(const uint8_t* record, size_t recordSize, size_t& at) {
    size_t cursor = le16(record + kFirstAttributeOffset);
    while (fits(cursor, 8, recordSize)) {
        const uint32_t type = le32(record + cursor);
        if (type == kTypeEnd) {
            at = cursor;
            return true;
        }
        const uint32_t length = le32(record + cursor + 4);
        if (type == 0 || length < 16 || !fits(cursor, length, recordSize)) return false;
        cursor += length;
    }
    return false;
}

bool nameUnitsValid(const uint8_t* name, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        const uint16_t unit = le16(name + 2 * i);
        if (unit < 0x20 || unit == '/' || unit == 0xFFFF) return false;
    }
    return true;
}

}  // namespace

bool slackFileName(const uint8_t* bytes, size_t recordSize, MftRecordInfo& info) {
    if (bytes == nullptr || !isMftRecordSize(recordSize)) return false;
    uint8_t record[kMaxMftRecordBytes];
    std::memcpy(record, bytes, recordSize);
    if (!loadRecord(record, recordSize)) return false;
    size_t at = 0;
    if (!endMarker(record, recordSize, at) || !fits(at, kResidentHeaderBytes, recordSize)) {
        return false;
    }
    const uint8_t* header = record + at;
    if (header[kAttrNonResident] != 0 || header[kAttrNameLength] != 0) return false;
    const uint32_t length = le32(header + kValueLength);
    if (le16(header + kValueOffset) != kResidentHeaderBytes) return false;
    if (length <= kFileNameNameOffset || length > kFileNameValueBytes ||
        !fits(at + kResidentHeaderBytes, length, recordSize)) {
        return false;
    }
    const uint8_t* value = header + kResidentHeaderBytes;
    const size_t units = value[kNameLength];
    if (units == 0 || length != kFileNameNameOffset + 2 * units) return false;
    if (value[kNamespace] == kDosNamespace || value[kNamespace] > kLastNamespace) return false;
    if (!nameUnitsValid(value + kFileNameNameOffset, units)) return false;
    info.fileName.fill(0);
    std::memcpy(info.fileName.data(), value, length);
    info.parentReference = le64(value);
    return true;
}

}  // namespace undelete
