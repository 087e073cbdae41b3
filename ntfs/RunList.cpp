#include "common/Bytes.h"
#include "ntfs/MftRecord.h"

namespace undelete {
namespace {

constexpr unsigned kMaxFieldBytes = 8;

uint64_t readUnsigned(const uint8_t* p, unsigned size) {
    uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i) value |= static_cast<uint64_t>(p[i]) << (8 * i);
    return value;
}

// Sign-extended from the top bit of the last byte.
int64_t readSigned(const uint8_t* p, unsigned size) {
    uint64_t value = readUnsigned(p, size);
    if (size < 8 && (p[size - 1] & 0x80) != 0) value |= ~0ULL << (8 * size);
    return static_cast<int64_t>(value);
}

}  // namespace

void decodeRunList(const uint8_t* bytes, size_t length, std::vector<RunListNode>& runs) {
    runs.clear();
    size_t position = 0;
    // Every run takes at least two bytes, so the loop ends within length / 2
    // runs whatever the bytes say.
    while (position < length && bytes[position] != 0) {
        const unsigned lengthBytes = bytes[position] & 0x0F;
        const unsigned offsetBytes = bytes[position] >> 4;
        if (lengthBytes > kMaxFieldBytes || offsetBytes > kMaxFieldBytes) return;
        if (!fits(position + 1, lengthBytes + offsetBytes, length)) return;
        const uint8_t* field = bytes + position + 1;
        RunListNode node;
        node.runLength = readUnsigned(field, lengthBytes);
        node.sparse = offsetBytes == 0;
        node.runOffset = node.sparse ? 0 : readSigned(field + lengthBytes, offsetBytes);
        runs.push_back(node);
        position += 1 + lengthBytes + offsetBytes;
    }
}

}  // namespace undelete
