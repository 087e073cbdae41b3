#include "scan/BudgetedReader.h"

#include <algorithm>

namespace undelete {

size_t streamBufferBytes(uint64_t length, uint32_t unit) {
    if (unit == 0) return 0;
    if (unit >= kContentPieceBytes) return kContentPieceBytes;
    const uint64_t units = std::max<uint64_t>(1, std::min<uint64_t>((length + unit - 1) / unit,
                                                                    kContentPieceBytes / unit));
    return static_cast<size_t>(units * unit);
}

bool BudgetedReader::read(uint64_t offset, void* into, uint32_t length) {
    if (spent()) return false;
    const bool ok = drive_.readBytes(offset, into, length);
    failuresInARow_ = ok ? 0 : failuresInARow_ + 1;
    return ok;
}

bool BudgetedReader::tryRead(uint64_t offset, void* into, uint32_t length) {
    if (spent()) return false;
    const bool ok = drive_.readBytesQuietly(offset, into, length);
    if (ok) failuresInARow_ = 0;
    return ok;
}

bool BudgetedReader::stream(uint64_t offset, uint64_t length, uint32_t unit, ContentSink& sink,
                            std::vector<uint8_t>& buffer) {
    if (unit == 0) return false;
    // A unit is never read into more than the buffer holds; a unit larger
    // than the buffer is retried in buffer-sized parts.
    if (buffer.empty()) buffer.resize(std::min<size_t>(unit, kContentPieceBytes));
    unit = static_cast<uint32_t>(std::min<size_t>(unit, buffer.size()));
    while (length > 0) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(length, buffer.size()));
        // Whole units are read (a file's last cluster whole), so that the
        // device is asked for whole sectors; only `n` bytes are the file's.
        const auto whole = static_cast<uint32_t>(
            std::min<uint64_t>((uint64_t{n} + unit - 1) / unit * unit, buffer.size()));
        bool ok;
        if (spent()) {
            ok = sink.lost(n);
        } else if (tryRead(offset, buffer.data(), whole)) {
            ok = sink.write(buffer.data(), n);
        } else {
            ok = streamUnits(offset, n, unit, sink, buffer.data());
        }
        if (!ok) return false;
        offset += n;
        length -= n;
    }
    return true;
}

bool BudgetedReader::streamUnits(uint64_t offset, uint32_t length, uint32_t unit,
                                 ContentSink& sink, uint8_t* buffer) {
    while (length > 0) {
        const uint32_t n = std::min(length, unit);
        const bool ok = read(offset, buffer, unit) ? sink.write(buffer, n) : sink.lost(n);
        if (!ok) return false;
        offset += n;
        length -= n;
    }
    return true;
}

}  // namespace undelete
