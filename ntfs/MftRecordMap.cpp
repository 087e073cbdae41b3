#include "ntfs/MftRecordMap.h"

#include <algorithm>

#include "common/Bytes.h"
#include "scan/FileLayout.h"

namespace undelete {

MftRecordMap::MftRecordMap(uint64_t partitionOffset, uint32_t bytesPerCluster,
                           uint32_t recordSize, uint64_t recordCount, uint64_t limit)
    : recordSize_(recordSize),
      partitionOffset_(partitionOffset),
      bytesPerCluster_(bytesPerCluster),
      streamEnd_(saturatingProduct(recordCount, recordSize)),
      limit_(limit) {}

MftRecordMap MftRecordMap::fromRuns(const std::vector<RunListNode>& runs,
                                    uint64_t partitionOffset, uint32_t bytesPerCluster,
                                    uint32_t recordSize, uint64_t recordCount, uint64_t limit) {
    MftRecordMap map(partitionOffset, bytesPerCluster, recordSize, recordCount, limit);
    map.append(runs.data(), runs.size());
    return map;
}

void MftRecordMap::append(const RunListNode* runs, size_t count) {
    if (recordSize_ == 0) return;
    for (size_t i = 0; i < count && next_ < streamEnd_; ++i) {
        const RunListNode& run = runs[i];
        // Distances move forwards or backwards; the sum wraps like the
        // disk's own 64-bit cluster numbers.
        cluster_ += static_cast<uint64_t>(run.runOffset);
        const uint64_t bytes =
            std::min(saturatingProduct(run.runLength, bytesPerCluster_), streamEnd_ - next_);
        // A damaged cluster number must not wrap into a read somewhere else.
        uint64_t position = 0;
        if (bytes != 0 && !run.sparse &&
            ClusterGeometry{partitionOffset_, 0, bytesPerCluster_}.offsetOf(cluster_, position) &&
            position < limit_) {
            extents_.push_back({next_, std::min(bytes, limit_ - position), position});
        }
        next_ += bytes;
    }
}

const MftRecordMap::Extent* MftRecordMap::extentAt(uint64_t streamOffset) const {
    auto after = std::upper_bound(
        extents_.begin(), extents_.end(), streamOffset,
        [](uint64_t value, const Extent& e) { return value < e.streamOffset; });
    if (after == extents_.begin()) return nullptr;
    const Extent& e = *(after - 1);
    return streamOffset - e.streamOffset < e.length ? &e : nullptr;
}

bool MftRecordMap::locate(uint64_t index, Place& place) const {
    place.count = 0;
    if (recordSize_ == 0 || index >= streamEnd_ / recordSize_) return false;
    uint64_t at = index * recordSize_;
    uint32_t left = recordSize_;
    const Extent* e = extentAt(at);
    if (e == nullptr) return false;
    place.firstExtentEnd = e->position + e->length;
    // Each next piece must start where the last ended in the stream.
    for (auto it = extents_.begin() + (e - extents_.data()); left != 0; ++it) {
        if (it == extents_.end() || it->streamOffset > at || place.count == kMaxPieces) return false;
        const uint64_t inside = at - it->streamOffset;
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(left, it->length - inside));
        place.pieces[place.count++] = {it->position + inside, n};
        at += n;
        left -= n;
    }
    return true;
}

uint64_t MftRecordMap::entry(uint64_t index) const {
    Place place;
    return locate(index, place) ? place.pieces[0].position : 0;
}

uint64_t MftRecordMap::mappedEnd() const {
    if (extents_.empty()) return 0;
    const Extent& last = extents_.back();
    return (last.streamOffset + last.length) / recordSize_;
}

bool readPlace(const MftRecordMap::Place& place, const PieceReader& read, uint8_t* into) {
    for (size_t i = 0; i < place.count; ++i) {
        if (!read(place.pieces[i].position, into, place.pieces[i].length)) return false;
        into += place.pieces[i].length;
    }
    return true;
}

bool readMappedRecord(const MftRecordMap& map, uint64_t index, const PieceReader& read,
                      uint8_t* into) {
    MftRecordMap::Place place;
    return map.locate(index, place) && readPlace(place, read, into);
}

}  // namespace undelete
