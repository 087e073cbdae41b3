// The value of an $ATTRIBUTE_LIST attribute: one entry per attribute of a
// file whose attributes outgrew its base record, naming the record that
// holds it (the base or an extension record) and, for a non-resident one,
// the first VCN that record's piece of the run list covers. Pure: the value
// bytes in, the entries out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ntfs/MftRecord.h"

namespace undelete {

// Offsets within an entry (published field names).
constexpr size_t kListEntryType = 0;
constexpr size_t kListEntryLength = 4;
constexpr size_t kListEntryNameLength = 6;  // UTF-16 units
constexpr size_t kListEntryNameOffset = 7;
constexpr size_t kListEntryLowestVcn = 8;
constexpr size_t kListEntryReference = 16;
constexpr size_t kListEntryInstance = 24;
constexpr size_t kListEntryMinBytes = 26;
// Entries are written at 8-byte steps, so none is shorter than this.
constexpr size_t kListEntryStep = 32;

struct AttributeListEntry {
    uint32_t type = 0;
    uint64_t lowestVcn = 0;
    uint64_t reference = 0;  // the record holding the attribute, with its sequence number
    uint16_t instance = 0;   // the attribute's id within that record
    std::u16string name;

    uint64_t record() const { return referenceRecord(reference); }
    uint16_t sequence() const { return referenceSequence(reference); }
};

enum class AttributeListError {
    None,
    ShortEntry,         // the entry's length is below 26 bytes, or fewer bytes are left
    EntryOutsideValue,  // the entry's length reaches past the value
    MisalignedEntry,    // the entry's length is not a multiple of 8
    NameOutsideEntry,   // the name overlaps the fixed fields or reaches past the entry
    BadType,            // type 0 or the end marker: no attribute has it
    NoMemory,
};

struct AttributeListResult {
    AttributeListError error = AttributeListError::None;
    size_t position = 0;  // the offset of the entry at fault

    bool ok() const { return error == AttributeListError::None; }
};

// Reads the entries of the `length` bytes of an attribute list value into
// `entries` (cleared first), in the order they lie; every entry must fill
// the value to its end. On a fault the entries before it are kept and the
// result names the fault and where it lies. At most length / 32 entries.
AttributeListResult parseAttributeList(const uint8_t* value, size_t length,
                                       std::vector<AttributeListEntry>& entries);

}  // namespace undelete
