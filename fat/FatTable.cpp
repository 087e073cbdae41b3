#include "fat/FatTable.h"

#include <algorithm>
#include <new>

#include "common/Bytes.h"

namespace undelete {

FatTable::FatTable(DriveReader& drive, const FatLocation& where)
    : reads_(drive, kMaxConsecutiveFailures), where_(where) {}

uint64_t FatTable::tableBytes() const {
    // Only the entries of real clusters; never more than one table holds.
    return std::min(fatTableBytes(where_.type, where_.clusterLimit), where_.bytesPerFat);
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
    // A piece is a multiple of every entry width's step (three bytes hold
    // two 12-bit entries, and a FAT12 table is far shorter than a piece):
    // no entry straddles two pieces.
    const uint32_t index = static_cast<uint32_t>(fatEntryOffset(where_.type, cluster) / kPieceBytes);
    const Piece* p = piece(index);
    if (p == nullptr || !p->readable) return false;
    return fatEntryValue(where_.type, p->bytes.data(), p->bytes.size(),
                         uint64_t{index} * kPieceBytes, cluster, value);
}

FatLink FatTable::link(uint32_t cluster, uint32_t& next) {
    if (!entry(cluster, next)) return FatLink::Reserved;
    return fatLinkOf(where_.type, next, where_.clusterLimit);
}

void FatTable::markUsed(const Piece& p) {
    const uint8_t* bytes = p.bytes.data();
    const size_t size = p.bytes.size();
    const uint64_t base = uint64_t{p.index} * kPieceBytes;
    switch (where_.type) {
    case FatType::Fat32:
        for (size_t at = 0; fits(at, 4, size); at += 4) {
            if ((le32(bytes + at) & 0x0FFFFFFFu) != 0) used_.setUsed(static_cast<uint32_t>((base + at) / 4));
        }
        break;
    case FatType::Fat16:
        for (size_t at = 0; fits(at, 2, size); at += 2) {
            if (le16(bytes + at) != 0) used_.setUsed(static_cast<uint32_t>((base + at) / 2));
        }
        break;
    case FatType::Fat12:
        // Two entries in every three bytes from the piece's start.
        for (uint32_t c = static_cast<uint32_t>(base * 2 / 3); c < where_.clusterLimit; ++c) {
            uint32_t value = 0;
            if (!fatEntryValue(FatType::Fat12, bytes, size, base, c, value)) break;
            if (value != 0) used_.setUsed(c);
        }
        break;
    }
}

bool FatTable::load() {
    complete_ = false;
    if (!used_.reset(where_.clusterLimit)) return false;
    const uint64_t total = tableBytes();
    bool whole = total >= fatTableBytes(where_.type, where_.clusterLimit);
    const uint64_t pieces = (total + kPieceBytes - 1) / kPieceBytes;
    for (uint64_t index = 0; index < pieces; ++index) {
        const Piece* p = piece(static_cast<uint32_t>(index));
        if (!p->readable) {
            whole = false;
            continue;
        }
        markUsed(*p);
    }
    used_.finish();
    complete_ = whole;
    return complete_;
}

}  // namespace undelete
