// A scanner's whole content of one item in one buffer: for tests of small
// files only (false for a file over 1 GiB).
#pragma once
#include <cstdint>
#include <new>
#include <vector>

#include "scan/VolumeScanner.h"

namespace undelete {

inline bool readWholeContent(VolumeScanner& scanner, uint32_t index, std::vector<uint8_t>& data) {
    BufferSink sink(data);
    bool ok = false;
    try {
        ok = scanner.readContent(index, sink);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) data.clear();
    return ok;
}

}  // namespace undelete
