// CRC-32 as GPT headers and entry arrays carry it (the reflected 0x04C11DB7
// polynomial of zlib and Ethernet: initial value and final XOR all ones).
#pragma once
#include <cstddef>
#include <cstdint>

namespace undelete {

// The checksum of `length` bytes. To go on over a further piece, pass the
// previous result as `crc`.
uint32_t crc32(const uint8_t* bytes, size_t length, uint32_t crc = 0);

}  // namespace undelete
