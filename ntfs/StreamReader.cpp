#include "ntfs/StreamReader.h"

#include <algorithm>
#include <new>

#include "ntfs/Lznt1.h"
#include "partition/NtfsBootSector.h"

namespace undelete {
namespace {

// The bytes of `run` that fall before `room` more bytes are done.
uint64_t bytesOf(const RunListNode& run, uint64_t room, uint32_t bytesPerCluster) {
    return run.runLength > room / bytesPerCluster ? room : run.runLength * bytesPerCluster;
}

bool grow(std::vector<uint8_t>& buffer, uint64_t bytes) {
    if (buffer.size() >= bytes) return true;
    try {
        buffer.resize(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

bool VolumeGeometry::clustersInside(uint64_t cluster, uint64_t bytes, uint64_t& position) const {
    return clusterByteOffset(partitionOffset, cluster, bytesPerCluster, position) &&
           position < volumeEnd && bytes <= volumeEnd - position;
}

// A stretch of one run: `clusters` clusters from `lcn` on, or sparse ones.
struct StreamReader::Slice {
    uint64_t clusters = 0;
    uint64_t lcn = 0;
    bool sparse = false;
};

// Walks the runs cluster by cluster in VCN order, handing out stretches.
class StreamReader::Cursor {
public:
    explicit Cursor(const std::vector<RunListNode>& runs) : runs_(runs) {}

    // The next stretch of at most `most` clusters; false when the runs end.
    bool next(uint64_t most, Slice& slice) {
        if (!enter()) return false;
        const RunListNode& run = runs_[index_];
        const uint64_t n = std::min(most, run.runLength - used_);
        slice = {n, run.sparse ? 0 : lcn_ + used_, run.sparse};
        used_ += n;
        return true;
    }

    // The sparse clusters that follow without a break in the current run.
    uint64_t sparseAhead() {
        if (!enter()) return 0;
        const RunListNode& run = runs_[index_];
        return run.sparse ? run.runLength - used_ : 0;
    }

    // Passes over `clusters` of the current run (at most sparseAhead()).
    void skip(uint64_t clusters) { used_ += clusters; }

private:
    // Moves to the run that holds the next cluster; false past the last.
    // Every run's distance counts, even that of a run of no clusters.
    bool enter() {
        for (; index_ < runs_.size(); ++index_, used_ = 0, entered_ = false) {
            const RunListNode& run = runs_[index_];
            if (!entered_) {
                if (!run.sparse) lcn_ += static_cast<uint64_t>(run.runOffset);
                entered_ = true;
            }
            if (used_ < run.runLength) return true;
        }
        return false;
    }

    const std::vector<RunListNode>& runs_;
    size_t index_ = 0;
    uint64_t used_ = 0;  // clusters of the current run handed out
    uint64_t lcn_ = 0;   // the current run's first cluster
    bool entered_ = false;
};

StreamReader::StreamReader(DriveReader& drive, const VolumeGeometry& volume,
                           uint32_t failureBudget)
    : reads_(drive, failureBudget), volume_(volume) {}

bool StreamReader::inside(const std::vector<RunListNode>& runs, uint64_t length) const {
    const uint32_t cluster = volume_.bytesPerCluster;
    if (cluster == 0) return false;
    uint64_t lcn = 0;
    uint64_t done = 0;
    uint64_t stored = 0;
    for (const RunListNode& run : runs) {
        if (done >= length) break;
        lcn += static_cast<uint64_t>(run.runOffset);
        const uint64_t bytes = bytesOf(run, length - done, cluster);
        uint64_t position = 0;
        if (!run.sparse) {
            if (!volume_.clustersInside(lcn, bytes, position)) return false;
            stored += bytes;
            if (stored > volume_.bytes()) return false;
        }
        done += bytes;
    }
    return true;
}

StreamResult StreamReader::plain(const std::vector<RunListNode>& runs, uint64_t length,
                                 uint64_t readable, ContentSink& sink) {
    const uint32_t cluster = volume_.bytesPerCluster;
    if (cluster == 0) return StreamResult::Refused;
    readable = std::min(length, readable);
    uint64_t lcn = 0;
    uint64_t done = 0;
    for (const RunListNode& run : runs) {
        if (done >= length) break;
        lcn += static_cast<uint64_t>(run.runOffset);
        const uint64_t bytes = bytesOf(run, length - done, cluster);
        const uint64_t toRead = run.sparse || done >= readable ? 0 : std::min(bytes, readable - done);
        // The buffer grows with the runs that are read, in whole clusters
        // up to a piece: a small file, or one whose record claims more than
        // its runs hold, does not cost a whole piece.
        const uint64_t clusters = toRead / cluster + (toRead % cluster != 0);
        if (!grow(piece_, std::min<uint64_t>(clusters * cluster, kContentPieceBytes))) {
            return StreamResult::Refused;
        }
        uint64_t position = 0;
        if (toRead != 0 && (!volume_.clustersInside(lcn, toRead, position) ||
                            !reads_.stream(position, toRead, cluster, sink, piece_))) {
            return StreamResult::Refused;
        }
        if (bytes > toRead && !sink.skip(bytes - toRead)) return StreamResult::Refused;
        done += bytes;
    }
    return done >= length || sink.lost(length - done) ? StreamResult::Done : StreamResult::Refused;
}

StreamResult StreamReader::compressed(const std::vector<RunListNode>& runs, uint64_t length,
                                      uint64_t readable, uint64_t unitClusters,
                                      ContentSink& sink) {
    const uint64_t unitBytes = unitClusters * volume_.bytesPerCluster;
    damagedAt_ = 0;
    damagedUnits_ = 0;
    if (unitBytes == 0 || unitBytes > kMaxCompressionUnitBytes) return StreamResult::Damaged;
    if (!grow(stored_, unitBytes) || !grow(decoded_, unitBytes)) return StreamResult::Refused;
    Cursor cursor(runs);
    std::vector<Slice> slices;
    uint64_t done = 0;
    while (done < length) {
        // Sparse runs over whole units are holes, however many units long.
        const uint64_t sparse = cursor.sparseAhead();
        if (sparse >= unitClusters) {
            const uint64_t left = length - done;
            const uint64_t units = std::min(sparse / unitClusters, left / unitBytes + 1);
            const uint64_t bytes = std::min(left, units * unitBytes);
            cursor.skip(units * unitClusters);
            if (!sink.skip(bytes)) return StreamResult::Refused;
            done += bytes;
            continue;
        }
        slices.clear();
        Slice slice;
        for (uint64_t need = unitClusters; need > 0 && cursor.next(need, slice);) {
            slices.push_back(slice);
            need -= slice.clusters;
        }
        if (slices.empty()) {  // the runs end: the rest cannot be had
            return sink.lost(length - done) ? StreamResult::Done : StreamResult::Refused;
        }
        const uint64_t fileBytes = std::min(unitBytes, length - done);
        const uint64_t readableBytes = done >= readable ? 0 : std::min(fileBytes, readable - done);
        const StreamResult result = unit(slices, unitClusters, fileBytes, readableBytes, done, sink);
        if (result != StreamResult::Done) return result;
        done += fileBytes;
    }
    return StreamResult::Done;
}

StreamResult StreamReader::unit(const std::vector<Slice>& slices, uint64_t unitClusters,
                                uint64_t fileBytes, uint64_t readableBytes, uint64_t unitStart,
                                ContentSink& sink) {
    std::vector<RunListNode> nodes;
    nodes.reserve(slices.size());
    for (const Slice& s : slices) nodes.push_back({s.clusters, 0, s.sparse});
    const CompressionUnitLayout layout =
        compressionUnitLayout(nodes.data(), nodes.size(), unitClusters);
    const auto done = [&](bool ok) { return ok ? StreamResult::Done : StreamResult::Refused; };
    if (layout.kind == CompressionUnitKind::Invalid) return done(sink.lost(fileBytes));
    if (layout.kind == CompressionUnitKind::Zeros || readableBytes == 0) {
        return done(sink.skip(fileBytes));
    }
    uint64_t stored = 0;
    if (!readStored(slices, stored_.data(), stored)) return done(sink.lost(fileBytes));
    const uint8_t* bytes = stored_.data();
    if (layout.kind == CompressionUnitKind::Compressed) {
        const Lznt1Result result =
            decompressLznt1(stored_.data(), static_cast<size_t>(stored), decoded_.data(),
                            static_cast<size_t>(unitClusters * volume_.bytesPerCluster));
        // A fault past the bytes the file needs of its last unit is no
        // fault of the file's. Otherwise where the damage began cannot be
        // told (a changed literal decodes without a fault): the whole unit
        // is lost, and the units after it are still had.
        if (!result.ok() && result.produced < readableBytes) {
            if (damagedUnits_++ == 0) damagedAt_ = unitStart;
            return done(sink.lost(readableBytes) &&
                        (fileBytes == readableBytes || sink.skip(fileBytes - readableBytes)));
        }
        bytes = decoded_.data();
    }
    return done(sink.write(bytes, static_cast<size_t>(readableBytes)) &&
                (fileBytes == readableBytes || sink.skip(fileBytes - readableBytes)));
}

// The unit's clusters on the disk, one after another into `into`; false
// when one lies outside the volume or cannot be read.
bool StreamReader::readStored(const std::vector<Slice>& slices, uint8_t* into, uint64_t& bytes) {
    bytes = 0;
    for (const Slice& s : slices) {
        if (s.sparse) continue;
        const uint64_t n = s.clusters * volume_.bytesPerCluster;
        uint64_t position = 0;
        if (!volume_.clustersInside(s.lcn, n, position) ||
            !reads_.read(position, into + bytes, static_cast<uint32_t>(n))) {
            return false;
        }
        bytes += n;
    }
    return true;
}

}  // namespace undelete
