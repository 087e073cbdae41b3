// A deflate decoder over a Window: finds where a stream ends and what it
// decodes to (length and CRC-32), streaming the output through a 32 KiB
// ring; gzip members and ZIP entries without stated sizes end only where
// their stream says.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "carve/Window.h"

namespace undelete {

struct InflateResult {
    bool ok = false;
    uint64_t end = 0;       // the offset just past the stream's last byte
    uint64_t produced = 0;  // bytes it decodes to
    uint32_t crc = 0;       // their CRC-32
};

// Decoded bytes, in order, a piece at a time; false stops the decoding.
using InflateOutput = std::function<bool(const uint8_t* bytes, size_t length)>;

// Decodes the stream that begins at `offset` of `in`. Not ok on a stream
// that breaks the format, on a read that fails or runs past the end, on
// more than `maxOutput` bytes of output, or when `output` says stop.
InflateResult inflate(Window& in, uint64_t offset, uint64_t maxOutput,
                      const InflateOutput& output = {});

}  // namespace undelete
