#include "exfat/ExfatEntry.h"

#include "common/Bytes.h"

namespace undelete {

namespace {

uint16_t rotateAdd16(uint16_t sum, uint8_t byte) {
    return static_cast<uint16_t>(((sum & 1) != 0 ? 0x8000u : 0u) + (sum >> 1) + byte);
}

}  // namespace

uint16_t exfatSetChecksum(const uint8_t* set, size_t entries) {
    uint16_t sum = 0;
    for (size_t i = 0; i < entries * kExfatEntrySize; ++i) {
        if (i == kFileSetChecksum || i == kFileSetChecksum + 1) continue;
        const bool typeByte = i % kExfatEntrySize == 0;
        sum = rotateAdd16(sum, typeByte ? exfatWrittenType(set[i]) : set[i]);
    }
    return sum;
}

}  // namespace undelete
