#include "carve/CarvePass.h"

#include <algorithm>
#include <cstring>

#include "carve/Recognisers.h"
#include "carve/SignatureTable.h"
#include "common/PieceBuffer.h"

namespace undelete {
namespace {

const SignatureTable& table() {
    static const SignatureTable made(allRecognisers());
    return made;
}

}  // namespace

// The disk as the recognisers see it: the bytes of the piece in hand are
// given where they lie, the rest read from the disk. The disk is asked
// for a window only for a whole piece, so that one it keeps lives as long
// as the piece.
class CarvePass::Pieces final : public ByteSource {
public:
    explicit Pieces(ByteSource& disk) : disk_(disk) {}

    uint64_t size() const override { return disk_.size(); }
    bool read(uint64_t offset, uint8_t* into, size_t length) override {
        if (const uint8_t* held = peek(offset, length)) {
            std::memcpy(into, held, length);
            return true;
        }
        return disk_.read(offset, into, length);
    }
    const uint8_t* peek(uint64_t offset, size_t length) override {
        if (offset >= start_ && offset - start_ <= held_ && length <= held_ - (offset - start_)) {
            return bytes_ + (offset - start_);
        }
        return nullptr;
    }

    // Makes [offset, offset + length) the piece in hand; a part that cannot
    // be read is read again block by block, and a block that still fails
    // is taken as zeros (counted in `unreadable`).
    void load(uint64_t offset, size_t length, uint32_t block, uint64_t& unreadable) {
        start_ = offset;
        held_ = 0;
        if (const uint8_t* direct = disk_.peek(offset, length)) {
            bytes_ = direct;
            held_ = length;
            return;
        }
        uint8_t* buffer = buffer_.reserve(length);
        bytes_ = buffer;
        if (!disk_.read(offset, buffer, length)) {
            for (size_t at = 0; at < length; at += block) {
                const size_t n = std::min<size_t>(block, length - at);
                if (!disk_.read(offset + at, buffer + at, n)) {
                    std::memset(buffer + at, 0, n);
                    ++unreadable;
                }
            }
        }
        held_ = length;
    }
    const uint8_t* bytes() const { return bytes_; }

private:
    ByteSource& disk_;
    PieceBuffer buffer_;  // when the disk offers no view
    const uint8_t* bytes_ = nullptr;
    uint64_t start_ = 0;
    size_t held_ = 0;
};

CarvePass::CarvePass(ByteSource& disk, uint64_t start, uint64_t length, uint32_t blockBytes,
                     CarveHooks hooks)
    : disk_(disk),
      start_(start),
      length_(start <= disk.size() ? std::min(length, disk.size() - start) : 0),
      block_(blockBytes == 0 ? 1 : blockBytes),
      hooks_(std::move(hooks)) {}

CarveSummary CarvePass::run() {
    CarveSummary summary;
    Pieces pieces(disk_);
    const uint64_t end = start_ + length_;
    const uint64_t pieceBlocks = std::max<uint64_t>(1, kPieceBytes / block_);
    skipUntil_ = start_;
    for (uint64_t at = start_; at < end;) {
        if (hooks_.stop && hooks_.stop()) {
            summary.stopped = true;
            break;
        }
        if (at < skipUntil_) {
            at = std::min(end, skipUntil_);
            continue;
        }
        // The piece: from here to the next block in use, at most a piece.
        uint64_t pieceEnd = at;
        for (uint64_t n = 0; n < pieceBlocks && pieceEnd < end; ++n) {
            if (hooks_.allocated && hooks_.allocated(pieceEnd)) break;
            pieceEnd = std::min(end, pieceEnd + block_);
        }
        if (pieceEnd == at) {  // a block in use: passed over unread
            at = std::min(end, at + block_);
        } else {
            pieces.load(at, static_cast<size_t>(pieceEnd - at), block_, summary.unreadableBlocks);
            for (uint64_t block = at; block < pieceEnd; block += block_) {
                if (block >= skipUntil_) lookAt(pieces, block, summary);
            }
            at = pieceEnd;
        }
        if (hooks_.progress) hooks_.progress(std::min(at, end) - start_, length_);
    }
    return summary;
}

void CarvePass::lookAt(Pieces& pieces, uint64_t block, CarveSummary& summary) {
    const uint64_t end = start_ + length_;
    const size_t headerBytes = static_cast<size_t>(std::min<uint64_t>(kHeaderBytes, end - block));
    const size_t lead = std::min(headerBytes, SignatureTable::kLeadBytes);
    const uint8_t* first = pieces.peek(block, headerBytes);
    const bool wholeHeader = first != nullptr;
    uint8_t copy[SignatureTable::kLeadBytes];
    if (first == nullptr) {  // a block shorter than the lead at a piece's end
        if (!pieces.read(block, copy, lead)) return;
        first = copy;
    }
    uint32_t candidates = table().match(first, lead);
    while (candidates != 0) {
        const int index = __builtin_ctz(candidates);
        candidates &= candidates - 1;
        const Recogniser& recogniser = table().recogniser(static_cast<size_t>(index));
        // The header check on the bytes in hand first: most hits end here.
        if (wholeHeader && !recogniser.header(first, headerBytes)) continue;
        SliceSource file(pieces, block, end - block);
        const Recognised found = recognise(recogniser, file);
        if (!found) continue;
        CarvedFile carved;
        carved.offset = block;
        carved.length = found.length;
        carved.kind = found.kind;
        carved.extension = found.extension;
        carved.metadata = found.metadata;
        ++summary.files;
        if (hooks_.found) hooks_.found(carved);
        // The next file begins at the first block after this one.
        const uint64_t after = block + found.length;
        skipUntil_ = start_ + (after - start_ + block_ - 1) / block_ * block_;
        return;
    }
}

}  // namespace undelete
