#include "carve/CarvePass.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <future>
#include <vector>

#include "carve/Recognisers.h"
#include "carve/SignatureTable.h"

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
// as the piece. Where it offers none, the next piece is read on a thread of
// its own while this one is looked at.
class CarvePass::Pieces final : public ByteSource {
public:
    explicit Pieces(ByteSource& disk) : disk_(disk) {}
    ~Pieces() override { settle(); }

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
        const bool readAhead = settle() && aheadOffset_ == offset && aheadLength_ == length;
        if (readAhead) {
            current_ ^= 1;
        } else if (const uint8_t* direct = disk_.peek(offset, length)) {
            bytes_ = direct;
            held_ = length;
            return;
        }
        std::vector<uint8_t>& buffer = buffers_[current_];
        if (buffer.size() < length) buffer.resize(length);
        bytes_ = buffer.data();
        if (!readAhead && !disk_.read(offset, buffer.data(), length)) {
            for (size_t at = 0; at < length; at += block) {
                const size_t n = std::min<size_t>(block, length - at);
                if (!disk_.read(offset + at, buffer.data() + at, n)) {
                    std::memset(buffer.data() + at, 0, n);
                    ++unreadable;
                }
            }
        }
        held_ = length;
    }

    // Starts reading [offset, offset + length), the piece expected next,
    // unless the disk shows its pieces where they lie.
    void readAhead(uint64_t offset, size_t length) {
        if (bytes_ != buffers_[current_].data()) return;  // a window, not a copy
        std::vector<uint8_t>& buffer = buffers_[current_ ^ 1];
        try {
            if (buffer.size() < length) buffer.resize(length);
            uint8_t* into = buffer.data();
            ahead_ = std::async(std::launch::async, [this, offset, into, length] {
                return disk_.read(offset, into, length);
            });
        } catch (const std::exception&) {
            return;  // no thread, or no memory: the piece is read when its turn comes
        }
        aheadOffset_ = offset;
        aheadLength_ = length;
    }

private:
    // Waits for the read ahead: true when one was started and succeeded.
    bool settle() {
        if (!ahead_.valid()) return false;
        return ahead_.get();
    }

    ByteSource& disk_;
    std::vector<uint8_t> buffers_[2];  // the piece in hand and the next, when copied
    int current_ = 0;
    const uint8_t* bytes_ = nullptr;
    uint64_t start_ = 0;
    size_t held_ = 0;
    std::future<bool> ahead_;
    uint64_t aheadOffset_ = 0;
    size_t aheadLength_ = 0;
};

CarvePass::CarvePass(ByteSource& disk, uint64_t start, uint64_t length, uint32_t blockBytes,
                     CarveHooks hooks)
    : disk_(disk),
      start_(start),
      length_(start <= disk.size() ? std::min(length, disk.size() - start) : 0),
      block_(blockBytes == 0 ? 1 : blockBytes),
      hooks_(std::move(hooks)) {}

CarvePass::Span CarvePass::spanFrom(uint64_t at, uint64_t end) const {
    const auto inUse = [this](uint64_t offset) { return hooks_.allocated && hooks_.allocated(offset); };
    // Blocks in use are passed over unread, so many at a time at most that
    // a stop is still looked at now and then.
    for (uint64_t n = 0; at < end && inUse(at); ++n) {
        if (n == kPieceBytes) return {at, at};
        at = std::min(end, at + block_);
    }
    uint64_t last = at;
    const uint64_t pieceBlocks = std::max<uint64_t>(1, kPieceBytes / block_);
    for (uint64_t n = 0; n < pieceBlocks && last < end; ++n) {
        if (n > 0 && inUse(last)) break;
        last = std::min(end, last + block_);
    }
    return {at, last};
}

CarveSummary CarvePass::run() {
    CarveSummary summary;
    Pieces pieces(disk_);
    const uint64_t end = start_ + length_;
    skipUntil_ = start_;
    Span piece = spanFrom(start_, end);
    while (piece.first < end) {
        if (hooks_.stop && hooks_.stop()) {
            summary.stopped = true;
            break;
        }
        if (piece.first < skipUntil_ || piece.first == piece.last) {
            piece = spanFrom(std::max(piece.first, std::min(end, skipUntil_)), end);
        } else {
            pieces.load(piece.first, static_cast<size_t>(piece.last - piece.first), block_,
                        summary.unreadableBlocks);
            const Span next = spanFrom(piece.last, end);
            if (next.last > next.first) {
                pieces.readAhead(next.first, static_cast<size_t>(next.last - next.first));
            }
            for (uint64_t block = piece.first; block < piece.last; block += block_) {
                if (block >= skipUntil_) lookAt(pieces, block, summary);
            }
            piece = next;
        }
        if (hooks_.progress) hooks_.progress(std::min(piece.first, end) - start_, length_);
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
