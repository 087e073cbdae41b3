#include "ntfs/AttributeList.h"

#include <new>

#include "common/Bytes.h"

namespace undelete {
namespace {

constexpr uint32_t kTypeEnd = 0xFFFFFFFF;

// Checks the entry at `p` (at least 26 bytes lie there) against its own
// length and the bytes left; None when it may be decoded.
AttributeListError checkEntry(const uint8_t* p, size_t left) {
    const uint16_t length = le16(p + kListEntryLength);
    if (length < kListEntryMinBytes) return AttributeListError::ShortEntry;
    if (length > left) return AttributeListError::EntryOutsideValue;
    if (length % 8 != 0) return AttributeListError::MisalignedEntry;
    const size_t nameUnits = p[kListEntryNameLength];
    const size_t nameOffset = p[kListEntryNameOffset];
    if (nameUnits != 0 &&
        (nameOffset < kListEntryMinBytes || !fits(nameOffset, 2 * nameUnits, length))) {
        return AttributeListError::NameOutsideEntry;
    }
    const uint32_t type = le32(p + kListEntryType);
    if (type == 0 || type == kTypeEnd) return AttributeListError::BadType;
    return AttributeListError::None;
}

AttributeListEntry decodeEntry(const uint8_t* p) {
    AttributeListEntry entry;
    entry.type = le32(p + kListEntryType);
    entry.lowestVcn = le64(p + kListEntryLowestVcn);
    entry.reference = le64(p + kListEntryReference);
    entry.instance = le16(p + kListEntryInstance);
    const uint8_t* name = p + p[kListEntryNameOffset];
    for (size_t i = 0; i < p[kListEntryNameLength]; ++i) {
        entry.name.push_back(static_cast<char16_t>(le16(name + 2 * i)));
    }
    return entry;
}

}  // namespace

AttributeListResult parseAttributeList(const uint8_t* value, size_t length,
                                       std::vector<AttributeListEntry>& entries) {
    entries.clear();
    AttributeListResult result;
    size_t position = 0;
    try {
        entries.reserve(length / kListEntryStep);
        // Each entry takes at least 32 bytes (26, rounded to 8), so the walk
        // ends within length / 32 steps.
        while (position < length) {
            const size_t left = length - position;
            const AttributeListError fault = left < kListEntryMinBytes
                                                 ? AttributeListError::ShortEntry
                                                 : checkEntry(value + position, left);
            if (fault != AttributeListError::None) return {fault, position};
            entries.push_back(decodeEntry(value + position));
            position += le16(value + position + kListEntryLength);
        }
    } catch (const std::bad_alloc&) {
        return {AttributeListError::NoMemory, position};
    }
    return result;
}

}  // namespace undelete
