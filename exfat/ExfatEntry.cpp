#include "exfat/ExfatEntry.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "common/Bytes.h"

namespace undelete {

namespace {

constexpr uint16_t kUpcaseRunMark = 0xFFFF;
constexpr size_t kUpcaseUnits = 65536;

uint16_t rotateAdd16(uint16_t sum, uint8_t byte) {
    return static_cast<uint16_t>(((sum & 1) != 0 ? 0x8000u : 0u) + (sum >> 1) + byte);
}

// Every unit mapped to itself: runs are copied from it whole.
const std::array<uint16_t, kUpcaseUnits>& identity() {
    static const std::array<uint16_t, kUpcaseUnits> table = [] {
        std::array<uint16_t, kUpcaseUnits> units{};
        std::iota(units.begin(), units.end(), uint16_t{0});
        return units;
    }();
    return table;
}

uint16_t upcased(uint16_t unit, const ExfatUpcase& upcase) {
    if (unit < upcase.size()) return upcase[unit];
    if (upcase.empty() && unit >= 'a' && unit <= 'z') return static_cast<uint16_t>(unit - 'a' + 'A');
    return unit;
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

bool expandExfatUpcase(const uint8_t* stored, size_t length, ExfatUpcase& out) {
    out.clear();
    out.reserve(kUpcaseUnits);
    for (size_t at = 0; fits(at, 2, length) && out.size() < kUpcaseUnits; at += 2) {
        const uint16_t unit = le16(stored + at);
        // The last unit of a table may be 0xFFFF's own mapping, with no count after it.
        if (unit != kUpcaseRunMark || !fits(at + 2, 2, length)) {
            out.push_back(unit);
            continue;
        }
        at += 2;
        const size_t from = out.size();
        const size_t to = std::min<size_t>(from + le16(stored + at), kUpcaseUnits);
        out.insert(out.end(), identity().begin() + static_cast<std::ptrdiff_t>(from),
                   identity().begin() + static_cast<std::ptrdiff_t>(to));
    }
    return length % 2 == 0;
}

uint32_t exfatUpcaseChecksum(const uint8_t* stored, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = ((sum & 1) != 0 ? 0x80000000u : 0) + (sum >> 1) + stored[i];
    return sum;
}

uint16_t exfatNameHash(const uint16_t* units, size_t count, const ExfatUpcase& upcase) {
    uint16_t hash = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint16_t unit = upcased(units[i], upcase);
        hash = rotateAdd16(hash, static_cast<uint8_t>(unit & 0xFF));
        hash = rotateAdd16(hash, static_cast<uint8_t>(unit >> 8));
    }
    return hash;
}

}  // namespace undelete
