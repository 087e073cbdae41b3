// The attribute list parser on input bytes taken as one list value.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ntfs/AttributeList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace undelete;
    const std::vector<uint8_t> value(data, data + size);  // exactly the input: reads past it show
    std::vector<AttributeListEntry> entries;
    const AttributeListResult result = parseAttributeList(value.data(), value.size(), entries);
    if (entries.size() > size / kListEntryStep) __builtin_trap();
    if (!result.ok() && result.position >= size) __builtin_trap();
    return 0;
}
