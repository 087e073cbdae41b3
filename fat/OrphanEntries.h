// Directory entries in a cluster nothing links to any more: a deleted
// folder's later clusters, whose chain the deletion cleared from the FAT.
// Pure: one cluster's bytes in, its deleted entries out. A cluster is taken
// for directory entries only when every entry before its end mark could
// have been written by a file system, so that file data (text, compressed
// bytes, zeros) is not listed as files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fat/DeletedEntry.h"
#include "fat/FatDirectoryParser.h"

namespace undelete {

struct OrphanCluster {
    bool directory = false;                    // the cluster holds directory entries
    std::vector<DeletedEntry> files;           // its deleted files, in the order they lie
    std::vector<Subdirectory> subdirectories;  // the folders it names, live or deleted
};

// True when the `length` bytes of one cluster hold directory entries of a
// volume whose clusters end before `clusterLimit`: at least one short
// entry; every entry up to the first end mark (a zero first byte) valid
// (long-name pieces with their type, cluster and name units as written,
// live pieces numbered down to 1 with one checksum that matches their short
// entry; short entries with an 8.3 name, attributes a file or folder can
// have, times and dates that exist, and a first cluster inside the volume;
// "." and ".." only as the first two); and every byte after the end mark
// zero, as a folder's new cluster is written.
bool looksLikeDirectoryCluster(const uint8_t* bytes, size_t length, uint32_t clusterLimit);

// The cluster read as entries when it looks like a directory: its deleted
// files (catalogued in `folder`, as the directory walk does it) and the
// folders it names. A long name whose first pieces lie in the cluster
// before keeps only the part read here. May throw std::bad_alloc.
OrphanCluster readOrphanCluster(const uint8_t* bytes, size_t length, uint32_t clusterLimit,
                                uint32_t folder);

// True when the bytes start a directory's first cluster: "." naming
// `cluster` itself, then ".."; `parent` gets the cluster ".." names (0 for
// the root).
bool startsDirectory(const uint8_t* bytes, size_t length, uint32_t cluster, uint32_t& parent);

}  // namespace undelete
