// The walk over the 32-byte entries of one directory cluster: deleted
// entries go into the catalogue, live subdirectories are handed to the
// caller at once, so the catalogue comes out depth-first, pre-order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "fat32/DeletedEntry.h"

namespace undelete {

using SubdirectoryVisitor = std::function<void(uint32_t cluster)>;

// Walks every entry lying wholly inside `length` bytes, stopping at an end
// mark. A long-name run whose short entry would lie beyond `length` yields
// nothing. Growing the catalogue may throw std::bad_alloc.
void parseDirectoryCluster(const uint8_t* buffer, size_t length,
                           std::vector<DeletedEntry>& catalogue,
                           const SubdirectoryVisitor& enterSubdirectory);

}  // namespace undelete
