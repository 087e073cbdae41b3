#include "fat32/FatTable.h"

#include <algorithm>
#include <new>

#include "common/Bytes.h"

namespace undelete {

FatTable::FatTable(DriveReader& drive, const FatLocation& where)
    : reads_(drive, kMaxConsecutiveFailures), where_(where) {}

uint64_t FatTable::tableBytes() const {
    // Only the entries of real clusters; never more than one table holds.
    return std::min(uint64_t{where_.clusterLimit} * 4, where_.bytesPerFat);
}

bool FatTable::readPiece(uint32_t index, std::vector<uint8_t>& bytes) {
    const uint64_t offset = uint64_t{index} * kPieceBytes;
    const uint64_t total = tableBytes();
    if (offset >= total) return false;
    const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(kPieceBytes, total - offset));
    try {
        bytes.assign(wanted, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The second table is the first one's copy: asked only when the first fails.
    for (uint8_t copy = 0; copy < std::min<uint8_t>(where_.numberOfFats, 2); ++copy) {
        const uint64_t at = where_.firstOffset + copy * where_.bytesPerFat + offset;
        if (reads_.read(at, bytes.data(), wanted)) return true;
    }
    return false;
}

const FatTable::Piece* FatTable::piece(uint32_t index) {
    for (size_t i = 0; i < cache_.size(); ++i) {
        if (cache_[i].index != index) continue;
        std::rotate(cache_.begin() + static_cast<std::ptrdiff_t>(i),
                    cache_.begin() + static_cast<std::ptrdiff_t>(i) + 1, cache_.end());
        return &cache_.back();
    }
    Piece fresh;
    fresh.index = index;
    fresh.readable = readPiece(index, fresh.bytes);
    if (!fresh.readable) fresh.bytes.clear();
    if (cache_.size() >= kCachedPieces) cache_.erase(cache_.begin());
    cache_.push_back(std::move(fresh));
    return &cache_.back();
}

bool FatTable::entry(uint32_t cluster, uint32_t& value) {
    if (cluster >= where_.clusterLimit) return false;
    const uint64_t at = uint64_t{cluster} * 4;
    const Piece* p = piece(static_cast<uint32_t>(at / kPieceBytes));
    const uint64_t within = at % kPieceBytes;
    if (p == nullptr || !p->readable || !fits(within, 4, p->bytes.size())) return false;
    value = le32(p->bytes.data() + within) & kFatEntryMask;
    return true;
}

bool FatTable::load() {
    complete_ = false;
    if (!used_.reset(where_.clusterLimit)) return false;
    const uint64_t total = tableBytes();
    bool whole = total >= uint64_t{where_.clusterLimit} * 4;
    const uint64_t pieces = (total + kPieceBytes - 1) / kPieceBytes;
    for (uint64_t index = 0; index < pieces; ++index) {
        const Piece* p = piece(static_cast<uint32_t>(index));
        if (!p->readable) {
            whole = false;
            continue;
        }
        const uint64_t firstCluster = index * (kPieceBytes / 4);
        for (size_t at = 0; fits(at, 4, p->bytes.size()); at += 4) {
            if ((le32(p->bytes.data() + at) & kFatEntryMask) != 0) {
                used_.setUsed(static_cast<uint32_t>(firstCluster + at / 4));
            }
        }
    }
    used_.finish();
    complete_ = whole;
    return complete_;
}

}  // namespace undelete
