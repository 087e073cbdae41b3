#include "scan/TablePieces.h"

#include <algorithm>
#include <new>

#include "common/Bytes.h"

namespace undelete {

TablePieces::TablePieces(DriveReader& drive, const TableLocation& where, size_t kept)
    : reads_(drive, kMaxConsecutiveFailures), where_(where), kept_(std::max<size_t>(kept, 1)) {}

uint32_t TablePieces::count() const {
    return static_cast<uint32_t>((where_.bytes + kPieceBytes - 1) / kPieceBytes);
}

bool TablePieces::read(uint32_t index, std::vector<uint8_t>& bytes) {
    const uint64_t offset = uint64_t{index} * kPieceBytes;
    if (offset >= where_.bytes) return false;
    const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(kPieceBytes, where_.bytes - offset));
    try {
        bytes.assign(wanted, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The second table is the first one's copy: asked only when the first fails.
    for (uint8_t copy = 0; copy < std::min<uint8_t>(where_.copies, 2); ++copy) {
        if (reads_.read(where_.offset + copy * where_.stride + offset, bytes.data(), wanted)) {
            return true;
        }
    }
    return false;
}

bool TablePieces::entry(uint64_t index, uint32_t& value) {
    // A piece is a multiple of every entry width's step (three bytes hold
    // two 12-bit entries, and a FAT12 table is far shorter than a piece):
    // no entry straddles two pieces.
    const uint8_t bits = where_.entryBits;
    const uint64_t at = bits == 12 ? index + index / 2 : index * (bits / 8);
    const Piece& p = piece(static_cast<uint32_t>(at / kPieceBytes));
    const uint64_t within = at % kPieceBytes;
    if (!p.readable || !fits(within, bits == 32 ? 4 : 2, p.bytes.size())) return false;
    const uint8_t* bytes = p.bytes.data() + within;
    if (bits == 32) value = le32(bytes);
    // Entry 2k takes the low 12 bits of its two bytes, entry 2k + 1 the high 12.
    else if (bits == 12) value = (index & 1) != 0 ? le16(bytes) >> 4 : le16(bytes) & 0x0FFFu;
    else value = le16(bytes);
    return true;
}

const TablePieces::Piece& TablePieces::piece(uint32_t index) {
    for (size_t i = 0; i < cache_.size(); ++i) {
        if (cache_[i].index != index) continue;
        std::rotate(cache_.begin() + static_cast<std::ptrdiff_t>(i),
                    cache_.begin() + static_cast<std::ptrdiff_t>(i) + 1, cache_.end());
        return cache_.back();
    }
    Piece fresh;
    fresh.index = index;
    fresh.readable = read(index, fresh.bytes);
    if (!fresh.readable) fresh.bytes.clear();
    if (cache_.size() >= kept_) cache_.erase(cache_.begin());
    cache_.push_back(std::move(fresh));
    return cache_.back();
}

}  // namespace undelete
