#include "exfat/ExfatFat.h"

#include <algorithm>
#include <new>

#include "common/Bytes.h"

namespace undelete {

ExfatFat::ExfatFat(DriveReader& drive, uint64_t offset, uint32_t clusterLimit)
    : reads_(drive, kMaxConsecutiveFailures), offset_(offset), clusterLimit_(clusterLimit) {}

const ExfatFat::Piece& ExfatFat::piece(uint32_t index) {
    for (size_t i = 0; i < cache_.size(); ++i) {
        if (cache_[i].index != index) continue;
        std::rotate(cache_.begin() + static_cast<std::ptrdiff_t>(i),
                    cache_.begin() + static_cast<std::ptrdiff_t>(i) + 1, cache_.end());
        return cache_.back();
    }
    Piece fresh;
    fresh.index = index;
    // Only the entries of the volume's clusters.
    const uint64_t start = uint64_t{index} * kPieceBytes;
    const uint64_t end = std::min<uint64_t>(start + kPieceBytes, uint64_t{clusterLimit_} * 4);
    try {
        fresh.bytes.assign(static_cast<size_t>(end - start), 0);
        fresh.readable = reads_.read(offset_ + start, fresh.bytes.data(),
                                     static_cast<uint32_t>(end - start));
    } catch (const std::bad_alloc&) {
        fresh.readable = false;
    }
    if (!fresh.readable) fresh.bytes.clear();
    if (cache_.size() >= kCachedPieces) cache_.erase(cache_.begin());
    cache_.push_back(std::move(fresh));
    return cache_.back();
}

bool ExfatFat::entry(uint32_t cluster, uint32_t& value) {
    if (cluster >= clusterLimit_) return false;
    const uint64_t at = uint64_t{cluster} * 4;
    const Piece& p = piece(static_cast<uint32_t>(at / kPieceBytes));
    const uint64_t within = at % kPieceBytes;
    if (!p.readable || !fits(within, 4, p.bytes.size())) return false;
    value = le32(p.bytes.data() + within);
    return true;
}

bool ExfatFat::next(uint32_t cluster, uint32_t& following) {
    return entry(cluster, following) && following >= 2 && following < clusterLimit_;
}

bool ExfatFat::chainHolds(uint32_t first, uint64_t clusters) {
    if (clusters == 0 || first < 2 || first >= clusterLimit_ || clusters > clusterLimit_) {
        return false;
    }
    // A loop never reaches the end mark within `clusters` steps.
    uint32_t c = first;
    for (uint64_t n = 1; n < clusters; ++n) {
        if (!next(c, c)) return false;
    }
    uint32_t last = 0;
    return entry(c, last) && last == kExfatEndOfChain;
}

}  // namespace undelete
