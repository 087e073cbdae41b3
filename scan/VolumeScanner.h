// The interface every file-system scanner implements: it builds a
// catalogue of candidate items, describes each as a deleted file
// (DeletedFile.h), tells where its content lies (FileLayout.h) and streams
// that content into a sink.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "partition/PartitionRecord.h"
#include "scan/ClusterMap.h"
#include "scan/ContentSink.h"
#include "scan/DeletedFile.h"
#include "scan/FileLayout.h"

namespace undelete {

class VolumeScanner {
public:
    VolumeScanner() = default;
    virtual ~VolumeScanner() = default;
    VolumeScanner(const VolumeScanner&) = delete;
    VolumeScanner& operator=(const VolumeScanner&) = delete;

    // Opens the disk, reads the partition's boot sector, checks the file
    // system and builds the catalogue. False on any failure (the scanner
    // shows its own messages, if any). Called once, on the worker.
    virtual bool open(const PartitionRecord* record) = 0;

    // True exactly for the catalogue indices 0 … N − 1.
    virtual bool hasItem(uint32_t index) = 0;

    // N, for progress; 0 when the scanner cannot tell. Valid after open.
    virtual uint64_t itemCount() { return 0; }

    // True when a stop ended open's pass early and the catalogue it found
    // by then is in memory (listing it reads nothing more): the scan, though
    // stopped, still lists it.
    virtual bool cutShortByStop() const { return false; }

    // True when item `index` is a deleted file to list; `file` is then
    // filled.
    virtual bool describe(uint32_t index, DeletedFile& file) = 0;

    // Where the content of item `index` lies; false when it cannot be had
    // or is not to be believed (nothing of it is then read).
    virtual bool layout(uint32_t /*index*/, FileLayout& /*layout*/) { return false; }

    // The volume's allocation map (which clusters live files use) and where
    // its clusters lie, once open; false when the scanner keeps none. The
    // map stays valid as long as the scanner.
    virtual bool allocation(const ClusterMap*& /*map*/, ClusterGeometry& /*clusters*/) {
        return false;
    }

    // Streams the content of item `index` into `sink`. True when the whole
    // length reached it; false when the layout is refused or the sink fails
    // (what reached the sink before is then not the file). The file systems
    // read it through the one reader (LayoutScanner.h).
    virtual bool readContent(uint32_t index, ContentSink& sink) = 0;
};

}  // namespace undelete
