#include "fat/FatEntry.h"

#include "common/Bytes.h"

namespace undelete {

uint64_t fatEntryOffset(FatType type, uint32_t cluster) {
    switch (type) {
    case FatType::Fat12: return uint64_t{cluster} + cluster / 2;
    case FatType::Fat16: return uint64_t{cluster} * 2;
    default: return uint64_t{cluster} * 4;
    }
}

size_t fatEntryWidth(FatType type) { return type == FatType::Fat32 ? 4 : 2; }

uint64_t fatTableBytes(FatType type, uint32_t clusterLimit) {
    if (type == FatType::Fat12) return (uint64_t{clusterLimit} * 3 + 1) / 2;
    return uint64_t{clusterLimit} * fatEntryWidth(type);
}

bool fatEntryValue(FatType type, const uint8_t* bytes, size_t length, uint64_t base,
                   uint32_t cluster, uint32_t& value) {
    const uint64_t offset = fatEntryOffset(type, cluster);
    if (bytes == nullptr || offset < base || !fits(offset - base, fatEntryWidth(type), length)) {
        return false;
    }
    const uint8_t* at = bytes + (offset - base);
    switch (type) {
    case FatType::Fat12: {
        // Entry 2k takes the low 12 bits of its two bytes, entry 2k + 1 the high 12.
        const uint16_t pair = le16(at);
        value = (cluster & 1) != 0 ? pair >> 4 : pair & 0x0FFFu;
        return true;
    }
    case FatType::Fat16: value = le16(at); return true;
    default: value = le32(at) & 0x0FFFFFFFu; return true;
    }
}

FatLink fatLinkOf(FatType type, uint32_t value, uint32_t clusterLimit) {
    const uint32_t bad = fatClusterCeiling(type);
    const uint32_t width = type == FatType::Fat12 ? 0x0FFFu : type == FatType::Fat16 ? 0xFFFFu
                                                                                  : 0x0FFFFFFFu;
    const uint32_t masked = value & width;
    if (masked == 0) return FatLink::Free;
    if (masked > bad) return FatLink::End;
    if (masked == bad) return FatLink::Bad;
    if (masked >= 2 && masked < clusterLimit && masked < bad) return FatLink::Next;
    return FatLink::Reserved;
}

}  // namespace undelete
