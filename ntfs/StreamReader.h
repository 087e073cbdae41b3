// Reads a non-resident stream of an NTFS volume into a sink, in VCN order
// and in bounded pieces: plain runs as they lie (sparse runs and bytes past
// the initialized size as holes), a compressed stream one compression unit
// at a time through the LZNT1 decoder, so that memory never grows with the
// file. Which record a run came from is no concern here: the runs are the
// file object's, already joined.
#pragma once
#include <cstdint>
#include <vector>

#include "disk/DriveReader.h"
#include "ntfs/MftRecord.h"
#include "scan/BudgetedReader.h"
#include "scan/VolumeScanner.h"

namespace undelete {

// Where a volume's clusters lie on the drive.
struct VolumeGeometry {
    uint64_t partitionOffset = 0;  // absolute byte offset of cluster 0
    uint64_t volumeEnd = 0;        // absolute end: the partition's, or the disk's when sooner
    uint32_t bytesPerCluster = 0;

    // True when `bytes` from `cluster` on lie inside the volume; `position`
    // is then their absolute offset.
    bool clustersInside(uint64_t cluster, uint64_t bytes, uint64_t& position) const;
    uint64_t bytes() const { return volumeEnd - partitionOffset; }
};

enum class StreamResult {
    Done,     // the whole length reached the sink (lost pieces counted as lost)
    Refused,  // the sink refused, or no memory for a piece
    Damaged,  // the compression unit's size is none the reader can decode
};

class StreamReader {
public:
    StreamReader(DriveReader& drive, const VolumeGeometry& volume, uint32_t failureBudget);

    // True when every stored cluster the runs give the first `length` bytes
    // lies inside the volume, and they add up to no more than the volume
    // holds (runs that cover it again and again would make a save of any
    // length).
    bool inside(const std::vector<RunListNode>& runs, uint64_t length) const;

    // The first `length` bytes of a plain stream; bytes from `readable` on
    // are holes, and what the runs leave uncovered is lost. A piece that
    // cannot be read whole is read again cluster by cluster.
    StreamResult plain(const std::vector<RunListNode>& runs, uint64_t length, uint64_t readable,
                       ContentSink& sink);

    // The first `length` bytes of a compressed stream of units of
    // `unitClusters` clusters: a unit stored whole is read as it lies, one
    // of sparse runs only is zeros, any other is decoded. A unit whose
    // clusters cannot be read, or whose runs do not make a unit (cut off,
    // a cluster after a sparse run), is lost; so is a unit whose data does
    // not decode up to the bytes the file needs of it (a damaged unit),
    // which is counted. Damaged when no unit can be decoded at all.
    StreamResult compressed(const std::vector<RunListNode>& runs, uint64_t length,
                            uint64_t readable, uint64_t unitClusters, ContentSink& sink);

    // The damaged units of the last compressed stream, and the file offset
    // of the first one.
    uint64_t damagedUnits() const { return damagedUnits_; }
    uint64_t damagedAt() const { return damagedAt_; }

private:
    struct Slice;
    class Cursor;

    StreamResult unit(const std::vector<Slice>& slices, uint64_t unitClusters, uint64_t fileBytes,
                      uint64_t readableBytes, uint64_t unitStart, ContentSink& sink);
    bool readStored(const std::vector<Slice>& slices, uint8_t* into, uint64_t& bytes);

    BudgetedReader reads_;
    VolumeGeometry volume_;
    std::vector<uint8_t> piece_;
    std::vector<uint8_t> stored_;
    std::vector<uint8_t> decoded_;
    uint64_t damagedAt_ = 0;
    uint64_t damagedUnits_ = 0;
};

}  // namespace undelete
