// The walk over the 32-byte entries of one directory: deleted files go into
// the catalogue, subdirectories (live or deleted) are handed to the caller
// where they stand, so the catalogue comes out depth-first, pre-order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fat/DeletedEntry.h"

namespace undelete {

struct Subdirectory {
    uint32_t cluster = 0;
    std::string name;      // as a path shows it: '#' for a deleted 8.3 name's first byte
    bool deleted = false;  // its own entry carries the deletion mark
};

using SubdirectoryVisitor = std::function<void(const Subdirectory&)>;

// Walks every entry lying wholly inside `length` bytes (the directory's
// clusters one after another), stopping at an end mark. A long-name run
// joins the short entry after it only when its checksum matches that entry;
// a stale run is dropped and the short entry keeps its 8.3 name. Every
// catalogued entry gets `folder`. With `liveFiles`, files not marked deleted
// are catalogued too (a folder nothing reaches any more). Growing the
// catalogue may throw std::bad_alloc.
void parseDirectory(const uint8_t* buffer, size_t length, uint32_t folder,
                    std::vector<DeletedEntry>& catalogue,
                    const SubdirectoryVisitor& enterSubdirectory, bool liveFiles = false);

}  // namespace undelete
