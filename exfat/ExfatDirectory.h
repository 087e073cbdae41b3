// The walk over one exFAT directory's bytes (its clusters one after
// another): every entry set, live or deleted, with what it says and how far
// it can be trusted; and, for the root, the entries that locate the
// allocation bitmap and the up-case table. Pure: no I/O.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "exfat/ExfatEntry.h"
#include "exfat/ExfatTime.h"

namespace undelete {

// A directory holds at most 256 MiB of entries.
constexpr uint64_t kExfatMaxDirectoryBytes = uint64_t{256} << 20;

// What the walk checks cluster numbers and lengths against.
struct ExfatWalkBounds {
    uint32_t clusterLimit = 2;   // one past the highest cluster of the volume
    uint32_t clusterBytes = 0;
};

struct ExfatEntrySet {
    size_t offset = 0;       // of its File entry within the walked bytes
    uint8_t entries = 0;     // the File entry and its secondaries
    bool deleted = false;    // the File entry's InUse bit is clear
    bool checksumValid = false;  // SetChecksum matches the set as written
    // The clusters lie inside the volume (a run of them when NoFatChain),
    // the valid data length is within the length, and a set with data
    // allows allocation.
    bool extentValid = false;
    uint16_t attributes = 0;
    ExfatTimestamp created;
    ExfatTimestamp modified;
    uint8_t flags = 0;       // GeneralSecondaryFlags of the Stream Extension
    uint8_t nameLength = 0;  // UTF-16 units, 1..255
    uint32_t firstCluster = 0;
    uint64_t validDataLength = 0;
    uint64_t dataLength = 0;
    std::string name;        // in the process's multibyte encoding

    bool isDirectory() const { return (attributes & kExfatAttrDirectory) != 0; }
    bool noFatChain() const { return (flags & kExfatNoFatChain) != 0; }
    bool allocationPossible() const { return (flags & kExfatAllocationPossible) != 0; }
};

// A cluster run named by a root entry.
struct ExfatRootRun {
    bool found = false;
    uint32_t firstCluster = 0;
    uint64_t dataLength = 0;
};

// The root directory's own entries (the first of each kind found).
struct ExfatRootEntries {
    ExfatRootRun bitmap;        // the allocation bitmap of the first FAT
    ExfatRootRun secondBitmap;  // of the second FAT, when there are two
    bool hasLabel = false;
    std::string label;
};

struct ExfatWalkSummary {
    bool endSeen = false;   // an end-of-directory entry stopped the walk
    size_t sets = 0;        // entry sets handed to the visitor
    size_t strays = 0;      // entries neither in a set nor of a kind the walk knows
};

using ExfatSetVisitor = std::function<void(const ExfatEntrySet&)>;

// Walks the entries lying wholly inside `length` bytes until an end mark.
// A File entry starts a set when its SecondaryCount is 2..18, the whole set
// lies inside the bytes, its first secondary is a Stream Extension with a
// NameLength of 1..255, the File Name entries that length needs follow, and
// every secondary of a live set is in use; the visitor then gets it and the
// walk goes on after it. Otherwise the File entry is passed over alone.
// With `root`, the root's bitmap, up-case and label entries are kept there.
ExfatWalkSummary walkExfatDirectory(const uint8_t* bytes, size_t length,
                                    const ExfatWalkBounds& bounds, const ExfatSetVisitor& visit,
                                    ExfatRootEntries* root = nullptr);

// True when `length` bytes hold directory entries: every entry before an
// end mark is of a type the format defines (in use or not), and the first
// one is no end mark. How the clusters of a deleted folder, whose chain is
// gone, are told from file data.
bool readsAsExfatEntries(const uint8_t* bytes, size_t length);

// A set whose directory a walk should enter: a directory whose set checks,
// whose clusters lie inside the volume and whose length is 1 byte to 256 MiB.
bool isWalkableExfatDirectory(const ExfatEntrySet& set);

}  // namespace undelete
